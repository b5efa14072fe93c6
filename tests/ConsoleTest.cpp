// The console's admission rules, its config saves, and worlds made from configurations, whose classes must give
// back exactly the paths listed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "sandbox/console/Admission.h"
#include "sandbox/console/ConfigFile.h"
#include "sandbox/console/WorldFromConfig.h"
#include "sandbox/console/WorldJson.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/game/WorldFile.h"

namespace {

using nlohmann::json;
namespace console = sandbox::console;
namespace game = sandbox::game;
namespace fs = std::filesystem;

constexpr std::uint16_t kPort = 27080;
constexpr const char* kToken = "0123456789abcdef0123456789abcdef";

TEST(ConsoleAdmissionTest, RefusesByHostTokenAndOrigin) {
  const std::string bearer = std::string("Bearer ") + kToken;
  struct Case {
    const char* name;
    const char* method;
    const char* target;
    std::string host;
    std::string authorization;
    std::optional<std::string> origin;
    unsigned status;
  };
  const Case cases[] = {
      {"api with token", "GET", "/api/world", "127.0.0.1:27080", bearer, {}, 0},
      {"by name", "GET", "/api/world?lang=zh-CN", "localhost:27080", bearer, {}, 0},
      {"page needs no token", "GET", "/app.js", "127.0.0.1:27080", "", {}, 0},
      {"rebound name", "GET", "/api/world", "evil.example:27080", bearer, {}, 403},
      {"rebound page", "GET", "/", "evil.example:27080", "", {}, 403},
      {"other port", "GET", "/api/world", "127.0.0.1:27081", bearer, {}, 403},
      {"port prefix", "GET", "/api/world", "127.0.0.1:2708", bearer, {}, 403},
      {"no port", "GET", "/api/world", "127.0.0.1", bearer, {}, 403},
      {"no token", "GET", "/api/world", "127.0.0.1:27080", "", {}, 401},
      {"bare token", "GET", "/api/world", "127.0.0.1:27080", kToken, {}, 401},
      {"token cut short", "GET", "/api/world", "127.0.0.1:27080", bearer.substr(0, bearer.size() - 1), {}, 401},
      {"token and more", "GET", "/api/world", "127.0.0.1:27080", bearer + "0", {}, 401},
      {"last character changed",
       "GET",
       "/api/world",
       "127.0.0.1:27080",
       bearer.substr(0, bearer.size() - 1) + "e",
       {},
       401},
      // A longer text is compared past the token's end: NULs there must not read as a match.
      {"token and a NUL", "GET", "/api/world", "127.0.0.1:27080", bearer + std::string(1, '\0'), {}, 401},
      {"own origin", "POST", "/api/command", "127.0.0.1:27080", bearer, "http://127.0.0.1:27080", 0},
      {"own origin by name", "PUT", "/api/config", "127.0.0.1:27080", bearer, "http://localhost:27080", 0},
      {"foreign origin", "POST", "/api/command", "127.0.0.1:27080", bearer, "http://evil.example", 403},
      {"null origin", "PUT", "/api/config", "127.0.0.1:27080", bearer, "null", 403},
      {"empty origin", "PUT", "/api/config", "127.0.0.1:27080", bearer, "", 403},
      {"https origin", "POST", "/api/command", "127.0.0.1:27080", bearer, "https://127.0.0.1:27080", 403},
      {"origin on reads is left to the token", "GET", "/api/world", "127.0.0.1:27080", bearer, "http://x", 0},
  };
  for (const auto& c : cases) {
    console::RequestFacts facts;
    facts.method = c.method;
    facts.target = c.target;
    facts.host = c.host;
    facts.authorization = c.authorization;
    facts.hasOrigin = c.origin.has_value();
    if (c.origin) facts.origin = *c.origin;
    const auto refusal = console::Admit(facts, kPort, kToken);
    EXPECT_EQ(refusal.status, c.status) << c.name;
    EXPECT_EQ(refusal.message.empty(), c.status == 0) << c.name;
  }
}

TEST(ConsoleAdmissionTest, QueryValues) {
  EXPECT_EQ(console::QueryValue("/api/config?lang=zh-CN", "lang"), "zh-CN");
  EXPECT_EQ(console::QueryValue("/api/config?x=1&lang=en", "lang"), "en");
  EXPECT_EQ(console::QueryValue("/api/config?language=en", "lang"), "");
  EXPECT_EQ(console::QueryValue("/api/config", "lang"), "");
  EXPECT_EQ(console::QueryText("/api/config?server=Island%2F2+b%e6%9c%8d", "server"), "Island/2 b\xe6\x9c\x8d");
  EXPECT_EQ(console::QueryText("/api/config?server=50%25%2", "server"), "50%%2");
  EXPECT_EQ(console::PathOf("/api/config?lang=en"), "/api/config");
}

class ConsoleConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 ("tidywarden-console-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    path_ = (directory_ / "config.json").string();
  }
  void TearDown() override { fs::remove_all(directory_); }

