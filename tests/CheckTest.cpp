// The configuration checker on the files administrators write: each file, its exit status and what is found where.
#include <unistd.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Check.h"

#if !defined(_WIN32)
extern char** environ;
#endif

namespace {

using Found = std::pair<std::string, std::string>;  // code, pointer

class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() / ("tidywarden-check-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::string Write(const std::string& bytes) {
    const auto path = directory_ / "config.json";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    return path.string();
  }

  std::filesystem::path directory_;
};

std::vector<Found> CodesAndPointers(const check::Findings& findings) {
  std::vector<Found> found;
  for (const auto& finding : findings) found.emplace_back(finding.code, finding.pointer);
  std::sort(found.begin(), found.end());
  return found;
}

struct FileCase {
  const char* name;
  std::string bytes;
  int status;
  std::vector<Found> found;  // every finding, in any order
  std::string message = {};  // a text the first finding's message holds
};

void PrintTo(const FileCase& param, std::ostream* out) { *out << param.name; }

class FileCaseTest : public CheckTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(FileCaseTest, StatusAndFindings) {
  const auto& param = GetParam();
  const check::Findings findings = check::CheckFile(Write(param.bytes));
  auto expected = param.found;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(CodesAndPointers(findings), expected) << check::FormatText(findings);
  EXPECT_EQ(check::ExitStatus(findings), param.status);
  if (!param.message.empty()) {
    ASSERT_FALSE(findings.empty());
    const std::string said = findings.front().message + "\n" + findings.front().effect;
    EXPECT_NE(said.find(param.message), std::string::npos) << said;
  }
}

const std::string kRex = "Blueprint'/Game/Dinos/Rex/Rex.Rex'";
const std::string kCrate = "Blueprint'/Game/Items/Crate.Crate'";
const std::string kAllLists = R"("Destroylist": {}, "DestroyDinolist": {}, "DestroyDinoLevel": {})";

// A document holding every list, with `lists` in place of those it gives.
std::string With(const std::string& lists) {
  nlohmann::json document = nlohmann::json::parse("{" + kAllLists + "}");
  document.update(nlohmann::json::parse("{" + lists + "}"));
  return document.dump();
}

std::string Item(const std::string& path) {
  return With(R"("Destroylist": {"a": {"Blueprint": )" + nlohmann::json(path).dump() + "}}");
}
std::string Threshold(const std::string& value) {
  return With(R"("DestroyDinoLevel": {")" + kRex + R"(": {"ExceedSestructionLevel": )" + value + "}}");
}
const std::string kRexThreshold = "/DestroyDinoLevel/Blueprint'~1Game~1Dinos~1Rex~1Rex.Rex'/ExceedSestructionLevel";
// A number too large for a double, where an administrator would write a threshold.
const std::string kRefusedThreshold =
    R"({"DestroyDinoLevel": {"Blueprint'/Game/A.A'": {"ExceedSestructionLevel": 1e400}}})";
const std::string kRefusedPointer = "/DestroyDinoLevel/Blueprint'~1Game~1A.A'/ExceedSestructionLevel";

