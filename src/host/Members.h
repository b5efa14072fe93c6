// The game members the plug-in reaches by name: one tag each, carrying the name and the call shape or field type.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/GameTypes.h"

namespace host {

// A member's name as a template argument, so that each tag is its own type.
template <std::size_t N>
struct MemberName {
  constexpr MemberName(const char (&name)[N]) { std::copy_n(name, N, text); }  // NOLINT: implicit by design
  char text[N];
};

enum class MemberKind { Function, Hooked, Field, Global };

template <MemberKind Kind, MemberName Name, typename T>
struct Member {
  static constexpr MemberKind kind = Kind;
  static constexpr std::string_view name{Name.text, sizeof(Name.text) - 1};
  // A function pointer type for functions, the field's type for fields, the type a global's address holds.
  using Type = T;
};

// Called at once after the host resolves it.
template <MemberName Name, typename Shape>
using GameFunction = Member<MemberKind::Function, Name, Shape>;
// A function the host can put a detour on. The plug-in treats all of them as returning nothing.
template <MemberName Name, typename Shape>
using HookedFunction = Member<MemberKind::Hooked, Name, Shape>;
template <MemberName Name, typename T>
using GameField = Member<MemberKind::Field, Name, T>;
template <MemberName Name, typename T>
using GameGlobal = Member<MemberKind::Global, Name, T>;

template <typename M>
concept FunctionMember = M::kind == MemberKind::Function;
template <typename M>
concept HookedMember = M::kind == MemberKind::Hooked;
template <typename M>
concept FieldMember = M::kind == MemberKind::Field;
template <typename M>
concept GlobalMember = M::kind == MemberKind::Global;

}  // namespace host

// Every game function takes its object first. An out argument is the address of an empty EngineString that the
// function fills through the game allocator.
namespace members {

using host::GameField;
using host::GameFunction;
using host::GameGlobal;
using host::HookedFunction;

// The game allocator.
using Malloc = GameFunction<"FMemory.Malloc", void* (*)(std::size_t size, std::uint32_t alignment)>;
using Realloc = GameFunction<"FMemory.Realloc", void* (*)(void* buffer, std::size_t size)>;
using Free = GameFunction<"FMemory.Free", void (*)(void* buffer)>;

// Objects and classes.
using ObjectClass = GameField<"UObjectBase.Class", UClass*>;
using GetFullName = GameFunction<"UObjectBaseUtility.GetFullName",
                                 void (*)(const UObject* object, EngineString* out, const UObject* stopOuter)>;
using IsA = GameFunction<"UObjectBaseUtility.IsA", bool (*)(const UObject* object, const UClass* cls)>;
using GetDefaultObject = GameFunction<"UClass.GetDefaultObject", UObject* (*)(UClass* cls, bool createIfNeeded)>;
using DinoStaticClass = GameFunction<"APrimalDinoCharacter.GetPrivateStaticClass", UClass* (*)()>;
using StructureStaticClass = GameFunction<"APrimalStructure.GetPrivateStaticClass", UClass* (*)()>;
using LoadClass = GameFunction<"UVictoryCore.BPLoadClass", UClass* (*)(const EngineString* path)>;
using ClassToStringReference =
    GameFunction<"UVictoryCore.ClassToStringReference", void (*)(EngineString* out, UClass* cls)>;

// Items and inventories.
using InventoryItems = GameField<"UPrimalInventoryComponent.InventoryItems", EngineArray<UPrimalItem*>>;
using RemoveItem = GameFunction<"UPrimalInventoryComponent.RemoveItem",
                                bool (*)(UPrimalInventoryComponent* inventory, const FItemNetID* itemId, bool doDrop,
                                         bool secondary, bool forceRemoval, bool showHudMessage)>;
using ItemId = GameField<"UPrimalItem.ItemID", FItemNetID>;
using StructureToBuild = GameField<"UPrimalItem.StructureToBuild", UClass*>;
using AddNewItem =
    GameFunction<"UPrimalItem.AddNewItem",
                 UPrimalItem* (*)(UClass* itemClass, UPrimalInventoryComponent* inventory, bool equip, bool dontStack,
                                  float quality, bool forceNoBlueprint, std::int32_t quantity, bool forceBlueprint,
                                  float maxRating, bool resetOnClient, std::uint64_t customClass,
                                  float minRandomQuality)>;

// Actors and creatures.
using TargetingTeam = GameField<"AActor.TargetingTeam", std::int32_t>;
using ForceDestroy = GameFunction<"AActor.ForceDestroy", void (*)(AActor* actor)>;
using StatusComponent = GameField<"APrimalCharacter.MyCharacterStatusComponent", UObject*>;
using BaseCharacterLevel = GameField<"UPrimalCharacterStatusComponent.BaseCharacterLevel", std::int32_t>;

// World, engine and game data.
using PersistentLevel = GameField<"UWorld.PersistentLevel", ULevel*>;
using LevelActors = GameField<"ULevelBase.Actors", EngineArray<AActor*>>;
using Engine = GameGlobal<"Global.GEngine", UObject*>;
using GameSingleton = GameField<"UEngine.GameSingleton", UObject*>;
using PrimalGameData = GameField<"UPrimalGlobals.PrimalGameData", UObject*>;
using PrimalGameDataOverride = GameField<"UPrimalGlobals.PrimalGameDataOverride", UObject*>;
using EngramEntries = GameField<"UPrimalGameData.EngramBlueprintEntries", EngineArray<UObject*>>;
using EngramItemClass = GameField<"UPrimalEngramEntry.BluePrintEntry", UClass*>;

// RCON.
using SendMessageW =
    GameFunction<"RCONClientConnection.SendMessageW",
                 void (*)(RCONClientConnection* connection, std::int32_t id, std::int32_t type, EngineString* message)>;

// Hooked functions.
using ViewRemoteInventory =
    HookedFunction<"AShooterPlayerController.ServerActorViewRemoteInventory_Implementation",
                   void (*)(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory)>;
using AddToInventory =
    HookedFunction<"UPrimalItem.AddToInventory",
                   void (*)(UPrimalItem* item, UPrimalInventoryComponent* inventory, std::uint8_t equipItem,
                            std::uint8_t addToSlot, std::uint64_t slot, std::uint8_t showHudNotification,
                            std::uint8_t dontRecalcSpoilingTime, std::uint8_t ignoreAbsoluteMaxInventory)>;
using FinishedReceivingItems =
    HookedFunction<"AShooterPlayerController.ClientFinishedReceivingActorItems",
                   void (*)(AShooterPlayerController* controller, UPrimalInventoryComponent* inventory,
                            std::uint8_t equippedItems)>;
using DinoBeginPlay = HookedFunction<"APrimalDinoCharacter.BeginPlay", void (*)(APrimalDinoCharacter* creature)>;
using GameModeBeginPlay = HookedFunction<"AShooterGameMode.BeginPlay", void (*)(AShooterGameMode* gameMode)>;

}  // namespace members
