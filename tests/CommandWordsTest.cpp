// Splitting RCON command lines into words, run against the simulated game allocator.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "host/EngineTypes.h"
#include "purge/Purge.h"
#include "sandbox/host/Sandbox.h"

namespace {

using namespace std::string_view_literals;

// A game string holding exactly `units`, with the terminator only when asked for. The buffer is sized to the
// count, so a read past it is caught under the address sanitizer.
host::OwnedString GameText(std::u16string_view units, bool terminated) {
  host::OwnedString text;
  const auto count = static_cast<std::int32_t>(units.size() + (terminated ? 1 : 0));
  if (count == 0) return text;
  text.data = static_cast<char16_t*>(host::GameMalloc(static_cast<std::size_t>(count) * sizeof(char16_t)));
  std::memcpy(text.data, units.data(), units.size() * sizeof(char16_t));
  if (terminated) text.data[count - 1] = u'\0';
  text.count = count;
  text.capacity = count;
  return text;
}

std::string Printable(std::u16string_view units) {
  std::string text;
  for (const char16_t unit : units) {
    if (unit >= 0x20 && unit < 0x7f) {
      text.push_back(static_cast<char>(unit));
    } else {
      text += "\\u" + std::to_string(static_cast<unsigned>(unit));
    }
  }
  return text;
}

struct SplitCase {
  const char* name;
  std::u16string_view text;
  bool terminated;
  std::vector<std::u16string_view> words;
};

class SplitCommandWordsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandWordsTest, YieldsTheRunsBetweenSpaces) {
  const auto& param = GetParam();
  const std::size_t liveBefore = sandbox::LiveAllocations();
  {
    const host::OwnedString text = GameText(param.text, param.terminated);
    const auto words = SplitCommandWords(text);

    ASSERT_EQ(words.Num(), static_cast<std::int32_t>(param.words.size())) << Printable(param.text);
    for (std::int32_t i = 0; i < words.Num(); ++i) {
      const host::OwnedString& word = words[i];
      const std::u16string_view expected = param.words[static_cast<std::size_t>(i)];
      EXPECT_EQ(word.View(), expected) << "word " << i << ": " << Printable(word.View());
      // Each word is a game string of its own: its characters, then the terminator it counts.
      ASSERT_NE(word.data, nullptr);
      EXPECT_EQ(word.count, static_cast<std::int32_t>(expected.size()) + 1) << "word " << i;
      EXPECT_GE(word.capacity, word.count) << "word " << i;
      EXPECT_EQ(word.data[word.count - 1], u'\0') << "word " << i;
      EXPECT_NE(word.data, text.data) << "a word must not share the line's buffer";
    }
  }
  EXPECT_EQ(sandbox::LiveAllocations(), liveBefore) << "game-allocator buffers left live";
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandWordsTest,
    ::testing::Values(
        SplitCase{"CommandOnly", u"Tidywarden.reload", true, {u"Tidywarden.reload"}},
        SplitCase{"CommandAndPath",
                  u"Tidywarden.DestroySpecifystructure Blueprint'/Game/A.A'",
                  true,
                  {u"Tidywarden.DestroySpecifystructure", u"Blueprint'/Game/A.A'"}},
        SplitCase{"LeadingSpaces", u"   cmd arg", true, {u"cmd", u"arg"}},
        SplitCase{"TrailingSpaces", u"cmd arg   ", true, {u"cmd", u"arg"}},
        SplitCase{"RepeatedSpaces", u"cmd    arg  1", true, {u"cmd", u"arg", u"1"}},
        SplitCase{"SingleLetters", u"a b c", true, {u"a", u"b", u"c"}}, SplitCase{"OnlySpaces", u"     ", true, {}},
        SplitCase{"OneSpace", u" ", true, {}}, SplitCase{"TabIsNoSeparator", u"cmd\targ", true, {u"cmd\targ"}},
        SplitCase{"TabKeptInsideWord", u"cmd \targ\t 1", true, {u"cmd", u"\targ\t", u"1"}},
        SplitCase{"OtherWhiteSpaceIsNoSeparator", u"a\u3000b\u00a0c\nd\re\vf", true, {u"a\u3000b\u00a0c\nd\re\vf"}},
        SplitCase{"NonAsciiWords", u"清理 指定建筑", true, {u"清理", u"指定建筑"}},
        SplitCase{"SurrogatePairsStayWhole", u"\U0001F996 x\U0001F995", true, {u"\U0001F996", u"x\U0001F995"}},
        SplitCase{"NulEndsTheText", u"cmd ar\0g more"sv, true, {u"cmd", u"ar"}},
        SplitCase{"NulRightAfterSpace", u"cmd \0arg"sv, true, {u"cmd"}},
        SplitCase{"NulFirst", u"\0cmd arg"sv, true, {}}, SplitCase{"TerminatorOnly", u"", true, {}},
        SplitCase{"NoStorage", u"", false, {}},
        SplitCase{"NoTerminatorInsideCount", u"cmd arg", false, {u"cmd", u"arg"}},
        SplitCase{"NoTerminatorAfterSpace", u"cmd arg ", false, {u"cmd", u"arg"}},
        SplitCase{"NoTerminatorSingleUnit", u"x", false, {u"x"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SplitCommandWordsCount, ZeroCountReadsNothingFromTheBuffer) {
  const std::size_t liveBefore = sandbox::LiveAllocations();
  {
    host::OwnedString text = GameText(u"cmd arg", true);
    const std::int32_t count = text.count;
    text.count = 0;
    EXPECT_EQ(SplitCommandWords(text).Num(), 0);
    text.count = count;  // so the buffer is released whole
  }
  EXPECT_EQ(sandbox::LiveAllocations(), liveBefore);
}

// Enough words that the result array grows several times through the allocator's Realloc.
TEST(SplitCommandWordsGrowth, ManyWordsKeepTheirOrderAndText) {
  const std::size_t liveBefore = sandbox::LiveAllocations();
  {
    std::u16string line;
    std::vector<std::u16string> expected;
    for (int i = 0; i < 500; ++i) {
      std::u16string word;
      for (const char digit : std::to_string(i)) word.push_back(static_cast<char16_t>(digit));
      word.append(static_cast<std::size_t>(i % 3), u'w');
      expected.push_back(word);
      line += std::u16string(static_cast<std::size_t>(1 + i % 4), u' ') + word;
    }
    const host::OwnedString text = GameText(line, true);
    const auto words = SplitCommandWords(text);
    ASSERT_EQ(words.Num(), static_cast<std::int32_t>(expected.size()));
    for (std::int32_t i = 0; i < words.Num(); ++i) {
      EXPECT_EQ(words[i].View(), expected[static_cast<std::size_t>(i)]) << "word " << i;
    }
  }
  EXPECT_EQ(sandbox::LiveAllocations(), liveBefore);
}

}  // namespace
