// Listed items kept out of inventories, through the loaded plug-in's three inventory hooks.
#include <algorithm>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "PluginFixture.h"

namespace {

namespace game = sandbox::game;
using game::GameObject;
using testing_support::LoggedLines;
using testing_support::PluginTest;

const std::string kCrate = "Blueprint'/Game/Items/Crate.Crate'";
const std::string kRock = "Blueprint'/Game/Items/Rock.Rock'";
const std::string kStick = "Blueprint'/Game/Items/Stick.Stick'";

// A configuration whose "Destroylist" holds one member per (label, blueprint) pair.
std::string Destroylist(const std::vector<std::pair<std::string, std::string>>& members) {
  nlohmann::json list = nlohmann::json::object();
  for (const auto& [label, blueprint] : members) list[label]["Blueprint"] = blueprint;
  nlohmann::json config = nlohmann::json::object();
  config["Destroylist"] = list;
  return config.dump();
}

// Any walk of this list fails at its first member ("0" sorts before every letter).
const std::string kFailingList = R"({"Destroylist": {"0": 5, "a": {"Blueprint": ")" + kCrate + R"("}}})";

std::string TypeError(int id, const std::string& text) {
  return "[json.exception.type_error." + std::to_string(id) + "] " + text;
}
std::string SubscriptError(const std::string& kind) {
  return TypeError(305, "cannot use operator[] with a string argument with " + kind);
}
std::string NotStringError(const std::string& kind) { return TypeError(302, "type must be string, but is " + kind); }
const std::string kKeyOfNonObject = "[json.exception.invalid_iterator.207] cannot use key() for non-object iterators";

// A detour's failure line: "(<source file> <detour>) Parsing error <what>".
struct Failure {
  std::string source;
  std::string detour;
  std::string what;
};

std::vector<Failure> FailuresLogged() {
  static const std::regex kFailure(R"(^\((.+) (\S+)\) Parsing error ([\s\S]*)$)");
  std::vector<Failure> failures;
  for (const auto& line : LoggedLines()) {
    std::smatch match;
    EXPECT_EQ(line.logger, "Sweepmark1.4.1");
    EXPECT_EQ(line.level, "error") << line.message;
    if (!std::regex_match(line.message, match, kFailure)) {
      ADD_FAILURE() << "not a failure line: " << line.message;
      continue;
    }
    failures.push_back({match[1], match[2], match[3]});
  }
  return failures;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class InventoryTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    crate_ = DefineItem("Crate_C", "/Game/Items/Crate");
    rock_ = DefineItem("Rock_C", "/Game/Items/Rock");
    stick_ = DefineItem("Stick_C", "/Game/Items/Stick");
    controller_ = game::NewController();
  }

  static GameObject* DefineItem(const std::string& name, const std::string& package,
                                std::optional<std::string> fullName = std::nullopt) {
    game::ClassDefinition definition;
    definition.name = name;
    definition.package = package;
    definition.kind = game::Kind::Item;
    definition.defaultFullName = std::move(fullName);
    return game::DefineClass(definition);
  }

  // Loads the plug-in with this configuration; only the hooks' own log lines are kept from here on.
  void LoadWith(const std::string& config) {
    WriteConfig(config);
    Load();
    ASSERT_EQ(sandbox::HookedFunctions().size(), 5U) << "the configuration did not load: " << config;
    sandbox::LogRecorder()->Clear();
  }

  // An inventory holding one new item of each class given, in order; a null class gives an item without one.
  static GameObject* InventoryOf(const std::vector<GameObject*>& classes) {
    GameObject* inventory = game::NewInventory();
    for (GameObject* cls : classes) game::PutItem(inventory, game::NewItem(cls));
    return inventory;
  }

  // The items named by the removal calls made since `first`, all on `inventory`.
  static std::vector<GameObject*> RemovedSince(std::size_t first, const GameObject* inventory,
                                               const std::vector<GameObject*>& candidates) {
    std::vector<GameObject*> removed;
    const auto& calls = game::Record().removeItemCalls;
    for (std::size_t i = first; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].inventory, inventory);
      const auto item = std::find_if(candidates.begin(), candidates.end(), [&](const GameObject* candidate) {
        return candidate != nullptr && candidate->itemId[0] == calls[i].itemId[0] &&
               candidate->itemId[1] == calls[i].itemId[1];
      });
      if (item == candidates.end()) {
        ADD_FAILURE() << "a removal named an item that was never in the inventory";
        continue;
      }
      removed.push_back(*item);
    }
    return removed;
  }

  static std::vector<std::string> ClassNames(const std::vector<GameObject*>& items) {
    std::vector<std::string> names;
    for (const GameObject* item : items) names.push_back(game::NameOf(item->cls));
    return names;
  }

  GameObject* crate_ = nullptr;
  GameObject* rock_ = nullptr;
  GameObject* stick_ = nullptr;
  GameObject* controller_ = nullptr;
};

