// Blueprint paths derived from the texts the simulated game gives for its classes and items.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/Blueprint.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"

namespace {

namespace game = sandbox::game;

UClass* AsClass(game::GameObject* cls) { return reinterpret_cast<UClass*>(cls); }

// A derived path as the callers see it, after checking the string's own shape: an empty result owns no buffer,
// any other ends in exactly one terminator that its count includes.
std::string Text(const host::OwnedString& path) {
  if (path.data == nullptr) {
    EXPECT_EQ(path.count, 0);
    return {};
  }
  EXPECT_GT(path.count, 1) << "a non-empty result with nothing before its terminator";
  EXPECT_LE(path.count, path.capacity);
  EXPECT_EQ(path.data[path.count - 1], u'\0');
  EXPECT_EQ(path.View().find(u'\0'), std::u16string_view::npos);
  return path.ToUtf8();
}

class BlueprintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox::ResetHost();
    liveBefore_ = sandbox::LiveAllocations();
  }
  void TearDown() override { EXPECT_EQ(sandbox::LiveAllocations(), liveBefore_) << "game-allocator buffers left live"; }

  static game::GameObject* Define(const std::string& name, const std::string& package, game::Kind kind,
                                  std::optional<std::string> fullName = std::nullopt,
                                  std::optional<std::string> reference = std::nullopt,
                                  game::GameObject* builds = nullptr) {
    game::ClassDefinition definition;
    definition.name = name;
    definition.package = package;
    definition.kind = kind;
    definition.defaultFullName = std::move(fullName);
    definition.reference = std::move(reference);
    definition.structureToBuild = builds;
    return game::DefineClass(definition);
  }

 private:
  std::size_t liveBefore_ = 0;
};

// ---- The two derivations, from exact game texts ----------------------------------------------------------------

enum class Family { DefaultObject, ClassReference };

struct DerivationCase {
  const char* name;
  Family family;
  std::string gameText;  // the default object's full name, or the class reference
  std::string expected;
};

void PrintTo(const DerivationCase& param, std::ostream* out) { *out << param.name; }

class DerivationTest : public BlueprintTest, public ::testing::WithParamInterface<DerivationCase> {};

