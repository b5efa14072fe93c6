// Names written twice in one object (W209): the JSON library keeps the last, and nothing says that the others are
// lost. RapidJSON's reader sees every occurrence.
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "CheckInternal.h"
#include "Positions.h"
#include "config/ConfigAccess.h"

namespace check::detail {
namespace {

// What a repeated name loses, as short as it can say it: the path of a labelled member, or the text itself.
std::string LostValue(const std::string& bytes, Span span) {
  constexpr std::size_t kParsedAtMost = 4096;
  constexpr std::size_t kShownAtMost = 120;
  const std::string_view raw(bytes.data() + span.begin, span.end - span.begin);
  if (raw.size() <= kParsedAtMost) {
    const auto value = nlohmann::json::parse(raw, nullptr, false);
    if (value.is_object()) {
      const auto blueprint = value.find(config::kBlueprintKey);
      if (blueprint != value.end() && blueprint->is_string()) return Quote(blueprint->get<std::string>());
    }
  }
  std::string collapsed;
  for (const char c : raw.substr(0, kShownAtMost)) {
    if (!IsJsonSpace(c)) {
      collapsed += c;
    } else if (!collapsed.empty() && collapsed.back() != ' ') {
      collapsed += ' ';
    }
  }
  if (raw.size() > kShownAtMost) collapsed += "...";
  return Printable(collapsed);
}

}  // namespace

void ReviewRepeats(const Positions& positions, Report& report) {
  for (const auto& repeat : positions.Repeats()) {
    std::vector<std::size_t> offsets;
    for (const auto& key : repeat.keys) offsets.push_back(key.begin);
    const auto places = positions.Places(offsets);
    // Lines alone, unless two occurrences share one.
    bool shared = false;
    for (std::size_t i = 1; i < places.size(); ++i) shared = shared || places[i].line == places[i - 1].line;
    const auto at = [&](const Place& place) {
      return shared ? fmt::format("{}:{}", place.line, place.column) : std::to_string(place.line);
    };
    std::string lines;
    for (const auto& place : places) {
      if (!lines.empty()) lines.append(Pick(text::kLineSeparator, report.language));
      lines.append(at(place));
    }
    const std::string object =
        repeat.object.empty() ? Pick(text::kTopLevel, report.language) : Quote(Pointer(repeat.object));
    std::string lost;
    for (std::size_t i = 0; i + 1 < repeat.keys.size(); ++i) {
      if (!lost.empty()) lost.push_back(' ');
      lost += report.Say(text::kLost, fmt::arg("line", at(places[i])),
                         fmt::arg("value", LostValue(positions.Bytes(), repeat.values[i])));
    }
    std::vector<std::string> tokens = repeat.object;
    tokens.push_back(repeat.name);
    for (std::size_t i = 0; i < repeat.keys.size(); ++i) {
      report.Add(
          Code::W209, Anchor::At(repeat.keys[i].begin, tokens),
          report.Say(text::kRepeatedName, fmt::arg("name", Quote(repeat.name)), fmt::arg("count", repeat.keys.size()),
                     fmt::arg("object", object), fmt::arg("lines", lines), fmt::arg("kept", at(places.back()))),
          lost);
    }
  }
}

}  // namespace check::detail
