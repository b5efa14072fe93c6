// The simulated game: objects and classes, inventories, the level, game data and the game's own functions.
#include "sandbox/game/GameWorld.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>

#include "host/BlueprintForm.h"
#include "host/GameAccess.h"
#include "sandbox/host/HostInternal.h"
#include "sandbox/host/Text.h"

// The game's item identifier is two 32-bit numbers.
template <>
inline constexpr bool sandbox::detail::kStandsFor<std::int32_t[2], FItemNetID> = true;

namespace sandbox::game {

struct ObjectRecord {
  GameObject view;
  Kind kind = Kind::Plain;
  std::string name;
  std::u16string fullName;
  // Classes.
  Kind instanceKind = Kind::Plain;
  GameObject* parent = nullptr;
  std::u16string reference;
  GameObject* defaultObject = nullptr;
  GameObject* structureToBuild = nullptr;
  // Backing storage of the engine arrays in `view`.
  std::vector<GameObject*> items;
  std::vector<GameObject*> actors;
  std::vector<GameObject*> engrams;
  // Actors.
  GameObject* level = nullptr;
  bool destroyed = false;
  int forceDestroyCalls = 0;
};

namespace {

constexpr const char* kNativePackage = "/Script/ShooterGame";
constexpr const char* kMapPath = "/Game/Maps/Sandbox.Sandbox:PersistentLevel.";

struct State {
  std::vector<std::unique_ptr<ObjectRecord>> objects;
  std::vector<GameObject*> classes;
  GameObject* nativeClasses[static_cast<int>(Kind::GameMode) + 1] = {};
  GameObject* world = nullptr;
  GameObject* level = nullptr;
  GameObject* currentWorld = nullptr;
  GameObject* singleton = nullptr;
  GameObject* gameData = nullptr;
  GameObject* engineGlobal = nullptr;  // members::Engine
  std::int32_t nextItemId = 1;
  std::int32_t nextActorNumber = 1;
  GameRecord record;
};

void Build(State& state);

// Built on first use; everything runs on the game thread.
State& TheState() {
  static State state;
  static bool built = false;
  if (!built) {
    built = true;
    Build(state);
  }
  return state;
}

ObjectRecord& RecordOf(const GameObject* object) {
  if (object == nullptr || object->record == nullptr) detail::Fail("a game function was given a null object");
  return *object->record;
}

GameObject* NewObject(Kind kind, GameObject* cls, std::string name, std::u16string fullName) {
  auto record = std::make_unique<ObjectRecord>();
  record->view.record = record.get();
  record->view.cls = cls;
  record->kind = kind;
  record->name = std::move(name);
  record->fullName = std::move(fullName);
  GameObject* object = &record->view;
  TheState().objects.push_back(std::move(record));
  return object;
}

template <typename T>
void Sync(EngineArray<T>& array, std::vector<T>& backing) {
  array.data = backing.empty() ? nullptr : backing.data();
  array.count = static_cast<std::int32_t>(backing.size());
  array.capacity = static_cast<std::int32_t>(backing.capacity());
}

GameObject* NativeClass(Kind kind) { return TheState().nativeClasses[static_cast<int>(kind)]; }

std::u16string InstanceFullName(const GameObject* cls, const std::string& name) {
  const std::string className = cls != nullptr ? RecordOf(cls).name : std::string("None");
  return Utf8ToUtf16(className + " " + kMapPath + name);
}

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

bool DerivesFrom(const GameObject* cls, const GameObject* ancestor) {
  for (const GameObject* current = cls; current != nullptr; current = RecordOf(current).parent) {
    if (current == ancestor) return true;
  }
  return false;
}

void RemoveFromLevel(GameObject* actor) {
  ObjectRecord& record = RecordOf(actor);
  if (record.level == nullptr) return;
  ObjectRecord& level = RecordOf(record.level);
  level.actors.erase(std::remove(level.actors.begin(), level.actors.end(), actor), level.actors.end());
  Sync(level.view.actors, level.actors);
  record.level = nullptr;
}

void PlaceInLevel(GameObject* actor) {
  State& state = TheState();
  ObjectRecord& level = RecordOf(state.level);
  level.actors.push_back(actor);
  Sync(level.view.actors, level.actors);
  RecordOf(actor).level = state.level;
}

std::vector<GameObject*> Snapshot(const GameObject* inventory) {
  return inventory != nullptr ? Items(inventory) : std::vector<GameObject*>{};
}

// ---- The game's functions ------------------------------------------------------------------------------------

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

GameObject* DefineNative(Kind kind, const std::string& name, GameObject* parent = nullptr) {
  ClassDefinition definition;
  definition.name = name;
  definition.package = kNativePackage;
  definition.kind = kind;
  definition.parent = parent;
  GameObject* cls = DefineClass(definition);
  TheState().nativeClasses[static_cast<int>(kind)] = cls;
  return cls;
}

// The engine's own class of each kind of object, in the order they are defined.
constexpr std::pair<Kind, const char*> kNativeClasses[] = {{Kind::Item, "PrimalItem"},
                                                           {Kind::Inventory, "PrimalInventoryComponent"},
                                                           {Kind::Controller, "ShooterPlayerController"},
                                                           {Kind::Structure, "PrimalStructure"},
                                                           {Kind::Creature, "PrimalDinoCharacter"},
                                                           {Kind::StatusComponent, "PrimalCharacterStatusComponent"},
                                                           {Kind::World, "World"},
                                                           {Kind::Level, "Level"},
                                                           {Kind::Engine, "ShooterEngine"},
                                                           {Kind::Singleton, "PrimalGlobals"},
                                                           {Kind::GameData, "PrimalGameData"},
                                                           {Kind::EngramEntry, "PrimalEngramEntry"},
                                                           {Kind::GameMode, "ShooterGameMode"}};

void Build(State& state) {
  state.objects.clear();
  state.classes.clear();
  std::fill(std::begin(state.nativeClasses), std::end(state.nativeClasses), nullptr);
  state.nextItemId = 1;
  state.nextActorNumber = 1;
  state.record = GameRecord{};
  for (const auto& [kind, name] : kNativeClasses) DefineNative(kind, name);
  state.world = NewObject(Kind::World, NativeClass(Kind::World), "Sandbox", u"World /Game/Maps/Sandbox.Sandbox");
  state.level = NewObject(Kind::Level, NativeClass(Kind::Level), "PersistentLevel",
                          u"Level /Game/Maps/Sandbox.Sandbox:PersistentLevel");
  state.world->persistentLevel = state.level;
  state.currentWorld = state.world;
  GameObject* engine =
      NewObject(Kind::Engine, NativeClass(Kind::Engine), "GameEngine", u"ShooterEngine /Engine/Transient.GameEngine");
  state.singleton = NewObject(Kind::Singleton, NativeClass(Kind::Singleton), "PrimalGlobals",
                              u"PrimalGlobals /Engine/Transient.PrimalGlobals");
  engine->gameSingleton = state.singleton;
  state.gameData = NewGameData();
  state.singleton->primalGameData = state.gameData;
  state.engineGlobal = engine;
}

}  // namespace

// ---- Building a world -----------------------------------------------------------------------------------------

GameObject* DefineClass(const ClassDefinition& definition) {
  const std::string fullName =
      definition.defaultFullName.value_or(definition.name + " " + definition.package + ".Default__" + definition.name);
  GameObject* cls = NewObject(Kind::Class, nullptr, definition.name, Utf8ToUtf16(fullName));
  ObjectRecord& record = RecordOf(cls);
  record.instanceKind = definition.kind;
  record.parent = definition.parent != nullptr ? definition.parent : NativeClass(definition.kind);
  if (record.parent == cls) record.parent = nullptr;
  record.reference = Utf8ToUtf16(definition.reference.value_or(definition.package + "." + definition.name));
  record.structureToBuild = definition.structureToBuild;
  TheState().classes.push_back(cls);
  return cls;
}

GameObject* DefineClass(const std::string& name, const std::string& package, Kind kind, GameObject* structureToBuild) {
  ClassDefinition definition;
  definition.name = name;
  definition.package = package;
  definition.kind = kind;
  definition.structureToBuild = structureToBuild;
  return DefineClass(definition);
}

void SetParent(GameObject* cls, GameObject* parent) { RecordOf(cls).parent = parent; }

void SetStructureToBuild(GameObject* itemClass, GameObject* structureClass) {
  RecordOf(itemClass).structureToBuild = structureClass;
}

GameObject* FindClass(std::string_view text) {
  for (GameObject* cls : TheState().classes) {
    const ObjectRecord& record = RecordOf(cls);
    if (record.name == text || Utf16ToUtf8(record.reference) == text || BlueprintPathOf(cls) == text) return cls;
  }
  return nullptr;
}

std::vector<GameObject*> Classes() { return TheState().classes; }
GameObject* ItemBaseClass() { return NativeClass(Kind::Item); }
GameObject* StructureBaseClass() { return NativeClass(Kind::Structure); }
GameObject* DinoBaseClass() { return NativeClass(Kind::Creature); }

GameObject* NewItem(GameObject* cls) {
  State& state = TheState();
  const std::int32_t id = state.nextItemId++;
  GameObject* item = NewObject(Kind::Item, cls, "Item_" + std::to_string(id), {});
  RecordOf(item).fullName = InstanceFullName(cls, RecordOf(item).name);
  item->itemId[0] = id;
  item->itemId[1] = id * 7 + 1;
  if (cls != nullptr) item->structureToBuild = RecordOf(cls).structureToBuild;
  return item;
}

GameObject* NewInventory(std::string name) {
  GameObject* cls = NativeClass(Kind::Inventory);
  auto fullName = InstanceFullName(cls, name);
  return NewObject(Kind::Inventory, cls, std::move(name), std::move(fullName));
}

GameObject* NewController(std::string name) {
  GameObject* cls = NativeClass(Kind::Controller);
  auto fullName = InstanceFullName(cls, name);
  return NewObject(Kind::Controller, cls, std::move(name), std::move(fullName));
}

void PutItem(GameObject* inventory, GameObject* item) {
  ObjectRecord& record = RecordOf(inventory);
  if (record.kind != Kind::Inventory) detail::Fail("items go into inventories only");
  record.items.push_back(item);
  Sync(record.view.inventoryItems, record.items);
}

std::vector<GameObject*> Items(const GameObject* inventory) { return RecordOf(inventory).items; }

std::vector<GameObject*> Inventories() {
  std::vector<GameObject*> inventories;
  for (const auto& record : TheState().objects) {
    if (record->kind == Kind::Inventory) inventories.push_back(&record->view);
  }
  return inventories;
}

GameObject* NewStructure(GameObject* cls, bool inLevel) {
  State& state = TheState();
  const std::string name =
      (cls != nullptr ? RecordOf(cls).name : std::string("Structure")) + "_" + std::to_string(state.nextActorNumber++);
  GameObject* structure = NewObject(Kind::Structure, cls, name, InstanceFullName(cls, name));
  if (inLevel) PlaceInLevel(structure);
  return structure;
}

GameObject* NewCreature(GameObject* cls, std::int32_t baseLevel, std::int32_t team, bool withStatus, bool inLevel) {
  State& state = TheState();
  const std::string name =
      (cls != nullptr ? RecordOf(cls).name : std::string("Dino")) + "_" + std::to_string(state.nextActorNumber++);
  GameObject* creature = NewObject(Kind::Creature, cls, name, InstanceFullName(cls, name));
  creature->targetingTeam = team;
  if (withStatus) {
    GameObject* statusClass = NativeClass(Kind::StatusComponent);
    GameObject* status = NewObject(Kind::StatusComponent, statusClass, name + ".Status",
                                   InstanceFullName(statusClass, name + ".Status"));
    status->baseCharacterLevel = baseLevel;
    creature->statusComponent = status;
  }
  if (inLevel) PlaceInLevel(creature);
  return creature;
}

std::vector<GameObject*> LevelActors() { return RecordOf(TheState().level).actors; }

std::vector<GameObject*> ActorsOutsideLevel() {
  const std::vector<GameObject*>& inLevel = RecordOf(TheState().level).actors;
  const std::unordered_set<const GameObject*> placed(inLevel.begin(), inLevel.end());
  std::vector<GameObject*> outside;
  for (const auto& record : TheState().objects) {
    if (record->kind != Kind::Structure && record->kind != Kind::Creature) continue;
    if (record->destroyed || placed.contains(&record->view)) continue;
    // A class's default object, made when a path is derived from it, is the game's template, not a world's actor.
    if (record->view.cls != nullptr && RecordOf(record->view.cls).defaultObject == &record->view) continue;
    outside.push_back(&record->view);
  }
  return outside;
}

GameObject* CurrentWorld() { return TheState().currentWorld; }
void SetCurrentWorld(GameObject* world) { TheState().currentWorld = world; }
GameObject* TheWorld() { return TheState().world; }
GameObject* Engine() { return TheState().engineGlobal; }
void SetEngine(GameObject* engine) { TheState().engineGlobal = engine; }
GameObject* Singleton() { return TheState().singleton; }
GameObject* GameData() { return TheState().gameData; }

GameObject* NewGameData() {
  GameObject* cls = NativeClass(Kind::GameData);
  return NewObject(Kind::GameData, cls, "PrimalGameData", InstanceFullName(cls, "PrimalGameData"));
}

GameObject* AddEngram(GameObject* gameData, GameObject* itemClass) {
  ObjectRecord& data = RecordOf(gameData);
  if (data.kind != Kind::GameData) detail::Fail("engrams belong to game data");
  GameObject* cls = NativeClass(Kind::EngramEntry);
  const std::string name = "EngramEntry_" + std::to_string(data.engrams.size());
  GameObject* entry = NewObject(Kind::EngramEntry, cls, name, InstanceFullName(cls, name));
  entry->engramItemClass = itemClass;
  data.engrams.push_back(entry);
  Sync(data.view.engramEntries, data.engrams);
  return entry;
}

GameObject* NewGameMode() {
  GameObject* cls = NativeClass(Kind::GameMode);
  return NewObject(Kind::GameMode, cls, "GameMode", InstanceFullName(cls, "GameMode"));
}

// ---- Inspecting -------------------------------------------------------------------------------------------------

Kind KindOf(const GameObject* object) { return RecordOf(object).kind; }
const std::string& NameOf(const GameObject* object) { return RecordOf(object).name; }
bool IsDestroyed(const GameObject* object) { return RecordOf(object).destroyed; }
int ForceDestroyCalls(const GameObject* object) { return RecordOf(object).forceDestroyCalls; }
std::string FullNameOf(const GameObject* object) { return Utf16ToUtf8(RecordOf(object).fullName); }

std::string BlueprintPathOf(const GameObject* cls) {
  const std::string fullName = Utf16ToUtf8(RecordOf(cls).fullName);
  const auto path = blueprint::PathOfFullName(std::string_view(fullName));
  if (!path) return {};
  return blueprint::WithoutRemovedPart(std::string_view(blueprint::Wrapped(*path)));
}

std::string ReferenceOf(const GameObject* cls) { return Utf16ToUtf8(RecordOf(cls).reference); }
Kind InstanceKindOf(const GameObject* cls) { return RecordOf(cls).instanceKind; }
GameObject* StructureToBuildOf(const GameObject* cls) { return RecordOf(cls).structureToBuild; }

GameRecord& Record() { return TheState().record; }

// ---- Entry points ------------------------------------------------------------------------------------------------

void ViewRemoteInventory(GameObject* controller, GameObject* inventory) {
  detail::HookEntry<members::ViewRemoteInventory>()(reinterpret_cast<AShooterPlayerController*>(controller),
                                                    reinterpret_cast<UPrimalInventoryComponent*>(inventory));
}

void AddToInventory(GameObject* item, GameObject* inventory, std::uint8_t equipItem, std::uint8_t addToSlot,
                    std::uint64_t slot, std::uint8_t showHudNotification, std::uint8_t dontRecalcSpoilingTime,
                    std::uint8_t ignoreAbsoluteMaxInventory) {
  detail::HookEntry<members::AddToInventory>()(
      reinterpret_cast<UPrimalItem*>(item), reinterpret_cast<UPrimalInventoryComponent*>(inventory), equipItem,
      addToSlot, slot, showHudNotification, dontRecalcSpoilingTime, ignoreAbsoluteMaxInventory);
}

void FinishReceivingItems(GameObject* controller, GameObject* inventory, std::uint8_t equippedItems) {
  detail::HookEntry<members::FinishedReceivingItems>()(reinterpret_cast<AShooterPlayerController*>(controller),
                                                       reinterpret_cast<UPrimalInventoryComponent*>(inventory),
                                                       equippedItems);
}

void DinoBeginPlay(GameObject* creature) {
  detail::HookEntry<members::DinoBeginPlay>()(reinterpret_cast<APrimalDinoCharacter*>(creature));
}

void GameModeBeginPlay(GameObject* gameMode) {
  detail::HookEntry<members::GameModeBeginPlay>()(reinterpret_cast<AShooterGameMode*>(gameMode));
}

GameObject* SpawnCreature(GameObject* cls, std::int32_t baseLevel, std::int32_t team, bool withStatus) {
  GameObject* creature = NewCreature(cls, baseLevel, team, withStatus, true);
  DinoBeginPlay(creature);
  return creature;
}

void ResetGame() { Build(TheState()); }

namespace {

void RegisterGameMembers() {
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

// The host serves this game: attached while the library loads, before anything can ask the host for a member.
[[maybe_unused]] const bool kAttached = [] {
  detail::AttachGame({&RegisterGameMembers, &ResetGame, [] { return static_cast<void*>(CurrentWorld()); }});
  return true;
}();

}  // namespace

}  // namespace sandbox::game
