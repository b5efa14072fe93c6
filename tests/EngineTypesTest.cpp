// The game's string and array types: growth, conversions, copies, and every buffer back to the allocator.
#include <climits>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "host/EngineTypes.h"
#include "sandbox/host/Sandbox.h"

namespace {

using host::OwnedArray;
using host::OwnedString;

class EngineTypesTest : public ::testing::Test {
 protected:
  void SetUp() override { liveBefore_ = sandbox::LiveAllocations(); }
  void TearDown() override { EXPECT_EQ(sandbox::LiveAllocations(), liveBefore_) << "game-allocator buffers left live"; }

 private:
  std::size_t liveBefore_ = 0;
};

TEST_F(EngineTypesTest, GrowthRule) {
  struct Case {
    std::int32_t oldCapacity;
    std::int32_t needed;
    std::int32_t expected;
  };
  const Case cases[] = {
      {0, 1, 4},
      {0, 3, 4},
      {0, 4, 4},
      {0, 5, 5 + 15 / 8 + 16},  // 3*5/8 = 1
      {0, 20, 43},
      {4, 3, 3 + 9 / 8 + 16},  // a non-empty container never takes the small step
      {43, 44, 44 + 132 / 8 + 16},
      {0, INT_MAX - 10, INT_MAX},  // past the 32-bit range the capacity stays at the largest value
  };
  for (const auto& c : cases) {
    EXPECT_EQ(host::GrownCapacity(c.oldCapacity, c.needed), c.expected)
        << "old capacity " << c.oldCapacity << ", needed " << c.needed;
  }
}

TEST_F(EngineTypesTest, NarrowTextBecomesOneUnitPerByte) {
  struct Case {
    const char* name;
    std::string text;
    std::u16string units;
  };
  const Case cases[] = {
      {"nineteen ASCII bytes", "Tidywarden.reload19", u"Tidywarden.reload19"},
      {"two bytes", "ab", u"ab"},
      {"e acute is two bytes", "caf\xC3\xA9", u"caf??"},
      {"high bytes", "\x80\xFF", u"??"},
      {"stops at the first NUL", std::string("ab\0cd", 5), u"ab"},
  };
  for (const auto& c : cases) {
    const auto text = OwnedString::FromNarrow(c.text);
    EXPECT_EQ(text.View(), c.units) << c.name;
    EXPECT_EQ(text.count, static_cast<std::int32_t>(c.units.size() + 1)) << c.name;
    ASSERT_NE(text.data, nullptr) << c.name;
    EXPECT_EQ(text.data[text.count - 1], u'\0') << c.name;
  }
  // The capacity after the first growth follows the engine's rule for the needed count.
  EXPECT_EQ(OwnedString::FromNarrow("Tidywarden.reload19").capacity, 43);
  EXPECT_EQ(OwnedString::FromNarrow("ab").capacity, 4);
}

TEST_F(EngineTypesTest, EmptySourcesGiveTheEmptyString) {
  const OwnedString fromNarrow = OwnedString::FromNarrow("");
  const OwnedString fromNul = OwnedString::FromNarrow(std::string(1, '\0'));
  const OwnedString fromWide = OwnedString::FromWide(L"");
  for (const OwnedString* text : {&fromNarrow, &fromNul, &fromWide}) {
    EXPECT_EQ(text->data, nullptr);
    EXPECT_EQ(text->count, 0);
    EXPECT_EQ(text->capacity, 0);
    EXPECT_EQ(text->ToUtf8(), "");
  }
}

TEST_F(EngineTypesTest, WideTextKeepsItsCharactersAsUtf16) {
  const auto chinese = OwnedString::FromWide(L"重新加载配置");
  EXPECT_EQ(chinese.count, 7);
  EXPECT_EQ(chinese.View(), u"重新加载配置");
  // A character outside the basic plane takes a surrogate pair on every platform.
  const auto pair = OwnedString::FromWide(L"a\U0001F600");
  EXPECT_EQ(pair.View(), u"a\U0001F600");
  EXPECT_EQ(pair.count, 4);
}

TEST_F(EngineTypesTest, ToUtf8) {
  struct Case {
    const char* name;
    std::u16string units;
    std::string utf8;
  };
  const Case cases[] = {
      {"ASCII", u"Blueprint'/Game/A.A'", "Blueprint'/Game/A.A'"},
      {"Chinese", u"清理指定建筑3个，执行完毕！", "清理指定建筑3个，执行完毕！"},
      {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
      {"unpaired high surrogate", std::u16string(1, char16_t{0xD83D}) + u"x", "\xEF\xBF\xBDx"},
      {"unpaired low surrogate", std::u16string(1, char16_t{0xDE00}), "\xEF\xBF\xBD"},
      {"reversed pair", std::u16string{char16_t{0xDE00}, char16_t{0xD83D}}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"embedded NUL is converted too", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(OwnedString::FromUtf16(c.units).ToUtf8(), c.utf8) << c.name;
}

TEST_F(EngineTypesTest, StringsWithoutTextConvertToNothing) {
  char16_t units[] = u"abc";
  const EngineString noBuffer{nullptr, 4, 4};
  const EngineString zeroCount{units, 0, 4};
  const EngineString onlyTerminator{units + 3, 1, 1};
  for (const EngineString* text : {&noBuffer, &zeroCount, &onlyTerminator}) EXPECT_EQ(OwnedString::ToUtf8(*text), "");
}

TEST_F(EngineTypesTest, CopyHasCapacityEqualToCount) {
  auto original = OwnedString::FromNarrow("Blueprint'");
  original.Append(u"/Game/Crate.Crate'");
  ASSERT_GT(original.capacity, original.count);
  const auto before = sandbox::TotalAllocations();
  const OwnedString copy = original;
  EXPECT_EQ(sandbox::TotalAllocations() - before, 1U);
  EXPECT_EQ(copy.count, original.count);
  EXPECT_EQ(copy.capacity, original.count);
  EXPECT_NE(copy.data, original.data);
  EXPECT_EQ(copy.View(), original.View());

  OwnedString moved = std::move(original);
  EXPECT_EQ(original.data, nullptr);  // NOLINT(bugprone-use-after-move): the moved-from string owns nothing
  EXPECT_EQ(moved.View(), copy.View());
}

TEST_F(EngineTypesTest, AppendGrowsByTheRuleAndKeepsTheTerminator) {
  OwnedString text;
  std::u16string expected;
  for (int i = 0; i < 40; ++i) {
    const std::int32_t before = text.capacity;
    text.Append(u"xy");
    expected += u"xy";
    ASSERT_EQ(text.View(), expected);
    ASSERT_EQ(text.data[text.count - 1], u'\0');
    ASSERT_LE(text.count, text.capacity);
    if (text.capacity != before) {
      EXPECT_EQ(text.capacity, host::GrownCapacity(before, text.count));
    }
  }
}

TEST_F(EngineTypesTest, ArrayCopyIsOneAllocationOfExactSize) {
  int values[] = {1, 2, 3};
  int* pointers[] = {&values[0], nullptr, &values[2]};
  const EngineArray<int*> game{pointers, 3, 8};
  const auto before = sandbox::TotalAllocations();
  const auto copy = OwnedArray<int*>::CopyOf(game);
  EXPECT_EQ(sandbox::TotalAllocations() - before, 1U);
  EXPECT_EQ(copy.count, 3);
  EXPECT_EQ(copy.capacity, 3);
  EXPECT_EQ(copy[0], &values[0]);
  EXPECT_EQ(copy[1], nullptr);
  EXPECT_EQ(copy[2], &values[2]);

  const EngineArray<int*> empty{};
  const auto emptyCopy = OwnedArray<int*>::CopyOf(empty);
  EXPECT_EQ(emptyCopy.data, nullptr);
  EXPECT_EQ(emptyCopy.begin(), emptyCopy.end());
}

TEST_F(EngineTypesTest, FirstBuffersComeFromMallocAndGrowthFromRealloc) {
  struct Case {
    const char* name;
    std::function<void()> run;
    std::uint64_t mallocs;
    std::uint64_t reallocs;
  };
  const Case cases[] = {
      {"narrow text", [] { (void)OwnedString::FromNarrow("Blueprint'"); }, 1, 0},
      {"UTF-16 text", [] { (void)OwnedString::FromUtf16(u"/Game/Crate.Crate"); }, 1, 0},
      {"append to the empty string", [] { OwnedString().Append(u"x"); }, 1, 0},
      {"append past the capacity",
       [] {
         auto text = OwnedString::FromNarrow("abc");
         text.Append(u"defghijk");
       },
       1, 1},
      {"append within the capacity",
       [] {
         auto text = OwnedString::FromNarrow("ab");
         text.Append(u"c");
       },
       1, 0},
      {"copy", [] { (void)OwnedString::CopyOf(OwnedString::FromNarrow("abc")); }, 2, 0},
      {"first array element", [] { OwnedArray<int*>().Add(nullptr); }, 1, 0},
      {"array growth",
       [] {
         OwnedArray<int*> pointers;
         for (int i = 0; i < 5; ++i) pointers.Add(nullptr);
       },
       1, 1},
  };
  for (const auto& c : cases) {
    const auto before = sandbox::AllocatorCallCounts();
    c.run();
    const auto after = sandbox::AllocatorCallCounts();
    EXPECT_EQ(after.mallocs - before.mallocs, c.mallocs) << c.name;
    EXPECT_EQ(after.reallocs - before.reallocs, c.reallocs) << c.name;
    EXPECT_EQ(after.reallocsOfNull, before.reallocsOfNull) << c.name;
    EXPECT_EQ(after.frees - before.frees, c.mallocs) << c.name;
  }
}

TEST_F(EngineTypesTest, ArrayOfStringsReleasesEveryElement) {
  OwnedArray<OwnedString> words;
  for (int i = 0; i < 9; ++i) words.Add(OwnedString::FromNarrow("word" + std::to_string(i)));
  EXPECT_EQ(words.Num(), 9);
  // Elements are 16 bytes, the size of the game's string, so the array is laid out as the game's.
  static_assert(sizeof(OwnedString) == 16);
  EXPECT_EQ(words.capacity, host::GrownCapacity(4, 5));
  EXPECT_EQ(words[8].ToUtf8(), "word8");
}

}  // namespace
