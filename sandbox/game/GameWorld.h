// The simulated game: classes, objects, inventories, a level, game data, and the game's own entry points.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sandbox/host/Sandbox.h"

namespace sandbox::game {

enum class Kind : std::uint8_t {
  Class,
  Plain,
  Item,
  Inventory,
  Controller,
  Structure,
  Creature,
  StatusComponent,
  World,
  Level,
  Engine,
  Singleton,
  GameData,
  EngramEntry,
  GameMode,
};

struct ObjectRecord;

// What the game's code and the plug-in see of an object, each field standing for the game member named beside it.
// Every kind shares this one layout; the host refuses to resolve a field on an object whose kind does not have it.
struct GameObject {
  ObjectRecord* record = nullptr;
  GameObject* cls = nullptr;                     // members::ObjectClass
  std::int32_t itemId[2] = {0, 0};               // members::ItemId
  GameObject* structureToBuild = nullptr;        // members::StructureToBuild
  EngineArray<GameObject*> inventoryItems;       // members::InventoryItems
  std::int32_t targetingTeam = 0;                // members::TargetingTeam
  GameObject* statusComponent = nullptr;         // members::StatusComponent
  std::int32_t baseCharacterLevel = 0;           // members::BaseCharacterLevel
  GameObject* persistentLevel = nullptr;         // members::PersistentLevel
  EngineArray<GameObject*> actors;               // members::LevelActors
  GameObject* gameSingleton = nullptr;           // members::GameSingleton
  GameObject* primalGameData = nullptr;          // members::PrimalGameData
  GameObject* primalGameDataOverride = nullptr;  // members::PrimalGameDataOverride
  EngineArray<GameObject*> engramEntries;        // members::EngramEntries
  GameObject* engramItemClass = nullptr;         // members::EngramItemClass
};

struct ClassDefinition {
  std::string name;     // "Crate_C"
  std::string package;  // "/Game/Demo/Crate"
  Kind kind = Kind::Plain;
  GameObject* parent = nullptr;
  // Texts the game derives from name and package unless given: the default object's full name
  // ("Crate_C /Game/Demo/Crate.Default__Crate_C") and the class reference ("/Game/Demo/Crate.Crate_C").
  std::optional<std::string> defaultFullName;
  std::optional<std::string> reference;
  GameObject* structureToBuild = nullptr;  // for item classes
};

// ---- Building a world -------------------------------------------------------------------------------------
SANDBOX_API GameObject* DefineClass(const ClassDefinition& definition);
// The common case: the game derives every text from name and package.
SANDBOX_API GameObject* DefineClass(const std::string& name, const std::string& package, Kind kind,
                                    GameObject* structureToBuild = nullptr);
SANDBOX_API void SetParent(GameObject* cls, GameObject* parent);
// Items made from now on build that structure.
SANDBOX_API void SetStructureToBuild(GameObject* itemClass, GameObject* structureClass);
// By name, by reference text, or by the blueprint path an administrator writes; null when unknown.
SANDBOX_API GameObject* FindClass(std::string_view text);
SANDBOX_API std::vector<GameObject*> Classes();
SANDBOX_API GameObject* ItemBaseClass();
SANDBOX_API GameObject* StructureBaseClass();
SANDBOX_API GameObject* DinoBaseClass();

SANDBOX_API GameObject* NewItem(GameObject* cls);
SANDBOX_API GameObject* NewInventory(std::string name = "Inventory");
SANDBOX_API GameObject* NewController(std::string name = "PlayerController");
SANDBOX_API void PutItem(GameObject* inventory, GameObject* item);
SANDBOX_API std::vector<GameObject*> Items(const GameObject* inventory);
SANDBOX_API std::vector<GameObject*> Inventories();

// Actors are placed in the persistent level unless `inLevel` is false.
SANDBOX_API GameObject* NewStructure(GameObject* cls, bool inLevel = true);
SANDBOX_API GameObject* NewCreature(GameObject* cls, std::int32_t baseLevel, std::int32_t team, bool withStatus = true,
                                    bool inLevel = true);
SANDBOX_API std::vector<GameObject*> LevelActors();
// Creatures and structures that were placed outside the persistent level and are not destroyed.
SANDBOX_API std::vector<GameObject*> ActorsOutsideLevel();

SANDBOX_API GameObject* CurrentWorld();
SANDBOX_API void SetCurrentWorld(GameObject* world);
SANDBOX_API GameObject* TheWorld();
SANDBOX_API GameObject* Engine();
SANDBOX_API void SetEngine(GameObject* engine);
SANDBOX_API GameObject* Singleton();
SANDBOX_API GameObject* GameData();
SANDBOX_API GameObject* NewGameData();
// An entry of the game data's engram list; a null item class makes an entry without a blueprint.
SANDBOX_API GameObject* AddEngram(GameObject* gameData, GameObject* itemClass);
SANDBOX_API GameObject* NewGameMode();

// ---- Inspecting ---------------------------------------------------------------------------------------------
SANDBOX_API Kind KindOf(const GameObject* object);
SANDBOX_API const std::string& NameOf(const GameObject* object);
SANDBOX_API bool IsDestroyed(const GameObject* object);
SANDBOX_API int ForceDestroyCalls(const GameObject* object);
SANDBOX_API std::string FullNameOf(const GameObject* object);
// The blueprint path an administrator would write for objects of this class.
SANDBOX_API std::string BlueprintPathOf(const GameObject* cls);
// The class reference text the game gives for a class.
SANDBOX_API std::string ReferenceOf(const GameObject* cls);
// What a class makes (item, structure, creature...) and the structure its items build (null for none).
SANDBOX_API Kind InstanceKindOf(const GameObject* cls);
SANDBOX_API GameObject* StructureToBuildOf(const GameObject* cls);

struct RemoveItemCall {
  GameObject* inventory = nullptr;
  std::int32_t itemId[2] = {0, 0};
  bool removed = false;
};
struct InventoryCall {
  GameObject* controller = nullptr;
  GameObject* inventory = nullptr;
  std::vector<GameObject*> itemsSeen;  // the inventory's items when the game's function ran
};
struct AddCall {
  GameObject* item = nullptr;
  GameObject* inventory = nullptr;
  std::uint8_t equipItem = 0;
  std::uint8_t addToSlot = 0;
  std::uint64_t slot = 0;
  std::uint8_t showHudNotification = 0;
  std::uint8_t dontRecalcSpoilingTime = 0;
  std::uint8_t ignoreAbsoluteMaxInventory = 0;
};
struct GameRecord {
  std::vector<RemoveItemCall> removeItemCalls;
  std::vector<InventoryCall> viewCalls;
  std::vector<InventoryCall> finishedCalls;
  std::vector<AddCall> addCalls;
  std::vector<std::u16string> loadClassRequests;
  std::vector<GameObject*> newItems;  // items made by members::AddNewItem
  std::vector<GameObject*> dinoBeginPlayCalls;
  std::vector<GameObject*> gameModeBeginPlayCalls;
  std::vector<std::size_t> hooksAtGameModeBeginPlay;  // hooked functions when the game's BeginPlay ran
};
SANDBOX_API GameRecord& Record();

// ---- The game's entry points, which reach the plug-in's detours ---------------------------------------------
SANDBOX_API void ViewRemoteInventory(GameObject* controller, GameObject* inventory);
SANDBOX_API void AddToInventory(GameObject* item, GameObject* inventory, std::uint8_t equipItem = 0,
                                std::uint8_t addToSlot = 0, std::uint64_t slot = 0,
                                std::uint8_t showHudNotification = 0, std::uint8_t dontRecalcSpoilingTime = 0,
                                std::uint8_t ignoreAbsoluteMaxInventory = 0);
SANDBOX_API void FinishReceivingItems(GameObject* controller, GameObject* inventory, std::uint8_t equippedItems = 0);
SANDBOX_API void DinoBeginPlay(GameObject* creature);
SANDBOX_API void GameModeBeginPlay(GameObject* gameMode);
// A creature enters play: placed in the level, then its BeginPlay runs.
SANDBOX_API GameObject* SpawnCreature(GameObject* cls, std::int32_t baseLevel, std::int32_t team,
                                      bool withStatus = true);

// Drops every object and builds the empty world again (base classes, engine, game data, world and level).
SANDBOX_API void ResetGame();

}  // namespace sandbox::game