INSTANTIATE_TEST_SUITE_P(
    Files, FileCaseTest,
    ::testing::Values(
        FileCase{"Clean",
                 With(R"("Destroylist": {"a": {"Blueprint": ")" + kCrate + R"("}},
                         "DestroyDinolist": {"a": {"Blueprint": "Blueprint'/Game/Dinos/Raptor.Raptor'"}},
                         "DestroyDinoLevel": {")" +
                      kRex + R"(": {"ExceedSestructionLevel": 150}})"),
                 0,
                 {}},
        FileCase{"ByteOrderMark", "\xEF\xBB\xBF" + With(""), 0, {}},
        // Shapes that make a walk fail.
        FileCase{
            "ItemMemberNotObject", With(R"("Destroylist": {"a": 5})"), 2, {{"E112", "/Destroylist/a"}}, "a number"},
        FileCase{"ItemMemberWithoutBlueprint",
                 With(R"("Destroylist": {"a": {"blueprint": ")" + kCrate + R"("}})"),
                 2,
                 {{"E112", "/Destroylist/a"}},
                 "\"blueprint\" is not read"},
        FileCase{"ItemMemberNull", With(R"("Destroylist": {"a": null})"), 2, {{"E112", "/Destroylist/a"}}},
        // A name a few edits from "Blueprint", letter case aside, is named as its misspelling; a further one is not.
        FileCase{"BlueprintInCapitals",
                 With(R"("Destroylist": {"a": {"BLUEPRINT": ")" + kCrate + R"("}})"),
                 2,
                 {{"E112", "/Destroylist/a"}},
                 "its \"BLUEPRINT\" is not read"},
        FileCase{"BlueprintThreeEditsOff",
                 With(R"("Destroylist": {"a": {"xBluepint_": ")" + kCrate + R"("}})"),
                 2,
                 {{"E112", "/Destroylist/a"}},
                 "its \"xBluepint_\" is not read"},
        FileCase{"BlueprintFourEditsOff",
                 With(R"("Destroylist": {"a": {"xBlueint_": ")" + kCrate + R"("}})"),
                 2,
                 {{"E112", "/Destroylist/a"}},
                 "member \"a\" has no \"Blueprint\"\n"},
        FileCase{"ThresholdNameOneLetterOff",
                 With(R"("DestroyDinoLevel": {")" + kRex + R"(": {"ExceedSestructionLeve1": 5}})"),
                 2,
                 {{"E132", "/DestroyDinoLevel/Blueprint'~1Game~1Dinos~1Rex~1Rex.Rex'"}},
                 "its \"ExceedSestructionLeve1\" is not read"},
        // Labels are quoted as JSON writes them.
        FileCase{"LabelNeedingEscapes",
                 With(R"("Destroylist": {"a\"b\\c\td\u00e9": 5})"),
                 2,
                 {{"E112", "/Destroylist/a\"b\\c\td\u00e9"}},
                 R"(member "a\"b\\c\tdé" is a number)"},
        FileCase{"LabelWithQuotes",
                 With(R"("Destroylist": {"say \"hi\"": 5})"),
                 2,
                 {{"E112", "/Destroylist/say \"hi\""}},
                 R"(member "say \"hi\"" is a number)"},
        FileCase{"BlueprintNotString",
                 With(R"("Destroylist": {"a": {"Blueprint": 7}, "b": {"Blueprint": ")" + kCrate + R"("}})"),
                 2,
                 {{"E112", "/Destroylist/a/Blueprint"}},
                 "is a number, not a string"},
        FileCase{"ItemListString", With(R"("Destroylist": "text")"), 2, {{"E111", "/Destroylist"}}},
        FileCase{"ItemListEmptyArray", With(R"("Destroylist": [])"), 1, {{"W207", "/Destroylist"}}},
        FileCase{"CreatureMemberNull", With(R"("DestroyDinolist": {"a": null})"), 2, {{"E122", "/DestroyDinolist/a"}}},
        FileCase{"CreatureListArray", With(R"("DestroyDinolist": [1])"), 2, {{"E121", "/DestroyDinolist"}}},
        FileCase{"LevelThresholdString", Threshold(R"("150")"), 2, {{"E132", kRexThreshold}}, "a string"},
        FileCase{"LevelEntryMisspelt",
                 With(R"("DestroyDinoLevel": {")" + kRex + R"(": {"ExceedDestructionLevel": 5}})"),
                 2,
                 {{"E132", "/DestroyDinoLevel/Blueprint'~1Game~1Dinos~1Rex~1Rex.Rex'"}},
                 "ExceedDestructionLevel"},
        // A faulty entry under a name no creature's path can be is never read.
        FileCase{"LevelEntryNeverReached",
                 With(R"("DestroyDinoLevel": {"Rex": null})"),
                 1,
                 {{"W208", "/DestroyDinoLevel/Rex"}, {"W202", "/DestroyDinoLevel/Rex"}}},
        FileCase{"DocumentArray", "[1]", 2, {{"E110", ""}, {"E120", ""}}},
        FileCase{"DocumentNull", "null", 2, {{"E120", ""}}, "null, not an object"},
        // Paths in a form that matches nothing.
        FileCase{"ClassSuffix",
                 Item("Blueprint'/Game/Items/Crate.Crate_C'"),
                 1,
                 {{"W203", "/Destroylist/a/Blueprint"}},
                 "perhaps \"Blueprint'/Game/Items/Crate.Crate'\""},
        FileCase{"NoWrapper",
                 Item("/Game/Items/Crate.Crate"),
                 1,
                 {{"W202", "/Destroylist/a/Blueprint"}},
                 "perhaps \"Blueprint'/Game/Items/Crate.Crate'\""},
        FileCase{"TrailingSpace", Item(kCrate + " "), 1, {{"W202", "/Destroylist/a/Blueprint"}}, "whitespace after"},
        FileCase{
            "LowerCasePrefix", Item("blueprint'/Game/Items/Crate.Crate'"), 1, {{"W202", "/Destroylist/a/Blueprint"}}},
        FileCase{"DefaultInText",
                 Item("Blueprint'/Game/Items/Crate.Default__Crate'"),
                 1,
                 {{"W203", "/Destroylist/a/Blueprint"}},
                 "Default__"},
        FileCase{"EmptyPath", Item(""), 1, {{"W204", "/Destroylist/a/Blueprint"}}},
        FileCase{"OnlyPrefix", Item("Blueprint'"), 1, {{"W202", "/Destroylist/a/Blueprint"}}, "nothing but Blueprint'"},
        FileCase{"TildeInLabel",
                 With(R"("Destroylist": {"a~b/c": 5})"),
                 2,
                 {{"E112", "/Destroylist/a~0b~1c"}}},
        FileCase{"CreatureLevelNameWithSuffix",
                 With(R"("DestroyDinoLevel": {"Blueprint'/Game/Rex.Rex_C'": {"ExceedSestructionLevel": 5}})"),
                 1,
                 {{"W203", "/DestroyDinoLevel/Blueprint'~1Game~1Rex.Rex_C'"}}},
        // Keys the plug-in does not read.
        FileCase{"MisspeltList",
                 R"({"DestroyList": {}, "DestroyDinolist": {}, "DestroyDinoLevel": {}})",
                 1,
                 {{"W201", "/DestroyList"}, {"N303", "/Destroylist"}},
                 "did you mean \"Destroylist\"?"},
        FileCase{"LowerCaseList", With(R"("destroydinolevel": {})"), 1, {{"W201", "/destroydinolevel"}}},
        // Thresholds that convert to another number.
        FileCase{"ThresholdWraps", Threshold("4294967295"), 1, {{"W205", kRexThreshold}}, "the plug-in uses -1"},
        FileCase{"ThresholdBoolean", Threshold("true"), 1, {{"W205", kRexThreshold}}, "the plug-in uses 1"},
        FileCase{"ThresholdFraction", Threshold("12.9"), 1, {{"W205", kRexThreshold}}, "the plug-in uses 12"},
        FileCase{"ThresholdSaturates", Threshold("1e12"), 1, {{"W205", kRexThreshold}}, "uses 2147483647"},
        FileCase{"ThresholdLargeNegative", Threshold("-1e12"), 1, {{"W205", kRexThreshold}}, "stops at the range's limit: the plug-in uses -2147483648"},
        FileCase{"ThresholdWholeFloat", Threshold("150.0"), 0, {}},
        FileCase{"ThresholdNegative", Threshold("-5"), 0, {}},
        // Notes.
        FileCase{"SamePathTwice",
                 With(R"("Destroylist": {"a": {"Blueprint": ")" + kCrate + R"("}, "b": {"Blueprint": ")" + kCrate +
                      R"("}})"),
                 0,
                 {{"N301", "/Destroylist/b/Blueprint"}}},
        FileCase{"ListedAndLevelCapped",
                 With(R"("DestroyDinolist": {"a": {"Blueprint": ")" + kRex + R"("}},
                                             "DestroyDinoLevel": {")" +
                      kRex + R"(": {"ExceedSestructionLevel": 5}})"),
                 0,
                 {{"N302", "/DestroyDinoLevel/Blueprint'~1Game~1Dinos~1Rex~1Rex.Rex'"}}},
        FileCase{"ListsMissing",
                 "{}",
                 0,
                 {{"N303", "/Destroylist"}, {"N303", "/DestroyDinolist"}, {"N303", "/DestroyDinoLevel"}}},
        // The file as a whole.
        FileCase{"ContentAfterValue", With("") + "\n}", 1, {{"W206", ""}}},
        FileCase{"Empty", "", 2, {{"E101", ""}}, "at line 1, column 1"},
        // The JSON library keeps the last of a repeated name; the others are lost without a word from the plug-in.
        FileCase{"RepeatedLabel",
                 "{\"Destroylist\": {\n"
                 "  \"relic\": {\"Blueprint\": \"Blueprint'/Game/Items/Contraband.Contraband'\"},\n"
                 "  \"relic\": {\"Blueprint\": \"" + kCrate + "\"}},\n"
                 "\"DestroyDinolist\": {}, \"DestroyDinoLevel\": {}}",
                 1,
                 {{"W209", "/Destroylist/relic"}, {"W209", "/Destroylist/relic"}},
                 "appears 2 times in \"/Destroylist\" (lines 2, 3); the plug-in keeps the last, at line 3"},
        FileCase{"RepeatedList",
                 With("").substr(0, With("").size() - 1) + R"(, "DestroyDinoLevel": 5})",
                 1,
                 {{"W209", "/DestroyDinoLevel"}, {"W209", "/DestroyDinoLevel"}, {"W207", "/DestroyDinoLevel"}},
                 ""},
        FileCase{"RepeatedThreshold",
                 With(R"("DestroyDinoLevel": {")" + kRex + R"(": {"ExceedSestructionLevel": 5}})").substr(0, 0) +
                     R"({"Destroylist": {}, "DestroyDinolist": {}, "DestroyDinoLevel": {")" + kRex +
                     R"(": {"ExceedSestructionLevel": 5, "ExceedSestructionLevel": 500}}})",
                 1,
                 {{"W209", kRexThreshold}, {"W209", kRexThreshold}},
                 "(lines 1:104, 1:133); the plug-in keeps the last, at line 1:133\nThe entry at line 1:104, 5, is ignored."},
        FileCase{"Comment", "// lists\n" + With(""), 2, {{"E101", ""}}, "at line 1"},
        FileCase{"Utf16", std::string("\xFF\xFE{\0}\0", 6), 2, {{"E101", ""}}, "saved as UTF-16: save it as UTF-8"},
        FileCase{"Utf16WithoutMark", std::string("{\0\"\0D\0e\0s\0}\0", 12), 2, {{"E101", ""}}, "saved as UTF-16"},
        FileCase{"Utf16BigEndian", std::string("\xFE\xFF\0{\0}", 6), 2, {{"E101", ""}}, "saved as UTF-16: save it as UTF-8"},
        FileCase{"Utf16BigEndianWithoutMark",
                 std::string("\0{\0\"\0D\0e\0s\0}", 12),
                 2,
                 {{"E101", ""}},
                 "saved as UTF-16"},
        FileCase{"Gbk",
                 "{\"Destroylist\": {\"\xB1\xA6\xCF\xE4\": {\"Blueprint\": \"" + kCrate + "\"}}}",
                 2,
                 {{"E101", ""}},
                 "not UTF-8 (looks like GBK/ANSI; the first such byte is at line 1, column 19)"},
        FileCase{"NulBytes", std::string("{\"Destroylist\"\0: {}}", 20), 2, {{"E101", ""}}},
        FileCase{"BinaryGarbage", std::string("\x7F\x45\x4C\x46\x02\x01\x01\x00\xFF\x10", 10), 2, {{"E101", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CheckTest, UnreadableFilesExitWithThree) {
  const check::Findings missing = check::CheckFile((directory_ / "absent.json").string());
  ASSERT_EQ(CodesAndPointers(missing), (std::vector<Found>{{"E100", ""}}));
  EXPECT_EQ(check::ExitStatus(missing), 3);

  const check::Findings directory = check::CheckFile(directory_.string());
  ASSERT_EQ(CodesAndPointers(directory), (std::vector<Found>{{"E100", ""}}));
  EXPECT_NE(directory.front().message.find("is a directory"), std::string::npos);
  EXPECT_EQ(check::ExitStatus(directory), 3);
}

// Nothing the file holds may crash the checker or exhaust its stack: it never recurses over the document.
TEST_F(CheckTest, DeepNestingAndHugeFiles) {
  const std::string deep = std::string(10000, '[') + std::string(10000, ']');
  struct Case {
    std::string bytes;
    std::vector<Found> found;
  };
  // Written out, not built with With(): copying a value that deep would recurse in the test itself.
  const Case cases[] = {
      {deep, {{"E110", ""}, {"E120", ""}}},
      {R"({"Destroylist": {"a": )" + deep + R"(}, "DestroyDinolist": {}, "DestroyDinoLevel": {}})",
       {{"E112", "/Destroylist/a"}}},
      {R"({"Destroylist": {}, "DestroyDinolist": {}, "DestroyDinoLevel": {")" + kRex +
           R"(": {"ExceedSestructionLevel": )" + deep + "}}}",
       {{"E132", "/DestroyDinoLevel/Blueprint'~1Game~1Dinos~1Rex~1Rex.Rex'/ExceedSestructionLevel"}}},
      // 100 MB: a string that never ends, whose text the parse error quotes.
      {R"({"Destroylist": {"a": {"Blueprint": ")" + std::string(100 << 20, 'x'), {{"E101", ""}}},
  };
  for (const auto& c : cases) {
    const check::Findings findings = check::CheckFile(Write(c.bytes));
    EXPECT_EQ(CodesAndPointers(findings), c.found);
    for (const auto& finding : findings) {
      EXPECT_LT(finding.message.size(), 2000U);
      for (const auto& line : finding.log) EXPECT_LT(line.size(), 5000U);
    }
  }
}

