// The load and unload sequences and the hook and command tables.
#include "plugin/Plugin.h"

#include <array>

#include <spdlog/logger.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "config/Config.h"
#include "guard/Guard.h"
#include "host/EngineTypes.h"
#include "inventory/Inventory.h"
#include "purge/Purge.h"

namespace {

struct HookEntry {
  const char* function;
  void* detour;
  void** original;
};

struct CommandEntry {
  const char* name;
  void (*handler)(RCONClientConnection*, RCONPacket*, UWorld*);
};

// Installed in this order, in two groups around the commands. Built at each use: the attach notification may
// run before the library's dynamic initialisers.
std::array<HookEntry, 5> HookTable() {
  return {{
      {"AShooterPlayerController.ServerActorViewRemoteInventory_Implementation",
       reinterpret_cast<void*>(&OnViewRemoteInventory), reinterpret_cast<void**>(&ViewRemoteInventoryOriginal)},
      {"UPrimalItem.AddToInventory", reinterpret_cast<void*>(&OnAddToInventory),
       reinterpret_cast<void**>(&AddToInventoryOriginal)},
      {"AShooterPlayerController.ClientFinishedReceivingActorItems", reinterpret_cast<void*>(&OnFinishedReceivingItems),
       reinterpret_cast<void**>(&FinishedReceivingItemsOriginal)},
      {"APrimalDinoCharacter.BeginPlay", reinterpret_cast<void*>(&OnDinoBeginPlay),
       reinterpret_cast<void**>(&DinoBeginPlayOriginal)},
      {"AShooterGameMode.BeginPlay", reinterpret_cast<void*>(&OnGameModeBeginPlay),
       reinterpret_cast<void**>(&GameModeBeginPlayOriginal)},
  }};
}

constexpr CommandEntry kCommands[] = {
    {"Tidywarden.reload", &ReloadConfig},
    {"Tidywarden.DestroySpecifystructure", &DestroySpecifystructure},
    {"Tidywarden.DestroySpecifydino", &DestroySpecifydino},
};

void InstallHooks(std::size_t first, std::size_t last) {
  const auto hooks = HookTable();
  for (std::size_t i = first; i < last; ++i)
    ArkApi::GetHooks().InstallHook(hooks[i].function, hooks[i].detour, hooks[i].original);
}

void RemoveHooks(std::size_t first, std::size_t last) {
  const auto hooks = HookTable();
  for (std::size_t i = first; i < last; ++i) ArkApi::GetHooks().RemoveHook(hooks[i].function, hooks[i].detour);
}

}  // namespace

void LoadPlugin() {
  PluginLog();
  PluginLogInit();
  if (!ReadConfigFileOrLog()) return;
  InstallHooks(0, 3);
  for (const auto& command : kCommands) {
    ArkApi::GetCommands().RegisterRconCommand(host::OwnedString::FromNarrow(command.name), command.handler);
  }
  SetGuardUnload(&UnloadPlugin);
  InstallHooks(3, 5);
  PluginLog()->info(messages::kLoaded, messages::kCredit);
}

void UnloadPlugin() {
  RemoveHooks(0, 3);
  for (const auto& command : kCommands) {
    ArkApi::GetCommands().UnregisterRconCommand(host::OwnedString::FromNarrow(command.name));
  }
  RemoveHooks(3, 5);
}