  static std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  fs::path directory_;
  std::string path_;
};

TEST_F(ConsoleConfigTest, SaveKeepsThePreviousFileAndLeavesNoTemporary) {
  console::SaveConfig(path_, "first");
  EXPECT_FALSE(fs::exists(path_ + ".bak"));
  console::SaveConfig(path_, "second");
  EXPECT_EQ(Read(path_), "second");
  EXPECT_EQ(Read(path_ + ".bak"), "first");
  console::SaveConfig(path_, "third");  // a backup already there is replaced
  EXPECT_EQ(Read(path_ + ".bak"), "second");
  EXPECT_FALSE(fs::exists(path_ + ".saving"));
  EXPECT_TRUE(console::ReadConfig(path_).exists);
  EXPECT_FALSE(console::ReadConfig((directory_ / "none.json").string()).exists);
}

TEST_F(ConsoleConfigTest, FailedSaveLeavesTheFileAsItWas) {
  console::SaveConfig(path_, "kept");
  fs::create_directory(path_ + ".saving");
  EXPECT_THROW(console::SaveConfig(path_, "lost"), std::runtime_error);
  EXPECT_EQ(Read(path_), "kept");
}

TEST(ConsoleUtf8Test, ValidAndInvalid) {
  EXPECT_TRUE(console::IsValidUtf8("{\"清理\": 1}"));
  EXPECT_FALSE(console::IsValidUtf8("\xC7\xE5\xC0\xED"));  // GBK, as Notepad might save it
  EXPECT_FALSE(console::IsValidUtf8("\xED\xA0\x80"));      // a UTF-16 surrogate
}

class ConsoleWorldFromConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox::ResetHost(); }

  console::ConfigWorld Build(const json& config, const json& findings = json::array()) {
    auto made = console::WorldFromConfig(config.dump(), findings);
    sandbox::server::BuildWorld(made.world);
    return made;
  }
};

