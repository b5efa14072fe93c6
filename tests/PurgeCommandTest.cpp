// The structure and creature purge commands, driven over RCON through the loaded plug-in.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "PluginFixture.h"

namespace {

using sandbox::game::ClassDefinition;
using sandbox::game::GameObject;
using sandbox::game::Kind;
using testing_support::LoggedLines;
using testing_support::PluginTest;

const std::string kStructureCommand = "Tidywarden.DestroySpecifystructure";
const std::string kDinoCommand = "Tidywarden.DestroySpecifydino";
const std::string kBadFormat = "格式错误！";

std::string StructuresReply(int count) { return "清理指定建筑" + std::to_string(count) + "个，执行完毕！"; }
std::string DinosReply(int count) { return "清理指定恐龙" + std::to_string(count) + "条，执行完毕！"; }

// The handlers' source file, as this build records source paths.
const std::string kPurgeSource =
    (std::filesystem::path(__FILE__).parent_path().parent_path() / "src" / "purge" / "Purge.cpp").generic_string();

// What an administrator types for the item that places walls, and for the raptor (the class reference form).
const std::string kWallItemPath = "Blueprint'/Game/Items/PrimalItemStructure_Wall.PrimalItemStructure_Wall'";
const std::string kRaptorPath = "Blueprint'/Game/Dinos/Raptor/Raptor_Character_BP.Raptor_Character_BP'";

int CountDestroyed(const std::vector<GameObject*>& objects) {
  int destroyed = 0;
  for (const GameObject* object : objects) destroyed += sandbox::game::IsDestroyed(object) ? 1 : 0;
  return destroyed;
}

// Every object's destroy calls, to check that untouched means never asked.
int TotalDestroyCalls(const std::vector<GameObject*>& objects) {
  int calls = 0;
  for (const GameObject* object : objects) calls += sandbox::game::ForceDestroyCalls(object);
  return calls;
}

class PurgeTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteConfig("{}");
    Load();
    sandbox::LogRecorder()->Clear();  // only the commands' own lines from here on

    wallClass_ = sandbox::game::DefineClass("StructureWall_C", "/Game/Structures/Wall/StructureWall", Kind::Structure);
    floorClass_ =
        sandbox::game::DefineClass("StructureFloor_C", "/Game/Structures/Floor/StructureFloor", Kind::Structure);
    wallItem_ = sandbox::game::DefineClass("PrimalItemStructure_Wall_C", "/Game/Items/PrimalItemStructure_Wall",
                                           Kind::Item, wallClass_);
    raptorClass_ =
        sandbox::game::DefineClass("Raptor_Character_BP_C", "/Game/Dinos/Raptor/Raptor_Character_BP", Kind::Creature);
    dodoClass_ =
        sandbox::game::DefineClass("Dodo_Character_BP_C", "/Game/Dinos/Dodo/Dodo_Character_BP", Kind::Creature);
    ASSERT_EQ(sandbox::game::BlueprintPathOf(wallItem_), kWallItemPath);
  }

  std::vector<sandbox::Reply> Run(const std::string& line, std::int32_t packetId = 1) {
    connection_.replies.clear();
    EXPECT_TRUE(sandbox::ExecuteRcon(connection_, line, packetId)) << "no command took: " << line;
    EXPECT_EQ(LeakedBuffers(), 0U) << "after: " << line;
    return connection_.replies;
  }

  // The one reply a command must send, as UTF-8.
  std::string RunForReply(const std::string& line, std::int32_t packetId = 1) {
    const auto replies = Run(line, packetId);
    if (replies.size() != 1) {
      ADD_FAILURE() << replies.size() << " replies to: " << line;
      return {};
    }
    EXPECT_EQ(replies[0].packetId, packetId);
    EXPECT_EQ(replies[0].type, 0);
    return replies[0].Utf8();
  }

  GameObject* wallClass_ = nullptr;
  GameObject* floorClass_ = nullptr;
  GameObject* wallItem_ = nullptr;
  GameObject* raptorClass_ = nullptr;
  GameObject* dodoClass_ = nullptr;
};

// ---- Structures ------------------------------------------------------------------------------------------------

struct StructureLineCase {
  const char* name;
  std::string line;
  std::string reply;
  int wallsDestroyed;
};

