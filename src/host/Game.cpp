// Game members by name: the only place that knows their names and call shapes.
#include "host/Game.h"

#include "host/GameAccess.h"

namespace host {

UClass* ClassOf(const void* object) { return GameField<UClass*, "UObjectBase.Class">(object); }

UObject* DefaultObjectOf(UClass* cls) {
  return CallGame<GameFn::GetDefaultObject, "UClass.GetDefaultObject">(cls, true);
}

OwnedString FullNameOf(const UObject* object) {
  OwnedString name;
  CallGame<GameFn::GetFullName, "UObjectBaseUtility.GetFullName">(object, static_cast<EngineString*>(&name),
                                                                  static_cast<const UObject*>(nullptr));
  return name;
}

bool IsA(const void* object, const UClass* cls) {
  return CallGame<GameFn::IsA, "UObjectBaseUtility.IsA">(static_cast<const UObject*>(object), cls);
}

UClass* DinoClass() { return CallGame<GameFn::GetPrivateStaticClass, "APrimalDinoCharacter.GetPrivateStaticClass">(); }

UClass* StructureClass() { return CallGame<GameFn::GetPrivateStaticClass, "APrimalStructure.GetPrivateStaticClass">(); }

OwnedString ClassReference(UClass* cls) {
  OwnedString reference;
  CallGame<GameFn::ClassToStringReference, "UVictoryCore.ClassToStringReference">(
      static_cast<EngineString*>(&reference), cls);
  return reference;
}

UClass* LoadClass(const EngineString& path) { return CallGame<GameFn::BPLoadClass, "UVictoryCore.BPLoadClass">(&path); }

OwnedArray<UPrimalItem*> InventoryItemsCopy(UPrimalInventoryComponent* inventory) {
  return OwnedArray<UPrimalItem*>::CopyOf(
      GameField<EngineArray<UPrimalItem*>, "UPrimalInventoryComponent.InventoryItems">(inventory));
}

void RemoveItem(UPrimalInventoryComponent* inventory, UPrimalItem* item) {
  const auto* itemId = &GameField<char, "UPrimalItem.ItemID">(item);
  CallGame<GameFn::RemoveItem, "UPrimalInventoryComponent.RemoveItem">(
      inventory, reinterpret_cast<const FItemNetID*>(itemId), false, false, true, false);
}

UPrimalItem* AddNewItem(UClass* itemClass) {
  return CallGame<GameFn::AddNewItem, "UPrimalItem.AddNewItem">(
      itemClass, static_cast<UPrimalInventoryComponent*>(nullptr), false, true, 1.0F, false, std::int32_t{0}, false,
      0.0F, false, std::uint64_t{0}, 0.0F);
}

UClass* StructureToBuild(UPrimalItem* item) { return GameField<UClass*, "UPrimalItem.StructureToBuild">(item); }

std::int32_t TargetingTeam(AActor* actor) { return GameField<std::int32_t, "AActor.TargetingTeam">(actor); }

void ForceDestroy(AActor* actor) { CallGame<GameFn::ForceDestroy, "AActor.ForceDestroy">(actor); }

const std::int32_t* BaseCharacterLevel(const void* creature) {
  auto* status = GameField<UObject*, "APrimalCharacter.MyCharacterStatusComponent">(creature);
  if (status == nullptr) return nullptr;
  return &GameField<std::int32_t, "UPrimalCharacterStatusComponent.BaseCharacterLevel">(status);
}

ULevel* PersistentLevel(UWorld* world) { return GameField<ULevel*, "UWorld.PersistentLevel">(world); }

OwnedArray<AActor*> LevelActorsCopy(ULevel* level) {
  return OwnedArray<AActor*>::CopyOf(GameField<EngineArray<AActor*>, "ULevelBase.Actors">(level));
}

UObject* GameEngine() {
  auto* global = static_cast<UObject**>(GetDataAddress(HostName<"Global.GEngine">()));
  return global != nullptr ? *global : nullptr;
}

UObject* GameSingleton(UObject* engine) { return GameField<UObject*, "UEngine.GameSingleton">(engine); }

UObject* PrimalGameData(UObject* singleton) { return GameField<UObject*, "UPrimalGlobals.PrimalGameData">(singleton); }

UObject* PrimalGameDataOverride(UObject* singleton) {
  return GameField<UObject*, "UPrimalGlobals.PrimalGameDataOverride">(singleton);
}

OwnedArray<UObject*> EngramEntriesCopy(UObject* gameData) {
  return OwnedArray<UObject*>::CopyOf(
      GameField<EngineArray<UObject*>, "UPrimalGameData.EngramBlueprintEntries">(gameData));
}

UClass* EngramItemClass(UObject* engramEntry) {
  return GameField<UClass*, "UPrimalEngramEntry.BluePrintEntry">(engramEntry);
}

std::int32_t PacketId(const RCONPacket* packet) { return packet->id; }

const EngineString& PacketBody(const RCONPacket* packet) { return packet->body; }

void SendRconReply(RCONClientConnection* connection, std::int32_t packetId, OwnedString& reply) {
  CallGame<GameFn::SendMessageW, "RCONClientConnection.SendMessageW">(connection, packetId, std::int32_t{0},
                                                                      static_cast<EngineString*>(&reply));
}

}  // namespace host
