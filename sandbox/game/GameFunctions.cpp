// The game's own functions, which the plug-in calls or hooks, and their registration with the host.
#include <algorithm>
#include <cstring>

#include "host/GameAccess.h"
#include "sandbox/game/GameStore.h"
#include "sandbox/host/HostInternal.h"
#include "sandbox/host/Text.h"

// The game's item identifier is two 32-bit numbers.
template <>
inline constexpr bool sandbox::detail::kStandsFor<std::int32_t[2], FItemNetID> = true;

namespace sandbox::game {
namespace {

using namespace store;

void FillString(EngineString* out, const std::u16string& text) {
  if (out == nullptr) detail::Fail("a game function was given no string to fill");
  if (out->data != nullptr || out->count != 0) detail::Fail("a game function was given a string that is not empty");
  if (text.empty()) return;
  const auto count = static_cast<std::int32_t>(text.size() + 1);
  out->data = static_cast<char16_t*>(
      host::Call<members::Malloc>(static_cast<std::size_t>(count) * sizeof(char16_t), std::uint32_t{0}));
  std::memcpy(out->data, text.c_str(), static_cast<std::size_t>(count) * sizeof(char16_t));
  out->count = count;
  out->capacity = count;
}

std::vector<GameObject*> Snapshot(const GameObject* inventory) {
  return inventory != nullptr ? Items(inventory) : std::vector<GameObject*>{};
}

void GetFullNameImpl(const UObject* object, EngineString* out, const UObject* /*stopOuter*/) {
  FillString(out, RecordOf(reinterpret_cast<const GameObject*>(object)).fullName);
}

bool IsAImpl(const UObject* object, const UClass* cls) {
  const GameObject* self = reinterpret_cast<const GameObject*>(object);
  RecordOf(self);
  return cls != nullptr && DerivesFrom(self->cls, reinterpret_cast<const GameObject*>(cls));
}

UObject* GetDefaultObjectImpl(UClass* cls, bool /*createIfNeeded*/) {
  auto* classObject = reinterpret_cast<GameObject*>(cls);
  ObjectRecord& record = RecordOf(classObject);
  if (record.kind != Kind::Class)
    detail::Fail(std::string(members::GetDefaultObject::name) + " on an object that is not a class");
  if (record.defaultObject == nullptr) {
    record.defaultObject = NewObject(record.instanceKind, classObject, "Default__" + record.name, record.fullName);
  }
  return reinterpret_cast<UObject*>(record.defaultObject);
}

UClass* DinoStaticClass() { return reinterpret_cast<UClass*>(NativeClass(Kind::Creature)); }
UClass* StructureStaticClass() { return reinterpret_cast<UClass*>(NativeClass(Kind::Structure)); }

bool RemoveItemImpl(UPrimalInventoryComponent* inventory, const FItemNetID* itemId, bool, bool, bool, bool) {
  auto* owner = reinterpret_cast<GameObject*>(inventory);
  ObjectRecord& record = RecordOf(owner);
  if (itemId == nullptr) detail::Fail(std::string(members::RemoveItem::name) + " without an item identifier");
  RemoveItemCall call;
  call.inventory = owner;
  std::memcpy(call.itemId, itemId, sizeof(call.itemId));
  const auto found = std::find_if(record.items.begin(), record.items.end(), [&](GameObject* item) {
    return item != nullptr && std::memcmp(item->itemId, call.itemId, sizeof(call.itemId)) == 0;
  });
  call.removed = found != record.items.end();
  if (call.removed) {
    record.items.erase(found);
    Sync(record.view.inventoryItems, record.items);
  }
  TheState().record.removeItemCalls.push_back(call);
  return call.removed;
}

UPrimalItem* AddNewItemImpl(UClass* itemClass, UPrimalInventoryComponent* inventory, bool, bool, float, bool,
                            std::int32_t, bool, float, bool, std::uint64_t, float) {
  auto* cls = reinterpret_cast<GameObject*>(itemClass);
  if (cls == nullptr) return nullptr;
  if (RecordOf(cls).instanceKind != Kind::Item) return nullptr;
  GameObject* item = NewItem(cls);
  if (inventory != nullptr) PutItem(reinterpret_cast<GameObject*>(inventory), item);
  TheState().record.newItems.push_back(item);
  return reinterpret_cast<UPrimalItem*>(item);
}

UClass* BPLoadClassImpl(const EngineString* path) {
  if (path == nullptr) detail::Fail(std::string(members::LoadClass::name) + " without a path");
  const std::u16string text = path->data != nullptr && path->count > 1
                                  ? std::u16string(path->data, static_cast<std::size_t>(path->count - 1))
                                  : std::u16string();
  TheState().record.loadClassRequests.push_back(text);
  // A class without a path or reference text must not be what the empty path names.
  if (text.empty()) return nullptr;
  const std::string utf8 = Utf16ToUtf8(text);
  for (GameObject* cls : TheState().classes) {
    const ObjectRecord& record = RecordOf(cls);
    const std::string reference = Utf16ToUtf8(record.reference);
    if (utf8 == reference || utf8 == "Blueprint'" + reference + "'" || utf8 == BlueprintPathOf(cls)) {
      return reinterpret_cast<UClass*>(cls);
    }
  }
  return nullptr;
}

void ClassToStringReferenceImpl(EngineString* out, UClass* cls) {
  FillString(out, RecordOf(reinterpret_cast<GameObject*>(cls)).reference);
}

void ForceDestroyImpl(AActor* actor) {
  auto* object = reinterpret_cast<GameObject*>(actor);
  ObjectRecord& record = RecordOf(object);
  if (record.kind != Kind::Structure && record.kind != Kind::Creature)
    detail::Fail(std::string(members::ForceDestroy::name) + " on a non-actor");
  ++record.forceDestroyCalls;
  record.destroyed = true;
  RemoveFromLevel(object);
}

void ViewRemoteInventoryImpl(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory) {
  auto* owner = reinterpret_cast<GameObject*>(inventory);
  TheState().record.viewCalls.push_back({reinterpret_cast<GameObject*>(controller), owner, Snapshot(owner)});
}

void AddToInventoryImpl(UPrimalItem* item, UPrimalInventoryComponent* inventory, std::uint8_t equipItem,
                        std::uint8_t addToSlot, std::uint64_t slot, std::uint8_t showHudNotification,
                        std::uint8_t dontRecalcSpoilingTime, std::uint8_t ignoreAbsoluteMaxInventory) {
  auto* object = reinterpret_cast<GameObject*>(item);
  auto* owner = reinterpret_cast<GameObject*>(inventory);
  TheState().record.addCalls.push_back({object, owner, equipItem, addToSlot, slot, showHudNotification,
                                        dontRecalcSpoilingTime, ignoreAbsoluteMaxInventory});
  if (object != nullptr && owner != nullptr) PutItem(owner, object);
}

void FinishedReceivingImpl(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory, std::uint8_t) {
  auto* owner = reinterpret_cast<GameObject*>(inventory);
  TheState().record.finishedCalls.push_back({reinterpret_cast<GameObject*>(controller), owner, Snapshot(owner)});
}

void DinoBeginPlayImpl(APrimalDinoCharacter* creature) {
  TheState().record.dinoBeginPlayCalls.push_back(reinterpret_cast<GameObject*>(creature));
}

void GameModeBeginPlayImpl(AShooterGameMode* gameMode) {
  TheState().record.gameModeBeginPlayCalls.push_back(reinterpret_cast<GameObject*>(gameMode));
  TheState().record.hooksAtGameModeBeginPlay.push_back(HookedFunctions().size());
}

void RegisterMembers() {
  using detail::RegisterField;
  using detail::RegisterFunction;
  using detail::RegisterHookSite;
  RegisterFunction<members::GetFullName>(&GetFullNameImpl);
  RegisterFunction<members::IsA>(&IsAImpl);
  RegisterFunction<members::GetDefaultObject>(&GetDefaultObjectImpl);
  RegisterFunction<members::DinoStaticClass>(&DinoStaticClass);
  RegisterFunction<members::StructureStaticClass>(&StructureStaticClass);
  RegisterFunction<members::RemoveItem>(&RemoveItemImpl);
  RegisterFunction<members::AddNewItem>(&AddNewItemImpl);
  RegisterFunction<members::LoadClass>(&BPLoadClassImpl);
  RegisterFunction<members::ClassToStringReference>(&ClassToStringReferenceImpl);
  RegisterFunction<members::ForceDestroy>(&ForceDestroyImpl);

  // The host refuses to resolve a field on an object whose kind does not have it.
  const auto of = [](std::initializer_list<Kind> kinds) -> detail::FieldOwners {
    return [owners = std::vector<Kind>(kinds)](const void* object) {
      return std::find(owners.begin(), owners.end(), KindOf(static_cast<const GameObject*>(object))) != owners.end();
    };
  };
  RegisterField<members::ObjectClass>(&GameObject::cls, {});
  RegisterField<members::ItemId>(&GameObject::itemId, of({Kind::Item}));
  RegisterField<members::StructureToBuild>(&GameObject::structureToBuild, of({Kind::Item}));
  RegisterField<members::InventoryItems>(&GameObject::inventoryItems, of({Kind::Inventory}));
  RegisterField<members::TargetingTeam>(&GameObject::targetingTeam, of({Kind::Structure, Kind::Creature}));
  RegisterField<members::StatusComponent>(&GameObject::statusComponent, of({Kind::Creature}));
  RegisterField<members::BaseCharacterLevel>(&GameObject::baseCharacterLevel, of({Kind::StatusComponent}));
  RegisterField<members::PersistentLevel>(&GameObject::persistentLevel, of({Kind::World}));
  RegisterField<members::LevelActors>(&GameObject::actors, of({Kind::Level}));
  RegisterField<members::GameSingleton>(&GameObject::gameSingleton, of({Kind::Engine}));
  RegisterField<members::PrimalGameData>(&GameObject::primalGameData, of({Kind::Singleton}));
  RegisterField<members::PrimalGameDataOverride>(&GameObject::primalGameDataOverride, of({Kind::Singleton}));
  RegisterField<members::EngramEntries>(&GameObject::engramEntries, of({Kind::GameData}));
  RegisterField<members::EngramItemClass>(&GameObject::engramItemClass, of({Kind::EngramEntry}));
  detail::RegisterGlobal<members::Engine>(&TheState().engineGlobal);

  RegisterHookSite<members::ViewRemoteInventory>(&ViewRemoteInventoryImpl);
  RegisterHookSite<members::AddToInventory>(&AddToInventoryImpl);
  RegisterHookSite<members::FinishedReceivingItems>(&FinishedReceivingImpl);
  RegisterHookSite<members::DinoBeginPlay>(&DinoBeginPlayImpl);
  RegisterHookSite<members::GameModeBeginPlay>(&GameModeBeginPlayImpl);
}

}  // namespace

}  // namespace sandbox::game

// What the host asks of the game it serves (HostInternal.h).
void sandbox::detail::RegisterGameMembers() { game::RegisterMembers(); }
void sandbox::detail::ResetGame() { game::ResetGame(); }
void* sandbox::detail::CurrentWorld() { return game::CurrentWorld(); }
