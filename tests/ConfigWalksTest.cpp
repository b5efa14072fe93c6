// The level check's walk on a document: what it reads, in which order, and what it leaves behind.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "config/Walks.h"

namespace {

using nlohmann::json;

const std::string kRaptor = "Blueprint'/Game/Dinos/Raptor.Raptor'";

struct LevelCase {
  const char* name;
  json entry;  // the raptor's "DestroyDinoLevel" entry
};

void PrintTo(const LevelCase& param, std::ostream* out) { *out << param.name << ": " << param.entry; }

class LevelCheckTest : public ::testing::TestWithParam<LevelCase> {};

// What the library's own reads do to a copy of the document: the reference the walk must agree with.
std::optional<std::string> LibraryRead(json& document) {
  try {
    (void)document["DestroyDinoLevel"][kRaptor]["ExceedSestructionLevel"].get<std::int32_t>();
  } catch (const json::exception& error) {
    return error.what();
  }
  return std::nullopt;
}

TEST_P(LevelCheckTest, WithStatusComponentFailsAsTheLibraryDoes) {
  json document = {{"DestroyDinoLevel", {{kRaptor, GetParam().entry}}}};
  json expected = document;
  const auto message = LibraryRead(expected);
  ASSERT_TRUE(message.has_value()) << "a faulty entry is expected";

  const std::int32_t level = 1000;
  bool levelRead = false;
  try {
    (void)config::LevelReached(document, kRaptor, [&] {
      levelRead = true;
      return &level;
    });
    ADD_FAILURE() << "no failure raised";
  } catch (const json::exception& error) {
    EXPECT_EQ(error.what(), *message);
  }
  EXPECT_TRUE(levelRead);
  EXPECT_EQ(document, expected) << "the null members the library would add";
}

TEST_P(LevelCheckTest, WithoutStatusComponentLeavesTheEntryAlone) {
  json document = {{"DestroyDinoLevel", {{kRaptor, GetParam().entry}}}};
  const json before = document;
  EXPECT_FALSE(config::LevelReached(document, kRaptor, [] { return static_cast<const std::int32_t*>(nullptr); }));
  EXPECT_EQ(document, before);
}

INSTANTIATE_TEST_SUITE_P(FaultyEntries, LevelCheckTest,
                         ::testing::Values(LevelCase{"EntryString", "1"}, LevelCase{"EntryNumber", 1},
                                           LevelCase{"EntryBoolean", true}, LevelCase{"EntryArray", json::array({1})},
                                           LevelCase{"EntryNull", nullptr},
                                           LevelCase{"EntryWithoutThreshold", {{"Level", 1}}},
                                           LevelCase{"ThresholdNull", {{"ExceedSestructionLevel", nullptr}}},
                                           LevelCase{"ThresholdString", {{"ExceedSestructionLevel", "5"}}},
                                           LevelCase{"ThresholdArray", {{"ExceedSestructionLevel", json::array()}}},
                                           LevelCase{"ThresholdObject", {{"ExceedSestructionLevel", json::object()}}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Only a creature whose entry exists has its level read at all.
TEST(LevelCheck, ReadsTheLevelOnlyForAnEntryOfItsBlueprint) {
  const json shapes[] = {json::object(),
                         {{"DestroyDinoLevel", nullptr}},
                         {{"DestroyDinoLevel", json::array()}},
                         {{"DestroyDinoLevel", {{"Blueprint'/Game/Dinos/Dodo.Dodo'", 1}}}}};
  for (json document : shapes) {
    bool levelRead = false;
    EXPECT_FALSE(config::LevelReached(document, kRaptor, [&] {
      levelRead = true;
      return static_cast<const std::int32_t*>(nullptr);
    })) << document;
    EXPECT_FALSE(levelRead) << document;
  }
}

}  // namespace