TEST_F(CheckTest, FailureLinesNameEveryDetourThatFails) {
  const check::Findings items = check::CheckFile(Write(With(R"("Destroylist": {"a": 5})")));
  ASSERT_EQ(items.size(), 1U);
  const std::string what = "[json.exception.type_error.305] cannot use operator[] with a string argument with number";
  ASSERT_EQ(items[0].log.size(), 3U);
  const char* detours[] = {"OnViewRemoteInventory", "OnAddToInventory", "OnFinishedReceivingItems"};
  const std::string source = "src/inventory/Inventory.cpp ";
  for (int i = 0; i < 3; ++i) {
    const std::string& line = items[0].log[i];
    const std::string end = source + detours[i] + ") Parsing error " + what;
    EXPECT_EQ(line.front(), '(');
    EXPECT_TRUE(line.size() > end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0) << line;
  }
}

TEST_F(CheckTest, JsonFormatHoldsEveryFinding) {
  const check::Findings findings =
      check::CheckFile(Write(With(R"("Destroylist": {"a": 5, "b": {"Blueprint": "\u00e9 "}})")));
  const auto array = nlohmann::json::parse(check::FormatJson(findings));
  ASSERT_TRUE(array.is_array());
  ASSERT_EQ(array.size(), findings.size());
  for (std::size_t i = 0; i < findings.size(); ++i) {
    EXPECT_EQ(array[i]["severity"], check::SeverityName(findings[i].severity));
    EXPECT_EQ(array[i]["code"], findings[i].code);
    EXPECT_EQ(array[i]["pointer"], findings[i].pointer);
    EXPECT_EQ(array[i]["message"], findings[i].message);
    EXPECT_EQ(array[i]["effect"], findings[i].effect);
    EXPECT_EQ(array[i]["log"], findings[i].log.Lines());
  }
}

