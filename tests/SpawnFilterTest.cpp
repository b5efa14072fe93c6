// The creature spawn filter: listed and over-levelled creatures destroyed as they enter play, and its failures.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "PluginFixture.h"
#include "host/Hooks.h"

namespace {

using nlohmann::json;
using sandbox::game::ClassDefinition;
using sandbox::game::GameObject;
using sandbox::game::Kind;
using testing_support::LoggedLines;
using testing_support::PluginTest;

const std::string kSpawnFilterSource =
    (std::filesystem::path(__FILE__).parent_path().parent_path() / "src" / "purge" / "SpawnFilter.cpp")
        .generic_string();

// Creature blueprints in the class reference form the filter compares with.
const std::string kRaptorPath = "Blueprint'/Game/Dinos/Raptor/Raptor_Character_BP.Raptor_Character_BP'";
const std::string kDodoPath = "Blueprint'/Game/Dinos/Dodo/Dodo_Character_BP.Dodo_Character_BP'";
// A native class: its reference "/Script/Demo.Rex" loses its last two characters, the default object's path does not.
const std::string kRexReferencePath = "Blueprint'/Script/Demo.R'";
const std::string kRexObjectPath = "Blueprint'/Script/Demo.Rex'";

// Configuration text with $R, $D, $X and $O standing for the raptor, dodo and the rex's two paths.
std::string Expand(std::string text) {
  const std::pair<const char*, const std::string*> names[] = {
      {"$R", &kRaptorPath}, {"$D", &kDodoPath}, {"$X", &kRexReferencePath}, {"$O", &kRexObjectPath}};
  for (const auto& [name, path] : names) {
    for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + path->size())) {
      text.replace(at, 2, *path);
    }
  }
  return text;
}

// The message of the failure that the JSON library itself raises for the same operation.
std::string LibraryMessage(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const json::exception& error) {
    return error.what();
  }
  ADD_FAILURE() << "the library raised nothing";
  return {};
}

std::string FailureLine(const std::string& message) {
  return "(" + kSpawnFilterSource + " OnDinoBeginPlay) Parsing error " + message;
}

GameObject* Define(const std::string& name, const std::string& package) {
  ClassDefinition definition;
  definition.name = name;
  definition.package = package;
  definition.kind = Kind::Creature;
  return sandbox::game::DefineClass(definition);
}

enum class Creature { Raptor, Rex, Classless };

class SpawnFilterTest : public PluginTest {
 protected:
  void Start(const std::string& config) {
    WriteConfig(Expand(config));
    Load();
    ASSERT_EQ(sandbox::HookedFunctions().size(), 5U) << "the configuration did not load";
    sandbox::LogRecorder()->Clear();
    raptorClass_ = Define("Raptor_Character_BP_C", "/Game/Dinos/Raptor/Raptor_Character_BP");
    dodoClass_ = Define("Dodo_Character_BP_C", "/Game/Dinos/Dodo/Dodo_Character_BP");
    rexClass_ = Define("Rex", "/Script/Demo");
  }

  GameObject* ClassOf(Creature creature) const {
    switch (creature) {
      case Creature::Raptor:
        return raptorClass_;
      case Creature::Rex:
        return rexClass_;
      case Creature::Classless:
        break;
    }
    return nullptr;
  }

  GameObject* raptorClass_ = nullptr;
  GameObject* dodoClass_ = nullptr;
  GameObject* rexClass_ = nullptr;
};

struct FilterCase {
  const char* name;
  std::string config;
  int destroyCalls;
  // The library operation whose failure the filter must log; none when nothing is logged.
  std::function<void()> failure = nullptr;
  std::int32_t baseLevel = 10;
  Creature creature = Creature::Raptor;
  bool withStatus = true;
};

void PrintTo(const FilterCase& param, std::ostream* out) { *out << param.name << ": " << param.config; }

class FilterCaseTest : public SpawnFilterTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterCaseTest, DestroysAndLogsAsConfigured) {
  const auto& param = GetParam();
  Start(param.config);
  const std::string expectedLine = param.failure ? FailureLine(LibraryMessage(param.failure)) : std::string();

