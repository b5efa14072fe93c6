// The reload command over RCON: the reply, the files it refuses, and which configuration stays in force.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "PluginFixture.h"

namespace {

namespace game = sandbox::game;
using game::GameObject;
using testing_support::LoggedLines;
using testing_support::ParseErrorOf;
using testing_support::PluginTest;

const std::string kReload = "Tidywarden.reload";
const std::u16string kReloaded = u"重新加载配置";
// GBK bytes of "无法打开文件配置config.json".
const std::string kNotOpened =
    "\xce\xde\xb7\xa8\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\xc5\xe4\xd6\xc3"
    "config.json";

const std::string kCrate = "Blueprint'/Game/Items/Crate.Crate'";
const std::string kRock = "Blueprint'/Game/Items/Rock.Rock'";
const std::string kStick = "Blueprint'/Game/Items/Stick.Stick'";
const std::string kRaptor = "Blueprint'/Game/Dinos/Raptor.Raptor'";

// A configuration that keeps these items out of inventories and destroys these creatures as they spawn.
std::string Config(const std::vector<std::string>& items, const std::vector<std::string>& creatures = {}) {
  nlohmann::json config = nlohmann::json::object();
  config["Destroylist"] = nlohmann::json::object();
  config["DestroyDinolist"] = nlohmann::json::object();
  for (std::size_t i = 0; i < items.size(); ++i)
    config["Destroylist"]["item" + std::to_string(i)]["Blueprint"] = items[i];
  for (std::size_t i = 0; i < creatures.size(); ++i) {
    config["DestroyDinolist"]["dino" + std::to_string(i)]["Blueprint"] = creatures[i];
  }
  return config.dump();
}

class ReloadTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    crate_ = sandbox::game::DefineClass("Crate_C", "/Game/Items/Crate", game::Kind::Item);
    rock_ = sandbox::game::DefineClass("Rock_C", "/Game/Items/Rock", game::Kind::Item);
    stick_ = sandbox::game::DefineClass("Stick_C", "/Game/Items/Stick", game::Kind::Item);
    raptor_ = sandbox::game::DefineClass("Raptor_C", "/Game/Dinos/Raptor", game::Kind::Creature);
  }

  void LoadWith(const std::string& config) {
    WriteConfig(config);
    Load();
    ASSERT_EQ(sandbox::HookedFunctions().size(), 5U);
    sandbox::LogRecorder()->Clear();
  }

  // The replies that one reload line brings, after checking that the command took the line.
  std::vector<sandbox::Reply> Reload(const std::string& line = kReload, std::int32_t packetId = 1) {
    connection_.replies.clear();
    EXPECT_TRUE(sandbox::ExecuteRcon(connection_, line, packetId)) << line;
    EXPECT_EQ(LeakedBuffers(), 0U) << "after: " << line;
    return connection_.replies;
  }

  // The configuration in force, as an inventory event shows it: the classes of the items it keeps out.
  std::vector<std::string> ItemsKeptOut() {
    GameObject* inventory = game::NewInventory();
    for (GameObject* cls : {crate_, rock_, stick_}) game::PutItem(inventory, game::NewItem(cls));
    game::ViewRemoteInventory(game::NewController(), inventory);
    std::vector<std::string> kept;
    for (GameObject* cls : {crate_, rock_, stick_}) {
      bool present = false;
      for (const GameObject* item : game::Items(inventory)) present = present || item->cls == cls;
      if (!present) kept.push_back(game::NameOf(cls));
    }
    return kept;
  }

  bool RaptorSurvivesSpawning() { return !game::IsDestroyed(game::SpawnCreature(raptor_, 1, 0)); }

  static void ExpectOneError(const std::string& message) {
    const auto lines = LoggedLines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].logger, "Sweepmark1.4.1");
    EXPECT_EQ(lines[0].level, "error");
    EXPECT_EQ(lines[0].message, message);
  }

  GameObject* crate_ = nullptr;
  GameObject* rock_ = nullptr;
  GameObject* stick_ = nullptr;
  GameObject* raptor_ = nullptr;
};

TEST_F(ReloadTest, RepliesOnTheRequestingPacketAndTheNewFileTakesOver) {
  LoadWith(Config({kCrate}));
  WriteConfig(Config({kRock, kStick}, {kRaptor}));

  const auto replies = Reload(kReload, 4711);

  ASSERT_EQ(replies.size(), 1U);
  EXPECT_EQ(replies[0].packetId, 4711);
  EXPECT_EQ(replies[0].type, 0);
  EXPECT_EQ(replies[0].text, kReloaded);
  EXPECT_TRUE(LoggedLines().empty());
  EXPECT_EQ(ItemsKeptOut(), (std::vector<std::string>{"Rock_C", "Stick_C"}));
  EXPECT_FALSE(RaptorSurvivesSpawning());
  // Nothing but the document changes: hooks and commands stay as they were.
  EXPECT_EQ(sandbox::HookedFunctions().size(), 5U);
  EXPECT_EQ(ArkApi::GetCommands().RconCommandNames().size(), 3U);
}

