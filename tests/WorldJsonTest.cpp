// The console's world snapshot, written as text without a document: it must parse, and hold exactly what the world
// holds, whatever the names contain; the quick first answer must agree with the whole one.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/GameAccess.h"
#include "sandbox/console/JsonText.h"
#include "sandbox/console/WorldJson.h"
#include "sandbox/game/GameWorld.h"

namespace {

using nlohmann::json;
namespace console = sandbox::console;
namespace game = sandbox::game;

TEST(JsonTextTest, StringsComeBackAsWritten) {
  const struct {
    std::string text;
    std::string written;  // empty: only the round trip is checked
  } cases[] = {
      {"plain", "\"plain\""},
      {"", "\"\""},
      {"say \"hi\"", R"("say \"hi\"")"},
      {R"(C:\Saved\x)", R"("C:\\Saved\\x")"},
      {"a\nb\tc\rd\be\ff", R"("a\nb\tc\rd\be\ff")"},
      {std::string("nul\0end", 7), R"("nul\u0000end")"},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\x7f\""},
      {"/Game/Mods/宝石/Gem.宝石", "\"/Game/Mods/宝石/Gem.宝石\""},
      {"emoji \xF0\x9F\xA6\x96", ""},
      {"</script>", "\"</script>\""},
  };
  for (const auto& each : cases) {
    std::string out;
    console::AppendJsonString(out, each.text);
    if (!each.written.empty()) {
      EXPECT_EQ(out, each.written) << each.text;
    }
    EXPECT_EQ(json::parse(out).get<std::string>(), each.text) << out;
  }
}

// How many U+FFFD stand for one bad sequence is the decoder's choice; that each stands where it was, with the good
// text around it kept, is not.
TEST(JsonTextTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  const auto collapsed = [&](std::string text) {
    for (std::size_t at; (at = text.find(replacement + replacement)) != std::string::npos;) {
      text.erase(at, replacement.size());
    }
    return text;
  };
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"a\xFF"
       "b",
       "a" + replacement + "b"},
      {"cut \xE5\xAE", "cut " + replacement},        // the last character's tail is missing
      {"\xC0\xAF/", replacement + "/"},              // an overlong slash
      {"\xED\xA0\x80 half", replacement + " half"},  // a UTF-16 surrogate on its own
      {"\"\xFE\"\n", "\"" + replacement + "\"\n"},   // escapes still apply around it
      {"宝\x80石", "宝" + replacement + "石"},
  };
  for (const auto& each : cases) {
    std::string out;
    console::AppendJsonString(out, each.text);
    // nlohmann refuses text that is not UTF-8, so parsing is the check that none got through.
    EXPECT_EQ(collapsed(json::parse(out).get<std::string>()), each.expected) << out;
  }
}

TEST(JsonTextTest, NumbersAtTheirLimits) {
  std::string out = "[";
  console::AppendJsonNumber(out, std::int32_t{-2147483647 - 1});
  out += ',';
  console::AppendJsonNumber(out, std::uint64_t{18446744073709551615ULL});
  out += ',';
  console::AppendJsonNumber(out, 0);
  out += ']';
  const json parsed = json::parse(out);
  EXPECT_EQ(parsed[0].get<std::int64_t>(), -2147483648LL);
  EXPECT_EQ(parsed[1].get<std::uint64_t>(), 18446744073709551615ULL);
  EXPECT_EQ(parsed[2].get<int>(), 0);
}

class WorldJsonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox::ResetHost();
    // Names an administrator's world may well hold: quotes, a backslash, a tab, Chinese, and one that is not UTF-8.
    quoted_ = game::DefineClass("Say\"Hi\"_C", "/Game/Odd/Say\\Hi", game::Kind::Creature);
    chinese_ = game::DefineClass("霸王龙_C", "/Game/Mods/恐龙/霸王龙", game::Kind::Creature);
    wall_ = game::DefineClass("Wall\t_C", "/Game/Structures/Wall", game::Kind::Structure);
    gem_ = game::DefineClass("宝石_C", "/Game/Mods/宝石/宝石", game::Kind::Item, wall_);
    berry_ = game::DefineClass("Berry_C", "/Game/Items/Berry", game::Kind::Item);
    for (int i = 0; i < 7; ++i) game::NewCreature(i % 2 ? quoted_ : chinese_, 1 + i * 20, i % 3 ? 0 : 50000);
    game::NewCreature(chinese_, 5, 7, /*withStatus=*/false);
    game::NewCreature(quoted_, 9, 1, true, /*inLevel=*/false);
    for (int i = 0; i < 5; ++i) game::NewStructure(wall_, i != 4);
    const char* names[] = {"Chest \"A\"", "箱子\n二", "bad \xFF name"};
    for (int i = 0; i < 3; ++i) {
      game::GameObject* inventory = game::NewInventory(names[i]);
      for (int j = 0; j <= i * 2; ++j) game::PutItem(inventory, game::NewItem(j % 2 ? berry_ : gem_));
    }
    game::NewInventory("empty");
  }

  game::GameObject* quoted_ = nullptr;
  game::GameObject* chinese_ = nullptr;
  game::GameObject* wall_ = nullptr;
  game::GameObject* gem_ = nullptr;
  game::GameObject* berry_ = nullptr;
};