  // A second creature of the same kind fares the same: whatever the first call added to the document changes
  // nothing for the next one.
  for (int round = 0; round < 2; ++round) {
    sandbox::LogRecorder()->Clear();
    GameObject* creature = sandbox::game::SpawnCreature(ClassOf(param.creature), param.baseLevel, 0, param.withStatus);

    EXPECT_EQ(sandbox::game::ForceDestroyCalls(creature), param.destroyCalls) << "round " << round;
    ASSERT_FALSE(sandbox::game::Record().dinoBeginPlayCalls.empty());
    EXPECT_EQ(sandbox::game::Record().dinoBeginPlayCalls.back(), creature);
    const auto lines = LoggedLines();
    if (param.failure) {
      ASSERT_EQ(lines.size(), 1U) << "round " << round;
      EXPECT_EQ(lines[0].level, "error");
      EXPECT_EQ(lines[0].message, expectedLine) << "round " << round;
    } else {
      EXPECT_TRUE(lines.empty()) << "round " << round << ": " << (lines.empty() ? "" : lines[0].message);
    }
    EXPECT_EQ(LeakedBuffers(), 0U);
  }
  EXPECT_EQ(sandbox::game::Record().dinoBeginPlayCalls.size(), 2U);
}

// The threshold for the raptor: {"DestroyDinoLevel": {raptor: {"ExceedSestructionLevel": value}}}.
std::string Threshold(const std::string& value) {
  return R"({"DestroyDinoLevel": {"$R": {"ExceedSestructionLevel": )" + value + "}}}";
}

INSTANTIATE_TEST_SUITE_P(
    Checks, FilterCaseTest,
    ::testing::Values(
        FilterCase{"Listed", R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}}})", 1},
        FilterCase{"ListedTwice", R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}, "b": {"Blueprint": "$R"}}})", 2},
        FilterCase{"OtherCreatureListed", R"({"DestroyDinolist": {"a": {"Blueprint": "$D"}}})", 0},
        FilterCase{
            "ListedInOtherCase",
            R"({"DestroyDinolist": {"a": {"Blueprint": "Blueprint'/Game/Dinos/Raptor/Raptor_Character_BP.raptor_Character_BP'"}}})",
            0},
        FilterCase{"ListedWithTrailingSpace", R"({"DestroyDinolist": {"a": {"Blueprint": "$R "}}})", 0},
        FilterCase{"ListedAndOverLevel",
                   R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}},
                       "DestroyDinoLevel": {"$R": {"ExceedSestructionLevel": 5}}})",
                   2},
        FilterCase{"LevelEqualToThreshold", Threshold("10"), 1},
        FilterCase{"LevelOneBelowThreshold", Threshold("11"), 0},
        FilterCase{"OtherCreatureOverLevel", R"({"DestroyDinoLevel": {"$D": {"ExceedSestructionLevel": 1}}})", 0},
        FilterCase{"ThresholdTrue", Threshold("true"), 1, nullptr, 1},
        FilterCase{"ThresholdFalse", Threshold("false"), 1, nullptr, 1},
        FilterCase{"ThresholdFraction", Threshold("12.9"), 0, nullptr, 1},
        FilterCase{"ThresholdFractionTruncated", Threshold("12.9"), 1, nullptr, 12},
        FilterCase{"ThresholdNegative", Threshold("-5"), 1, nullptr, 1},
        FilterCase{"ThresholdNegativeFraction", Threshold("-0.5"), 1, nullptr, 0},
        FilterCase{"ThresholdWrapsToMinusOne", Threshold("4294967295"), 1, nullptr, 1},
        FilterCase{"ThresholdIntegerKeepsLowBits", Threshold("1000000000000"), 1, nullptr, 1},
        FilterCase{"ThresholdLargeFloatSaturates", Threshold("1e12"), 0, nullptr, 2147483646},
        FilterCase{"ThresholdLargeFloatIsLargest", Threshold("1e12"), 1, nullptr, 2147483647},
        FilterCase{"ThresholdJustAboveRange", Threshold("2147483648.0"), 0, nullptr, 2147483646},
        FilterCase{"ThresholdSmallFloatIsSmallest", Threshold("-1e12"), 1, nullptr, -2147483647 - 1},
        FilterCase{"WithoutStatusComponentSpared", Threshold("-5"), 0, nullptr, 10, Creature::Raptor, false},
        FilterCase{"WithoutStatusComponentStillListed",
                   R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}},
                       "DestroyDinoLevel": {"$R": {"ExceedSestructionLevel": 1}}})",
                   1, nullptr, 10, Creature::Raptor, false},
        FilterCase{"ReferenceFormListed", R"({"DestroyDinolist": {"a": {"Blueprint": "$X"}}})", 1, nullptr, 10,
                   Creature::Rex},
        FilterCase{"ObjectFormNotListed", R"({"DestroyDinolist": {"a": {"Blueprint": "$O"}}})", 0, nullptr, 10,
                   Creature::Rex},
        FilterCase{"ReferenceFormOverLevel", R"({"DestroyDinoLevel": {"$X": {"ExceedSestructionLevel": 1}}})", 1,
                   nullptr, 10, Creature::Rex},
        FilterCase{
            "ClasslessMatchesEmptyBlueprint",
            R"({"DestroyDinolist": {"a": {"Blueprint": ""}}, "DestroyDinoLevel": {"": {"ExceedSestructionLevel": 1}}})",
            2, nullptr, 10, Creature::Classless},
        FilterCase{"ClasslessNotListed", R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}}})", 0, nullptr, 10,
                   Creature::Classless}),
    [](const auto& info) { return std::string(info.param.name); });

