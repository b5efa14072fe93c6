// Tests for the RCON packet codec, on bytes alone.
#include "RconPacket.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using sandbox::rcon::DecodePacket;
using sandbox::rcon::EncodePacket;
using sandbox::rcon::Framing;

std::string Frame(std::int32_t size, std::int32_t id, std::int32_t type, const std::string& bodyAndTail) {
  std::string out;
  sandbox::rcon::AppendInt32(out, size);
  sandbox::rcon::AppendInt32(out, id);
  sandbox::rcon::AppendInt32(out, type);
  return out + bodyAndTail;
}

TEST(RconPacket, DecodeFramesAndRefusesBrokenOnes) {
  const std::string login = EncodePacket(7, 3, "hunter2");
  const struct {
    const char* name;
    std::string bytes;
    Framing framing;
    std::size_t length;
    std::string body;
  } cases[] = {
      {"nothing", "", Framing::Incomplete, 0, ""},
      {"part of the size field", login.substr(0, 3), Framing::Incomplete, 0, ""},
      {"all but the last NUL", login.substr(0, login.size() - 1), Framing::Incomplete, 0, ""},
      {"exactly one packet", login, Framing::Complete, login.size(), "hunter2"},
      {"followed by the next", login + login.substr(0, 5), Framing::Complete, login.size(), "hunter2"},
      {"smallest", Frame(10, 1, 2, std::string(2, '\0')), Framing::Complete, 14, ""},
      {"largest", Frame(4096, 1, 2, std::string(4086, 'a') + std::string(2, '\0')), Framing::Complete, 4100,
       std::string(4086, 'a')},
      // A bad size is refused from its four bytes alone, without waiting for a body that may never come.
      {"size 9", Frame(9, 1, 2, "").substr(0, 4), Framing::Malformed, 0, ""},
      {"size 4097", Frame(4097, 1, 2, "").substr(0, 4), Framing::Malformed, 0, ""},
      {"negative size", Frame(-1, 1, 2, "").substr(0, 4), Framing::Malformed, 0, ""},
      {"last byte not NUL", Frame(12, 1, 2, std::string("ab\0x", 4)), Framing::Malformed, 0, ""},
      {"second-last byte not NUL", Frame(12, 1, 2, std::string("abx\0", 4)), Framing::Malformed, 0, ""},
      {"NUL inside the body", Frame(13, 1, 2, std::string("a\0b\0\0", 5)), Framing::Malformed, 0, ""},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    const auto decoded = DecodePacket(t.bytes);
    EXPECT_EQ(decoded.framing, t.framing);
    if (t.framing != Framing::Complete) continue;
    EXPECT_EQ(decoded.length, t.length);
    EXPECT_EQ(decoded.packet.body, t.body);
  }
}

TEST(RconPacket, EncodedPacketsDecodeToWhatWentIn) {
  const struct {
    std::int32_t id;
    std::int32_t type;
    std::string body;
  } cases[] = {
      {0, 0, ""},
      {-1, 2, ""},
      {std::numeric_limits<std::int32_t>::min(), 3, "说 你好"},
      {std::numeric_limits<std::int32_t>::max(), 2, std::string(4086, 'z')},
      {0x01020304, 0x7F000001, "bytes in order"},
  };
  for (const auto& t : cases) {
    const std::string bytes = EncodePacket(t.id, t.type, t.body);
    ASSERT_EQ(bytes.size(), 14 + t.body.size());
    EXPECT_EQ(sandbox::rcon::ReadInt32(bytes.data()), static_cast<std::int32_t>(10 + t.body.size()));
    const auto decoded = DecodePacket(bytes);
    ASSERT_EQ(decoded.framing, Framing::Complete) << t.id;
    EXPECT_EQ(decoded.packet.id, t.id);
    EXPECT_EQ(decoded.packet.type, t.type);
    EXPECT_EQ(decoded.packet.body, t.body);
  }
  // Little-endian on the wire, whatever the machine.
  EXPECT_EQ(EncodePacket(0x01020304, 0, "").substr(4, 4), "\x04\x03\x02\x01");
}

TEST(RconPacket, RepliesAreCutOnCodePointBoundaries) {
  const std::string two = "é", three = "漢", four = "😀";
  // `lead` ASCII bytes, then `character` repeatedly: the first packet's last whole code point ends at `cut`.
  const struct {
    const char* name;
    std::size_t lead;
    std::string character;
    std::size_t cut;
  } cases[] = {
      {"ASCII", 4000, "y", 4086},
      {"2-byte character ending at the boundary", 4084, two, 4086},
      {"cut in a 2-byte character's last byte", 4085, two, 4085},
      {"3-byte character ending at the boundary", 4083, three, 4086},
      {"cut in a 3-byte character's second byte", 4085, three, 4085},
      {"cut in a 3-byte character's last byte", 4084, three, 4084},
      {"4-byte character ending at the boundary", 4082, four, 4086},
      {"cut in a 4-byte character's second byte", 4085, four, 4085},
      {"cut in a 4-byte character's third byte", 4084, four, 4084},
      {"cut in a 4-byte character's last byte", 4083, four, 4083},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    std::string text(t.lead, 'x');
    while (text.size() < 4086 + 8) text += t.character;
    const auto bodies = sandbox::rcon::SplitReply(text);
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0].size(), t.cut);
    EXPECT_EQ(std::string(bodies[0]) + std::string(bodies[1]), text);
  }
  EXPECT_EQ(sandbox::rcon::SplitReply(std::string(4086, 'y')).size(), 1u);
  const auto empty = sandbox::rcon::SplitReply("");
  ASSERT_EQ(empty.size(), 1u);  // an empty reply is still answered
  EXPECT_EQ(empty[0], "");
  EXPECT_EQ(sandbox::rcon::SplitReply(std::string(3 * 4086, 'y')).size(), 3u);
}

TEST(RconPacket, InvalidUtf8BecomesOneReplacementPerByte) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain 漢字", "plain 漢字"},
      {"bad\xFFutf8", "bad\xEF\xBF\xBDutf8"},
      {"\xE6\xBCx", "\xEF\xBF\xBD\xEF\xBF\xBDx"},                // a cut sequence must not swallow what follows
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"\xF0\x9F\x98", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a 4-byte character cut at the end
  };
  for (const auto& t : cases) EXPECT_EQ(sandbox::rcon::SanitizeUtf8(t.in), t.out);
}

}  // namespace
