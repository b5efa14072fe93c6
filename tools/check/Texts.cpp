// The texts findings are built from: quoted and shortened texts, kinds of value and near-miss names.
#include <algorithm>
#include <array>
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

// Edits between two names, letter case aside, counted only up to `limit`: limit + 1 when they are further apart.
// Only cells within `limit` of the diagonal can lie on a path that cheap, and NearestName compares only names no
// longer than kLongestNearName a few edits apart, so the lowered names and one row fit on the stack: every key of
// every faulty member comes here.
std::size_t Distance(std::string_view a, std::string_view b, std::size_t limit) {
  constexpr std::size_t kLongest = kLongestNearName + kMostEdits;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  const auto same = [&](char x, char y) { return lower(x) == lower(y); };
  // What both share at either end costs no edit; most near misses differ in a letter or two.
  while (!a.empty() && !b.empty() && same(a.front(), b.front())) {
    a.remove_prefix(1);
    b.remove_prefix(1);
  }
  while (!a.empty() && !b.empty() && same(a.back(), b.back())) {
    a.remove_suffix(1);
    b.remove_suffix(1);
  }
  std::array<char, kLongest> lowerA{};
  std::array<char, kLongest> lowerB{};
  std::transform(a.begin(), a.end(), lowerA.begin(), lower);
  std::transform(b.begin(), b.end(), lowerB.begin(), lower);
  const std::size_t beyond = limit + 1;
  std::array<std::size_t, kLongest + 1> row{};
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = std::min(j, beyond);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    const std::size_t first = i > limit ? i - limit : 1;
    const std::size_t last = std::min(b.size(), i + limit);
    if (first > last) return beyond;
    std::size_t diagonal = row[first - 1];
    row[first - 1] = first == 1 ? std::min(i, beyond) : beyond;
    std::size_t least = row[first - 1];
    for (std::size_t j = first; j <= last; ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (lowerA[i - 1] == lowerB[j - 1] ? 0 : 1), beyond});
      diagonal = above;
      least = std::min(least, row[j]);
    }
    if (least >= beyond) return beyond;
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
  // Most labels and paths are plain printable ASCII, which a JSON string literal holds as written.
  const bool plain =
      std::all_of(head.begin(), head.end(), [](char c) { return c >= ' ' && c <= '~' && c != '"' && c != '\\'; });
  if (plain) {
    std::string quoted;
    quoted.reserve(head.size() + 5);
    quoted.append(1, '"').append(head).append(1, '"');
    if (head.size() != text.size()) quoted += "...";
    return quoted;
  }
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

std::string_view NearestName(std::string_view name, std::initializer_list<std::string_view> known) {
  if (name.size() > kLongestNearName) return {};
  // Letter case aside: "destroylist" is as near to "Destroylist" as a name can be.
  std::string_view nearest;
  std::size_t best = kMostEdits + 1;
  for (const std::string_view candidate : known) {
    const std::size_t apart =
        name.size() > candidate.size() ? name.size() - candidate.size() : candidate.size() - name.size();
    if (apart > kMostEdits) continue;
    const std::size_t distance = Distance(name, candidate, kMostEdits);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

}  // namespace check::detail