const auto kOverLevel = R"("DestroyDinoLevel": {"$R": {"ExceedSestructionLevel": 5}})";

std::function<void()> ValueOn(json document) {
  return [document]() mutable { (void)document.value("DestroyDinolist", json::object()); };
}
std::function<void()> KeyOf(json list) {
  return [list] { (void)list.begin().key(); };
}
std::function<void()> Subscript(json value) {
  return [value]() mutable { (void)value["key"]; };
}
std::function<void()> AsString(json value) {
  return [value] { (void)value.get<std::string>(); };
}
std::function<void()> AsNumber(json value) {
  return [value] { (void)value.get<std::int32_t>(); };
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FilterCaseTest,
    ::testing::Values(
        FilterCase{"DocumentIsArray", "[1, 2]", 0, ValueOn(json::array({1, 2}))},
        FilterCase{"DocumentIsString", R"("$R")", 0, ValueOn(json("x"))},
        FilterCase{"DocumentIsNumber", "5", 0, ValueOn(json(5))},
        FilterCase{"DocumentIsNull", "null", 0, ValueOn(json())},
        FilterCase{"ListMissing", std::string("{") + kOverLevel + "}", 1},
        FilterCase{"ListNull", std::string(R"({"DestroyDinolist": null, )") + kOverLevel + "}", 1},
        FilterCase{"ListEmptyArray", std::string(R"({"DestroyDinolist": [], )") + kOverLevel + "}", 1},
        FilterCase{"ListEmptyObject", std::string(R"({"DestroyDinolist": {}, )") + kOverLevel + "}", 1},
        FilterCase{"ListString", std::string(R"({"DestroyDinolist": "$R", )") + kOverLevel + "}", 0, KeyOf(json("x"))},
        FilterCase{"ListNumber", std::string(R"({"DestroyDinolist": 3, )") + kOverLevel + "}", 0, KeyOf(json(3))},
        FilterCase{"ListBoolean", std::string(R"({"DestroyDinolist": true, )") + kOverLevel + "}", 0,
                   KeyOf(json(true))},
        FilterCase{"ListArray", std::string(R"({"DestroyDinolist": [{"Blueprint": "$R"}], )") + kOverLevel + "}", 0,
                   KeyOf(json::array({1}))},
        FilterCase{"MemberString", std::string(R"({"DestroyDinolist": {"a": "$R"}, )") + kOverLevel + "}", 0,
                   Subscript(json("x"))},
        FilterCase{"MemberNumber", R"({"DestroyDinolist": {"a": 1}})", 0, Subscript(json(1))},
        FilterCase{"MemberFloat", R"({"DestroyDinolist": {"a": 1.5}})", 0, Subscript(json(1.5))},
        FilterCase{"MemberBoolean", R"({"DestroyDinolist": {"a": false}})", 0, Subscript(json(false))},
        FilterCase{"MemberArray", R"({"DestroyDinolist": {"a": ["$R"]}})", 0, Subscript(json::array())},
        FilterCase{"MemberNull", std::string(R"({"DestroyDinolist": {"a": null}, )") + kOverLevel + "}", 0,
                   AsString(json())},
        FilterCase{"MemberWithoutBlueprint",
                   std::string(R"({"DestroyDinolist": {"a": {"blueprint": "$R"}}, )") + kOverLevel + "}", 0,
                   AsString(json())},
        FilterCase{"BlueprintNull", R"({"DestroyDinolist": {"a": {"Blueprint": null}}})", 0, AsString(json())},
        FilterCase{"BlueprintNumber", R"({"DestroyDinolist": {"a": {"Blueprint": 7}}})", 0, AsString(json(7))},
        FilterCase{"BlueprintBoolean", R"({"DestroyDinolist": {"a": {"Blueprint": true}}})", 0, AsString(json(true))},
        FilterCase{"BlueprintArray", R"({"DestroyDinolist": {"a": {"Blueprint": ["$R"]}}})", 0,
                   AsString(json::array())},
        FilterCase{"BlueprintObject", R"({"DestroyDinolist": {"a": {"Blueprint": {"$R": 1}}}})", 0,
                   AsString(json::object())},
        // A member that fails stops the walk: members sorting after it are never compared, the level never checked.
        FilterCase{"FaultyMemberFirst",
                   std::string(R"({"DestroyDinolist": {"a": {}, "b": {"Blueprint": "$R"}}, )") + kOverLevel + "}", 0,
                   AsString(json())},
        FilterCase{"FaultyMemberAfterMatch",
                   std::string(R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}, "b": {}}, )") + kOverLevel + "}", 1,
                   AsString(json())},
        FilterCase{"UpperCaseKeySortsFirst",
                   R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}, "Z": {"Blueprint": 0}}})", 0, AsString(json(0))},
        FilterCase{"LevelMissing", R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}}})", 1},
        FilterCase{"LevelNull", R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}}, "DestroyDinoLevel": null})", 1},
        FilterCase{"LevelArray", R"({"DestroyDinoLevel": [{"$R": {"ExceedSestructionLevel": 1}}]})", 0},
        FilterCase{"LevelString", R"({"DestroyDinoLevel": "$R"})", 0},
        FilterCase{"LevelNumber", R"({"DestroyDinoLevel": 1})", 0},
        FilterCase{"EntryString", R"({"DestroyDinoLevel": {"$R": "1"}})", 0, Subscript(json("1"))},
        FilterCase{"EntryNumber", R"({"DestroyDinoLevel": {"$R": 1}})", 0, Subscript(json(1))},
        FilterCase{"EntryBoolean", R"({"DestroyDinoLevel": {"$R": true}})", 0, Subscript(json(true))},
        FilterCase{"EntryArray", R"({"DestroyDinoLevel": {"$R": [1]}})", 0, Subscript(json::array())},
        FilterCase{"EntryNull", R"({"DestroyDinoLevel": {"$R": null}})", 0, AsNumber(json())},
        FilterCase{"EntryWithoutThreshold", R"({"DestroyDinoLevel": {"$R": {"Level": 1}}})", 0, AsNumber(json())},
        FilterCase{"ThresholdNull", Threshold("null"), 0, AsNumber(json())},
        FilterCase{"ThresholdString", Threshold(R"("1")"), 0, AsNumber(json("1"))},
        FilterCase{"ThresholdArray", Threshold("[1]"), 0, AsNumber(json::array())},
        FilterCase{"ThresholdObject", Threshold("{}"), 0, AsNumber(json::object())},
        // Without a status component there is no level to compare: the faulty entry is not even read.
        FilterCase{"EntryStringWithoutStatus", R"({"DestroyDinoLevel": {"$R": "1"}})", 0, nullptr, 10, Creature::Raptor,
                   false},
        FilterCase{"EntryNullWithoutStatus", R"({"DestroyDinoLevel": {"$R": null}})", 0, nullptr, 10, Creature::Raptor,
                   false},
        FilterCase{"EntryWithoutThresholdWithoutStatus", R"({"DestroyDinoLevel": {"$R": {"Level": 1}}})", 0, nullptr,
                   10, Creature::Raptor, false},
        FilterCase{"ThresholdStringWithoutStatus", Threshold(R"("1")"), 0, nullptr, 10, Creature::Raptor, false},
        // The list's calls stand when the level check fails afterwards.
        FilterCase{"ListCallThenFaultyThreshold",
                   R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}},
                       "DestroyDinoLevel": {"$R": {"ExceedSestructionLevel": "5"}}})",
                   1, AsNumber(json("5"))}),
    [](const auto& info) { return std::string(info.param.name); });

