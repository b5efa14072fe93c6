// The load and unload sequences and the hook and command tables.
#include "plugin/Plugin.h"

#include <array>

#include <spdlog/logger.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "config/Config.h"
#include "guard/Guard.h"
#include "host/Hooks.h"
#include "host/Services.h"
#include "inventory/Inventory.h"
#include "purge/Purge.h"

namespace {

struct CommandEntry {
  const char* name;
  host::CommandHandler handler;
};

// Each group is installed in its order and removed in the same order; the commands are registered between the two.
// Built at each use: the attach notification may run before the library's dynamic initialisers.
std::array<host::Hook, 3> InventoryHooks() {
  return {
      host::HookOf<members::ViewRemoteInventory>(&OnViewRemoteInventory, &ViewRemoteInventoryOriginal),
      host::HookOf<members::AddToInventory>(&OnAddToInventory, &AddToInventoryOriginal),
      host::HookOf<members::FinishedReceivingItems>(&OnFinishedReceivingItems, &FinishedReceivingItemsOriginal),
  };
}

std::array<host::Hook, 2> BeginPlayHooks() {
  return {
      host::HookOf<members::DinoBeginPlay>(&OnDinoBeginPlay, &DinoBeginPlayOriginal),
      host::HookOf<members::GameModeBeginPlay>(&OnGameModeBeginPlay, &GameModeBeginPlayOriginal),
  };
}

constexpr CommandEntry kCommands[] = {
    {"Tidywarden.reload", &ReloadConfig},
    {"Tidywarden.DestroySpecifystructure", &DestroySpecifystructure},
    {"Tidywarden.DestroySpecifydino", &DestroySpecifydino},
};

}  // namespace

void LoadPlugin() {
  PluginLog();
  PluginLogInit();
  if (!ReadConfigFileOrLog()) return;
  host::InstallHooks(InventoryHooks());
  for (const auto& command : kCommands) {
    host::RegisterCommand(command.name, command.handler);
  }
  SetGuardUnload(&UnloadPlugin);
  host::InstallHooks(BeginPlayHooks());
  PluginLog()->info(messages::kLoaded, messages::kCredit);
}

void UnloadPlugin() {
  host::RemoveHooks(InventoryHooks());
  for (const auto& command : kCommands) {
    host::UnregisterCommand(command.name);
  }
  host::RemoveHooks(BeginPlayHooks());
}
