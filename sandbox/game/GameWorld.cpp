// The simulated game's world store: objects and classes, inventories, the level and the game data.
#include "sandbox/game/GameWorld.h"

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <utility>

#include "host/BlueprintForm.h"
#include "sandbox/game/GameStore.h"
#include "sandbox/host/HostInternal.h"
#include "sandbox/host/Text.h"

namespace sandbox::game {

using namespace store;

namespace {

constexpr const char* kNativePackage = "/Script/ShooterGame";
constexpr const char* kMapPath = "/Game/Maps/Sandbox.Sandbox:PersistentLevel.";

void Build(State& state);

std::u16string InstanceFullName(const GameObject* cls, const std::string& name) {
  const std::string className = cls != nullptr ? RecordOf(cls).name : std::string("None");
  return Utf8ToUtf16(className + " " + kMapPath + name);
}

void PlaceInLevel(GameObject* actor) {
  State& state = TheState();
  ObjectRecord& level = RecordOf(state.level);
  level.actors.push_back(actor);
  Sync(level.view.actors, level.actors);
  RecordOf(actor).level = state.level;
}

}  // namespace

namespace store {

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

GameObject* NativeClass(Kind kind) { return TheState().nativeClasses[static_cast<int>(kind)]; }

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

}  // namespace store

namespace {

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

}  // namespace sandbox::game
