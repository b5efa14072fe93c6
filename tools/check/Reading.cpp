// Reading the file through the plug-in's own reading routine, and what to say when that fails.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <utf8cpp/utf8.h>

#include "CheckInternal.h"
#include "Positions.h"
#include "config/ConfigAccess.h"
#include "config/ConfigFile.h"

namespace check {
namespace {

using detail::Anchor;
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
std::string EncodingHint(const detail::Positions& positions, const detail::Report& report) {
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

void ParseFailure(const detail::Positions& positions, const std::string& what, std::optional<std::size_t> read,
                  detail::Report& report) {
  std::optional<std::size_t> offset;
  std::string message = report.Say(text::kDoesNotParse);
  if (read) {
    // The parser counts the character it stopped at.
    offset = FileOffset(positions.Bytes(), *read > 0 ? *read - 1 : 0);
    const auto place = positions.Places({*offset}).front();
    message = report.Say(text::kDoesNotParseAt, fmt::arg("line", place.line), fmt::arg("column", place.column));
  }
  message += ": " + detail::Shortened(what, kWhatShown, report.language);
  const std::string hint = EncodingHint(positions, report);
  if (!hint.empty()) message.append(report.language == Language::Chinese ? "；" : "; ").append(hint);
  report.Add(Code::E101, Anchor::At(offset.value_or(0)), message, report.Say(text::kParseEffect),
             {detail::Shortened(what, kWhatLogged)});
}

void Unreadable(const std::string& path, const std::string& why, detail::Report& report) {
  report.Add(Code::E100, {}, report.Say(text::kCannotRead, fmt::arg("path", detail::Quote(path)), fmt::arg("why", why)),
             report.Say(text::kUnreadableEffect));
}

// What a repeated name loses, as short as it can say it: the path of a labelled member, or the text itself.
std::string LostValue(const std::string& bytes, detail::Span span) {
  constexpr std::size_t kParsedAtMost = 4096;
  constexpr std::size_t kShownAtMost = 120;
  const std::string_view raw(bytes.data() + span.begin, span.end - span.begin);
  if (raw.size() <= kParsedAtMost) {
    const auto value = nlohmann::json::parse(raw, nullptr, false);
    if (value.is_object()) {
      const auto blueprint = value.find(config::kBlueprintKey);
      if (blueprint != value.end() && blueprint->is_string()) return detail::Quote(blueprint->get<std::string>());
    }
  }
  std::string collapsed;
  for (const char c : raw.substr(0, kShownAtMost)) {
    if (!detail::IsJsonSpace(c)) {
      collapsed += c;
    } else if (!collapsed.empty() && collapsed.back() != ' ') {
      collapsed += ' ';
    }
  }
  if (raw.size() > kShownAtMost) collapsed += "...";
  return detail::Printable(collapsed);
}

// A name written twice in one object: the JSON library keeps the last, and nothing says that the others are lost.
void ReviewRepeats(const detail::Positions& positions, detail::Report& report) {
  for (const auto& repeat : positions.Repeats()) {
    std::vector<std::size_t> offsets;
    for (const auto& key : repeat.keys) offsets.push_back(key.begin);
    const auto places = positions.Places(offsets);
    // Lines alone, unless two occurrences share one.
    bool shared = false;
    for (std::size_t i = 1; i < places.size(); ++i) shared = shared || places[i].line == places[i - 1].line;
    const auto at = [&](const detail::Place& place) {
      return shared ? fmt::format("{}:{}", place.line, place.column) : std::to_string(place.line);
    };
    std::string lines;
    for (const auto& place : places) {
      if (!lines.empty()) lines.append(detail::Pick(text::kLineSeparator, report.language));
      lines.append(at(place));
    }
    const std::string object =
        repeat.object.empty() ? detail::Pick(text::kTopLevel, report.language) : detail::Quote(detail::Pointer(repeat.object));
    std::string lost;
    for (std::size_t i = 0; i + 1 < repeat.keys.size(); ++i) {
      if (!lost.empty()) lost.push_back(' ');
      lost += report.Say(text::kLost, fmt::arg("line", at(places[i])),
                         fmt::arg("value", LostValue(positions.Bytes(), repeat.values[i])));
    }
    std::vector<std::string> tokens = repeat.object;
    tokens.push_back(repeat.name);
    for (std::size_t i = 0; i < repeat.keys.size(); ++i) {
      report.Add(Code::W209, Anchor::At(repeat.keys[i].begin, tokens),
                 report.Say(text::kRepeatedName, fmt::arg("name", detail::Quote(repeat.name)),
                            fmt::arg("count", repeat.keys.size()), fmt::arg("object", object), fmt::arg("lines", lines),
                            fmt::arg("kept", at(places.back()))),
                 lost);
    }
  }
}

// Each finding's line and column from the `from`th on, from the offsets of its anchor.
void Place(const detail::Positions& positions, detail::Report& report, std::size_t from = 0) {
  std::vector<std::size_t> offsets;
  std::vector<std::size_t> placed;
  for (std::size_t i = from; i < report.findings.size(); ++i) {
    const auto& anchor = report.anchors[i];
    if (report.findings[i].code == Info(Code::E100).code) continue;
    if (anchor.offset) {
      offsets.push_back(*anchor.offset);
    } else if (positions.Known()) {
      offsets.push_back(positions.Find(anchor.tokens, anchor.key).begin);
    } else {
      continue;
    }
    placed.push_back(i);
  }
  const auto places = positions.Places(offsets);
  for (std::size_t i = 0; i < placed.size(); ++i) {
    report.findings[placed[i]].line = places[i].line;
    report.findings[placed[i]].column = places[i].column;
  }
}

// The findings in the order they were made, with the file's positions when it was read.
struct Checked {
  explicit Checked(Language language) : report(language) {}
  detail::Report report;
  std::optional<detail::Positions> positions;
};

Checked Check(const std::string& path, Language language) {
  Checked checked(language);
  detail::Report& report = checked.report;
  // Only a regular file: a directory would read as empty, and a pipe or device could block or never end.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    Unreadable(path, std::strerror(errno), report);
    return checked;
  }
  if (S_ISDIR(status.st_mode)) {
    Unreadable(path, report.Say(text::kIsDirectory), report);
    return checked;
  }
  if (!S_ISREG(status.st_mode)) {
    Unreadable(path, report.Say(text::kNotRegular), report);
    return checked;
  }

  // The places are read from the file's own bytes on a thread of their own (when one can be had) while the plug-in's
  // reading and the walks run: neither needs the other until findings are placed.
  std::future<detail::Positions> placesRead = std::async(std::launch::async | std::launch::deferred,
                                                         [&path] { return detail::Positions(FileBytes(path)); });
  nlohmann::json document;
  std::optional<std::string> trailing;
  try {
    errno = 0;
    const bool opened =
        config::ReadDocumentFile(path, document, [&](std::istream& stream) { trailing = TrailingContent(stream); });
    if (!opened) {
      Unreadable(path, errno != 0 ? std::strerror(errno) : report.Say(text::kDoesNotOpen), report);
      return checked;
    }
  } catch (const nlohmann::json::parse_error& error) {
    const detail::Positions bytes = placesRead.get();
    ParseFailure(bytes, error.what(), error.byte, report);
    Place(bytes, report);
    return checked;
  } catch (const std::exception& error) {
    const detail::Positions bytes = placesRead.get();
    ParseFailure(bytes, error.what(), std::nullopt, report);
    return checked;
  }

  const detail::Positions& positions = checked.positions.emplace(placesRead.get());
  detail::AnalyseDocument(std::move(document), report,
                          [&](detail::Report& part, std::size_t from) { Place(positions, part, from); });
  const std::size_t placed = report.findings.size();
  ReviewRepeats(positions, report);
  if (trailing) {
    report.Add(Code::W206, Anchor::At(positions.Trailing().value_or(0)),
               report.Say(text::kTrailing, fmt::arg("text", detail::Quote(*trailing))),
               report.Say(text::kTrailingEffect));
  }
  Place(positions, report, placed);
  return checked;
}

}  // namespace

Findings CheckFile(const std::string& path, Language language) {
  detail::Report report = Check(path, language).report;
  const auto bySeverity = [](const Finding& a, const Finding& b) { return a.severity > b.severity; };
  if (std::is_sorted(report.findings.begin(), report.findings.end(), bySeverity)) return std::move(report.findings);
  std::vector<std::size_t> order(report.findings.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return bySeverity(report.findings[a], report.findings[b]); });
  Findings sorted;
  sorted.reserve(order.size());
  for (const std::size_t index : order) sorted.push_back(std::move(report.findings[index]));
  return sorted;
}