// Every path written must be given back by the class made for it, through the game's own derivations.
TEST_F(ConsoleWorldFromConfigTest, ClassesDeriveExactlyTheListedPaths) {
  const std::vector<std::string> itemPaths = {
      "Blueprint'/Game/Items/Gem.Gem'",
      "Blueprint'/Game/Other/Gem.Gem'",       // same name, another package
      "Blueprint'/Game/Items/Odd.Odd_C'",     // ends in _C: only a class named ..._C_C has it
      "Blueprint'/Game/Items/No Dots Here'",  // a space and no dot
      "Blueprint'/Game/Mods/宝石/Gem.宝石'",  // not ASCII
  };
  const std::vector<std::string> creaturePaths = {
      "Blueprint'/Game/Dinos/Rex/Rex.Rex'",
      "Blueprint'/Game/Dinos/Rex/Rex.Default__Rex'",  // unlikely, yet a reference can hold it
  };
  json config = {{"Destroylist", json::object()}, {"DestroyDinolist", json::object()}};
  for (std::size_t i = 0; i < itemPaths.size(); ++i) {
    config["Destroylist"]["item" + std::to_string(i)] = {{"Blueprint", itemPaths[i]}};
  }
  for (std::size_t i = 0; i < creaturePaths.size(); ++i) {
    config["DestroyDinolist"]["dino" + std::to_string(i)] = {{"Blueprint", creaturePaths[i]}};
  }
  const auto made = Build(config);
  EXPECT_TRUE(made.unmatched.empty()) << made.unmatched.dump();
  std::set<std::string> itemsGiven, creaturesGiven;
  for (auto* cls : game::Classes()) {
    if (game::InstanceKindOf(cls) == game::Kind::Item) itemsGiven.insert(game::BlueprintPathOf(cls));
    if (game::InstanceKindOf(cls) == game::Kind::Creature) creaturesGiven.insert(console::CreaturePathOf(cls));
  }
  for (const auto& path : itemPaths) EXPECT_EQ(itemsGiven.count(path), 1U) << path;
  for (const auto& path : creaturePaths) EXPECT_EQ(creaturesGiven.count(path), 1U) << path;
  // Each item builds a structure of its own.
  std::set<game::GameObject*> structures;
  for (auto* cls : game::Classes()) {
    const bool listed = std::find(itemPaths.begin(), itemPaths.end(), game::BlueprintPathOf(cls)) != itemPaths.end();
    if (game::InstanceKindOf(cls) == game::Kind::Item && listed) {
      ASSERT_NE(game::StructureToBuildOf(cls), nullptr) << game::NameOf(cls);
      structures.insert(game::StructureToBuildOf(cls));
    }
  }
  EXPECT_EQ(structures.size(), itemPaths.size());
}

TEST_F(ConsoleWorldFromConfigTest, PathsNoClassCanHaveAreListedWithTheFinding) {
  const json config = {{"Destroylist",
                        {{"bare", {{"Blueprint", "/Game/Items/Gem.Gem"}}},
                         {"default", {{"Blueprint", "Blueprint'/Game/Items/Gem.Default__Gem'"}}},
                         {"empty", {{"Blueprint", ""}}},
                         {"number", {{"Blueprint", 5}}}}},
                       {"DestroyDinoLevel", {{"Rex", {{"ExceedSestructionLevel", 10}}}}}};
  const json findings = json::array(
      {{{"pointer", "/Destroylist/bare/Blueprint"}, {"code", "W202"}, {"message", "it lacks the wrapper"}}});
  const auto made = Build(config, findings);
  std::map<std::string, json> unmatched;
  for (const auto& entry : made.unmatched) unmatched[entry.at("path")] = entry;
  ASSERT_EQ(unmatched.size(), 4U) << made.unmatched.dump();
  EXPECT_EQ(unmatched["/Game/Items/Gem.Gem"]["code"], "W202");
  EXPECT_EQ(unmatched["/Game/Items/Gem.Gem"]["message"], "it lacks the wrapper");
  EXPECT_NE(unmatched["Blueprint'/Game/Items/Gem.Default__Gem'"]["message"].get<std::string>().find("Default__"),
            std::string::npos);
  EXPECT_EQ(unmatched.count(""), 1U);
  EXPECT_EQ(unmatched.count("Rex"), 1U);
  EXPECT_EQ(made.world["creatures"].size(), 0U);
}