// A null creature goes to the game's BeginPlay and nowhere else: even a configuration that fails every check
// is not read.
TEST_F(SpawnFilterTest, NullCreatureOnlyReachesTheGame) {
  Start("[1]");
  sandbox::game::DinoBeginPlay(nullptr);
  EXPECT_EQ(sandbox::game::Record().dinoBeginPlayCalls, std::vector<GameObject*>{nullptr});
  EXPECT_TRUE(LoggedLines().empty());
  EXPECT_EQ(LeakedBuffers(), 0U);
}

// Sits between the plug-in's detour and the game's BeginPlay, noting how the creature stood when the game ran.
members::DinoBeginPlay::Type gGameBeginPlay = nullptr;
std::vector<int> gDestroyCallsWhenGameRan;

void NotingDetour(APrimalDinoCharacter* creature) {
  auto* object = reinterpret_cast<GameObject*>(creature);
  gDestroyCallsWhenGameRan.push_back(object != nullptr ? sandbox::game::ForceDestroyCalls(object) : -1);
  gGameBeginPlay(creature);
}

TEST_F(SpawnFilterTest, GameBeginPlayRunsBeforeTheChecks) {
  gDestroyCallsWhenGameRan.clear();
  const auto noting = host::HookOf<members::DinoBeginPlay>(&NotingDetour, &gGameBeginPlay);
  ASSERT_TRUE(ArkApi::GetHooks().InstallHook(std::string(noting.function), noting.detour, noting.original));
  Start(
      R"({"DestroyDinolist": {"a": {"Blueprint": "$R"}}, "DestroyDinoLevel": {"$R": {"ExceedSestructionLevel": 1}}})");

  GameObject* raptor = sandbox::game::SpawnCreature(raptorClass_, 10, 0);
  EXPECT_EQ(gDestroyCallsWhenGameRan, std::vector<int>{0});
  EXPECT_EQ(sandbox::game::Record().dinoBeginPlayCalls, std::vector<GameObject*>{raptor});
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(raptor), 2);
  ArkApi::GetHooks().RemoveHook(std::string(noting.function), noting.detour);
}

