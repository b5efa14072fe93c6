// The three inventory detours and the purge they share.
#include "inventory/Inventory.h"

#include <string>

#include "common/Log.h"
#include "config/Config.h"
#include "config/Walks.h"
#include "host/Blueprint.h"
#include "host/Game.h"
#include "inventory/DetourNames.h"

members::ViewRemoteInventory::Type ViewRemoteInventoryOriginal = nullptr;
members::AddToInventory::Type AddToInventoryOriginal = nullptr;
members::FinishedReceivingItems::Type FinishedReceivingItemsOriginal = nullptr;

using config::AfterMatch;

void PurgeInventory(UPrimalInventoryComponent* inventory) {
  const auto items = host::InventoryItemsCopy(inventory);
  for (UPrimalItem* item : items) {
    if (item == nullptr || host::ClassOf(item) == nullptr) continue;
    const std::string blueprint = ObjectBlueprint(item).ToUtf8();
    // Every matching member removes the item again, with the same identifier.
    config::WalkDestroylist(PluginConfig, blueprint, [&] {
      host::RemoveItem(inventory, item);
      return AfterMatch::Continue;
    });
  }
}

void OnViewRemoteInventory(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory) {
  bool failed = true;
  RunAtBoundary(__FILE__, detours::kViewRemoteInventory, [&] {
    if (controller != nullptr && inventory != nullptr) PurgeInventory(inventory);
    failed = false;
  });
  if (failed) return;
  ViewRemoteInventoryOriginal(controller, inventory);
}

void OnAddToInventory(UPrimalItem* item, UPrimalInventoryComponent* inventory, std::uint8_t equipItem,
                      std::uint8_t addToSlot, std::uint64_t slot, std::uint8_t showHudNotification,
                      std::uint8_t dontRecalcSpoilingTime, std::uint8_t ignoreAbsoluteMaxInventory) {
  bool refused = false;
  bool failed = true;
  RunAtBoundary(__FILE__, detours::kAddToInventory, [&] {
    // The game's flags are bytes: any non-zero value counts as set.
    if (item != nullptr && equipItem == 0 && ignoreAbsoluteMaxInventory == 0 && inventory != nullptr &&
        host::ClassOf(item) != nullptr) {
      const std::string blueprint = ObjectBlueprint(item).ToUtf8();
      config::WalkDestroylist(PluginConfig, blueprint, [&] {
        refused = true;
        return AfterMatch::Stop;
      });
    }
    failed = false;
  });
  if (failed || refused) return;
  AddToInventoryOriginal(item, inventory, equipItem, addToSlot, slot, showHudNotification, dontRecalcSpoilingTime,
                         ignoreAbsoluteMaxInventory);
}

void OnFinishedReceivingItems(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory,
                              std::uint8_t equippedItems) {
  FinishedReceivingItemsOriginal(controller, inventory, equippedItems);
  RunAtBoundary(__FILE__, detours::kFinishedReceivingItems, [&] {
    if (controller != nullptr && inventory != nullptr) PurgeInventory(inventory);
  });
}
