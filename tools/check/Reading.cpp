// Reading the file through the plug-in's own reading routine, and what to say when that fails.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include <utf8cpp/utf8.h>

#include "CheckInternal.h"
#include "config/ConfigFile.h"

namespace check {
namespace {

using detail::IsJsonSpace;

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

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Line and column (1-based) of a byte offset, counting lines as the JSON library does.
std::string Place(const std::string& bytes, std::size_t offset) {
  const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
  const auto lines = std::count(bytes.begin(), end, '\n');
  const auto lineStart = std::find(std::make_reverse_iterator(end), bytes.rend(), '\n').base();
  return "line " + std::to_string(lines + 1) + ", column " + std::to_string(end - lineStart + 1);
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
std::string EncodingHint(const std::string& path) {
  const std::string bytes = FileBytes(path);
  if (LooksLikeUtf16(bytes)) return "saved as UTF-16: save it as UTF-8";
  const auto invalid = utf8::find_invalid(bytes.begin(), bytes.end());
  if (invalid == bytes.end()) return {};
  return "not UTF-8 (looks like GBK/ANSI; the first such byte is at " +
         Place(bytes, static_cast<std::size_t>(invalid - bytes.begin())) + "): save it as UTF-8";
}

// "line L, column C" from the library's message, which gives the place of a parse error in those words.
std::string ParsePlace(const std::string& what) {
  constexpr std::string_view kAt = "at line ";
  const std::size_t at = what.find(kAt);
  if (at == std::string::npos) return {};
  const std::size_t end = what.find(':', at);
  if (end == std::string::npos) return {};
  return what.substr(at + 3, end - at - 3);
}

void ParseFailure(const std::string& path, const std::string& what, Findings& findings) {
  std::string message = "the file does not parse";
  const std::string place = ParsePlace(what);
  if (!place.empty()) message += " at " + place;
  message += ": " + detail::Shortened(what, kWhatShown);
  const std::string hint = EncodingHint(path);
  if (!hint.empty()) message += "; " + hint;
  detail::Add(findings, Severity::Error, "E101", "", message,
              "The plug-in logs the line below and stays idle when it loads: no hook and no command is installed. "
              "A reload logs it and keeps the previous configuration in force.",
              {detail::Shortened(what, kWhatLogged)});
}

void Unreadable(const std::string& path, const std::string& why, Findings& findings) {
  detail::Add(findings, Severity::Error, "E100", "", "cannot read " + detail::Quote(path) + ": " + why,
              "If the plug-in's own file is unreadable, it logs that it cannot open config.json and stays idle; a "
              "reload keeps the previous configuration in force.");
}

}  // namespace

Findings CheckFile(const std::string& path) {
  Findings findings;
  // Only a regular file: a directory would read as empty, and a pipe or device could block or never end.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    Unreadable(path, std::strerror(errno), findings);
    return findings;
  }
  if (S_ISDIR(status.st_mode)) {
    Unreadable(path, "it is a directory, not a file", findings);
    return findings;
  }
  if (!S_ISREG(status.st_mode)) {
    Unreadable(path, "it is not a regular file", findings);
    return findings;
  }

  nlohmann::json document;
  std::optional<std::string> trailing;
  try {
    errno = 0;
    const bool opened =
        config::ReadDocumentFile(path, document, [&](std::istream& stream) { trailing = TrailingContent(stream); });
    if (!opened) {
      Unreadable(path, errno != 0 ? std::strerror(errno) : "it does not open", findings);
      return findings;
    }
  } catch (const std::exception& error) {
    ParseFailure(path, error.what(), findings);
    return findings;
  }

  detail::AnalyseDocument(document, findings);
  if (trailing) {
    detail::Add(findings, Severity::Warning, "W206", "",
                "the file goes on after its JSON value ends: " + detail::Quote(*trailing),
                "The plug-in reads the first JSON value and ignores the rest.");
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.severity > b.severity; });
  return findings;
}

std::string ConfigPathInServerDir(const std::string& serverDir) { return serverDir + config::kConfigPathInServerDir; }

}  // namespace check
