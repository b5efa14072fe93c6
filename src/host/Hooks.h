// Hooks as the host installs them: each made from a detour of its game function's own call shape.
#pragma once

#include <span>
#include <string_view>

#include "host/Members.h"

namespace host {

struct Hook {
  std::string_view function;
  void* detour = nullptr;
  void** original = nullptr;
};

// A detour whose parameters differ from the hooked function's does not compile.
template <HookedMember M>
Hook HookOf(typename M::Type detour, typename M::Type* original) {
  return {M::name, reinterpret_cast<void*>(detour), reinterpret_cast<void**>(original)};
}

// In order; the host's answers are not examined.
void InstallHooks(std::span<const Hook> hooks);
void RemoveHooks(std::span<const Hook> hooks);

}  // namespace host
