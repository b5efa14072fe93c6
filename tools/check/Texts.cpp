// Building findings: pointers, quoted texts, kinds and near-miss names.
#include <algorithm>
#include <cctype>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

void Add(Findings& findings, Severity severity, std::string code, std::string pointer, std::string message,
         std::string effect, std::vector<std::string> log) {
  findings.push_back(
      {severity, std::move(code), std::move(pointer), std::move(message), std::move(effect), std::move(log)});
}

std::string Pointer(std::initializer_list<std::string_view> tokens) {
  nlohmann::json::json_pointer pointer;
  for (const std::string_view token : tokens) pointer /= std::string(token);
  return pointer.to_string();
}

std::string Shortened(std::string_view text, std::size_t bytes) {
  const std::string_view head = Head(text, bytes);
  if (head.size() == text.size()) return std::string(text);
  return std::string(head) + "... (" + std::to_string(text.size() - head.size()) + " more bytes)";
}

std::string Quote(std::string_view text) {
  const std::string_view head = Head(text, kQuotedBytes);
  std::string quoted = nlohmann::json(std::string(head)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (head.size() != text.size()) quoted += "...";
  return quoted;
}

std::string KindOf(const nlohmann::json& value) {
  if (value.is_null()) return "null";
  const std::string name = value.type_name();
  return (name == "object" || name == "array" ? "an " : "a ") + name;
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
