// The sandbox's text conversions: UTF-8 into the game's UTF-16, and the plug-in's GBK log lines for the console.
#include <gtest/gtest.h>

#include <string>

#include "sandbox/host/Text.h"
#include "sandbox/server/Platform.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;
const std::string kReplacementUtf8 = "\xEF\xBF\xBD";

TEST(SandboxTextTest, Utf8ToUtf16ReplacesEachMalformedSequenceOnce) {
  struct Case {
    const char* name;
    std::string utf8;
    std::u16string units;
  };
  const Case cases[] = {
      {"empty", "", u""},
      {"ASCII", "Raptor_C", u"Raptor_C"},
      {"Chinese", "\xE6\xB8\x85\xE7\x90\x86", u"清理"},
      {"supplementary", "\xF0\x9F\xA6\x96", {0xD83E, 0xDD96}},
      {"last scalar value", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
      {"stray continuation", "a\x80z", {u'a', kReplacement, u'z'}},
      {"byte never in UTF-8", "\xFF", {kReplacement}},
      {"five-byte form", "\xF8\x88\x80\x80\x80", std::u16string(5, kReplacement)},
      {"cut at the end", "a\xE6\xB8", {u'a', kReplacement}},
      {"cut before ASCII", "\xE6\xB8x", {kReplacement, u'x'}},
      {"overlong slash", "\xC0\xAF/", {kReplacement, u'/'}},
      {"encoded surrogate", "\xED\xA0\x80!", {kReplacement, u'!'}},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", {kReplacement}},
  };
  for (const auto& c : cases) EXPECT_EQ(sandbox::Utf8ToUtf16(c.utf8), c.units) << c.name;
}

// The Windows build converts through code page 936, the Linux build through iconv; each row holds for both.
TEST(SandboxTextTest, GbkLogTextBecomesUtf8) {
  struct Case {
    const char* name;
    std::string gbk;
    std::string utf8;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"ASCII", "12/01/24 10:00 [Sweepmark][info] loaded", "12/01/24 10:00 [Sweepmark][info] loaded"},
      {"reload reply", "\xD6\xD8\xD0\xC2\xBC\xD3\xD4\xD8\xC5\xE4\xD6\xC3", "重新加载配置"},
      {"purge reply",
       "\xC7\xE5\xC0\xED\xD6\xB8\xB6\xA8\xBD\xA8\xD6\xFE\x33\xB8\xF6\xA3\xAC\xD6\xB4\xD0\xD0\xCD\xEA\xB1\xCF\xA3\xA1",
       "清理指定建筑3个，执行完毕！"},
      {"trail byte in the ASCII range", "\x81\x40", "\xE4\xB8\x82"},
      {"lead byte before a space", "\xB8\xF1\x81 x", "格" + kReplacementUtf8 + " x"},
      {"lead byte at the end", "ok\xC7", "ok" + kReplacementUtf8},
  };
  for (const auto& c : cases) EXPECT_EQ(sandbox::server::platform::GbkToUtf8(c.gbk), c.utf8) << c.name;
}

}  // namespace