TEST_P(DerivationTest, DerivesThePathFromTheGameText) {
  const auto& param = GetParam();
  if (param.family == Family::DefaultObject) {
    game::GameObject* cls = Define("Any", "/Game/Any", game::Kind::Item, param.gameText, "/Unused.Unused");
    EXPECT_EQ(Text(DefaultObjectBlueprint(AsClass(cls))), param.expected) << param.gameText;
    // An object of the class derives the same text from the class's default object, not from its own name.
    EXPECT_EQ(Text(ObjectBlueprint(game::NewItem(cls))), param.expected) << param.gameText;
    // The path the sandbox lists for administrators to write is the one the plug-in derives.
    EXPECT_EQ(game::BlueprintPathOf(cls), param.expected) << param.gameText;
  } else {
    game::GameObject* cls = Define("Any", "/Game/Any", game::Kind::Creature, "Unused /Unused.Unused", param.gameText);
    EXPECT_EQ(Text(ClassBlueprint(AsClass(cls))), param.expected) << param.gameText;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DerivationTest,
    ::testing::Values(
        DerivationCase{"GeneratedClass", Family::DefaultObject, "Crate_C /Game/Demo/Crate.Default__Crate_C",
                       "Blueprint'/Game/Demo/Crate.Crate'"},
        DerivationCase{"NativeClass", Family::DefaultObject, "Crate /Script/Demo.Default__Crate",
                       "Blueprint'/Script/Demo.Crate'"},
        DerivationCase{"SmallCSuffixKept", Family::DefaultObject, "Crate_c /Game/Demo/Crate.Default__Crate_c",
                       "Blueprint'/Game/Demo/Crate.Crate_c'"},
        DerivationCase{"DefaultRemovedFromFolder", Family::DefaultObject,
                       "Crate_C /Game/Default__Kits/Crate.Default__Crate_C", "Blueprint'/Game/Kits/Crate.Crate'"},
        DerivationCase{"OnlyFinalSuffixStripped", Family::DefaultObject, "A_C_C /Game/A.Default__A_C_C",
                       "Blueprint'/Game/A.A_C'"},
        DerivationCase{"EarlierSuffixInFolderStays", Family::DefaultObject,
                       "Crate_C /Game/Kit_C/Crate.Default__Crate_C", "Blueprint'/Game/Kit_C/Crate.Crate'"},
        DerivationCase{"EndsInItsFirstSpace", Family::DefaultObject, "Crate ", "Blueprint''"},
        DerivationCase{"OnlySuffixAfterSpace", Family::DefaultObject, "Crate _C", "Blueprint''"},
        DerivationCase{"NoSpace", Family::DefaultObject, "Crate", ""},
        DerivationCase{"EmptyFullName", Family::DefaultObject, "", ""},
        DerivationCase{"LaterSpacesBelongToThePath", Family::DefaultObject,
                       "Crate_C /Game/My Kits/Crate.Default__Crate_C", "Blueprint'/Game/My Kits/Crate.Crate'"},
        DerivationCase{"LeadingSpace", Family::DefaultObject, " /Game/Crate.Crate", "Blueprint'/Game/Crate.Crate'"},
        DerivationCase{"EveryDefaultRemoved", Family::DefaultObject, "X /Game/Default__A/Default__B.Default__X",
                       "Blueprint'/Game/A/B.X'"},
        DerivationCase{"DefaultFormedByARemovalStays", Family::DefaultObject, "X /Game/DefaDefault__ult__X",
                       "Blueprint'/Game/Default__X'"},
        DerivationCase{"DefaultRemovalIsCaseSensitive", Family::DefaultObject, "X /Game/default__X.DEFAULT__X",
                       "Blueprint'/Game/default__X.DEFAULT__X'"},
        // The suffix goes before the removal looks, so "Default__C" loses "_C" and no longer holds "Default__".
        DerivationCase{"SuffixStrippedBeforeRemoval", Family::DefaultObject, "X /Game/X.Default__C",
                       "Blueprint'/Game/X.Default_'"},
        DerivationCase{"ApostropheKept", Family::DefaultObject, "X /Game/It's.X", "Blueprint'/Game/It's.X'"},
        DerivationCase{"NonAsciiKept", Family::DefaultObject, "Kiste_C /Game/Kist\xC3\xA9.Default__Kiste_C",
                       "Blueprint'/Game/Kist\xC3\xA9.Kiste'"},
        DerivationCase{"GeneratedReference", Family::ClassReference, "/Game/Demo/Crate.Crate_C",
                       "Blueprint'/Game/Demo/Crate.Crate'"},
        DerivationCase{"NativeReferenceLosesTwoLetters", Family::ClassReference, "/Script/Demo.Crate",
                       "Blueprint'/Script/Demo.Cra'"},
        DerivationCase{"SmallCDroppedToo", Family::ClassReference, "/Game/Demo/Crate.Crate_c",
                       "Blueprint'/Game/Demo/Crate.Crate'"},
        DerivationCase{"NoDefaultRemoval", Family::ClassReference, "/Game/Default__Kits/Crate.Crate_C",
                       "Blueprint'/Game/Default__Kits/Crate.Crate'"},
        DerivationCase{"ThreeUnits", Family::ClassReference, "abc", "Blueprint'a'"},
        DerivationCase{"TwoUnits", Family::ClassReference, "ab", "Blueprint''"},
        DerivationCase{"OneUnit", Family::ClassReference, "a", "Blueprint''"},
        DerivationCase{"EmptyReference", Family::ClassReference, "", "Blueprint''"},
        // Two UTF-16 units are dropped, not two bytes of the UTF-8 text.
        DerivationCase{"DropsUnitsNotBytes", Family::ClassReference, "/Game/X.Kist\xC3\xA9", "Blueprint'/Game/X.Kis'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BlueprintTest, NoObjectOrNoClassGivesTheEmptyPath) {
  EXPECT_EQ(Text(ObjectBlueprint(nullptr)), "");
  EXPECT_EQ(Text(ObjectBlueprint(game::NewItem(nullptr))), "");
  EXPECT_EQ(Text(ClassBlueprint(nullptr)), "");
}

TEST_F(BlueprintTest, ObjectsOfOneClassShareTheirPath) {
  game::GameObject* crate = Define("Crate_C", "/Game/Demo/Crate", game::Kind::Item);
  game::GameObject* first = game::NewItem(crate);
  game::GameObject* second = game::NewItem(crate);
  ASSERT_NE(game::FullNameOf(first), game::FullNameOf(second));
  EXPECT_EQ(Text(ObjectBlueprint(first)), "Blueprint'/Game/Demo/Crate.Crate'");
  EXPECT_EQ(Text(ObjectBlueprint(second)), "Blueprint'/Game/Demo/Crate.Crate'");
}

// With the game's own texts for a class, the families meet on generated classes and part on native ones.
TEST_F(BlueprintTest, FamiliesAgreeOnGeneratedClassesAndDifferOnNativeOnes) {
  game::GameObject* generated = Define("Crate_C", "/Game/Demo/Crate", game::Kind::Item);
  game::GameObject* native = Define("Crate", "/Script/Demo", game::Kind::Item);

  EXPECT_EQ(Text(DefaultObjectBlueprint(AsClass(generated))), "Blueprint'/Game/Demo/Crate.Crate'");
  EXPECT_EQ(Text(ClassBlueprint(AsClass(generated))), "Blueprint'/Game/Demo/Crate.Crate'");

  EXPECT_EQ(Text(DefaultObjectBlueprint(AsClass(native))), "Blueprint'/Script/Demo.Crate'");
  EXPECT_EQ(Text(ClassBlueprint(AsClass(native))), "Blueprint'/Script/Demo.Cra'");
}

// ---- The structure an item builds -----------------------------------------------------------------------------

struct StructureCase {
  const char* name;
  std::string itemBlueprint;
  std::u16string loaderPath;  // what the class loader is asked for
  std::string expected;
  const char* itemClass;  // the class of the temporary item made, if any
};

void PrintTo(const StructureCase& param, std::ostream* out) { *out << param.name; }

class StructureOfItemTest : public BlueprintTest, public ::testing::WithParamInterface<StructureCase> {
 protected:
  void SetUp() override {
    BlueprintTest::SetUp();
    game::GameObject* wall = Define("Wall_C", "/Game/Build/Wall", game::Kind::Structure);
    // A class whose full name holds no space has no path, and must not be what an empty path loads.
    Define("Nameless", "/Game/Items/Nameless", game::Kind::Item, "Nameless", "", wall);
    Define("WallItem_C", "/Game/Items/WallItem", game::Kind::Item, std::nullopt, std::nullopt, wall);
    Define("Note_C", "/Game/Items/Note", game::Kind::Item);  // builds nothing
    // Loads by path, but the game makes no item of a class that is not an item class.
    Define("Fence_C", "/Game/Build/Fence", game::Kind::Structure);
    game::GameObject* odd = Define("Odd", "/Game/Build/Odd", game::Kind::Structure, "OddWithoutSpace");
    Define("OddItem_C", "/Game/Items/OddItem", game::Kind::Item, std::nullopt, std::nullopt, odd);
    // Only a path with question marks where "é" stood names this class.
    Define("Cafe_C", "/Game/Items/Caf??", game::Kind::Item, std::nullopt, "/Game/Items/Caf??.Caf??", wall);
  }
};

TEST_P(StructureOfItemTest, LoadsTheItemClassAndDerivesItsStructure) {
  const auto& param = GetParam();
  EXPECT_EQ(StructureBlueprintOfItem(param.itemBlueprint), param.expected);

  const auto& record = game::Record();
  EXPECT_EQ(record.loadClassRequests, std::vector<std::u16string>{param.loaderPath});
  ASSERT_EQ(record.newItems.size(), param.itemClass != nullptr ? 1U : 0U);
  if (param.itemClass != nullptr) {
    EXPECT_EQ(game::NameOf(record.newItems[0]->cls), param.itemClass);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Items, StructureOfItemTest,
    ::testing::Values(
        StructureCase{"BuildsAWall", "Blueprint'/Game/Items/WallItem.WallItem'",
                      u"Blueprint'/Game/Items/WallItem.WallItem'", "Blueprint'/Game/Build/Wall.Wall'", "WallItem_C"},
        StructureCase{"EmptyTextStillAsksTheLoader", "", u"", "", nullptr},
        StructureCase{"LeadingNulIsEmpty", std::string("\0Blueprint'/Game/Items/WallItem.WallItem'", 41), u"", "",
                      nullptr},
        StructureCase{"TextEndsAtItsFirstNul", std::string("Blueprint'/Game/Items/WallItem.WallItem'\0junk", 45),
                      u"Blueprint'/Game/Items/WallItem.WallItem'", "Blueprint'/Game/Build/Wall.Wall'", "WallItem_C"},
        StructureCase{"UnknownBlueprint", "Blueprint'/Game/Items/Nothing.Nothing'",
                      u"Blueprint'/Game/Items/Nothing.Nothing'", "", nullptr},
        StructureCase{"ItemBuildsNothing", "Blueprint'/Game/Items/Note.Note'", u"Blueprint'/Game/Items/Note.Note'", "",
                      "Note_C"},
        StructureCase{"GameMakesNoItem", "Blueprint'/Game/Build/Fence.Fence'", u"Blueprint'/Game/Build/Fence.Fence'",
                      "", nullptr},
        StructureCase{"StructureNameWithoutSpace", "Blueprint'/Game/Items/OddItem.OddItem'",
                      u"Blueprint'/Game/Items/OddItem.OddItem'", "", "OddItem_C"},
        StructureCase{"EachNonAsciiByteBecomesAQuestionMark", "Blueprint'/Game/Items/Caf\xC3\xA9.Caf\xC3\xA9'",
                      u"Blueprint'/Game/Items/Caf??.Caf?\?'", "Blueprint'/Game/Build/Wall.Wall'", "Cafe_C"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BlueprintTest, EveryCallMakesItsOwnTemporaryItem) {
  game::GameObject* wall = Define("Wall_C", "/Game/Build/Wall", game::Kind::Structure);
  game::GameObject* wallItem =
      Define("WallItem_C", "/Game/Items/WallItem", game::Kind::Item, std::nullopt, std::nullopt, wall);
  for (int call = 1; call <= 3; ++call) {
    EXPECT_EQ(StructureBlueprintOfItem("Blueprint'/Game/Items/WallItem.WallItem'"), "Blueprint'/Game/Build/Wall.Wall'");
    const auto& made = game::Record().newItems;
    ASSERT_EQ(made.size(), static_cast<std::size_t>(call));
    EXPECT_EQ(made.back()->cls, wallItem);
    // Neither destroyed nor put anywhere: the item is left to the game.
    for (game::GameObject* inventory : game::Inventories()) EXPECT_TRUE(game::Items(inventory).empty());
  }
  EXPECT_NE(game::Record().newItems[0], game::Record().newItems[1]);
}

}  // namespace