// Compared with the world as the game itself reports it, not with another rendering of the snapshot.
TEST_F(WorldJsonTest, TheWholeWorldAsTheGameHoldsIt) {
  console::ObjectIds ids;
  const json world = json::parse(console::WorldSnapshotJson(ids, 42, true));
  EXPECT_EQ(world["version"], 42);
  EXPECT_EQ(world["plugin"], json({{"loaded", true}}));
  EXPECT_FALSE(world.contains("partial"));

  std::vector<const game::GameObject*> creatures, structures;
  std::vector<bool> creaturePersistent, structurePersistent;
  const auto sort = [&](const std::vector<game::GameObject*>& actors, bool persistent) {
    for (const auto* actor : actors) {
      if (game::KindOf(actor) == game::Kind::Creature)
        creatures.push_back(actor), creaturePersistent.push_back(persistent);
      if (game::KindOf(actor) == game::Kind::Structure)
        structures.push_back(actor), structurePersistent.push_back(persistent);
    }
  };
  sort(game::LevelActors(), true);
  sort(game::ActorsOutsideLevel(), false);
  ASSERT_EQ(world["creatures"].size(), creatures.size());
  ASSERT_EQ(creatures.size(), 9U);
  for (std::size_t i = 0; i < creatures.size(); ++i) {
    const json& row = world["creatures"][i];
    const auto* actor = creatures[i];
    EXPECT_EQ(row["id"], ids.Of(actor));
    EXPECT_EQ(row["class"], game::NameOf(actor->cls));
    EXPECT_EQ(row["path"], console::CreaturePathOf(actor->cls));
    EXPECT_EQ(row["team"], actor->targetingTeam);
    EXPECT_EQ(row["status"], actor->statusComponent != nullptr);
    EXPECT_EQ(row["level"], actor->statusComponent ? json(actor->statusComponent->baseCharacterLevel) : json());
    EXPECT_EQ(row["persistent"], static_cast<bool>(creaturePersistent[i]));
  }
  EXPECT_EQ(world["creatures"][0]["class"], "霸王龙_C");
  EXPECT_EQ(world["creatures"][0]["path"], "Blueprint'/Game/Mods/恐龙/霸王龙.霸王龙'");
  EXPECT_EQ(world["creatures"][1]["path"], "Blueprint'/Game/Odd/Say\\Hi.Say\"Hi\"'");

  ASSERT_EQ(world["structures"].size(), 5U);
  for (std::size_t i = 0; i < structures.size(); ++i) {
    EXPECT_EQ(world["structures"][i]["id"], ids.Of(structures[i]));
    EXPECT_EQ(world["structures"][i]["class"], "Wall\t_C");
    EXPECT_EQ(world["structures"][i]["path"], game::BlueprintPathOf(wall_));
    EXPECT_EQ(world["structures"][i]["persistent"], static_cast<bool>(structurePersistent[i]));
  }

  const auto inventories = game::Inventories();
  ASSERT_EQ(world["inventories"].size(), inventories.size());
  for (std::size_t i = 0; i < inventories.size(); ++i) {
    const json& listed = world["inventories"][i];
    EXPECT_EQ(listed["id"], ids.Of(inventories[i]));
    const auto items = game::Items(inventories[i]);
    ASSERT_EQ(listed["items"].size(), items.size());
    for (std::size_t j = 0; j < items.size(); ++j) {
      EXPECT_EQ(listed["items"][j]["id"], ids.Of(items[j]));
      EXPECT_EQ(listed["items"][j]["class"], game::NameOf(items[j]->cls));
      EXPECT_EQ(listed["items"][j]["path"], game::BlueprintPathOf(items[j]->cls));
    }
  }
  EXPECT_EQ(world["inventories"][0]["name"], "Chest \"A\"");
  EXPECT_EQ(world["inventories"][1]["name"], "箱子\n二");
  EXPECT_EQ(world["inventories"][2]["name"], "bad \xEF\xBF\xBD name");

  std::map<std::string, json> classes;
  for (const auto& entry : world["classes"]) classes[entry["name"]] = entry;
  EXPECT_EQ(classes.size(), 5U) << "the engine's own classes are left out";
  EXPECT_EQ(
      classes["宝石_C"],
      json({{"name", "宝石_C"}, {"kind", "item"}, {"path", game::BlueprintPathOf(gem_)}, {"builds", "Wall\t_C"}}));
  EXPECT_EQ(classes["Say\"Hi\"_C"]["path"], console::CreaturePathOf(quoted_));
  EXPECT_EQ(classes["Say\"Hi\"_C"]["kind"], "creature");
  EXPECT_TRUE(classes["Berry_C"]["builds"].is_null());
}