// ---- The two purging hooks -------------------------------------------------------------------------------------

struct PurgingHook {
  const char* name;
  const char* detour;
  void (*call)(GameObject* controller, GameObject* inventory);
  std::vector<game::InventoryCall>& (*gameCalls)();
  bool gameSeesItemsFirst;  // the game's function runs before the purge
};

void PrintTo(const PurgingHook& param, std::ostream* out) { *out << param.name; }

const PurgingHook kViewHook{"View", "OnViewRemoteInventory",
                            [](GameObject* c, GameObject* i) { game::ViewRemoteInventory(c, i); },
                            []() -> std::vector<game::InventoryCall>& { return game::Record().viewCalls; }, false};
const PurgingHook kFinishedHook{
    "Finished", "OnFinishedReceivingItems", [](GameObject* c, GameObject* i) { game::FinishReceivingItems(c, i); },
    []() -> std::vector<game::InventoryCall>& { return game::Record().finishedCalls; }, true};

class PurgingHookTest : public InventoryTest, public ::testing::WithParamInterface<PurgingHook> {};

TEST_P(PurgingHookTest, RemovesEveryListedItemAndNoOther) {
  const auto& hook = GetParam();
  LoadWith(Destroylist({{"a", kCrate}, {"b", kStick}}));
  GameObject* inventory = InventoryOf({crate_, rock_, crate_, stick_});
  const auto before = game::Items(inventory);

  hook.call(controller_, inventory);

  EXPECT_EQ(RemovedSince(0, inventory, before), (std::vector<GameObject*>{before[0], before[2], before[3]}));
  for (const auto& call : game::Record().removeItemCalls) EXPECT_TRUE(call.removed);
  EXPECT_EQ(game::Items(inventory), std::vector<GameObject*>{before[1]});

  const auto& calls = hook.gameCalls();
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(calls[0].controller, controller_);
  EXPECT_EQ(calls[0].inventory, inventory);
  EXPECT_EQ(calls[0].itemsSeen, hook.gameSeesItemsFirst ? before : std::vector<GameObject*>{before[1]});
  EXPECT_TRUE(LoggedLines().empty());
}

TEST_P(PurgingHookTest, AnItemListedTwiceIsRemovedTwiceByOneIdentifier) {
  const auto& hook = GetParam();
  LoadWith(Destroylist({{"first", kCrate}, {"second", kCrate}}));
  GameObject* inventory = InventoryOf({crate_});
  const auto before = game::Items(inventory);

  hook.call(controller_, inventory);

  EXPECT_EQ(RemovedSince(0, inventory, before), (std::vector<GameObject*>{before[0], before[0]}));
  const auto& calls = game::Record().removeItemCalls;
  ASSERT_EQ(calls.size(), 2U);
  // The game has nothing left to remove the second time; the plug-in does not mind.
  EXPECT_TRUE(calls[0].removed);
  EXPECT_FALSE(calls[1].removed);
  EXPECT_TRUE(game::Items(inventory).empty());
  EXPECT_TRUE(LoggedLines().empty());
}

