// The three inventory detours and the purge they share.
#include "inventory/Inventory.h"

#include <string>

#include "config/Config.h"
#include "config/ConfigAccess.h"
#include "host/Blueprint.h"
#include "host/Game.h"
#include "plugin/Log.h"

GameFn::ServerActorViewRemoteInventory ViewRemoteInventoryOriginal = nullptr;
GameFn::AddToInventory AddToInventoryOriginal = nullptr;
GameFn::ClientFinishedReceivingActorItems FinishedReceivingItemsOriginal = nullptr;

namespace {

enum class AfterMatch { Continue, Stop };

// Visits "Destroylist" in key order and calls `onMatch` for every member whose "Blueprint" equals `blueprint`.
template <typename OnMatch>
void WalkDestroylist(const std::string& blueprint, OnMatch&& onMatch) {
  nlohmann::json& list = config::MutableMember(PluginConfig, "Destroylist");
  for (auto entry = list.begin(); entry != list.end(); ++entry) {
    // Looking the member up again by its key would find this very element; key() still fails on non-objects.
    (void)entry.key();
    nlohmann::json& member = entry.value();
    if (config::BlueprintOf(member) != blueprint) continue;
    if (onMatch() == AfterMatch::Stop) return;
  }
}

}  // namespace

void PurgeInventory(UPrimalInventoryComponent* inventory) {
  const auto items = host::InventoryItemsCopy(inventory);
  for (UPrimalItem* item : items) {
    if (item == nullptr || host::ClassOf(item) == nullptr) continue;
    const std::string blueprint = ObjectBlueprint(item).ToUtf8();
    // Every matching member removes the item again, with the same identifier.
    WalkDestroylist(blueprint, [&] {
      host::RemoveItem(inventory, item);
      return AfterMatch::Continue;
    });
  }
}

void OnViewRemoteInventory(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory) {
  bool failed = true;
  RunAtBoundary(__FILE__, "OnViewRemoteInventory", [&] {
    if (controller != nullptr && inventory != nullptr) PurgeInventory(inventory);
    failed = false;
  });
  if (failed) return;
  ViewRemoteInventoryOriginal(controller, inventory);
}

void OnAddToInventory(UPrimalItem* item, UPrimalInventoryComponent* inventory, bool equipItem, bool addToSlot,
                      std::uint64_t slot, bool showHudNotification, bool dontRecalcSpoilingTime,
                      bool ignoreAbsoluteMaxInventory) {
  bool refused = false;
  bool failed = true;
  RunAtBoundary(__FILE__, "OnAddToInventory", [&] {
    if (item != nullptr && !equipItem && !ignoreAbsoluteMaxInventory && inventory != nullptr &&
        host::ClassOf(item) != nullptr) {
      const std::string blueprint = ObjectBlueprint(item).ToUtf8();
      WalkDestroylist(blueprint, [&] {
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
                              bool equippedItems) {
  FinishedReceivingItemsOriginal(controller, inventory, equippedItems);
  RunAtBoundary(__FILE__, "OnFinishedReceivingItems", [&] {
    if (controller != nullptr && inventory != nullptr) PurgeInventory(inventory);
  });
}
