// Reading the file through the plug-in's own reading routine, and what to say when that fails: a file that cannot
// be read (E100), or does not parse (E101), with a hint for a file saved in another encoding.
#include "FileReading.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <utf8cpp/utf8.h>

#include "config/ConfigFile.h"

namespace check::detail {
namespace {

constexpr std::size_t kTrailingShown = 40;
constexpr std::size_t kUtf16Sample = 256;
// A parse error's text quotes the token it stopped in, which can be the rest of a huge file.
constexpr std::size_t kWhatShown = 400;
constexpr std::size_t kWhatLogged = 4096;

// The first characters after the JSON value that are not whitespace; nothing when only whitespace follows.
std::optional<std::string> TrailingContent(std::istream& stream) {
  std::streambuf* buffer = stream.rdbuf();
  using Traits = std::char_traits<char>;
  int c = buffer->sbumpc();
  while (c != Traits::eof() && IsJsonSpace(c)) c = buffer->sbumpc();
  if (c == Traits::eof()) return std::nullopt;
  std::string shown(1, Traits::to_char_type(c));
  while (shown.size() < kTrailingShown && (c = buffer->sbumpc()) != Traits::eof()) {
    shown.push_back(Traits::to_char_type(c));
  }
  return shown;
}

// UTF-16 shows as a byte-order mark, or as a zero byte in every other place of ASCII text.
bool LooksLikeUtf16(const std::string& bytes) {
  if (bytes.size() >= 2) {
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    if ((first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF)) return true;
  }
  const std::size_t sample = std::min(bytes.size(), kUtf16Sample) / 2 * 2;
  if (sample < 2) return false;
  std::size_t evenZeros = 0;
  std::size_t oddZeros = 0;
  for (std::size_t i = 0; i < sample; ++i) (i % 2 == 0 ? evenZeros : oddZeros) += bytes[i] == '\0' ? 1 : 0;
  const std::size_t pairs = sample / 2;
  return (oddZeros * 4 >= pairs && evenZeros * 8 <= pairs) || (evenZeros * 4 >= pairs && oddZeros * 8 <= pairs);
}

// A plain reason a file that does not parse may have, from its bytes.
std::string EncodingHint(const Positions& positions, const Report& report) {
  const std::string& bytes = positions.Bytes();
  if (LooksLikeUtf16(bytes)) return report.Say(text::kUtf16);
  const auto invalid = utf8::find_invalid(bytes.begin(), bytes.end());
  if (invalid == bytes.end()) return {};
  const auto place = positions.Places({static_cast<std::size_t>(invalid - bytes.begin())}).front();
  return report.Say(text::kNotUtf8, fmt::arg("line", place.line), fmt::arg("column", place.column));
}

// The offset in the file of the character a text-mode stream gave as its `read`th: on Windows the C runtime reads
// each CR LF as one LF.
std::size_t FileOffset(const std::string& bytes, std::size_t read) {
#if defined(_WIN32)
  std::size_t at = 0;
  for (std::size_t seen = 0; seen < read && at < bytes.size(); ++seen) {
    at += bytes[at] == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n' ? 2 : 1;
  }
  return at;
#else
  (void)bytes;
  return read;
#endif
}

// The number the JSON library refuses as too large for a double, as its own lexer reads the file: where it begins and
// the tokens of the value it is. The library says only the number's text.
class RefusedNumber : public nlohmann::json_sax<nlohmann::json> {
 public:
  static constexpr int kOverflow = 406;