// A faulty threshold entry concerns only its own blueprint; other creatures are checked as usual.
TEST_F(SpawnFilterTest, FaultyEntryConcernsOnlyItsOwnBlueprint) {
  Start(R"({"DestroyDinoLevel": {"$R": null, "$D": {"ExceedSestructionLevel": 5}}})");
  GameObject* dodo = sandbox::game::SpawnCreature(dodoClass_, 5, 0);
  GameObject* raptor = sandbox::game::SpawnCreature(raptorClass_, 50, 0);
  GameObject* secondDodo = sandbox::game::SpawnCreature(dodoClass_, 6, 0);

  EXPECT_EQ(sandbox::game::ForceDestroyCalls(dodo), 1);
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(raptor), 0);
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(secondDodo), 1);
  const auto lines = LoggedLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0].message, FailureLine(LibraryMessage(AsNumber(json()))));
}

// Without "DestroyDinoLevel" the first creature leaves a null one behind in memory; only a reload brings a
// level check back, however the file changes meanwhile.
TEST_F(SpawnFilterTest, LevelCheckReturnsOnlyWithAReload) {
  Start(R"({"DestroyDinolist": {"a": {"Blueprint": "$D"}}})");
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(sandbox::game::SpawnCreature(raptorClass_, 50, 0)), 0);
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(sandbox::game::SpawnCreature(dodoClass_, 50, 0)), 1);

  WriteConfig(Expand(Threshold("5")));
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(sandbox::game::SpawnCreature(raptorClass_, 50, 0)), 0);

  sandbox::Connection admin;
  ASSERT_TRUE(sandbox::ExecuteRcon(admin, "Tidywarden.reload"));
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(sandbox::game::SpawnCreature(raptorClass_, 50, 0)), 1);
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(sandbox::game::SpawnCreature(dodoClass_, 50, 0)), 0);
  EXPECT_TRUE(LoggedLines().empty());
  EXPECT_EQ(LeakedBuffers(), 0U);
}

}  // namespace