// With a list that fails at any walk, a hook that has nothing to check must neither fail nor skip the game.
TEST_P(PurgingHookTest, WalksTheListOnlyWhenThereIsSomethingToCheck) {
  const auto& hook = GetParam();
  LoadWith(kFailingList);
  struct Case {
    const char* name;
    bool withController;
    bool withInventory;
    std::vector<GameObject*> classes;  // of the inventory's items; null for an item without a class
    bool emptySlot;
  };
  const Case cases[] = {
      {"no controller", false, true, {crate_}, false},
      {"no inventory", true, false, {}, false},
      {"neither", false, false, {}, false},
      {"empty inventory", true, true, {}, false},
      {"items without a class and an empty slot", true, true, {nullptr, nullptr}, true},
  };
  for (const auto& c : cases) {
    const std::size_t gameCallsBefore = hook.gameCalls().size();
    GameObject* controller = c.withController ? controller_ : nullptr;
    GameObject* inventory = c.withInventory ? InventoryOf(c.classes) : nullptr;
    if (c.emptySlot) game::PutItem(inventory, nullptr);
    const auto before = inventory != nullptr ? game::Items(inventory) : std::vector<GameObject*>{};

    hook.call(controller, inventory);

    ASSERT_EQ(hook.gameCalls().size(), gameCallsBefore + 1) << c.name;
    EXPECT_EQ(hook.gameCalls().back().controller, controller) << c.name;
    EXPECT_EQ(hook.gameCalls().back().inventory, inventory) << c.name;
    EXPECT_EQ(hook.gameCalls().back().itemsSeen, before) << c.name;
    if (inventory != nullptr) {
      EXPECT_EQ(game::Items(inventory), before) << c.name;
    }
  }
  EXPECT_TRUE(game::Record().removeItemCalls.empty());
  EXPECT_TRUE(LoggedLines().empty());
}

