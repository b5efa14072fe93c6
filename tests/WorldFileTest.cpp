// World files: a valid file builds the world it describes; a bad one is refused whole, naming the entry at fault.
#include <gtest/gtest.h>

#include "sandbox/game/GameWorld.h"
#include "sandbox/game/WorldFile.h"

namespace {

using nlohmann::json;
namespace game = sandbox::game;

class WorldFileTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox::ResetHost(); }
};

int CountKind(game::Kind kind) {
  int count = 0;
  for (auto* actor : game::LevelActors()) count += game::KindOf(actor) == kind ? 1 : 0;
  return count;
}

TEST_F(WorldFileTest, DemoWorldBuildsWhatItDescribes) {
  sandbox::server::BuildWorld(sandbox::server::DemoWorld());
  EXPECT_EQ(CountKind(game::Kind::Creature), 4);
  EXPECT_EQ(CountKind(game::Kind::Structure), 5);  // the sixth stands outside the persistent level
  ASSERT_EQ(game::Inventories().size(), 2U);
  EXPECT_EQ(game::Items(game::Inventories()[0]).size(), 3U);
  auto* wallItem = game::FindClass("WallItem_C");
  ASSERT_NE(wallItem, nullptr);
  EXPECT_EQ(game::NewItem(wallItem)->structureToBuild, game::FindClass("Wall_C"));
  EXPECT_EQ(game::BlueprintPathOf(wallItem), "Blueprint'/Game/Demo/Items/WallItem.WallItem'");
  EXPECT_EQ(game::GameData()->engramEntries.count, 2);
}

TEST_F(WorldFileTest, OverrideEngramsGoToANewGameData) {
  sandbox::server::BuildWorld(json::parse(R"({
    "classes": [{"name": "Relic_C", "package": "/Game/Mods/Relic", "kind": "item"}],
    "overrideEngrams": ["Relic_C", null]
  })"));
  auto* data = game::Singleton()->primalGameDataOverride;
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->engramEntries.count, 2);
  EXPECT_EQ(data->engramEntries.data[0]->engramItemClass, game::FindClass("Relic_C"));
  EXPECT_EQ(data->engramEntries.data[1]->engramItemClass, nullptr);
}

TEST_F(WorldFileTest, BadFilesAreRefusedWholeWithTheEntryNamed) {
  struct Case {
    const char* text;
    const char* mentions;
  };
  const Case cases[] = {
      {R"([])", "top level"},
      {R"({"classes": {}})", "classes"},
      {R"({"classes": [{"package": "/Game/A", "kind": "item"}]})", "classes[0]"},
      {R"({"classes": [{"name": "A_C", "package": "/Game/A", "kind": "vehicle"}]})", "kind"},
      {R"({"classes": [{"name": "A_C", "package": "/Game/A", "kind": "item"},
                       {"name": "A_C", "package": "/Game/B", "kind": "item"}]})",
       "declared twice"},
      {R"({"creatures": [{"class": "Nobody_C"}]})", "creatures[0]"},
      {R"({"classes": [{"name": "R_C", "package": "/Game/R", "kind": "creature"}],
           "creatures": [{"class": "R_C", "level": "high"}]})",
       "level"},
      {R"({"classes": [{"name": "R_C", "package": "/Game/R", "kind": "creature"}],
           "creatures": [{"class": "R_C", "team": 4294967296}]})",
       "out of range"},
      {R"({"inventories": [{"name": "Chest", "items": ["Nothing_C"]}]})", "inventories[0]"},
      {R"({"engrams": [17]})", "engrams"},
      {R"({"classes": [{"name": "I_C", "package": "/Game/I", "kind": "item", "builds": 3}]})", "builds"},
  };
  for (const auto& c : cases) {
    sandbox::ResetHost();
    const auto classesBefore = game::Classes().size();
    try {
      sandbox::server::BuildWorld(json::parse(c.text));
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(c.mentions), std::string::npos) << error.what();
    }
    EXPECT_EQ(game::Classes().size(), classesBefore) << "half-built from: " << c.text;
    EXPECT_TRUE(game::LevelActors().empty()) << c.text;
  }
}

}  // namespace
