// Plumbing shared by the simulated host's parts: the member registry and the hook sites.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>

#include "host/Members.h"
#include "sandbox/host/Sandbox.h"

namespace sandbox::detail {

// The simulated game the host serves, built into the same library; the host calls it, never the other way round:
// it fills its member registry from the game on first use, resets the game with itself, and asks it for the
// running world.
void RegisterGameMembers();
void ResetGame();
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

// Whether the sandbox's representation of a member can stand for the game's: the same type, any pointer for a
// pointer (the sandbox's objects are all of one type), and arrays of such.
template <typename Ours, typename Theirs>
inline constexpr bool kStandsFor = std::is_same_v<Ours, Theirs> ||
                                   (std::is_pointer_v<Ours> && std::is_pointer_v<Theirs>);
template <typename Ours, typename Theirs>
inline constexpr bool kStandsFor<EngineArray<Ours>, EngineArray<Theirs>> = kStandsFor<Ours, Theirs>;

template <host::FunctionMember M>
void RegisterFunction(typename M::Type function) {
  RegisterFunction(std::string(M::name), reinterpret_cast<void*>(function));
}

template <host::FieldMember M, typename Object, typename T>
void RegisterField(T Object::*field, FieldOwners owners) {
  static_assert(kStandsFor<T, typename M::Type>, "the field's type does not stand for the game's");
  static const Object probe{};
  const auto offset = reinterpret_cast<const char*>(&(probe.*field)) - reinterpret_cast<const char*>(&probe);
  RegisterField(std::string(M::name), offset, std::move(owners));
}

template <host::GlobalMember M, typename T>
void RegisterGlobal(T* address) {
  static_assert(kStandsFor<T, typename M::Type>, "the global's type does not stand for the game's");
  RegisterGlobal(std::string(M::name), address);
}

template <host::HookedMember M>
void RegisterHookSite(typename M::Type function) {
  RegisterHookSite(std::string(M::name), reinterpret_cast<void*>(function));
}

// What the game calls for the hooked function M.
template <host::HookedMember M>
typename M::Type HookEntry() {
  return reinterpret_cast<typename M::Type>(HookEntry(std::string(M::name)));
}

// Aborts with a message: the sandbox's answer to a member it does not have or a misuse of one.
[[noreturn]] void Fail(const std::string& message);

}  // namespace sandbox::detail