TEST_F(CheckTest, TextColoursOnlyWhenAsked) {
  const check::Findings findings = check::CheckFile(Write(With(R"("Destroylist": {"a": 5})")));
  const std::string plain = check::FormatText(findings);
  EXPECT_EQ(plain.find('\033'), std::string::npos);
  EXPECT_NE(plain.find("config.json:1:64: error E112: "), std::string::npos) << plain;
  EXPECT_NE(plain.find("1 error, 0 warnings, 0 notes"), std::string::npos) << plain;
  EXPECT_NE(check::FormatText(findings, {"config.json", check::Language::English, true}).find("\033[1;31m"),
            std::string::npos);
  // A parse error quoting bytes that are not UTF-8 still prints as UTF-8.
  const std::string gbk = check::FormatText(check::CheckFile(Write("{\"\xB1\xA6")));
  EXPECT_EQ(gbk.find('\xB1'), std::string::npos) << gbk;
  // A member name of a megabyte is cut short in the text; the JSON keeps the pointer whole.
  const std::string longName(1 << 20, 'x');
  const check::Findings unknown = check::CheckFile(Write(With("\"" + longName + "\": 1")));
  ASSERT_FALSE(unknown.empty());
  EXPECT_LT(check::FormatText(unknown).size(), 4096u);
  EXPECT_NE(check::FormatJson(unknown).find("/" + longName + "\""), std::string::npos);
}

// Labels are walked in order, so the first names the path and the others follow it, whatever order the file has.
TEST_F(CheckTest, PathListedUnderSeveralLabelsNamesTheFirst) {
  const std::string rex = nlohmann::json(kRex).dump();
  const auto findings = check::CheckFile(
      Write(R"({"Destroylist": {}, "DestroyDinolist": {"c": {"Blueprint": )" + rex + R"(}, "b": {"Blueprint": )" +
            rex + R"(}, "a": {"Blueprint": )" + rex + R"(}}, "DestroyDinoLevel": {)" + rex +
            R"(: {"ExceedSestructionLevel": 5}}})"));
  ASSERT_EQ(findings.size(), 2u) << check::FormatText(findings);
  EXPECT_EQ(findings[0].code, "N301");
  EXPECT_EQ(findings[0].pointer, "/DestroyDinolist/b/Blueprint");
  EXPECT_NE(findings[0].message.find(R"(under 3 labels: "a", "b", "c")"), std::string::npos) << findings[0].message;
  EXPECT_EQ(findings[1].code, "N302");
  EXPECT_NE(findings[1].message.find(R"((label "a"))"), std::string::npos) << findings[1].message;
}

// Errors first, then warnings, then notes; within each, the item list, the creature list, the level list and the
// names beside them, each in its own order, whichever list holds the most.
TEST_F(CheckTest, FindingsFollowTheListsInOrder) {
  const std::string rex = nlohmann::json(kRex).dump();
  const std::string meantC = nlohmann::json("Blueprint'/Game/Dinos/Rex/Rex.Rex_C'").dump();
  std::string manyItems;
  for (int i = 0; i < 50; ++i) manyItems += fmt::format(R"("i{:02}": {{"blueprint": "x"}}, )", i);
  const auto findings = check::CheckFile(Write(
      R"({"Extra": 1, "Destroylist": {)" + manyItems + R"("z": {"Blueprint": )" + meantC +
      R"(}}, "DestroyDinolist": {"a": 5, "b": {"Blueprint": )" + meantC + R"(}, "c": {"Blueprint": )" + rex +
      R"(}}, "DestroyDinoLevel": {)" + meantC + R"(: {"ExceedSestructionLevel": 5}, )" + rex + R"(: []}})"));
  std::vector<std::string> order;
  for (const auto& finding : findings) order.push_back(finding.code + " " + finding.pointer);
  std::vector<std::string> expected;
  for (int i = 0; i < 50; ++i) expected.push_back(fmt::format("E112 /Destroylist/i{:02}", i));
  const std::string rexPointer = "/DestroyDinoLevel/Blueprint'~1Game~1Dinos~1Rex~1Rex.Rex'";
  const std::string meantPointer = "/DestroyDinoLevel/Blueprint'~1Game~1Dinos~1Rex~1Rex.Rex_C'";
  expected.insert(expected.end(), {"E122 /DestroyDinolist/a", "E132 " + rexPointer,
                                   "W203 /Destroylist/z/Blueprint", "W203 /DestroyDinolist/b/Blueprint",
                                   "W203 " + meantPointer, "W201 /Extra", "N302 " + rexPointer, "N302 " + meantPointer});
  EXPECT_EQ(order, expected) << check::FormatText(findings);
}

// However the members are shared out among the lists, each list's findings come in member order, each on its
// member's line, each counting the members after it in its own list.
TEST_F(CheckTest, EveryMemberFoundInOrderWhateverTheListSizes) {
  struct Sizes {
    int items, creatures, levels;
  };
  const Sizes cases[] = {{0, 6, 0}, {2, 6, 4}, {1, 7, 1}, {10, 4, 0}, {0, 4, 10}, {3, 1, 3}, {0, 0, 5}};
  for (const Sizes& sizes : cases) {
    const std::string name = fmt::format("{}/{}/{}", sizes.items, sizes.creatures, sizes.levels);
    std::string bytes = "{\n";
    int line = 1;
    struct Member {
      std::string code, pointer;
      int line, later;
    };
    std::vector<Member> expected;
    const auto list = [&](const char* key, const char* code, int count, const char* value, const auto& memberName) {
      bytes += fmt::format("\"{}\": {{\n", key);
      ++line;
      for (int i = 0; i < count; ++i) {
        const std::string member = memberName(i);
        bytes += fmt::format("{}: {}{}\n", nlohmann::json(member).dump(), value, i + 1 < count ? "," : "");
        std::string token = member;
        for (std::size_t at = 0; (at = token.find('/', at)) != std::string::npos; at += 2) token.replace(at, 1, "~1");
        expected.push_back({code, fmt::format("/{}/{}", key, token), ++line, count - i - 1});
      }
      bytes += "},\n";
      ++line;
    };
    list("Destroylist", "E112", sizes.items, "5", [](int i) { return fmt::format("i{:02}", i); });
    list("DestroyDinolist", "E122", sizes.creatures, "5", [](int i) { return fmt::format("c{:02}", i); });
    list("DestroyDinoLevel", "E132", sizes.levels, "[]",
         [](int i) { return fmt::format("Blueprint'/Game/Dinos/L{0:02}/L{0:02}.L{0:02}'", i); });
    bytes.resize(bytes.size() - 2);
    bytes += "\n}\n";

    const check::Findings findings = check::CheckFile(Write(bytes));
    std::vector<const check::Finding*> errors;
    for (const auto& finding : findings) {
      if (finding.severity == check::Severity::Error) errors.push_back(&finding);
    }
    ASSERT_EQ(errors.size(), expected.size()) << name << "\n" << check::FormatText(findings);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const check::Finding& found = *errors[i];
      const Member& member = expected[i];
      EXPECT_EQ(found.code + " " + found.pointer, member.code + " " + member.pointer) << name << " #" << i;
      EXPECT_EQ(found.line, member.line) << name << " " << member.pointer;
      if (member.code == "E132") continue;  // a level entry holds up no other
      if (member.later == 0) {
        EXPECT_EQ(found.effect.find("sorting after it"), std::string::npos) << name << " " << member.pointer;
      } else {
        EXPECT_NE(found.effect.find(fmt::format(" {} member", member.later)), std::string::npos)
            << name << " " << member.pointer << ": " << found.effect;
      }
    }
  }
}