  explicit RefusedNumber(const std::string& bytes) : bytes_(bytes) {}

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(true); }
  bool key(string_t& name) override {
    levels_.back().key = name;
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_array() override { return Close(); }
  // `position` is just after the token the lexer stopped in: a number is read whole before it is converted.
  bool parse_error(std::size_t position, const std::string& token, const nlohmann::json::exception& error) override {
    if (error.id != kOverflow || token.size() > position) return false;
    const std::size_t begin = position - token.size();
    if (bytes_.compare(begin, token.size(), token) != 0) return false;
    offset_ = begin;
    for (const Level& level : levels_) tokens_.push_back(level.object ? level.key : std::to_string(level.next));
    return false;
  }

  std::optional<std::size_t> Offset() const { return offset_; }
  std::vector<std::string>& Tokens() { return tokens_; }

 private:
  // An object or array being read: the name of its member being read, or the index of its element.
  struct Level {
    bool object = false;
    std::string key;
    std::size_t next = 0;
  };

  bool Value() {
    if (!levels_.empty() && !levels_.back().object) ++levels_.back().next;
    return true;
  }
  bool Open(bool object) {
    levels_.push_back({object, {}, 0});
    return true;
  }
  bool Close() {
    levels_.pop_back();
    return Value();
  }

  const std::string& bytes_;
  std::vector<Level> levels_;
  std::optional<std::size_t> offset_;
  std::vector<std::string> tokens_;
};

void Unreadable(const std::string& path, const std::string& why, Report& report) {
  report.Add(Code::E100, {}, report.Say(text::kCannotRead, fmt::arg("path", Quote(path)), fmt::arg("why", why)),
             report.Say(text::kUnreadableEffect));
}

// Only a regular file: a directory would read as empty, and a pipe or device could block or never end.
bool RegularFile(const std::string& path, Report& report) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    Unreadable(path, std::strerror(errno), report);
    return false;
  }
  if (S_ISDIR(status.st_mode)) {
    Unreadable(path, report.Say(text::kIsDirectory), report);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    Unreadable(path, report.Say(text::kNotRegular), report);
    return false;
  }
  return true;
}

}  // namespace

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string bytes;
  std::error_code unknown;
  const auto size = std::filesystem::file_size(path, unknown);
  if (!unknown) bytes.reserve(size);
  // In blocks: a byte at a time through the stream buffer costs more than reading the file twice.
  std::array<char, 1 << 16> block{};
  while (file.read(block.data(), block.size()) || file.gcount() > 0) {
    bytes.append(block.data(), static_cast<std::size_t>(file.gcount()));
  }
  return bytes;
}

bool ReadAsThePlugin(const std::string& path, PluginReading& reading, Report& report) {
  if (!RegularFile(path, report)) return false;
  try {
    errno = 0;
    const bool opened = config::ReadDocumentFile(
        path, reading.document, [&](std::istream& stream) { reading.trailing = TrailingContent(stream); });
    if (!opened) {
      Unreadable(path, errno != 0 ? std::strerror(errno) : report.Say(text::kDoesNotOpen), report);
      return false;
    }
  } catch (const nlohmann::json::parse_error& error) {
    reading.fault = ParseFault{ParseFault::Kind::Syntax, error.what(), error.byte};
  } catch (const nlohmann::json::out_of_range& error) {
    const auto kind = error.id == RefusedNumber::kOverflow ? ParseFault::Kind::Overflow : ParseFault::Kind::Other;
    reading.fault = ParseFault{kind, error.what()};
  } catch (const std::exception& error) {
    reading.fault = ParseFault{ParseFault::Kind::Other, error.what()};
  }
  return true;
}

void ParseFailure(const Positions& positions, const ParseFault& fault, Report& report) {
  std::optional<std::size_t> offset;
  std::vector<std::string> tokens;
  if (fault.kind == ParseFault::Kind::Syntax) {
    // The parser counts the character it stopped at.
    offset = FileOffset(positions.Bytes(), fault.read > 0 ? fault.read - 1 : 0);
  } else if (fault.kind == ParseFault::Kind::Overflow) {
    RefusedNumber refused(positions.Bytes());
    nlohmann::json::sax_parse(positions.Bytes(), &refused, nlohmann::json::input_format_t::json, false);
    offset = refused.Offset();
    tokens = std::move(refused.Tokens());
  }
  std::string message = report.Say(text::kDoesNotParse);
  Place place;
  if (offset) {
    place = positions.Places({*offset}).front();
    message = report.Say(text::kDoesNotParseAt, fmt::arg("line", place.line), fmt::arg("column", place.column));
  }
  message += ": " + Shortened(fault.what, kWhatShown, report.language);
  const std::string hint = EncodingHint(positions, report);
  if (!hint.empty()) message.append(report.language == Language::Chinese ? "；" : "; ").append(hint);
  report.Add(Code::E101, offset ? Anchor::At(*offset, std::move(tokens)) : Anchor(), message,
             report.Say(text::kParseEffect), {Shortened(fault.what, kWhatLogged)});
  report.findings.back().line = place.line;
  report.findings.back().column = place.column;
}

}  // namespace check::detail
