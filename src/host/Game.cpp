// Game members by their tags: the plug-in's one place that reaches them.
#include "host/Game.h"

#include "host/GameAccess.h"

namespace host {

UClass* ClassOf(const void* object) { return FieldOf<members::ObjectClass>(object); }

UObject* DefaultObjectOf(UClass* cls) { return Call<members::GetDefaultObject>(cls, true); }

OwnedString FullNameOf(const UObject* object) {
  OwnedString name;
  Call<members::GetFullName>(object, static_cast<EngineString*>(&name), static_cast<const UObject*>(nullptr));
  return name;
}

bool IsA(const void* object, const UClass* cls) { return Call<members::IsA>(static_cast<const UObject*>(object), cls); }

UClass* DinoClass() { return Call<members::DinoStaticClass>(); }

UClass* StructureClass() { return Call<members::StructureStaticClass>(); }

OwnedString ClassReference(UClass* cls) {
  OwnedString reference;
  Call<members::ClassToStringReference>(static_cast<EngineString*>(&reference), cls);
  return reference;
}

UClass* LoadClass(const EngineString& path) { return Call<members::LoadClass>(&path); }

OwnedArray<UPrimalItem*> InventoryItemsCopy(UPrimalInventoryComponent* inventory) {
  return OwnedArray<UPrimalItem*>::CopyOf(FieldOf<members::InventoryItems>(inventory));
}

void RemoveItem(UPrimalInventoryComponent* inventory, UPrimalItem* item) {
  Call<members::RemoveItem>(inventory, &FieldOf<members::ItemId>(item), false, false, true, false);
}

UPrimalItem* AddNewItem(UClass* itemClass) {
  return Call<members::AddNewItem>(itemClass, static_cast<UPrimalInventoryComponent*>(nullptr), false, true, 1.0F,
                                   false, std::int32_t{0}, false, 0.0F, false, std::uint64_t{0}, 0.0F);
}

UClass* StructureToBuild(UPrimalItem* item) { return FieldOf<members::StructureToBuild>(item); }

std::int32_t TargetingTeam(AActor* actor) { return FieldOf<members::TargetingTeam>(actor); }

void ForceDestroy(AActor* actor) { Call<members::ForceDestroy>(actor); }

const std::int32_t* BaseCharacterLevel(const void* creature) {
  auto* status = FieldOf<members::StatusComponent>(creature);
  if (status == nullptr) return nullptr;
  return &FieldOf<members::BaseCharacterLevel>(status);
}

ULevel* PersistentLevel(UWorld* world) { return FieldOf<members::PersistentLevel>(world); }

OwnedArray<AActor*> LevelActorsCopy(ULevel* level) {
  return OwnedArray<AActor*>::CopyOf(FieldOf<members::LevelActors>(level));
}

UObject* GameEngine() {
  auto* global = GlobalOf<members::Engine>();
  return global != nullptr ? *global : nullptr;
}

UObject* GameSingleton(UObject* engine) { return FieldOf<members::GameSingleton>(engine); }

UObject* PrimalGameData(UObject* singleton) { return FieldOf<members::PrimalGameData>(singleton); }

UObject* PrimalGameDataOverride(UObject* singleton) { return FieldOf<members::PrimalGameDataOverride>(singleton); }

OwnedArray<UObject*> EngramEntriesCopy(UObject* gameData) {
  return OwnedArray<UObject*>::CopyOf(FieldOf<members::EngramEntries>(gameData));
}

UClass* EngramItemClass(UObject* engramEntry) { return FieldOf<members::EngramItemClass>(engramEntry); }

std::int32_t PacketId(const RCONPacket* packet) { return packet->id; }

const EngineString& PacketBody(const RCONPacket* packet) { return packet->body; }

void SendRconReply(RCONClientConnection* connection, std::int32_t packetId, OwnedString& reply) {
  Call<members::SendMessageW>(connection, packetId, std::int32_t{0}, static_cast<EngineString*>(&reply));
}

}  // namespace host
