// What the checker's parts share: building findings in the chosen language, the review of blueprint paths, and the
// reviews the driver runs.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Catalogue.h"
#include "Check.h"
#include "Codes.h"

namespace check::detail {

inline const char* Pick(const text::Text& text, Language language) {
  return language == Language::Chinese ? text.zh : text.en;
}

// Where a finding stands in the file: the value (or the key) that `tokens` lead to, or a byte offset.
struct Anchor {
  Anchor() = default;
  Anchor(std::vector<std::string> path, bool atKey = false) : tokens(std::move(path)), key(atKey) {}
  static Anchor At(std::size_t offset, std::vector<std::string> path = {}) {
    Anchor anchor(std::move(path), true);
    anchor.offset = offset;
    return anchor;
  }

  std::vector<std::string> tokens;
  bool key = false;
  std::optional<std::size_t> offset;
  std::optional<std::string> fix;  // the string the value or key is certainly meant to be
};

// The findings of one check, each made from its row of the code table, and where each stands.
struct Report {
  explicit Report(Language chosen) : language(chosen) {}

  // A text of the catalogue with its named fields filled in: Say(text::kListMissing, fmt::arg("list", ...)).
  template <typename... Fields>
  std::string Say(const text::Text& text, Fields&&... fields) const {
    return fmt::format(fmt::runtime(Pick(text, language)), std::forward<Fields>(fields)...);
  }
  void Add(Code code, Anchor anchor, std::string message, std::string effect = {}, LogLines log = {});

  Language language;
  Findings findings;
  std::vector<Anchor> anchors;
};

// The whitespace JSON allows between tokens.
inline bool IsJsonSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// RFC 6901: "/" before each token, "~" written "~0" and "/" written "~1".
std::string Pointer(const std::vector<std::string>& tokens);
// The text cut after `bytes` bytes (never inside a UTF-8 sequence), saying how much was left out.
std::string Shortened(std::string_view text, std::size_t bytes, Language language = Language::English);
// The text with bytes that are not UTF-8 replaced by U+FFFD.
std::string Printable(const std::string& text);
// A text as a JSON string literal, shortened to a readable length; bytes that are not UTF-8 become U+FFFD.
std::string Quote(std::string_view text);
// "a number", "an object", "null", ...
std::string KindOf(const nlohmann::json& value, Language language);
// The known name closest to `name` when it is plausibly a misspelling of it (a view of that element of `known`);
// empty otherwise.
std::string_view NearestName(std::string_view name, std::initializer_list<std::string_view> known);

// Which derivation a configured path is compared with: an item's object path or a creature's class path.
enum class PathFamily { Item, Creature };

struct PathReview {
  enum class Verdict { Fine, Empty, Never, Unlikely };
  Verdict verdict = Verdict::Fine;
  std::string reason;      // why, in plain words, in the report's language
  std::string suggestion;  // the path probably meant, when one can be guessed
  bool certain = false;    // the suggestion only drops what no game path holds: a final _C, Default__, whitespace
};

// Whether some game object's derived path can be exactly this text: the empty text (an object without a path)
// or "Blueprint'", at least one more character, and a closing "'". Both derivations give only such texts.
bool CanBeDerived(std::string_view text);
PathReview ReviewPath(std::string_view text, PathFamily family, Language language);

// Walks the parsed document as the hooks do and reviews what the walks accept without a word: the item list, the
// creature list, the level list, then the names beside them. A walk may add null members to a member it fails on.
void AnalyseDocument(nlohmann::json& document, Report& report);

class Positions;
// Names written more than once in one object (W209), which the plug-in's reading keeps only the last of.
void ReviewRepeats(const Positions& positions, Report& report);

}  // namespace check::detail