// Every finding is placed where an editor shows it: the key or value concerned, columns in characters.
TEST_F(CheckTest, FindingsCarryLineAndColumn) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string code;
    int line;
    int column;
  };
  const Case cases[] = {
      {"ValueOnSecondLine", "{\"Destroylist\": {\n  \"a\": {\"Blueprint\": 7}}}", "E112", 2, 22},
      {"MemberKeyWhenNoBlueprint", "{\"Destroylist\": {\n\t\"a\": {}}}", "E112", 2, 2},
      {"CharactersNotBytes", "{\"Destroylist\": {\"宝箱\": 5}}", "E112", 1, 24},
      {"ByteOrderMarkNotCounted", "\xEF\xBB\xBF{\"Destroylist\": 5}", "E111", 1, 17},
      {"CrLfLines", "{\r\n\"Destroylist\": {},\r\n \"DestroyDinolist\": {},\r\n  \"destroydinolevel\": {}}", "W201", 4, 3},
      {"MissingListAtTopBrace", "  \n  {\"Destroylist\": {}, \"DestroyDinolist\": {}}", "N303", 2, 3},
      {"DocumentValue", "\n\n   [1]", "E110", 3, 4},
      {"ParseError", "{\n  \"Destroylist\": {,}}", "E101", 2, 19},
      {"TrailingContent", "{}\n\n  x", "W206", 3, 3},
      {"LevelEntryName", "{\"DestroyDinoLevel\": {\n \"Blueprint'/Game/R.R_C'\": null}}", "W203", 2, 2},
  };
  for (const Case& c : cases) {
    const check::Findings findings = check::CheckFile(Write(c.bytes));
    const auto found = std::find_if(findings.begin(), findings.end(), [&](const auto& f) { return f.code == c.code; });
    ASSERT_NE(found, findings.end()) << c.name << "\n" << check::FormatText(findings);
    EXPECT_EQ(std::make_pair(found->line, found->column), std::make_pair(c.line, c.column)) << c.name;
  }
  // A file that cannot be read has no place in it.
  const check::Findings missing = check::CheckFile((directory_ / "absent.json").string());
  ASSERT_EQ(missing.size(), 1U);
  EXPECT_EQ(missing[0].line, 0);
  EXPECT_EQ(check::FormatText(missing, {"absent.json"}).rfind("absent.json: error E100: ", 0), 0U);
}

TEST_F(CheckTest, RepeatedLabelIsReportedAtEveryLine) {
  const std::string bytes =
      "{\n"
      "  \"Destroylist\": {\n"
      "    \"relic\": { \"Blueprint\": \"Blueprint'/Game/Items/Contraband.Contraband'\" },\n"
      "    \"relic\": { \"Blueprint\": \"Blueprint'/Game/Items/Berry.Berry'\" },\n"
      "    \"other\": { \"Blueprint\": \"Blueprint'/Game/Items/Stone.Stone'\" },\n"
      "    \"relic\": 7\n"
      "  }\n"
      "}\n";
  const check::Findings findings = check::CheckFile(Write(bytes));
  std::vector<int> lines;
  for (const auto& finding : findings) {
    if (finding.code != "W209") continue;
    lines.push_back(finding.line);
    EXPECT_NE(finding.message.find("(lines 3, 4, 6)"), std::string::npos) << finding.message;
    EXPECT_NE(finding.effect.find("line 3, \"Blueprint'/Game/Items/Contraband.Contraband'\", is ignored"),
              std::string::npos)
        << finding.effect;
    EXPECT_NE(finding.effect.find("line 4, \"Blueprint'/Game/Items/Berry.Berry'\", is ignored"), std::string::npos);
  }
  EXPECT_EQ(lines, (std::vector<int>{3, 4, 6}));
  // The kept member is the last: a number, which the hooks fail on.
  EXPECT_EQ(findings.front().code, "E112");
  EXPECT_EQ(findings.front().line, 6);
}

// Both languages come from one catalogue; the codes and the plug-in's log lines stay as they are.
TEST_F(CheckTest, ChineseFindingsMatchTheEnglishOnes) {
  const std::string files[] = {
      With(R"("Destroylist": {"a": 5, "b": {"Blueprint": "Blueprint'/Game/I.I_C'"}, "c": {"Blueprint": 1}})"),
      With(R"("DestroyDinolist": {"a": {"blueprint": "x"}}, "DestroyDinoLevel": {"Rex": null, ")" + kRex +
           R"(": {"ExceedSestructionLevel": 1e12}}, "destroylist": [])"),
      R"({"Destroylist": {"a": {"Blueprint": " Blueprint'/G.G'"}, "a": {"Blueprint": ""}}, "DestroyDinoLevel": []} x)",
      "[1]",
      "{\"\xB1\xA6",
  };
  for (const auto& bytes : files) {
    const std::string path = Write(bytes);
    const check::Findings english = check::CheckFile(path, check::Language::English);
    const check::Findings chinese = check::CheckFile(path, check::Language::Chinese);
    ASSERT_EQ(english.size(), chinese.size());
    for (std::size_t i = 0; i < english.size(); ++i) {
      EXPECT_EQ(chinese[i].code, english[i].code);
      EXPECT_EQ(std::make_pair(chinese[i].line, chinese[i].column), std::make_pair(english[i].line, english[i].column));
      EXPECT_EQ(chinese[i].log, english[i].log);
      EXPECT_NE(chinese[i].message, english[i].message);
      // Every Chinese text holds Chinese characters (the lead bytes of U+4E00 to U+9FFF), and no English sentence.
      for (const std::string* said : {&chinese[i].message, &chinese[i].effect}) {
        if (said->empty()) continue;
        EXPECT_TRUE(said->find('\xE4') != std::string::npos || said->find('\xE5') != std::string::npos ||
                    said->find('\xE6') != std::string::npos || said->find('\xE7') != std::string::npos ||
                    said->find('\xE8') != std::string::npos || said->find('\xE9') != std::string::npos)
            << *said;
        for (const char* english : {" the ", " is ", " not ", "member"}) {
          EXPECT_EQ(said->find(english), std::string::npos) << *said;
        }
      }
    }
    const std::string text = check::FormatText(chinese, {"config.json", check::Language::Chinese});
    EXPECT_NE(text.find("个错误"), std::string::npos) << text;
  }
}

