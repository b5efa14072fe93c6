// UTF-16 to UTF-8 at the edges where a hand-written converter and WideCharToMultiByte could part ways.
#include <gtest/gtest.h>

#include <string>

#include "host/EngineTypes.h"

namespace {

struct ConvertCase {
  const char* name;
  std::u16string units;
  std::string utf8;
};

std::u16string Units(std::initializer_list<char16_t> units) { return std::u16string(units); }

const std::string kReplacement = "\xEF\xBF\xBD";

// The Windows build runs these through the system converter, so each row must hold for both.
TEST(TextConvertTest, MatchesTheSystemConverter) {
  const ConvertCase cases[] = {
      {"empty", u"", ""},
      {"last one-byte unit", Units({0x7F}), "\x7F"},
      {"first two-byte unit", Units({0x80}), "\xC2\x80"},
      {"last two-byte unit", Units({0x7FF}), "\xDF\xBF"},
      {"first three-byte unit", Units({0x800}), "\xE0\xA0\x80"},
      {"last unit before surrogates", Units({0xD7FF}), "\xED\x9F\xBF"},
      {"first unit after surrogates", Units({0xE000}), "\xEE\x80\x80"},
      {"last unit", Units({0xFFFF}), "\xEF\xBF\xBF"},
      {"first supplementary", Units({0xD800, 0xDC00}), "\xF0\x90\x80\x80"},
      {"last supplementary", Units({0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF"},
      {"high surrogate at the end", Units({u'a', 0xD83E}), "a" + kReplacement},
      {"two high surrogates, then a low", Units({0xD83E, 0xD83E, 0xDD96}), kReplacement + "\xF0\x9F\xA6\x96"},
      {"two low surrogates", Units({0xDD96, 0xDD96}), kReplacement + kReplacement},
      {"surrogates around text", Units({0xDD96, u'x', 0xD83E}), kReplacement + "x" + kReplacement},
      {"Chinese", u"清理指定建筑", "\xE6\xB8\x85\xE7\x90\x86\xE6\x8C\x87\xE5\xAE\x9A\xE5\xBB\xBA\xE7\xAD\x91"},
  };
  for (const auto& c : cases) EXPECT_EQ(host::Utf16ToUtf8(c.units), c.utf8) << c.name;
}

}  // namespace
