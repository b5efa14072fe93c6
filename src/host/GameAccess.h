// Name-based access to game members: every use resolves its name through the host again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/HostApi.h"

namespace host {

// A member name written where it is used, e.g. CallGame<Fn, "AActor.ForceDestroy">(...).
template <std::size_t N>
struct MemberName {
  constexpr MemberName(const char (&name)[N]) { std::copy_n(name, N, text); }  // NOLINT: implicit by design
  char text[N];
};

// The host takes names as std::string; most names are too long for the small-string buffer, so each is
// built once rather than allocated on every call of a hook.
template <MemberName Name>
const std::string& HostName() {
  static const std::string name(Name.text);
  return name;
}

// Calls the game function Name with the call shape Fn (a function pointer type from GameTypes.h).
template <typename Fn, MemberName Name, typename... Args>
auto CallGame(Args&&... args) {
  auto function = reinterpret_cast<Fn>(GetAddress(HostName<Name>()));
  return function(std::forward<Args>(args)...);
}

// The field Name inside `object`, typed as T.
template <typename T, MemberName Name>
T& GameField(const void* object) {
  return *reinterpret_cast<T*>(static_cast<std::uintptr_t>(GetAddress(object, HostName<Name>())));
}

}  // namespace host
