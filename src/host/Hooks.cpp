// Putting detours in place through the host and taking them back.
#include "host/Hooks.h"

#include <string>

#include "host/HostApi.h"

namespace host {

void InstallHooks(std::span<const Hook> hooks) {
  for (const Hook& hook : hooks) ArkApi::GetHooks().InstallHook(std::string(hook.function), hook.detour, hook.original);
}

void RemoveHooks(std::span<const Hook> hooks) {
  for (const Hook& hook : hooks) ArkApi::GetHooks().RemoveHook(std::string(hook.function), hook.detour);
}

}  // namespace host