TEST(CheckLanguage, ChosenByNameOrLocale) {
  EXPECT_EQ(check::ParseLanguage("en"), check::Language::English);
  EXPECT_EQ(check::ParseLanguage("zh-CN"), check::Language::Chinese);
  EXPECT_EQ(check::ParseLanguage("fr"), std::nullopt);
  const std::pair<const char*, check::Language> locales[] = {
      {"zh_CN.UTF-8", check::Language::Chinese}, {"zh_TW", check::Language::Chinese},
      {"en_US.UTF-8", check::Language::English}, {"C", check::Language::English},
      {"", check::Language::English},
  };
  for (const auto& [locale, language] : locales) EXPECT_EQ(check::LanguageFromLocale(locale), language) << locale;
}

// The code table: each code once, with both titles, and the guides' tables list exactly these codes.
TEST(CheckCodes, TableAndGuidesAgree) {
  std::set<std::string> codes;
  for (const auto& info : check::CodeTable()) {
    EXPECT_TRUE(codes.insert(info.code).second) << info.code;
    EXPECT_GT(std::strlen(info.title[0]), 5U) << info.code;
    EXPECT_GT(std::strlen(info.title[1]), 3U) << info.code;
    EXPECT_NE(std::string(info.title[0]), info.title[1]);
    EXPECT_EQ(info.code[0], "NWE"[static_cast<int>(info.severity)]) << info.code;
  }
  for (const char* guide : {"docs/admin-guide.md", "docs/admin-guide.zh-CN.md"}) {
    std::ifstream file(std::string(TIDYWARDEN_SOURCE_DIR) + "/" + guide);
    ASSERT_TRUE(file.is_open()) << guide;
    std::set<std::string> listed;
    const std::regex row(R"(^\| ([ENW][0-9]{3}) \|)");
    for (std::string line; std::getline(file, line);) {
      std::smatch match;
      if (!std::regex_search(line, match, row)) continue;
      EXPECT_TRUE(listed.insert(match[1]).second) << guide << " " << line;
    }
    EXPECT_EQ(listed, codes) << guide;
  }
  const std::string listing = check::FormatCodes(check::Language::English);
  for (const auto& code : codes) EXPECT_NE(listing.find(code + "  "), std::string::npos) << code;
}

TEST_F(CheckTest, SarifHoldsEveryFindingWithItsPlace) {
  const std::string path = Write(With(R"("Destroylist": {"a": 5, "b": {"Blueprint": "Blueprint'/G/I.I_C'"}})"));
  const check::Findings findings = check::CheckFile(path);
  const auto log = nlohmann::json::parse(check::FormatSarif(findings, "D:\\Server dir\\config.json",
                                                            check::Language::English));
  EXPECT_EQ(log["version"], "2.1.0");
  const auto& run = log["runs"][0];
  ASSERT_EQ(run["tool"]["driver"]["rules"].size(), check::CodeTable().size());
  ASSERT_EQ(run["results"].size(), findings.size());
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const auto& result = run["results"][i];
    EXPECT_EQ(result["ruleId"], findings[i].code);
    EXPECT_EQ(run["tool"]["driver"]["rules"][result["ruleIndex"].get<std::size_t>()]["id"], findings[i].code);
    EXPECT_EQ(result["level"], check::SeverityName(findings[i].severity));
    const auto& physical = result["locations"][0]["physicalLocation"];
    EXPECT_EQ(physical["artifactLocation"]["uri"], "file:///D:/Server%20dir/config.json");
    EXPECT_EQ(physical["region"]["startLine"], findings[i].line);
    EXPECT_EQ(physical["region"]["startColumn"], findings[i].column);
  }
}

// Only the strings the checker is certain of change, and nothing else: not the byte-order mark, not the line ends.
TEST_F(CheckTest, FixChangesOnlyTheCertainStrings) {
  struct Case {
    const char* name;
    std::string before;
    std::string after;  // the expected file; equal to `before` when nothing is certain
  };
  const std::string head = "\xEF\xBB\xBF{\r\n \"Destroylist\": {\"a\": {\"Blueprint\": ";
  const std::string tail = "}},\r\n \"DestroyDinolist\": {}, \"DestroyDinoLevel\": {}}\r\n";
  const auto file = [&](const std::string& path) { return head + path + tail; };
  const Case cases[] = {
      {"ClassSuffix", file(R"("Blueprint'/Game/I/Crate.Crate_C'")"), file(R"("Blueprint'/Game/I/Crate.Crate'")")},
      {"TrailingSpace", file(R"("Blueprint'/Game/I/Crate.Crate' ")"), file(R"("Blueprint'/Game/I/Crate.Crate'")")},
      {"DefaultPrefix", file(R"("Blueprint'/Game/I/Crate.Default__Crate'")"),
       file(R"("Blueprint'/Game/I/Crate.Crate'")")},
      {"EscapesInOtherStrings", file(R"("Blueprint'\/Game\/I\/Crate.Crate_C'")"),
       file(R"("Blueprint'/Game/I/Crate.Crate'")")},
      // Not certain: the wrapper may be missing for more than one reason, and an empty path has no meaning to find.
      {"NoWrapper", file(R"("/Game/I/Crate.Crate")"), file(R"("/Game/I/Crate.Crate")")},
      {"Empty", file(R"("")"), file(R"("")")},
      {"Fine", file(R"("Blueprint'/Game/I/Crate.Crate'")"), file(R"("Blueprint'/Game/I/Crate.Crate'")")},
      {"LevelEntryName",
       "{\"DestroyDinoLevel\": {\n  \"Blueprint'/G/Rex.Rex_C'\": {\"ExceedSestructionLevel\": 5}}}",
       "{\"DestroyDinoLevel\": {\n  \"Blueprint'/G/Rex.Rex'\": {\"ExceedSestructionLevel\": 5}}}"},
      // Renamed, the entry would become a repeat of the other, and one of them would be lost.
      {"LevelEntryNameTaken",
       "{\"DestroyDinoLevel\": {\"Blueprint'/G/Rex.Rex_C'\": {\"ExceedSestructionLevel\": 5},\n"
       "  \"Blueprint'/G/Rex.Rex'\": {\"ExceedSestructionLevel\": 9}}}",
       "{\"DestroyDinoLevel\": {\"Blueprint'/G/Rex.Rex_C'\": {\"ExceedSestructionLevel\": 5},\n"
       "  \"Blueprint'/G/Rex.Rex'\": {\"ExceedSestructionLevel\": 9}}}"},
  };
  for (const Case& c : cases) {
    const std::string path = Write(c.before);
    const check::FixPlan plan = check::PlanFixes(path);
    EXPECT_EQ(plan.before, c.before) << c.name;
    EXPECT_EQ(plan.after, c.after) << c.name;
    EXPECT_EQ(plan.changes.size(), c.before == c.after ? 0U : 1U) << c.name;
    if (plan.changes.empty()) continue;
    // Checked again, the fixed file has no finding that the change was for.
    const auto before = CodesAndPointers(check::CheckFile(path));
    Write(plan.after);
    for (const auto& [code, pointer] : CodesAndPointers(check::CheckFile(path))) {
      EXPECT_TRUE(code != "W202" && code != "W203") << c.name << " " << code << " " << pointer;
    }
    EXPECT_NE(before, CodesAndPointers(check::CheckFile(path))) << c.name;
  }
}

