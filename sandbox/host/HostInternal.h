// Plumbing shared by the simulated host's parts: the member registry and the hook sites.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "sandbox/host/Sandbox.h"

namespace sandbox::detail {

// The simulated game the host serves. The game attaches itself while the library loads; the host fills its member
// registry from it on first use, resets it with the host, and asks it for the running world.
struct GameSide {
  void (*registerMembers)() = nullptr;
  void (*reset)() = nullptr;
  void* (*currentWorld)() = nullptr;
};
void AttachGame(const GameSide& game);
void* CurrentWorld();

// Fill the registry on its first use, so no static initialiser depends on another.
void RegisterMemoryMembers();
void EnsureRegistered();
void RegisterRconMembers();

void RegisterFunction(const std::string& name, void* address);
// Whether an object has a field; an empty test means every object has it.
using FieldOwners = std::function<bool(const void* object)>;
void RegisterField(const std::string& name, std::ptrdiff_t offset, FieldOwners owners);
void RegisterGlobal(const std::string& name, void* address);

// A hookable game function: the game calls whatever HookEntry gives, the outermost detour or the function itself.
void RegisterHookSite(const std::string& name, void* function);
void* HookEntry(const std::string& name);
void ResetHooks();
std::uint64_t NextEventSequence();
void ResetCommands();
void ClearRecordedLogs();
// After a plug-in module is unloaded, no sink may call into its code again.
void RetireForeignFormatters();

// Aborts with a message: the sandbox's answer to a member it does not have or a misuse of one.
[[noreturn]] void Fail(const std::string& message);

}  // namespace sandbox::detail
