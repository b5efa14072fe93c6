// Building findings: pointers, quoted texts, kinds and near-miss names.
#include <algorithm>
#include <cctype>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <utf8cpp/utf8.h>

#include "CheckInternal.h"

namespace check::detail {
namespace {

constexpr std::size_t kQuotedBytes = 120;
constexpr std::size_t kLongestNearName = 64;
constexpr std::size_t kMostEdits = 3;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// Edits between two names.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), std::size_t{0});
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The first `bytes` bytes or fewer, ending where a UTF-8 sequence starts.
std::string_view Head(std::string_view text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

void Report::Add(Code code, Anchor anchor, std::string message, std::string effect, std::vector<std::string> log) {
  const CodeInfo& info = Info(code);
  findings.push_back({info.severity, info.code, 0, 0, Pointer(anchor.tokens),
                      std::move(message), std::move(effect), std::move(log)});
  anchors.push_back(std::move(anchor));
}

std::string Pointer(const std::vector<std::string>& tokens) {
  std::string pointer;
  for (const std::string& token : tokens) {
    pointer += '/';
    for (const char c : token) {
      if (c == '~') {
        pointer += "~0";
      } else if (c == '/') {
        pointer += "~1";
      } else {
        pointer += c;
      }
    }
  }
  return pointer;
}

std::string Shortened(std::string_view text, std::size_t bytes, Language language) {
  const std::string_view head = Head(text, bytes);
  if (head.size() == text.size()) return std::string(text);
  return std::string(head) +
         fmt::format(fmt::runtime(Pick(text::kMoreBytes, language)), fmt::arg("count", text.size() - head.size()));
}

std::string Printable(const std::string& text) {
  if (utf8::find_invalid(text.begin(), text.end()) == text.end()) return text;
  return utf8::replace_invalid(text);
}

std::string Quote(std::string_view text) {
  const std::string_view head = Head(text, kQuotedBytes);
  std::string quoted = nlohmann::json(std::string(head)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (head.size() != text.size()) quoted += "...";
  return quoted;
}

std::string KindOf(const nlohmann::json& value, Language language) {
  switch (value.type()) {
    case nlohmann::json::value_t::null:
      return Pick(text::kNull, language);
    case nlohmann::json::value_t::object:
      return Pick(text::kObject, language);
    case nlohmann::json::value_t::array:
      return Pick(text::kArray, language);
    case nlohmann::json::value_t::string:
      return Pick(text::kString, language);
    case nlohmann::json::value_t::boolean:
      return Pick(text::kBoolean, language);
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
      return Pick(text::kNumber, language);
    default:
      return fmt::format(fmt::runtime(Pick(text::kOtherKind, language)), fmt::arg("kind", value.type_name()));
  }
}

std::string NearestName(std::string_view name, std::initializer_list<std::string_view> known) {
  if (name.size() > kLongestNearName) return {};
  // Letter case aside: "destroylist" is as near to "Destroylist" as a name can be.
  const std::string lower = Lower(name);
  std::string nearest;
  std::size_t best = kMostEdits + 1;
  for (const std::string_view candidate : known) {
    const std::size_t apart =
        name.size() > candidate.size() ? name.size() - candidate.size() : candidate.size() - name.size();
    if (apart > kMostEdits) continue;
    const std::size_t distance = Distance(lower, Lower(candidate));
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

}  // namespace check::detail