TEST_F(CheckTest, FixDryRunIsAUnifiedDiff) {
  const std::string path = Write(
      "{\n \"Destroylist\": {\"a\": {\"Blueprint\": \"Blueprint'/G/A.A_C'\"}, \"b\": {\"Blueprint\": \"Blueprint'/G/B.B '\"}},\n"
      " \"DestroyDinolist\": {\"c\": {\"Blueprint\": \"Blueprint'/G/C.C_C'\"}}}\n");
  const check::FixPlan plan = check::PlanFixes(path);
  ASSERT_EQ(plan.changes.size(), 3U);
  EXPECT_EQ(std::make_pair(plan.changes[0].line, plan.changes[0].column), std::make_pair(2, 37));
  EXPECT_EQ(check::UnifiedDiff(plan, "config.json"),
            "--- config.json\n+++ config.json\n"
            "@@ -2,1 +2,1 @@\n"
            "- \"Destroylist\": {\"a\": {\"Blueprint\": \"Blueprint'/G/A.A_C'\"}, \"b\": {\"Blueprint\": \"Blueprint'/G/B.B '\"}},\n"
            "+ \"Destroylist\": {\"a\": {\"Blueprint\": \"Blueprint'/G/A.A'\"}, \"b\": {\"Blueprint\": \"Blueprint'/G/B.B'\"}},\n"
            "@@ -3,1 +3,1 @@\n"
            "- \"DestroyDinolist\": {\"c\": {\"Blueprint\": \"Blueprint'/G/C.C_C'\"}}}\n"
            "+ \"DestroyDinolist\": {\"c\": {\"Blueprint\": \"Blueprint'/G/C.C'\"}}}\n");
}


// The effect says "all of them" exactly when the threshold the plug-in uses lets every base level through: 1 and
// below, however the number was written; from 2 on, the creatures from that level up.
TEST_F(CheckTest, ThresholdEffectSaysAllOnlyUpToOne) {
  struct Case {
    const char* written;
    int used;
  };
  const Case cases[] = {{"true", 1},        {"1.9", 1}, {"0.5", 0},        {"4294967297", 1},
                        {"-4294967295", 1}, {"2.5", 2}, {"4294967298", 2}, {"-4294967294", 2}};
  for (const Case& c : cases) {
    const check::Findings findings = check::CheckFile(Write(Threshold(c.written)));
    ASSERT_EQ(CodesAndPointers(findings), (std::vector<Found>{{"W205", kRexThreshold}})) << c.written;
    const std::string& effect = findings[0].effect;
    const bool all = c.used <= 1;
    EXPECT_EQ(effect.find("all of them") != std::string::npos, all) << c.written << ": " << effect;
    EXPECT_EQ(effect.find(fmt::format("from base level {} up", c.used)) != std::string::npos, !all)
        << c.written << ": " << effect;
    EXPECT_NE(effect.find(fmt::format("base level {}", c.used)), std::string::npos) << c.written << ": " << effect;
  }
}

// A string ends at the first quote no backslash escapes: findings after keys and values holding \" and \\ keep
// their places, a repeated member's lost path is quoted whole, and --fix rewrites exactly the string it is certain of.
TEST_F(CheckTest, EscapedQuotesAndBackslashesInStrings) {
  struct Case {
    const char* name;
    std::string before;
    std::vector<std::string> found;  // CODE LINE:COLUMN, in the order reported
    std::string after;               // what --fix writes
    std::string said = {};           // a text some finding's effect holds
  };
  const Case cases[] = {
      {"QuotesInLabelAndPath",
       R"({"Destroylist": {"say \"hi\" \\": {"Blueprint": "Blueprint'/Game/Say \"hi\".Hi_C'"}, "back\\": 5}})",
       {"E112 1:96", "W203 1:49", "N303 1:1", "N303 1:1"},
       R"({"Destroylist": {"say \"hi\" \\": {"Blueprint": "Blueprint'/Game/Say \"hi\".Hi'"}, "back\\": 5}})"},
      {"BackslashesInEntryNames",
       "{\"DestroyDinoLevel\": {\n"
       "  \"Blueprint'/G/A\\\\B.B_C'\": {\"ExceedSestructionLevel\": 4294967295},\n"
       "  \"x\\\\\": null\n"
       "},\n"
       "\"Destroylist\": {}, \"DestroyDinolist\": {}}",
       {"W203 2:3", "W205 2:56", "W202 3:3", "W208 3:10"},
       "{\"DestroyDinoLevel\": {\n"
       "  \"Blueprint'/G/A\\\\B.B'\": {\"ExceedSestructionLevel\": 4294967295},\n"
       "  \"x\\\\\": null\n"
       "},\n"
       "\"Destroylist\": {}, \"DestroyDinolist\": {}}"},
      {"RepeatedMemberWithQuotedPath",
       "{\"Destroylist\": {\n"
       " \"a\": {\"Blueprint\": \"Blueprint'/G/\\\"q\\\".Q'\"},\n"
       " \"a\": {\"Blueprint\": \"Blueprint'/G/Q\\\\.Q_C'\"}},\n"
       " \"DestroyDinolist\": {}, \"DestroyDinoLevel\": {}}",
       {"W203 3:21", "W209 2:2", "W209 3:2"},
       "{\"Destroylist\": {\n"
       " \"a\": {\"Blueprint\": \"Blueprint'/G/\\\"q\\\".Q'\"},\n"
       " \"a\": {\"Blueprint\": \"Blueprint'/G/Q\\\\.Q'\"}},\n"
       " \"DestroyDinolist\": {}, \"DestroyDinoLevel\": {}}",
       R"(The entry at line 2, "Blueprint'/G/\"q\".Q'", is ignored.)"},
  };
  for (const Case& c : cases) {
    const std::string path = Write(c.before);
    const check::Findings findings = check::CheckFile(path);
    std::vector<std::string> found;
    for (const auto& finding : findings)
      found.push_back(fmt::format("{} {}:{}", finding.code, finding.line, finding.column));
    EXPECT_EQ(found, c.found) << c.name << "\n" << check::FormatText(findings);
    EXPECT_EQ(check::PlanFixes(path).after, c.after) << c.name;
    if (c.said.empty()) continue;
    EXPECT_TRUE(std::any_of(findings.begin(), findings.end(),
                            [&](const auto& finding) { return finding.effect.find(c.said) != std::string::npos; }))
        << c.name << "\n"
        << check::FormatText(findings);
  }
}

