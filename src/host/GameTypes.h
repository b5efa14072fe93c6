// The game's opaque classes and the call shapes of the game functions reached by name.
#pragma once

#include <cstdint>

#include "host/HostApi.h"

struct AActor;
struct AShooterGameMode;
struct AShooterPlayerController;
struct APrimalDinoCharacter;
struct FItemNetID;
struct ULevel;
struct UPrimalInventoryComponent;
struct UPrimalItem;

// Every game function takes its object first. An out argument is the address of an empty EngineString
// that the function fills through the game allocator.
namespace GameFn {
using Malloc = void* (*)(std::size_t size, std::uint32_t alignment);
using Realloc = void* (*)(void* buffer, std::size_t size);
using Free = void (*)(void* buffer);

using GetFullName = void (*)(const UObject* object, EngineString* out, const UObject* stopOuter);
using IsA = bool (*)(const UObject* object, const UClass* cls);
using GetDefaultObject = UObject* (*)(UClass* cls, bool createIfNeeded);
using GetPrivateStaticClass = UClass* (*)();

using RemoveItem = bool (*)(UPrimalInventoryComponent* inventory, const FItemNetID* itemId, bool doDrop, bool secondary,
                            bool forceRemoval, bool showHudMessage);
using AddNewItem = UPrimalItem* (*)(UClass* itemClass, UPrimalInventoryComponent* inventory, bool equip, bool dontStack,
                                    float quality, bool forceNoBlueprint, std::int32_t quantity, bool forceBlueprint,
                                    float maxRating, bool resetOnClient, std::uint64_t customClass,
                                    float minRandomQuality);

using SendMessageW = void (*)(RCONClientConnection* connection, std::int32_t id, std::int32_t type,
                              EngineString* message);
using BPLoadClass = UClass* (*)(const EngineString* path);
using ClassToStringReference = void (*)(EngineString* out, UClass* cls);
using ForceDestroy = void (*)(AActor* actor);

// Hooked functions. The plug-in treats all of them as returning nothing.
using ServerActorViewRemoteInventory = void (*)(AShooterPlayerController* controller,
                                                UPrimalInventoryComponent* inventory);
using AddToInventory = void (*)(UPrimalItem* item, UPrimalInventoryComponent* inventory, std::uint8_t equipItem,
                                std::uint8_t addToSlot, std::uint64_t slot, std::uint8_t showHudNotification,
                                std::uint8_t dontRecalcSpoilingTime, std::uint8_t ignoreAbsoluteMaxInventory);
using ClientFinishedReceivingActorItems = void (*)(AShooterPlayerController* controller,
                                                   UPrimalInventoryComponent* inventory, std::uint8_t equippedItems);
using DinoBeginPlay = void (*)(APrimalDinoCharacter* creature);
using GameModeBeginPlay = void (*)(AShooterGameMode* gameMode);
}  // namespace GameFn
