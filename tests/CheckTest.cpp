// The configuration checker on the files administrators write: each file, its exit status and what is found where.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Check.h"

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
    EXPECT_NE(findings.front().message.find(param.message), std::string::npos) << findings.front().message;
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
        FileCase{"Comment", "// lists\n" + With(""), 2, {{"E101", ""}}, "at line 1"},
        FileCase{"Utf16", std::string("\xFF\xFE{\0}\0", 6), 2, {{"E101", ""}}, "saved as UTF-16: save it as UTF-8"},
        FileCase{"Utf16WithoutMark", std::string("{\0\"\0D\0e\0s\0}\0", 12), 2, {{"E101", ""}}, "saved as UTF-16"},
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
    EXPECT_EQ(array[i]["log"], findings[i].log);
  }
}

TEST_F(CheckTest, TextColoursOnlyWhenAsked) {
  const check::Findings findings = check::CheckFile(Write(With(R"("Destroylist": {"a": 5})")));
  const std::string plain = check::FormatText(findings);
  EXPECT_EQ(plain.find('\033'), std::string::npos);
  EXPECT_NE(plain.find("error E112 at /Destroylist/a"), std::string::npos) << plain;
  EXPECT_NE(plain.find("1 error, 0 warnings, 0 notes"), std::string::npos) << plain;
  EXPECT_NE(check::FormatText(findings, true).find("\033[1;31m"), std::string::npos);
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

}  // namespace
