// Plumbing shared by the simulated host's parts: the member registry and the hook sites.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "sandbox/game/GameWorld.h"

namespace sandbox::detail {

// Fill the registry on its first use, so no static initialiser depends on another.
void RegisterMemoryMembers();
void EnsureRegistered();
void RegisterRconMembers();

void RegisterFunction(const std::string& name, void* address);
// A field of the objects of the given kinds; no kinds means every object has it.
void RegisterField(const std::string& name, std::ptrdiff_t offset, std::initializer_list<game::Kind> kinds);
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