INSTANTIATE_TEST_SUITE_P(Hooks, PurgingHookTest, ::testing::Values(kViewHook, kFinishedHook),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- What a configured blueprint matches -----------------------------------------------------------------------

struct MatchCase {
  const char* name;
  std::optional<std::string> fullName;  // of the item class's default object; the game's own text when none
  std::string configured;
  bool removed;
};

void PrintTo(const MatchCase& param, std::ostream* out) { *out << param.name; }

class BlueprintMatchTest : public InventoryTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(BlueprintMatchTest, OnlyTheExactDerivedPathMatches) {
  const auto& param = GetParam();
  LoadWith(Destroylist({{"entry", param.configured}}));
  GameObject* cls = DefineItem("Crate_C", "/Game/Items/Crate", param.fullName);
  GameObject* inventory = InventoryOf({cls});

  game::ViewRemoteInventory(controller_, inventory);

  EXPECT_EQ(game::Record().removeItemCalls.size(), param.removed ? 1U : 0U);
  EXPECT_EQ(game::Items(inventory).empty(), param.removed);
  EXPECT_TRUE(LoggedLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, BlueprintMatchTest,
    ::testing::Values(MatchCase{"Exact", std::nullopt, kCrate, true},
                      MatchCase{"WithSuffix", std::nullopt, "Blueprint'/Game/Items/Crate.Crate_C'", false},
                      MatchCase{"OtherCase", std::nullopt, "Blueprint'/Game/Items/crate.Crate'", false},
                      MatchCase{"TrailingSpace", std::nullopt, kCrate + " ", false},
                      MatchCase{"LeadingSpace", std::nullopt, " " + kCrate, false},
                      MatchCase{"BarePath", std::nullopt, "/Game/Items/Crate.Crate", false},
                      // A native class: the class reference form drops two letters and names something else.
                      MatchCase{"ReferenceFormOfNativeClass", "Crate /Script/Game.Default__Crate",
                                "Blueprint'/Script/Game.Cra'", false},
                      MatchCase{"NativeClass", "Crate /Script/Game.Default__Crate", "Blueprint'/Script/Game.Crate'",
                                true},
                      MatchCase{"DefaultRemovedFromFolder", "Crate_C /Game/Default__Kits/Crate.Default__Crate_C",
                                "Blueprint'/Game/Kits/Crate.Crate'", true},
                      MatchCase{"NonAscii", "Kiste_C /Game/Kist\xC3\xA9.Default__Kiste_C",
                                "Blueprint'/Game/Kist\xC3\xA9.Kiste'", true},
                      // No path can be derived; only an empty configured text stands for that.
                      MatchCase{"NoPathMatchesEmptyText", "Crate", "", true},
                      MatchCase{"NoPathMatchesNothingElse", "Crate", "Blueprint''", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Adding an item --------------------------------------------------------------------------------------------

enum class Outcome { Added, Refused, Failed };
enum class Which { Crate, Rock, Classless, None };

struct AddCase {
  const char* name;
  bool failingList;  // a list whose walk fails, so any read of it shows
  Which item;
  bool withInventory;
  std::uint8_t equipItem;  // the third argument
  std::uint8_t addToSlot;
  std::uint64_t slot;
  std::uint8_t showHudNotification;
  std::uint8_t dontRecalcSpoilingTime;
  std::uint8_t ignoreAbsoluteMaxInventory;  // the eighth argument
  Outcome outcome;
};

void PrintTo(const AddCase& param, std::ostream* out) { *out << param.name; }

class AddTest : public InventoryTest, public ::testing::WithParamInterface<AddCase> {};

TEST_P(AddTest, RefusesListedItemsOnlyWhenTheCheckApplies) {
  const auto& param = GetParam();
  LoadWith(param.failingList ? kFailingList : Destroylist({{"a", kCrate}}));
  GameObject* item = param.item == Which::Crate       ? game::NewItem(crate_)
                     : param.item == Which::Rock      ? game::NewItem(rock_)
                     : param.item == Which::Classless ? game::NewItem(nullptr)
                                                      : nullptr;
  GameObject* inventory = param.withInventory ? game::NewInventory() : nullptr;

  game::AddToInventory(item, inventory, param.equipItem, param.addToSlot, param.slot, param.showHudNotification,
                       param.dontRecalcSpoilingTime, param.ignoreAbsoluteMaxInventory);

  const auto& adds = game::Record().addCalls;
  const auto failures = FailuresLogged();
  if (param.outcome == Outcome::Added) {
    ASSERT_EQ(adds.size(), 1U);
    EXPECT_EQ(adds[0].item, item);
    EXPECT_EQ(adds[0].inventory, inventory);
    // Every argument reaches the game's function unchanged.
    EXPECT_EQ(adds[0].equipItem, param.equipItem);
    EXPECT_EQ(adds[0].addToSlot, param.addToSlot);
    EXPECT_EQ(adds[0].slot, param.slot);
    EXPECT_EQ(adds[0].showHudNotification, param.showHudNotification);
    EXPECT_EQ(adds[0].dontRecalcSpoilingTime, param.dontRecalcSpoilingTime);
    EXPECT_EQ(adds[0].ignoreAbsoluteMaxInventory, param.ignoreAbsoluteMaxInventory);
    if (item != nullptr && inventory != nullptr) {
      EXPECT_EQ(game::Items(inventory), std::vector<GameObject*>{item});
    }
  } else {
    EXPECT_TRUE(adds.empty());
    if (inventory != nullptr) {
      EXPECT_TRUE(game::Items(inventory).empty());
    }
  }
  if (param.outcome == Outcome::Failed) {
    ASSERT_EQ(failures.size(), 1U);
    EXPECT_PRED2(EndsWith, failures[0].source, "Inventory.cpp");
    EXPECT_EQ(failures[0].detour, "OnAddToInventory");
    EXPECT_EQ(failures[0].what, SubscriptError("number"));
  } else {
    EXPECT_TRUE(failures.empty());
  }
  EXPECT_TRUE(game::Record().removeItemCalls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Flags, AddTest,
    ::testing::Values(
        AddCase{"ListedRefused", false, Which::Crate, true, false, false, 0, false, false, false, Outcome::Refused},
        AddCase{"UnlistedAdded", false, Which::Rock, true, false, false, 0, false, false, false, Outcome::Added},
        AddCase{"ArgumentsPassedThrough", false, Which::Rock, true, false, true, 0x123456789AULL, true, true, false,
                Outcome::Added},
        // The game passes its flags as bytes; values other than 1 reach the game's function unchanged.
        AddCase{"FlagBytesPassedThrough", false, Which::Rock, true, 0, 0x80, 1, 0x02, 0xFF, 0, Outcome::Added},
        AddCase{"AnyNonZeroThirdByteLetsListedIn", false, Which::Crate, true, 0x02, 0, 0, 0, 0, 0, Outcome::Added},
        AddCase{"AnyNonZeroEighthByteLetsListedIn", true, Which::Crate, true, 0, 0, 0, 0, 0, 0x80, Outcome::Added},
        AddCase{"OtherFlagsDoNotCount", false, Which::Crate, true, false, true, 7, true, true, false, Outcome::Refused},
        AddCase{"ThirdArgumentLetsListedIn", false, Which::Crate, true, true, false, 0, false, false, false,
                Outcome::Added},
        AddCase{"EighthArgumentLetsListedIn", false, Which::Crate, true, false, false, 0, false, false, true,
                Outcome::Added},
        AddCase{"CheckReadsTheList", true, Which::Crate, true, false, false, 0, false, false, false, Outcome::Failed},
        AddCase{"ThirdArgumentReadsNoList", true, Which::Crate, true, true, false, 0, false, false, false,
                Outcome::Added},
        AddCase{"EighthArgumentReadsNoList", true, Which::Crate, true, false, false, 0, false, false, true,
                Outcome::Added},
        AddCase{"ClasslessItemReadsNoList", true, Which::Classless, true, false, false, 0, false, false, false,
                Outcome::Added},
        AddCase{"NoInventoryReadsNoList", true, Which::Crate, false, false, false, 0, false, false, false,
                Outcome::Added},
        AddCase{"NoItemReadsNoList", true, Which::None, true, false, false, 0, false, false, false, Outcome::Added}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Reloading ---------------------------------------------------------------------------------------------------

TEST_F(InventoryTest, AnEntryDroppedByReloadStopsCountingAtTheNextEvent) {
  LoadWith(Destroylist({{"a", kCrate}, {"b", kRock}}));
  GameObject* first = InventoryOf({crate_, rock_});
  game::ViewRemoteInventory(controller_, first);
  EXPECT_TRUE(game::Items(first).empty());

  WriteConfig(Destroylist({{"a", kCrate}}));
  ASSERT_TRUE(sandbox::ExecuteRcon(connection_, "Tidywarden.reload"));
  ASSERT_EQ(connection_.replies.size(), 1U);

  GameObject* second = InventoryOf({crate_, rock_});
  const auto before = game::Items(second);
  game::FinishReceivingItems(controller_, second);
  EXPECT_EQ(game::Items(second), std::vector<GameObject*>{before[1]});

  GameObject* target = game::NewInventory();
  GameObject* rock = game::NewItem(rock_);
  game::AddToInventory(rock, target);
  game::AddToInventory(game::NewItem(crate_), target);
  EXPECT_EQ(game::Items(target), std::vector<GameObject*>{rock});
  EXPECT_TRUE(LoggedLines().empty());
}

// ---- A list that cannot be walked --------------------------------------------------------------------------------

struct ShapeCase {
  const char* name;
  std::string config;
  std::vector<std::string> removed;  // classes of the items that the purging hooks remove from [crate, rock]
  Outcome addOfCrate;
  std::optional<std::string> error;  // what() of the walk's failure, when it fails
};

void PrintTo(const ShapeCase& param, std::ostream* out) { *out << param.name; }

class ConfigurationShapeTest : public InventoryTest, public ::testing::WithParamInterface<ShapeCase> {};

// Each hook meets the document as the previous one left it, so a failure must recur at every later walk.
TEST_P(ConfigurationShapeTest, EachHookStopsWhereTheWalkFails) {
  const auto& param = GetParam();
  LoadWith(param.config);

  GameObject* viewed = InventoryOf({crate_, rock_});
  const auto viewedBefore = game::Items(viewed);
  game::ViewRemoteInventory(controller_, viewed);
  EXPECT_EQ(ClassNames(RemovedSince(0, viewed, viewedBefore)), param.removed) << "view";
  // The game's function sees the inventory only when the walk went through.
  ASSERT_EQ(game::Record().viewCalls.size(), param.error ? 0U : 1U);
  if (!param.error) {
    EXPECT_EQ(game::Record().viewCalls[0].itemsSeen, game::Items(viewed));
  }

  GameObject* received = InventoryOf({crate_, rock_});
  const auto receivedBefore = game::Items(received);
  const std::size_t removalsBefore = game::Record().removeItemCalls.size();
  game::FinishReceivingItems(controller_, received);
  EXPECT_EQ(ClassNames(RemovedSince(removalsBefore, received, receivedBefore)), param.removed) << "finished";
  ASSERT_EQ(game::Record().finishedCalls.size(), 1U);
  EXPECT_EQ(game::Record().finishedCalls[0].itemsSeen, receivedBefore);

  GameObject* target = game::NewInventory();
  GameObject* crate = game::NewItem(crate_);
  game::AddToInventory(crate, target);
  EXPECT_EQ(game::Record().addCalls.size(), param.addOfCrate == Outcome::Added ? 1U : 0U);

  std::vector<std::string> expectedDetours;
  if (param.error) {
    expectedDetours = {"OnViewRemoteInventory", "OnFinishedReceivingItems"};
    if (param.addOfCrate == Outcome::Failed) expectedDetours.push_back("OnAddToInventory");
  }
  const auto failures = FailuresLogged();
  ASSERT_EQ(failures.size(), expectedDetours.size());
  for (std::size_t i = 0; i < failures.size(); ++i) {
    EXPECT_PRED2(EndsWith, failures[i].source, "Inventory.cpp");
    EXPECT_EQ(failures[i].detour, expectedDetours[i]);
    EXPECT_EQ(failures[i].what, *param.error);
  }
}

std::string OneMember(const std::string& value) { return R"({"Destroylist": {"a": )" + value + "}}"; }
std::string Listed(const std::string& blueprint) { return R"({"Blueprint": ")" + blueprint + R"("})"; }

INSTANTIATE_TEST_SUITE_P(
    Shapes, ConfigurationShapeTest,
    ::testing::Values(
        ShapeCase{"DocumentArray", "[1]", {}, Outcome::Failed, SubscriptError("array")},
        ShapeCase{"DocumentNumber", "5", {}, Outcome::Failed, SubscriptError("number")},
        ShapeCase{"DocumentString", R"("text")", {}, Outcome::Failed, SubscriptError("string")},
        ShapeCase{"DocumentBoolean", "true", {}, Outcome::Failed, SubscriptError("boolean")},
        ShapeCase{"DocumentNull", "null", {}, Outcome::Added, std::nullopt},
        ShapeCase{"ListMissing", "{}", {}, Outcome::Added, std::nullopt},
        ShapeCase{"ListNull", R"({"Destroylist": null})", {}, Outcome::Added, std::nullopt},
        ShapeCase{"ListEmptyArray", R"({"Destroylist": []})", {}, Outcome::Added, std::nullopt},
        ShapeCase{"ListEmptyObject", R"({"Destroylist": {}})", {}, Outcome::Added, std::nullopt},
        ShapeCase{"ListString", R"({"Destroylist": ")" + kCrate + R"("})", {}, Outcome::Failed, kKeyOfNonObject},
        ShapeCase{"ListNumber", R"({"Destroylist": 7})", {}, Outcome::Failed, kKeyOfNonObject},
        ShapeCase{"ListBoolean", R"({"Destroylist": false})", {}, Outcome::Failed, kKeyOfNonObject},
        ShapeCase{
            "ListNonEmptyArray", R"({"Destroylist": [)" + Listed(kCrate) + "]}", {}, Outcome::Failed, kKeyOfNonObject},
        ShapeCase{"MemberString", OneMember('"' + kCrate + '"'), {}, Outcome::Failed, SubscriptError("string")},
        ShapeCase{"MemberNumber", OneMember("1"), {}, Outcome::Failed, SubscriptError("number")},
        ShapeCase{"MemberBoolean", OneMember("true"), {}, Outcome::Failed, SubscriptError("boolean")},
        ShapeCase{"MemberArray", OneMember("[" + Listed(kCrate) + "]"), {}, Outcome::Failed, SubscriptError("array")},
        ShapeCase{"MemberNull", OneMember("null"), {}, Outcome::Failed, NotStringError("null")},
        ShapeCase{"MemberWithoutBlueprint",
                  OneMember(R"({"blueprint": ")" + kCrate + R"("})"),
                  {},
                  Outcome::Failed,
                  NotStringError("null")},
        ShapeCase{"BlueprintNull", OneMember(R"({"Blueprint": null})"), {}, Outcome::Failed, NotStringError("null")},
        ShapeCase{"BlueprintNumber", OneMember(R"({"Blueprint": 3})"), {}, Outcome::Failed, NotStringError("number")},
        ShapeCase{
            "BlueprintBoolean", OneMember(R"({"Blueprint": true})"), {}, Outcome::Failed, NotStringError("boolean")},
        ShapeCase{"BlueprintArray",
                  OneMember(R"({"Blueprint": [")" + kCrate + R"("]})"),
                  {},
                  Outcome::Failed,
                  NotStringError("array")},
        ShapeCase{"BlueprintObject", OneMember(R"({"Blueprint": {}})"), {}, Outcome::Failed, NotStringError("object")},
        // A removal made before the failure stands; the add check stops at its match and never meets the fault.
        ShapeCase{"FaultAfterAMatch",
                  R"({"Destroylist": {"a": )" + Listed(kCrate) + R"(, "b": {}}})",
                  {"Crate_C"},
                  Outcome::Refused,
                  NotStringError("null")},
        ShapeCase{"FaultBeforeAMatch",
                  R"({"Destroylist": {"a": {}, "b": )" + Listed(kCrate) + "}}",
                  {},
                  Outcome::Failed,
                  NotStringError("null")},
        // Members are visited in key order, not in the order the file gives them.
        ShapeCase{"KeyOrderNotFileOrder",
                  R"({"Destroylist": {"z": )" + Listed(kCrate) + R"(, "m": 3}})",
                  {},
                  Outcome::Failed,
                  SubscriptError("number")},
        ShapeCase{"CapitalsSortFirst",
                  R"({"Destroylist": {"a": )" + Listed(kCrate) + R"(, "B": 3}})",
                  {},
                  Outcome::Failed,
                  SubscriptError("number")},
        ShapeCase{"FaultAfterTheMatchingMembers",
                  R"({"Destroylist": {"a": )" + Listed(kCrate) + R"(, "b": )" + Listed(kRock) + R"(, "c": []}})",
                  {"Crate_C"},
                  Outcome::Refused,
                  SubscriptError("array")}),
    [](const auto& info) { return std::string(info.param.name); });

// A null document becomes an object at the first walk. The spawn filter, which cannot read a null document, shows
// the change: it fails before the walk and no longer after it.
TEST_F(InventoryTest, FirstWalkTurnsANullDocumentIntoAnObject) {
  LoadWith("null");
  game::ClassDefinition definition;
  definition.name = "Dodo_C";
  definition.package = "/Game/Dinos/Dodo";
  definition.kind = game::Kind::Creature;
  GameObject* dodo = game::DefineClass(definition);

  game::SpawnCreature(dodo, 1, 0);
  const auto lines = LoggedLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_NE(lines[0].message.find(TypeError(306, "cannot use value() with null")), std::string::npos)
      << lines[0].message;

  GameObject* inventory = InventoryOf({crate_});
  game::ViewRemoteInventory(controller_, inventory);
  EXPECT_EQ(game::Record().viewCalls.size(), 1U);
  EXPECT_EQ(game::Items(inventory).size(), 1U);

  game::SpawnCreature(dodo, 1, 0);
  EXPECT_EQ(LoggedLines().size(), 1U) << "the document is still null after the walk";
}

}  // namespace
