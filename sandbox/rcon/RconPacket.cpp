// The Source RCON packet codec.
#include "RconPacket.h"

#include <utf8cpp/utf8/core.h>

namespace sandbox::rcon {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U; }

// The longest prefix of at most kMaxBodyBytes that ends on a code point boundary.
std::size_t ChunkLength(std::string_view validUtf8) {
  if (validUtf8.size() <= kMaxBodyBytes) return validUtf8.size();
  std::size_t cut = kMaxBodyBytes;
  // A code point has at most three continuation bytes.
  while (cut > kMaxBodyBytes - 3 && IsContinuationByte(validUtf8[cut])) --cut;
  return cut;
}

}  // namespace

void AppendInt32(std::string& out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFFU));
}

std::int32_t ReadInt32(const char* bytes) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
  return static_cast<std::int32_t>(bits);
}

std::string EncodePacket(std::int32_t id, std::int32_t type, std::string_view body) {
  std::string packet;
  packet.reserve(kHeaderBytes + body.size() + 2);
  AppendInt32(packet, static_cast<std::int32_t>(body.size()) + kMinPacketSize);
  AppendInt32(packet, id);
  AppendInt32(packet, type);
  packet.append(body);
  packet.append(2, '\0');
  return packet;
}

Decoded DecodePacket(std::string_view bytes) {
  if (bytes.size() < kSizeFieldBytes) return {};
  const std::int32_t size = ReadInt32(bytes.data());
  if (size < kMinPacketSize || size > kMaxPacketSize) return {Framing::Malformed, 0, {}};
  const std::size_t length = kSizeFieldBytes + static_cast<std::size_t>(size);
  if (bytes.size() < length) return {};
  if (bytes[length - 1] != '\0' || bytes[length - 2] != '\0') return {Framing::Malformed, 0, {}};
  const std::string_view body = bytes.substr(kHeaderBytes, length - kHeaderBytes - 2);
  if (body.find('\0') != std::string_view::npos) return {Framing::Malformed, 0, {}};
  return {Framing::Complete, length, {ReadInt32(bytes.data() + 4), ReadInt32(bytes.data() + 8), body}};
}

std::string SanitizeUtf8(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (auto at = text.begin(); at != text.end();) {
    const auto bad = utf8::find_invalid(at, text.end());
    clean.append(at, bad);
    if (bad == text.end()) break;
    clean.append(kReplacementCharacter);
    at = bad + 1;
  }
  return clean;
}

std::vector<std::string_view> SplitReply(std::string_view validUtf8) {
  std::vector<std::string_view> bodies;
  do {
    const std::size_t length = ChunkLength(validUtf8);
    bodies.push_back(validUtf8.substr(0, length));
    validUtf8.remove_prefix(length);
  } while (!validUtf8.empty());
  return bodies;
}

}  // namespace sandbox::rcon