// Deriving a class's path makes its default object, as the plug-in's purges and spawn check do for every actor they
// look at; the world's rows and counts stay those of its actors.
TEST_F(WorldJsonTest, DefaultObjectsOfClassesAreNoActorsOfTheWorld) {
  console::ObjectIds ids;
  const std::string before = console::WorldSnapshotJson(ids, 1, true);
  for (game::GameObject* cls : {wall_, chinese_, quoted_}) {
    ASSERT_NE(host::Call<members::GetDefaultObject>(reinterpret_cast<UClass*>(cls), true), nullptr);
  }
  EXPECT_EQ(json::parse(console::WorldSnapshotJson(ids, 1, true)), json::parse(before));
  const json first = json::parse(console::WorldSnapshotJson(ids, 1, true, 2));
  EXPECT_EQ(first["totals"], json({{"creatures", 9}, {"structures", 5}, {"inventories", 4}, {"items", 9}}));
}

// The first answer lists a prefix of each kind, with counts that agree with the whole world, and gives the same
// ids as the whole answer that follows it.
TEST_F(WorldJsonTest, FirstRowsAgreeWithTheWholeWorld) {
  console::ObjectIds ids;
  const json whole = json::parse(console::WorldSnapshotJson(ids, 3, false));
  std::map<std::string, int> perClass;
  for (const char* kind : {"creatures", "structures"}) {
    for (const auto& row : whole[kind]) ++perClass[row["class"]];
  }
  int items = 0;
  for (const auto& inventory : whole["inventories"]) {
    for (const auto& item : inventory["items"]) ++perClass[item["class"]], ++items;
  }
  ASSERT_EQ(items, 1 + 3 + 5);

  const struct {
    std::size_t rows;
    std::size_t creatures, structures, inventories, items;
  } cases[] = {
      {0, 0, 0, 0, 0}, {2, 2, 2, 2, 2},  // the second inventory is cut after its first item
      {3, 3, 3, 3, 3},                   // the third is listed with none of its items
      {4, 4, 4, 4, 4}, {100, 9, 5, 4, 9},
  };
  for (const auto& each : cases) {
    const json first = json::parse(console::WorldSnapshotJson(ids, 3, false, each.rows));
    SCOPED_TRACE("rows=" + std::to_string(each.rows));
    EXPECT_EQ(first["partial"], true);
    EXPECT_EQ(first["totals"], json({{"creatures", 9}, {"structures", 5}, {"inventories", 4}, {"items", 9}}));
    ASSERT_EQ(first["creatures"].size(), each.creatures);
    ASSERT_EQ(first["structures"].size(), each.structures);
    ASSERT_EQ(first["inventories"].size(), each.inventories);
    for (std::size_t i = 0; i < each.creatures; ++i) EXPECT_EQ(first["creatures"][i], whole["creatures"][i]);
    for (std::size_t i = 0; i < each.structures; ++i) EXPECT_EQ(first["structures"][i], whole["structures"][i]);
    std::size_t listedItems = 0;
    for (std::size_t i = 0; i < each.inventories; ++i) {
      const json& listed = first["inventories"][i];
      const json& full = whole["inventories"][i];
      EXPECT_EQ(listed["name"], full["name"]);
      EXPECT_EQ(listed["count"], full["items"].size());
      for (std::size_t j = 0; j < listed["items"].size(); ++j) EXPECT_EQ(listed["items"][j], full["items"][j]);
      listedItems += listed["items"].size();
    }
    EXPECT_EQ(listedItems, each.items);
    ASSERT_EQ(first["classes"].size(), whole["classes"].size());
    for (const auto& entry : first["classes"]) {
      EXPECT_EQ(entry["count"], perClass[entry["name"]]) << entry["name"];
    }
  }
}

}  // namespace