TEST_F(ReloadTest, WordsAfterTheCommandAreIgnored) {
  LoadWith(Config({kCrate}));
  struct Case {
    std::string line;
    std::string item;
    const char* itemClass;
  };
  const Case cases[] = {
      {kReload + " now", kRock, "Rock_C"},
      {kReload + "   config.json extra words", kStick, "Stick_C"},
      {kReload + " ", kCrate, "Crate_C"},
  };
  for (const auto& c : cases) {
    WriteConfig(Config({c.item}));
    const auto replies = Reload(c.line, 9);
    ASSERT_EQ(replies.size(), 1U) << c.line;
    EXPECT_EQ(replies[0].text, kReloaded) << c.line;
    EXPECT_EQ(replies[0].packetId, 9) << c.line;
    EXPECT_EQ(ItemsKeptOut(), std::vector<std::string>{c.itemClass}) << c.line;
  }
  EXPECT_TRUE(LoggedLines().empty());
}

TEST_F(ReloadTest, DeletedFileLeavesThePreviousConfigurationInForce) {
  LoadWith(Config({kCrate}, {kRaptor}));
  std::filesystem::remove(ConfigPath());

  EXPECT_TRUE(Reload().empty());

  ExpectOneError(kNotOpened);
  EXPECT_EQ(ItemsKeptOut(), std::vector<std::string>{"Crate_C"});
  EXPECT_FALSE(RaptorSurvivesSpawning());
}

struct BrokenFileCase {
  const char* name;
  std::string text;
};

void PrintTo(const BrokenFileCase& param, std::ostream* out) { *out << param.name; }

class BrokenFileTest : public ReloadTest, public ::testing::WithParamInterface<BrokenFileCase> {};

// Nothing of a file that fails to parse comes into force, however far the parser got.
TEST_P(BrokenFileTest, KeepsThePreviousDocumentWhole) {
  LoadWith(Config({kCrate}, {kRaptor}));
  WriteConfig(GetParam().text);

  EXPECT_TRUE(Reload().empty());

  ExpectOneError(ParseErrorOf(GetParam().text));
  EXPECT_EQ(ItemsKeptOut(), std::vector<std::string>{"Crate_C"});
  EXPECT_FALSE(RaptorSurvivesSpawning());

  // Once the file is fixed, the next reload takes it.
  WriteConfig(Config({kStick}));
  ASSERT_EQ(Reload().size(), 1U);
  EXPECT_EQ(ItemsKeptOut(), std::vector<std::string>{"Stick_C"});
  EXPECT_TRUE(RaptorSurvivesSpawning());
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenFileTest,
    ::testing::Values(BrokenFileCase{"BreaksInsideTheSecondList", R"({"Destroylist": {"x": {"Blueprint": ")" + kRock +
                                                                      R"("}}, "DestroyDinolist": {"y": )"},
                      BrokenFileCase{"BreaksInsideTheFirstList",
                                     R"({"Destroylist": {"x": {"Blueprint": ")" + kRock + R"("}, )"},
                      BrokenFileCase{"MissingComma", R"({"Destroylist": {} "DestroyDinolist": {}})"},
                      BrokenFileCase{"Empty", ""}, BrokenFileCase{"Comment", "// the list\n" + Config({kRock})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReloadTest, TwoReloadsInARowLeaveTheLastFileAndOneLogger) {
  LoadWith(Config({kCrate}));
  WriteConfig(Config({kRock}));
  const auto first = Reload(kReload, 1);
  WriteConfig(Config({kStick}));
  const auto second = Reload(kReload, 2);

  ASSERT_EQ(first.size(), 1U);
  ASSERT_EQ(second.size(), 1U);
  EXPECT_EQ(first[0].packetId, 1);
  EXPECT_EQ(second[0].packetId, 2);
  EXPECT_EQ(ItemsKeptOut(), std::vector<std::string>{"Stick_C"});

  // Each reload makes a new logger on the same sinks; a line must reach the log once, not once per logger.
  std::filesystem::remove(ConfigPath());
  EXPECT_TRUE(Reload().empty());
  ExpectOneError(kNotOpened);
}

// State of one load must not reach the next: after unloading, the file read by the new load is all that counts.
TEST_F(ReloadTest, EachLoadStartsFromTheFileItReads) {
  LoadWith(Config({kCrate}, {kRaptor}));
  WriteConfig(Config({kRock}));
  ASSERT_EQ(Reload().size(), 1U);
  Unload();
  ASSERT_FALSE(sandbox::PluginModule::IsMapped(testing_support::kPluginPath));

  LoadWith(Config({kStick}));
  EXPECT_EQ(ItemsKeptOut(), std::vector<std::string>{"Stick_C"});
  EXPECT_TRUE(RaptorSurvivesSpawning());

  // A reload in the new load behaves as in the first: a deleted file keeps this load's document.
  std::filesystem::remove(ConfigPath());
  EXPECT_TRUE(Reload().empty());
  ExpectOneError(kNotOpened);
  EXPECT_EQ(ItemsKeptOut(), std::vector<std::string>{"Stick_C"});
}

}  // namespace