void PrintTo(const StructureLineCase& param, std::ostream* out) { *out << param.name; }

class StructureLineTest : public PurgeTest, public ::testing::WithParamInterface<StructureLineCase> {};

TEST_P(StructureLineTest, RepliesAndDestroysOnlyMatchingStructuresOfTheLevel) {
  const auto& param = GetParam();
  std::vector<GameObject*> walls;
  for (int i = 0; i < 3; ++i) walls.push_back(sandbox::game::NewStructure(wallClass_));
  const std::vector<GameObject*> bystanders = {
      sandbox::game::NewStructure(floorClass_), sandbox::game::NewStructure(floorClass_),
      // Outside the persistent level: never visited.
      sandbox::game::NewStructure(wallClass_, false),
      // A creature whose class carries the wall's own path: not a structure.
      sandbox::game::NewCreature(
          sandbox::game::DefineClass("StructureWall_C", "/Game/Structures/Wall/StructureWall", Kind::Creature), 1, 0),
      // A wall item lying in the world is no wall.
      sandbox::game::NewItem(wallItem_)};

  EXPECT_EQ(RunForReply(param.line), param.reply);
  EXPECT_EQ(CountDestroyed(walls), param.wallsDestroyed);
  EXPECT_EQ(TotalDestroyCalls(walls), param.wallsDestroyed);
  EXPECT_EQ(TotalDestroyCalls(bystanders), 0);
  EXPECT_TRUE(LoggedLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StructureLineTest,
    ::testing::Values(
        StructureLineCase{"WellFormed", kStructureCommand + " " + kWallItemPath, StructuresReply(3), 3},
        StructureLineCase{"RepeatedSpaces", kStructureCommand + "   " + kWallItemPath, StructuresReply(3), 3},
        StructureLineCase{"LeadingAndTrailingSpaces", "  " + kStructureCommand + " " + kWallItemPath + "   ",
                          StructuresReply(3), 3},
        StructureLineCase{"ExtraWordsIgnored", kStructureCommand + " " + kWallItemPath + " 1 more", StructuresReply(3),
                          3},
        StructureLineCase{"CommandAlone", kStructureCommand, kBadFormat, 0},
        StructureLineCase{"CommandAndSpaces", kStructureCommand + "     ", kBadFormat, 0},
        // A tab is part of a word: the path then names no item.
        StructureLineCase{"TabBeforePath", kStructureCommand + " \t" + kWallItemPath, StructuresReply(0), 0},
        StructureLineCase{"TabAfterPath", kStructureCommand + " " + kWallItemPath + "\t1", StructuresReply(0), 0},
        // The console reaches the command through a tab, but the command does not split there: one word.
        StructureLineCase{"TabAfterCommand", kStructureCommand + "\t" + kWallItemPath, kBadFormat, 0},
        StructureLineCase{
            "OtherLetterCase",
            kStructureCommand + " Blueprint'/Game/Items/PrimalItemStructure_Wall.PrimalItemStructure_wall'",
            StructuresReply(0), 0},
        StructureLineCase{"UnknownItem", kStructureCommand + " Blueprint'/Game/Items/Nothing.Nothing'",
                          StructuresReply(0), 0},
        // The structure's own path names a class that makes no item.
        StructureLineCase{"StructurePathInsteadOfItem",
                          kStructureCommand + " Blueprint'/Game/Structures/Wall/StructureWall.StructureWall'",
                          StructuresReply(0), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PurgeTest, TheLoaderIsHandedTheTypedPathWithItsTab) {
  Run(kStructureCommand + " \t" + kWallItemPath);
  ASSERT_FALSE(sandbox::game::Record().loadClassRequests.empty());
  const std::string expected = "\t" + kWallItemPath;  // ASCII: one unit per byte
  EXPECT_EQ(sandbox::game::Record().loadClassRequests.back(), std::u16string(expected.begin(), expected.end()));
}

TEST_F(PurgeTest, CountIsWrittenInPlainDigits) {
  for (const int count : {1, 12, 1000}) {
    std::vector<GameObject*> walls;
    for (int i = 0; i < count; ++i) walls.push_back(sandbox::game::NewStructure(wallClass_));
    EXPECT_EQ(RunForReply(kStructureCommand + " " + kWallItemPath), StructuresReply(count));
    EXPECT_EQ(CountDestroyed(walls), count);
  }
  EXPECT_TRUE(sandbox::game::LevelActors().empty());
}

// Destroying a structure takes it out of the level's own list; the walk must still see every entry it started with.
TEST_F(PurgeTest, DestructionDuringTheWalkDoesNotSkipNeighbours) {
  std::vector<GameObject*> walls;
  std::vector<GameObject*> floors;
  floors.push_back(sandbox::game::NewStructure(floorClass_));
  for (int i = 0; i < 4; ++i) walls.push_back(sandbox::game::NewStructure(wallClass_));
  floors.push_back(sandbox::game::NewStructure(floorClass_));
  walls.push_back(sandbox::game::NewStructure(wallClass_));
  walls.push_back(sandbox::game::NewStructure(wallClass_));

  EXPECT_EQ(RunForReply(kStructureCommand + " " + kWallItemPath), StructuresReply(6));
  EXPECT_EQ(TotalDestroyCalls(walls), 6);
  EXPECT_EQ(sandbox::game::LevelActors(), floors);
}

// The level's list may hold empty slots; they are passed over.
TEST_F(PurgeTest, NullEntriesOfTheActorListAreSkipped) {
  GameObject* wall = sandbox::game::NewStructure(wallClass_, false);
  GameObject* raptor = sandbox::game::NewCreature(raptorClass_, 1, 0, true, false);
  std::vector<GameObject*> slots = {nullptr, wall, nullptr, raptor, nullptr};
  GameObject* level = sandbox::game::TheWorld()->persistentLevel;
  level->actors.data = slots.data();
  level->actors.count = static_cast<std::int32_t>(slots.size());
  level->actors.capacity = level->actors.count;

  EXPECT_EQ(RunForReply(kStructureCommand + " " + kWallItemPath), StructuresReply(1));
  EXPECT_EQ(RunForReply(kDinoCommand + " " + kRaptorPath + " 1"), DinosReply(1));
  EXPECT_TRUE(sandbox::game::IsDestroyed(wall));
  EXPECT_TRUE(sandbox::game::IsDestroyed(raptor));
  level->actors = {};
}

struct EmptyTargetCase {
  const char* name;
  // Makes the item class to name; its path is what the command gets.
  GameObject* (*itemClass)();
};

void PrintTo(const EmptyTargetCase& param, std::ostream* out) { *out << param.name; }

GameObject* PathlessStructureClass() {
  ClassDefinition definition;
  definition.name = "StructureOdd_C";
  definition.package = "/Game/Structures/Odd";
  definition.kind = Kind::Structure;
  definition.defaultFullName = "NoSpaceInThisName";
  return sandbox::game::DefineClass(definition);
}

class EmptyTargetTest : public PurgeTest, public ::testing::WithParamInterface<EmptyTargetCase> {};

// Whatever leaves the command without a target, structures whose own path is empty are not its target.
TEST_P(EmptyTargetTest, DestroysNothingAndReportsZero) {
  GameObject* pathless = PathlessStructureClass();
  const std::vector<GameObject*> structures = {
      sandbox::game::NewStructure(pathless), sandbox::game::NewStructure(nullptr),
      sandbox::game::NewStructure(wallClass_), sandbox::game::NewStructure(pathless)};
  GameObject* itemClass = GetParam().itemClass();
  const std::string path =
      itemClass != nullptr ? sandbox::game::BlueprintPathOf(itemClass) : "Blueprint'/Game/Items/Missing.Missing'";

  EXPECT_EQ(RunForReply(kStructureCommand + " " + path), StructuresReply(0));
  EXPECT_EQ(TotalDestroyCalls(structures), 0);
  EXPECT_EQ(sandbox::game::LevelActors(), structures);
  EXPECT_TRUE(LoggedLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Targets, EmptyTargetTest,
    ::testing::Values(EmptyTargetCase{"ItemDoesNotLoad", [] { return static_cast<GameObject*>(nullptr); }},
                      EmptyTargetCase{"ItemBuildsNothing",
                                      [] {
                                        return sandbox::game::DefineClass("PrimalItemResource_Stone_C",
                                                                          "/Game/Items/PrimalItemResource_Stone",
                                                                          Kind::Item);
                                      }},
                      EmptyTargetCase{"ItemBuildsStructureWithoutPath",
                                      [] {
                                        return sandbox::game::DefineClass("PrimalItemStructure_Odd_C",
                                                                          "/Game/Items/PrimalItemStructure_Odd",
                                                                          Kind::Item, PathlessStructureClass());
                                      }},
                      EmptyTargetCase{
                          "ClassMakesNoItem",
                          [] { return sandbox::game::DefineClass("Tool_C", "/Game/Tools/Tool", Kind::Plain); }}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Creatures -------------------------------------------------------------------------------------------------

enum class Outcome { All, BelowProtectedTeam, InvalidNumber, OutOfRange };

struct ModeCase {
  const char* name;
  std::string word;
  Outcome outcome;
};

void PrintTo(const ModeCase& param, std::ostream* out) { *out << param.name; }

class DinoModeTest : public PurgeTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(DinoModeTest, NumberWordDecidesWhichMatchesAreDestroyed) {
  const auto& param = GetParam();
  GameObject* wild = sandbox::game::NewCreature(raptorClass_, 10, 0);
  GameObject* team49998 = sandbox::game::NewCreature(raptorClass_, 10, 49998);
  GameObject* team49999 = sandbox::game::NewCreature(raptorClass_, 10, 49999);
  GameObject* team50000 = sandbox::game::NewCreature(raptorClass_, 10, 50000);
  GameObject* negativeTeam = sandbox::game::NewCreature(raptorClass_, 10, -1);  // the team is a signed number
  const std::vector<GameObject*> bystanders = {
      sandbox::game::NewCreature(dodoClass_, 10, 0), sandbox::game::NewCreature(raptorClass_, 10, 0, true, false),
      sandbox::game::NewCreature(nullptr, 10, 0),
      // A structure whose class reference is the raptor's: not a creature.
      sandbox::game::NewStructure(sandbox::game::DefineClass(
          "Raptor_Character_BP_C", "/Game/Dinos/Raptor/Raptor_Character_BP", Kind::Structure))};

  const auto replies = Run(kDinoCommand + " " + kRaptorPath + " " + param.word);
  const auto lines = LoggedLines();
  std::vector<GameObject*> expected;
  switch (param.outcome) {
    case Outcome::All:
      expected = {wild, team49998, team49999, team50000, negativeTeam};
      break;
    case Outcome::BelowProtectedTeam:
      expected = {wild, team49998, negativeTeam};
      break;
    case Outcome::InvalidNumber:
    case Outcome::OutOfRange: {
      EXPECT_TRUE(replies.empty());
      ASSERT_EQ(lines.size(), 1U);
      EXPECT_EQ(lines[0].logger, "Sweepmark1.4.1");
      EXPECT_EQ(lines[0].level, "error");
      EXPECT_EQ(lines[0].message, "(" + kPurgeSource + " DestroySpecifydino) Parsing error " +
                                      (param.outcome == Outcome::InvalidNumber ? "invalid stoull argument"
                                                                               : "stoull argument out of range"));
      break;
    }
  }
  if (param.outcome == Outcome::All || param.outcome == Outcome::BelowProtectedTeam) {
    ASSERT_EQ(replies.size(), 1U);
    EXPECT_EQ(replies[0].Utf8(), DinosReply(static_cast<int>(expected.size())));
    EXPECT_TRUE(lines.empty());
  }
  for (GameObject* raptor : {wild, team49998, team49999, team50000, negativeTeam}) {
    const bool wanted = std::find(expected.begin(), expected.end(), raptor) != expected.end();
    EXPECT_EQ(sandbox::game::ForceDestroyCalls(raptor), wanted ? 1 : 0) << "team " << raptor->targetingTeam;
  }
  EXPECT_EQ(TotalDestroyCalls(bystanders), 0);
}

INSTANTIATE_TEST_SUITE_P(Words, DinoModeTest,
                         ::testing::Values(ModeCase{"One", "1", Outcome::All},
                                           ModeCase{"Zero", "0", Outcome::BelowProtectedTeam},
                                           ModeCase{"LowBitsZero", "4294967296", Outcome::BelowProtectedTeam},
                                           ModeCase{"LowBitsOne", "4294967297", Outcome::All},
                                           ModeCase{"Largest", "18446744073709551615", Outcome::All},
                                           ModeCase{"MinusOne", "-1", Outcome::All},
                                           ModeCase{"MinusZero", "-0", Outcome::BelowProtectedTeam},
                                           ModeCase{"PlusSign", "+0", Outcome::BelowProtectedTeam},
                                           ModeCase{"MinusLargest", "-18446744073709551615", Outcome::All},
                                           ModeCase{"TrailingLetters", "7abc", Outcome::All},
                                           ModeCase{"HexReadAsZero", "0x10", Outcome::BelowProtectedTeam},
                                           ModeCase{"LeadingTabSkipped", "\t0", Outcome::BelowProtectedTeam},
                                           ModeCase{"Letters", "abc", Outcome::InvalidNumber},
                                           ModeCase{"SignAlone", "-", Outcome::InvalidNumber},
                                           ModeCase{"TwoSigns", "+-1", Outcome::InvalidNumber},
                                           ModeCase{"FullWidthDigit", "１", Outcome::InvalidNumber},
                                           ModeCase{"TwoToThe64", "18446744073709551616", Outcome::OutOfRange},
                                           ModeCase{"MinusTwoToThe64", "-18446744073709551616", Outcome::OutOfRange},
                                           ModeCase{"TwentyNines", "99999999999999999999", Outcome::OutOfRange}),
                         [](const auto& info) { return std::string(info.param.name); });

struct DinoLineCase {
  const char* name;
  std::string line;
  std::string reply;
  int destroyed;
};

void PrintTo(const DinoLineCase& param, std::ostream* out) { *out << param.name; }

class DinoLineTest : public PurgeTest, public ::testing::WithParamInterface<DinoLineCase> {};

TEST_P(DinoLineTest, RepliesAndDestroys) {
  const auto& param = GetParam();
  const std::vector<GameObject*> raptors = {sandbox::game::NewCreature(raptorClass_, 10, 0),
                                            sandbox::game::NewCreature(raptorClass_, 10, 60000)};
  EXPECT_EQ(RunForReply(param.line), param.reply);
  EXPECT_EQ(TotalDestroyCalls(raptors), param.destroyed);
  EXPECT_TRUE(LoggedLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DinoLineTest,
    ::testing::Values(
        DinoLineCase{"WellFormed", kDinoCommand + " " + kRaptorPath + " 1", DinosReply(2), 2},
        DinoLineCase{"RepeatedSpaces", "  " + kDinoCommand + "   " + kRaptorPath + "  0  ", DinosReply(1), 1},
        DinoLineCase{"ExtraWordsIgnored", kDinoCommand + " " + kRaptorPath + " 1 0 x", DinosReply(2), 2},
        DinoLineCase{"NoNumber", kDinoCommand + " " + kRaptorPath, kBadFormat, 0},
        DinoLineCase{"NoNumberTrailingSpaces", kDinoCommand + " " + kRaptorPath + "   ", kBadFormat, 0},
        DinoLineCase{"CommandAlone", kDinoCommand, kBadFormat, 0},
        DinoLineCase{"TabSeparatedNumber", kDinoCommand + " " + kRaptorPath + "\t1", kBadFormat, 0},
        DinoLineCase{"TabAfterCommand", kDinoCommand + "\t" + kRaptorPath + " 1", kBadFormat, 0},
        DinoLineCase{"OtherLetterCase",
                     kDinoCommand + " Blueprint'/Game/Dinos/Raptor/Raptor_Character_BP.raptor_Character_BP' 1",
                     DinosReply(0), 0},
        DinoLineCase{"WithoutWrapper", kDinoCommand + " /Game/Dinos/Raptor/Raptor_Character_BP.Raptor_Character_BP_C 1",
                     DinosReply(0), 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Creatures are named by their class reference with its last two characters dropped, not by the default object.
TEST_F(PurgeTest, CreaturesMatchTheClassReferenceForm) {
  GameObject* rexClass = sandbox::game::DefineClass("Rex", "/Script/Demo", Kind::Creature);
  GameObject* rex = sandbox::game::NewCreature(rexClass, 10, 0);
  ASSERT_EQ(sandbox::game::BlueprintPathOf(rexClass), "Blueprint'/Script/Demo.Rex'");

  EXPECT_EQ(RunForReply(kDinoCommand + " Blueprint'/Script/Demo.Rex' 1"), DinosReply(0));
  EXPECT_FALSE(sandbox::game::IsDestroyed(rex));
  EXPECT_EQ(RunForReply(kDinoCommand + " Blueprint'/Script/Demo.R' 1"), DinosReply(1));
  EXPECT_TRUE(sandbox::game::IsDestroyed(rex));
}

TEST_F(PurgeTest, ReplyCarriesTheRequestId) {
  for (const std::int32_t id : {0, 7, -3, std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(RunForReply(kStructureCommand + " " + kWallItemPath, id), StructuresReply(0)) << id;
    EXPECT_EQ(RunForReply(kStructureCommand, id), kBadFormat) << id;
    EXPECT_EQ(RunForReply(kDinoCommand + " " + kRaptorPath + " 0", id), DinosReply(0)) << id;
    EXPECT_EQ(RunForReply(kDinoCommand, id), kBadFormat) << id;
  }
}

// ---- A missing world or level ------------------------------------------------------------------------------------

struct MissingWorldCase {
  const char* name;
  bool noWorld;  // false: the world has no persistent level
  bool structures;
};

void PrintTo(const MissingWorldCase& param, std::ostream* out) { *out << param.name; }

class MissingWorldTest : public PurgeTest, public ::testing::WithParamInterface<MissingWorldCase> {};

TEST_P(MissingWorldTest, LogsOneFailureAndSendsNoReply) {
  const auto& param = GetParam();
  const std::vector<GameObject*> actors = {sandbox::game::NewStructure(wallClass_),
                                           sandbox::game::NewCreature(raptorClass_, 10, 0)};
  if (param.noWorld) {
    sandbox::game::SetCurrentWorld(nullptr);
  } else {
    sandbox::game::TheWorld()->persistentLevel = nullptr;
  }
  const std::string routine = param.structures ? "DestroySpecifystructure" : "DestroySpecifydino";
  const std::string line =
      param.structures ? kStructureCommand + " " + kWallItemPath : kDinoCommand + " " + kRaptorPath + " 1";

  EXPECT_TRUE(Run(line).empty());
  const auto lines = LoggedLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0].level, "error");
  const std::string prefix = "(" + kPurgeSource + " " + routine + ") Parsing error ";
  EXPECT_EQ(lines[0].message.rfind(prefix, 0), 0U) << lines[0].message;
  EXPECT_GT(lines[0].message.size(), prefix.size()) << "the failure has no message";
  EXPECT_EQ(TotalDestroyCalls(actors), 0);
}

INSTANTIATE_TEST_SUITE_P(Worlds, MissingWorldTest,
                         ::testing::Values(MissingWorldCase{"StructuresWithoutWorld", true, true},
                                           MissingWorldCase{"StructuresWithoutLevel", false, true},
                                           MissingWorldCase{"DinosWithoutWorld", true, false},
                                           MissingWorldCase{"DinosWithoutLevel", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A failing command leaves nothing behind that would disturb the next one.
TEST_F(PurgeTest, CommandsWorkAgainAfterAFailure) {
  GameObject* wall = sandbox::game::NewStructure(wallClass_);
  GameObject* raptor = sandbox::game::NewCreature(raptorClass_, 10, 0);
  EXPECT_TRUE(Run(kDinoCommand + " " + kRaptorPath + " abc").empty());
  sandbox::game::SetCurrentWorld(nullptr);
  EXPECT_TRUE(Run(kStructureCommand + " " + kWallItemPath).empty());
  sandbox::game::SetCurrentWorld(sandbox::game::TheWorld());

  EXPECT_EQ(RunForReply(kStructureCommand + " " + kWallItemPath), StructuresReply(1));
  EXPECT_EQ(RunForReply(kDinoCommand + " " + kRaptorPath + " 0"), DinosReply(1));
  EXPECT_TRUE(sandbox::game::IsDestroyed(wall));
  EXPECT_TRUE(sandbox::game::IsDestroyed(raptor));
  EXPECT_EQ(LoggedLines().size(), 2U);
}

}  // namespace