TEST_F(ConsoleWorldFromConfigTest, CreaturesAroundTheThresholdAndTheSparedTeams) {
  const std::string rex = "Blueprint'/Game/Dinos/Rex/Rex.Rex'";
  const json config = {{"DestroyDinolist", {{"rex", {{"Blueprint", rex}}}}},
                       {"DestroyDinoLevel", {{rex, {{"ExceedSestructionLevel", 100}}}}}};
  const auto made = Build(config);
  std::set<std::int32_t> levels, teams;
  int rexes = 0;
  for (auto* actor : game::LevelActors()) {
    if (game::KindOf(actor) != game::Kind::Creature) continue;
    ++rexes;
    EXPECT_EQ(console::CreaturePathOf(actor->cls), rex);
    levels.insert(actor->statusComponent->baseCharacterLevel);
    teams.insert(actor->targetingTeam);
  }
  EXPECT_EQ(levels, (std::set<std::int32_t>{99, 100, 101}));
  EXPECT_TRUE(teams.count(49998) && teams.count(49999) && teams.count(50000)) << "teams either side of 49999";
  EXPECT_EQ(rexes, 12);  // one class although the path is both listed and capped
  // The chest holds one unlisted item only: nothing is listed under Destroylist.
  ASSERT_EQ(game::Inventories().size(), 1U);
  EXPECT_EQ(game::Items(game::Inventories()[0]).size(), 1U);
}

TEST_F(ConsoleWorldFromConfigTest, ThresholdsBeyondTheRangeKeepTheirLow32Bits) {
  const std::string rex = "Blueprint'/Game/Dinos/Rex/Rex.Rex'";
  const auto made = Build({{"DestroyDinoLevel", {{rex, {{"ExceedSestructionLevel", 4294967295ULL}}}}}});
  std::set<std::int32_t> levels;
  for (auto* actor : game::LevelActors()) levels.insert(actor->statusComponent->baseCharacterLevel);
  EXPECT_EQ(levels, (std::set<std::int32_t>{-2, -1, 0}));
}

TEST_F(ConsoleWorldFromConfigTest, NotJsonIsRefused) {
  EXPECT_THROW(console::WorldFromConfig("{\"Destroylist\": ", json::array()), std::runtime_error);
}

TEST_F(ConsoleWorldFromConfigTest, SnapshotIdsStayAndTheFingerprintMoves) {
  sandbox::server::BuildWorld(sandbox::server::DemoWorld());
  console::ObjectIds ids;
  const auto before = json::parse(console::WorldSnapshotJson(ids, 1, true));
  const auto fingerprint = console::WorldFingerprint();
  EXPECT_EQ(console::WorldFingerprint(), fingerprint);
  game::NewStructure(game::FindClass("Wall_C"));
  EXPECT_NE(console::WorldFingerprint(), fingerprint);
  const auto after = json::parse(console::WorldSnapshotJson(ids, 2, true));
  // The demo's wall outside the persistent level is listed too, marked as such.
  const auto outside = std::count_if(before["structures"].begin(), before["structures"].end(),
                                     [](const json& structure) { return !structure["persistent"].get<bool>(); });
  EXPECT_EQ(outside, 1);
  // Every structure keeps its id; the new one gets an id of its own.
  const auto structureIds = [](const json& world) {
    std::set<std::uint64_t> ids;
    for (const auto& structure : world["structures"]) ids.insert(structure["id"].get<std::uint64_t>());
    return ids;
  };
  const std::set<std::uint64_t> idsBefore = structureIds(before);
  const std::set<std::uint64_t> idsAfter = structureIds(after);
  ASSERT_EQ(idsAfter.size(), idsBefore.size() + 1);
  EXPECT_TRUE(std::includes(idsAfter.begin(), idsAfter.end(), idsBefore.begin(), idsBefore.end()));
  const auto chestItems = [](const json& world) { return world["inventories"][0]["items"].size(); };
  const auto moved = console::WorldFingerprint();
  game::PutItem(game::Inventories()[0], game::NewItem(game::FindClass("Berry_C")));
  EXPECT_NE(console::WorldFingerprint(), moved);
  EXPECT_EQ(chestItems(json::parse(console::WorldSnapshotJson(ids, 3, true))), chestItems(after) + 1);
}

}  // namespace
