// The engram marker guard: the plug-in stands down on game data whose engrams carry the marker.
#include <string>
#include <vector>

#include "PluginFixture.h"

namespace {

using sandbox::game::ClassDefinition;
using sandbox::game::GameObject;
using sandbox::game::Kind;
using testing_support::LoggedLines;
using testing_support::PluginTest;

// GBK bytes of "【插件加载失败】非常抱歉！由于Orrin抄袭Velka，Orrin与我二选一！".
const std::string kLoadFailure =
    "\xa1\xbe\xb2\xe5\xbc\xfe\xbc\xd3\xd4\xd8\xca\xa7\xb0\xdc\xa1\xbf\xb7\xc7\xb3\xa3\xb1\xa7\xc7\xb8\xa3\xa1"
    "\xd3\xc9\xd3\xda"
    "Orrin"
    "\xb3\xad\xcf\xae"
    "Velka"
    "\xa3\xac"
    "Orrin"
    "\xd3\xeb\xce\xd2\xb6\xfe\xd1\xa1"
    "\xd2\xbb\xa3\xa1";

const std::string kDodoPath = "Blueprint'/Game/Dinos/Dodo/Dodo_Character_BP.Dodo_Character_BP'";

GameObject* ItemClass(const std::string& name, const std::string& package) {
  ClassDefinition definition;
  definition.name = name;
  definition.package = package;
  definition.kind = Kind::Item;
  return sandbox::game::DefineClass(definition);
}

// An item class whose default object has exactly this full name.
GameObject* ItemClassNamed(const std::string& fullName) {
  ClassDefinition definition;
  definition.name = "Item_C";
  definition.package = "/Game/Items/Item";
  definition.kind = Kind::Item;
  definition.defaultFullName = fullName;
  return sandbox::game::DefineClass(definition);
}

class GuardTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteConfig(R"({"DestroyDinolist": {"a": {"Blueprint": ")" + kDodoPath + R"("}}})");
    Load();
    sandbox::LogRecorder()->Clear();
    ClassDefinition dodo;
    dodo.name = "Dodo_Character_BP_C";
    dodo.package = "/Game/Dinos/Dodo/Dodo_Character_BP";
    dodo.kind = Kind::Creature;
    dodoClass_ = sandbox::game::DefineClass(dodo);
    plainItem_ = ItemClass("PrimalItem_Sword_C", "/Game/Items/Sword/PrimalItem_Sword");
  }

  void StartGame() { sandbox::game::GameModeBeginPlay(sandbox::game::NewGameMode()); }

  bool Triggered() const { return sandbox::HookedFunctions().empty(); }

  // The plug-in is fully in place: five hooks, three commands, and no guard line.
  void ExpectArmed() {
    EXPECT_EQ(sandbox::HookedFunctions().size(), 5U);
    EXPECT_EQ(ArkApi::GetCommands().RconCommandNames().size(), 3U);
    EXPECT_TRUE(LoggedLines().empty());
  }

  // Exactly one guard line and one removal of everything the plug-in had put in place.
  void ExpectStoodDown() {
    const auto lines = LoggedLines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].logger, "Sweepmark1.4.1");
    EXPECT_EQ(lines[0].level, "error");
    EXPECT_EQ(lines[0].message, kLoadFailure);
    EXPECT_TRUE(sandbox::HookedFunctions().empty());
    EXPECT_TRUE(ArkApi::GetCommands().RconCommandNames().empty());
    int hookRemovals = 0;
    for (const auto& event : sandbox::HookEvents()) {
      if (event.installed) continue;
      ++hookRemovals;
      EXPECT_TRUE(event.accepted) << event.function;
    }
    int commandRemovals = 0;
    for (const auto& event : sandbox::CommandEvents()) {
      if (event.registered) continue;
      ++commandRemovals;
      EXPECT_TRUE(event.accepted) << event.name;
    }
    EXPECT_EQ(hookRemovals, 5);
    EXPECT_EQ(commandRemovals, 3);
  }

  GameObject* dodoClass_ = nullptr;
  GameObject* plainItem_ = nullptr;
};

struct MarkerCase {
  const char* name;
  std::string fullName;  // of the engram item's default object
  bool triggers;
};

void PrintTo(const MarkerCase& param, std::ostream* out) { *out << param.name; }

class MarkerTest : public GuardTest, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(MarkerTest, StandsDownOnlyOnTheMarkedPath) {
  const auto& param = GetParam();
  sandbox::game::AddEngram(sandbox::game::GameData(), plainItem_);
  sandbox::game::AddEngram(sandbox::game::GameData(), ItemClassNamed(param.fullName));
  StartGame();

