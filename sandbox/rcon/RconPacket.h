// The Source RCON packet codec: framing, the packet types, and reply text cut into packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sandbox::rcon {

constexpr std::int32_t kTypeAuth = 3;
constexpr std::int32_t kTypeAuthResponse = 2;
constexpr std::int32_t kTypeExecCommand = 2;
constexpr std::int32_t kTypeResponseValue = 0;
constexpr std::int32_t kFailedAuthId = -1;   // the id of an AUTH_RESPONSE that refuses a login
constexpr std::int32_t kMinPacketSize = 10;  // id + type + two NULs
constexpr std::int32_t kMaxPacketSize = 4096;
constexpr std::size_t kSizeFieldBytes = 4;
constexpr std::size_t kHeaderBytes = 12;  // size + id + type
constexpr std::size_t kMaxBodyBytes = kMaxPacketSize - kMinPacketSize;

struct Packet {
  std::int32_t id = 0;
  std::int32_t type = 0;
  std::string_view body;  // into the decoded bytes
};

enum class Framing {
  Incomplete,  // more bytes needed
  Complete,
  Malformed,  // size outside [kMinPacketSize, kMaxPacketSize], missing NUL terminator or a NUL inside the body
};

struct Decoded {
  Framing framing = Framing::Incomplete;
  std::size_t length = 0;  // bytes the packet takes, when complete
  Packet packet;
};

// Reads the packet at the front of `bytes`. A bad size field is Malformed as soon as it has arrived.
Decoded DecodePacket(std::string_view bytes);

std::string EncodePacket(std::int32_t id, std::int32_t type, std::string_view body);

// Little-endian, as on the wire.
void AppendInt32(std::string& out, std::int32_t value);
std::int32_t ReadInt32(const char* bytes);

// Invalid UTF-8 becomes U+FFFD, one per offending byte, so a stray byte never swallows the valid text behind it.
std::string SanitizeUtf8(std::string_view text);

// Cuts valid UTF-8 into packet bodies of at most kMaxBodyBytes on code point boundaries: clients decode each
// packet on its own before joining them. Empty text is one empty body.
std::vector<std::string_view> SplitReply(std::string_view validUtf8);

}  // namespace sandbox::rcon
