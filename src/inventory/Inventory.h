// Keeping listed items out of inventories.
#pragma once

#include "host/GameTypes.h"

// Replaced-function pointers, filled by InstallHook.
extern GameFn::ServerActorViewRemoteInventory ViewRemoteInventoryOriginal;
extern GameFn::AddToInventory AddToInventoryOriginal;
extern GameFn::ClientFinishedReceivingActorItems FinishedReceivingItemsOriginal;

void PurgeInventory(UPrimalInventoryComponent* inventory);

void OnViewRemoteInventory(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory);
void OnAddToInventory(UPrimalItem* item, UPrimalInventoryComponent* inventory, bool equipItem, bool addToSlot,
                      std::uint64_t slot, bool showHudNotification, bool dontRecalcSpoilingTime,
                      bool ignoreAbsoluteMaxInventory);
void OnFinishedReceivingItems(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory,
                              bool equippedItems);