  EXPECT_EQ(sandbox::game::Record().gameModeBeginPlayCalls.size(), 1U);
  // The game's own BeginPlay runs first, while the plug-in is still armed.
  EXPECT_EQ(sandbox::game::Record().hooksAtGameModeBeginPlay, std::vector<std::size_t>{5});
  if (param.triggers) {
    ExpectStoodDown();
  } else {
    ExpectArmed();
  }
  EXPECT_EQ(LeakedBuffers(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MarkerTest,
    ::testing::Values(MarkerCase{"InClassName", "QVX517Sword_C /Game/Items/QVX517Sword.Default__QVX517Sword_C", true},
                      MarkerCase{"InFolderName", "Sword_C /Game/Mods/QVX517/Sword.Default__Sword_C", true},
                      MarkerCase{"RightAfterTheSpace", "Sword QVX517/Sword.Default__Sword", true},
                      MarkerCase{"AtPathEnd", "Sword /Game/Sword.SwordQVX517", true},
                      MarkerCase{"BeforeStrippedSuffix", "Sword_C /Game/Sword.Default__QVX517_C", true},
                      MarkerCase{"JoinedByDefaultRemoval", "Sword_C /Game/QVXDefault__517/Sword.Default__Sword_C",
                                 true},
                      MarkerCase{"LowerCase", "Sword_C /Game/Mods/qvx517/Sword.Default__Sword_C", false},
                      MarkerCase{"MixedCase", "Sword_C /Game/Mods/QvX517/Sword.Default__Sword_C", false},
                      MarkerCase{"Split", "Sword_C /Game/Mods/QVX_517/Sword.Default__Sword_C", false},
                      MarkerCase{"Truncated", "Sword_C /Game/Mods/QVX51/Sword.Default__Sword_C", false},
                      // Only what follows the first space is the path.
                      MarkerCase{"OnlyBeforeTheSpace", "QVX517_C /Game/Items/Sword.Default__Sword_C", false},
                      // A name without a space gives no path at all.
                      MarkerCase{"NameWithoutSpace", "/Game/Mods/QVX517/Sword.Default__Sword_C", false},
                      MarkerCase{"Unmarked", "Sword_C /Game/Items/Sword.Default__Sword_C", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GuardTest, UnmarkedGameDataIsScannedAgainAtEachStart) {
  sandbox::game::AddEngram(sandbox::game::GameData(), plainItem_);
  StartGame();
  StartGame();
  ExpectArmed();

  sandbox::game::AddEngram(sandbox::game::GameData(),
                           ItemClass("PrimalItem_QVX517_C", "/Game/Items/PrimalItem_QVX517"));
  StartGame();
  ExpectStoodDown();
  EXPECT_EQ(sandbox::game::Record().gameModeBeginPlayCalls.size(), 3U);
}

TEST_F(GuardTest, TwoMarkedEngramsStandDownOnce) {
  sandbox::game::AddEngram(sandbox::game::GameData(), ItemClass("A_C", "/Game/QVX517/A"));
  sandbox::game::AddEngram(sandbox::game::GameData(), plainItem_);
  sandbox::game::AddEngram(sandbox::game::GameData(), ItemClass("B_C", "/Game/QVX517/B"));
  StartGame();
  ExpectStoodDown();
  EXPECT_EQ(LeakedBuffers(), 0U);
}

// Entries without an item class, and empty slots of the list, are passed over; the scan goes on behind them.
TEST_F(GuardTest, EmptyEntriesAreSkipped) {
  GameObject* gameData = sandbox::game::GameData();
  GameObject* noClass = sandbox::game::AddEngram(gameData, nullptr);
  GameObject* plain = sandbox::game::AddEngram(gameData, plainItem_);
  GameObject* marked = sandbox::game::AddEngram(gameData, ItemClass("A_C", "/Game/QVX517/A"));
  std::vector<GameObject*> slots = {nullptr, noClass, nullptr, plain, nullptr};

  gameData->engramEntries = {slots.data(), static_cast<std::int32_t>(slots.size()),
                             static_cast<std::int32_t>(slots.size())};
  StartGame();
  ExpectArmed();

  slots.push_back(marked);
  gameData->engramEntries = {slots.data(), static_cast<std::int32_t>(slots.size()),
                             static_cast<std::int32_t>(slots.size())};
  StartGame();
  ExpectStoodDown();
  gameData->engramEntries = {};
}

TEST_F(GuardTest, OverrideIsScannedInsteadOfTheGameData) {
  GameObject* dataOverride = sandbox::game::NewGameData();
  sandbox::game::AddEngram(sandbox::game::GameData(), ItemClass("A_C", "/Game/QVX517/A"));
  sandbox::game::AddEngram(dataOverride, plainItem_);
  sandbox::game::Singleton()->primalGameDataOverride = dataOverride;
  StartGame();
  ExpectArmed();

  sandbox::game::AddEngram(dataOverride, ItemClass("B_C", "/Game/QVX517/B"));
  StartGame();
  ExpectStoodDown();
}

struct MissingLinkCase {
  const char* name;
  void (*cut)();
};

void PrintTo(const MissingLinkCase& param, std::ostream* out) { *out << param.name; }

class MissingLinkTest : public GuardTest, public ::testing::WithParamInterface<MissingLinkCase> {};

// Marked engrams that cannot be reached are not scanned, and nothing is said about them.
TEST_P(MissingLinkTest, ScansNothing) {
  sandbox::game::AddEngram(sandbox::game::GameData(), ItemClass("A_C", "/Game/QVX517/A"));
  GetParam().cut();
  StartGame();
  ExpectArmed();
  EXPECT_EQ(sandbox::game::Record().gameModeBeginPlayCalls.size(), 1U);
  EXPECT_EQ(LeakedBuffers(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Links, MissingLinkTest,
    ::testing::Values(MissingLinkCase{"NoEngine", [] { sandbox::game::SetEngine(nullptr); }},
                      MissingLinkCase{"NoSingleton", [] { sandbox::game::Engine()->gameSingleton = nullptr; }},
                      MissingLinkCase{"NoGameData", [] { sandbox::game::Singleton()->primalGameData = nullptr; }}),
    [](const auto& info) { return std::string(info.param.name); });

// Once stood down, the game's own functions run untouched and the commands are gone; the detach afterwards
// asks the host to remove everything again, which it refuses without harm.
TEST_F(GuardTest, NothingOfThePluginIsReachedAfterwards) {
  sandbox::game::AddEngram(sandbox::game::GameData(), ItemClass("A_C", "/Game/QVX517/A"));
  StartGame();
  ASSERT_TRUE(Triggered());
  sandbox::LogRecorder()->Clear();

  GameObject* dodo = sandbox::game::SpawnCreature(dodoClass_, 1, 0);
  EXPECT_EQ(sandbox::game::ForceDestroyCalls(dodo), 0);
  EXPECT_EQ(sandbox::game::Record().dinoBeginPlayCalls, std::vector<GameObject*>{dodo});

  const std::vector<std::string> lines = {"Tidywarden.reload",
                                          "Tidywarden.DestroySpecifystructure Blueprint'/Game/A.A'",
                                          "Tidywarden.DestroySpecifydino " + kDodoPath + " 1"};
  for (const std::string& line : lines) {
    EXPECT_FALSE(sandbox::ExecuteRcon(connection_, line)) << line;
  }
  EXPECT_TRUE(connection_.replies.empty());
  EXPECT_FALSE(sandbox::game::IsDestroyed(dodo));

  StartGame();
  EXPECT_EQ(sandbox::game::Record().gameModeBeginPlayCalls.size(), 2U);
  EXPECT_TRUE(LoggedLines().empty());

  const std::size_t hookEventsBefore = sandbox::HookEvents().size();
  const std::size_t commandEventsBefore = sandbox::CommandEvents().size();
  Unload();
  const auto hookEvents = sandbox::HookEvents();
  const auto commandEvents = sandbox::CommandEvents();
  ASSERT_EQ(hookEvents.size(), hookEventsBefore + 5);
  ASSERT_EQ(commandEvents.size(), commandEventsBefore + 3);
  for (std::size_t i = hookEventsBefore; i < hookEvents.size(); ++i) {
    EXPECT_FALSE(hookEvents[i].installed);
    EXPECT_FALSE(hookEvents[i].accepted) << hookEvents[i].function;
  }
  for (std::size_t i = commandEventsBefore; i < commandEvents.size(); ++i) {
    EXPECT_FALSE(commandEvents[i].registered);
    EXPECT_FALSE(commandEvents[i].accepted) << commandEvents[i].name;
  }
  EXPECT_TRUE(LoggedLines().empty());
}

}  // namespace
