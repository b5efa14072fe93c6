// Keeping listed items out of inventories.
#pragma once

#include "host/Members.h"

// Replaced-function pointers, filled by InstallHook.
extern members::ViewRemoteInventory::Type ViewRemoteInventoryOriginal;
extern members::AddToInventory::Type AddToInventoryOriginal;
extern members::FinishedReceivingItems::Type FinishedReceivingItemsOriginal;

void PurgeInventory(UPrimalInventoryComponent* inventory);

void OnViewRemoteInventory(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory);
void OnAddToInventory(UPrimalItem* item, UPrimalInventoryComponent* inventory, std::uint8_t equipItem,
                      std::uint8_t addToSlot, std::uint64_t slot, std::uint8_t showHudNotification,
                      std::uint8_t dontRecalcSpoilingTime, std::uint8_t ignoreAbsoluteMaxInventory);
void OnFinishedReceivingItems(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory,
                              std::uint8_t equippedItems);