FixPlan PlanFixes(const std::string& path, Language language) {
  Checked checked = Check(path, language);
  FixPlan plan;
  if (!checked.positions || !checked.positions->Known()) return plan;
  const detail::Positions& positions = *checked.positions;
  plan.before = positions.Bytes();
  std::vector<std::size_t> offsets;
  for (const auto& anchor : checked.report.anchors) {
    if (!anchor.fix) continue;
    const detail::Span span = positions.Find(anchor.tokens, anchor.key);
    if (span.end <= span.begin || plan.before[span.begin] != '"') continue;
    // A name changed into one its object already holds would make the two one, and the plug-in keep only the last.
    if (anchor.key) {
      std::vector<std::string> renamed = anchor.tokens;
      renamed.back() = *anchor.fix;
      if (positions.Exists(renamed)) continue;
    }
    const bool seen = std::any_of(plan.changes.begin(), plan.changes.end(),
                                  [&](const Change& change) { return change.begin == span.begin; });
    if (seen) continue;
    plan.changes.push_back({0, 0, span.begin, span.end, plan.before.substr(span.begin, span.end - span.begin),
                            nlohmann::json(*anchor.fix).dump()});
    offsets.push_back(span.begin);
  }
  const auto places = positions.Places(offsets);
  for (std::size_t i = 0; i < plan.changes.size(); ++i) {
    plan.changes[i].line = places[i].line;
    plan.changes[i].column = places[i].column;
  }
  std::sort(plan.changes.begin(), plan.changes.end(),
            [](const Change& a, const Change& b) { return a.begin < b.begin; });
  plan.after = plan.before;
  for (auto change = plan.changes.rbegin(); change != plan.changes.rend(); ++change) {
    plan.after.replace(change->begin, change->end - change->begin, change->to);
  }
  return plan;
}

std::string ConfigPathInServerDir(const std::string& serverDir) { return serverDir + config::kConfigPathInServerDir; }

}  // namespace check