// A number too large for the JSON library stops the plug-in's reading there: E101 stands on that number, with the
// pointer of the value it is.
TEST_F(CheckTest, RefusedNumberIsPlaced) {
  struct Case {
    const char* name;
    std::string bytes;
    int line;
    int column;
    std::string pointer;
  };
  const Case cases[] = {
      {"Threshold", kRefusedThreshold, 1, 74, kRefusedPointer},
      {"ArrayElementAfterByteOrderMark", "\xEF\xBB\xBF{\"Destroylist\": [1, [2, 3], -1e999]}", 1, 29, "/Destroylist/2"},
      {"LongIntegerOnLaterLine", "{\r\n  \"x\": {\"a\": 1,\r\n \"b\": " + std::string(400, '9') + "}}", 3, 7, "/x/b"},
      {"WholeDocument", "\n  1E+400", 2, 3, ""},
      {"AfterEscapedNames", R"({"a\"b": {"c\\": [0, 2e308]}})", 1, 22, "/a\"b/c\\/1"},
  };
  for (const Case& c : cases) {
    const check::Findings findings = check::CheckFile(Write(c.bytes));
    ASSERT_EQ(findings.size(), 1U) << c.name << "\n" << check::FormatText(findings);
    EXPECT_EQ(findings[0].code, "E101") << c.name;
    EXPECT_EQ(std::make_pair(findings[0].line, findings[0].column), std::make_pair(c.line, c.column)) << c.name;
    EXPECT_EQ(findings[0].pointer, c.pointer) << c.name;
    EXPECT_NE(findings[0].message.find(fmt::format("at line {}, column {}: ", c.line, c.column)), std::string::npos)
        << c.name << ": " << findings[0].message;
  }
}

TEST_F(CheckTest, RefusedNumberPlacedInEveryOutput) {
  const check::Findings findings = check::CheckFile(Write(kRefusedThreshold));
  ASSERT_EQ(findings.size(), 1U);
  const std::string what = "[json.exception.out_of_range.406] number overflow parsing '1e400'";
  EXPECT_EQ(check::FormatText(findings, {"config.json"})
                .rfind("config.json:1:74: error E101: the file does not parse at line 1, column 74: " + what + "\n", 0),
            0U)
      << check::FormatText(findings);

  const auto json = nlohmann::json::parse(check::FormatJson(findings));
  ASSERT_EQ(json.size(), 1U);
  EXPECT_EQ(json[0]["line"], 1);
  EXPECT_EQ(json[0]["column"], 74);
  EXPECT_EQ(json[0]["pointer"], kRefusedPointer);

  const auto sarif = nlohmann::json::parse(check::FormatSarif(findings, "config.json", check::Language::English));
  const auto& result = sarif["runs"][0]["results"][0];
  EXPECT_EQ(result["locations"][0]["physicalLocation"]["region"],
            (nlohmann::json{{"startLine", 1}, {"startColumn", 74}}));
  EXPECT_EQ(result["locations"][0]["logicalLocations"][0]["fullyQualifiedName"], kRefusedPointer);
  EXPECT_EQ(result["properties"]["pointer"], kRefusedPointer);

  const std::string chinese = check::FormatText(check::CheckFile(Write(kRefusedThreshold), check::Language::Chinese),
                                                {"config.json", check::Language::Chinese});
  EXPECT_EQ(chinese.rfind("config.json:1:74: error E101: 文件在第 1 行第 74 列处无法解析: " + what + "\n", 0), 0U)
      << chinese;
}


#if !defined(_WIN32)
// The program built beside this test, run with its standard output sent to `output` (closed when null) and its
// standard error kept; its exit status, or -1 when it did not exit.
int RunProgram(const std::vector<std::string>& arguments, const char* output, const std::string& errors) {
  const std::string program =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tidywarden-check").string();
  std::vector<std::string> words = {program, "--lang", "en"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output == nullptr) {
    posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output, O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Output that cannot be written is said on the standard error and ends the run with status 3: a verdict that nobody
// saw is no verdict. A run given no standard output at all misleads no reader and keeps its status.
TEST_F(CheckTest, ProgramSaysWhenItsOutputIsLost) {
  const std::string config = Write(With(R"("Destroylist": {"a": 5})"));
  const std::string errors = (directory_ / "stderr.txt").string();
  const auto said = [&] {
    std::ifstream file(errors);
    return std::string(std::istreambuf_iterator<char>(file), {});
  };
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int shown;  // the status when the output is written
  };
  const Case cases[] = {
      {"text", {config}, 2},
      {"json", {"--format", "json", config}, 2},
      {"codes", {"--list-codes"}, 0},
      {"fix dry run", {"--fix", "--dry-run", config}, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunProgram(c.arguments, "/dev/null", errors), c.shown) << c.name;
    EXPECT_EQ(said(), "") << c.name;
    EXPECT_EQ(RunProgram(c.arguments, "/dev/full", errors), 3) << c.name;
    EXPECT_EQ(said(), std::string("tidywarden-check: stdout: ") + std::strerror(ENOSPC) + "\n") << c.name;
    EXPECT_EQ(RunProgram(c.arguments, nullptr, errors), c.shown) << c.name;
    EXPECT_EQ(said(), "") << c.name;
  }
}
#endif

}  // namespace
