// Typed access to every game member the plug-in uses; each call resolves the member by name again.
#pragma once

#include <cstdint>

#include "host/EngineTypes.h"
#include "host/GameTypes.h"

namespace host {

// Objects and classes.
UClass* ClassOf(const void* object);
UObject* DefaultObjectOf(UClass* cls);
OwnedString FullNameOf(const UObject* object);
bool IsA(const void* object, const UClass* cls);
UClass* DinoClass();
UClass* StructureClass();
OwnedString ClassReference(UClass* cls);
UClass* LoadClass(const EngineString& path);

// Items and inventories.
OwnedArray<UPrimalItem*> InventoryItemsCopy(UPrimalInventoryComponent* inventory);
void RemoveItem(UPrimalInventoryComponent* inventory, UPrimalItem* item);
UPrimalItem* AddNewItem(UClass* itemClass);
UClass* StructureToBuild(UPrimalItem* item);

// Actors and creatures.
std::int32_t TargetingTeam(AActor* actor);
void ForceDestroy(AActor* actor);
// Null when the creature has no status component.
const std::int32_t* BaseCharacterLevel(const void* creature);

// World and game data.
ULevel* PersistentLevel(UWorld* world);
OwnedArray<AActor*> LevelActorsCopy(ULevel* level);
UObject* GameEngine();
UObject* GameSingleton(UObject* engine);
UObject* PrimalGameData(UObject* singleton);
UObject* PrimalGameDataOverride(UObject* singleton);
OwnedArray<UObject*> EngramEntriesCopy(UObject* gameData);
UClass* EngramItemClass(UObject* engramEntry);

// RCON.
std::int32_t PacketId(const RCONPacket* packet);
const EngineString& PacketBody(const RCONPacket* packet);
void SendRconReply(RCONClientConnection* connection, std::int32_t packetId, OwnedString& reply);

}  // namespace host
