// What the checker's parts share: building findings, and the review of blueprint path texts.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "Check.h"

namespace check::detail {

void Add(Findings& findings, Severity severity, std::string code, std::string pointer, std::string message,
         std::string effect = {}, std::vector<std::string> log = {});

// RFC 6901: "/" before each token, "~" written "~0" and "/" written "~1".
// The whitespace JSON allows between tokens.
inline bool IsJsonSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string Pointer(std::initializer_list<std::string_view> tokens);
// The text cut after `bytes` bytes (never inside a UTF-8 sequence), saying how much was left out.
std::string Shortened(std::string_view text, std::size_t bytes);
// A text as a JSON string literal, shortened to a readable length; bytes that are not UTF-8 become U+FFFD.
std::string Quote(std::string_view text);
// "a number", "an object", "null", ... in the JSON library's names of the kinds.
std::string KindOf(const nlohmann::json& value);
// The known name closest to `name` when it is plausibly a misspelling of it; empty otherwise.
std::string NearestName(std::string_view name, std::initializer_list<std::string_view> known);

// Which derivation a configured path is compared with: an item's object path or a creature's class path.
enum class PathFamily { Item, Creature };

struct PathReview {
  enum class Verdict { Fine, Empty, Never, Unlikely };
  Verdict verdict = Verdict::Fine;
  std::string reason;      // why, in plain words
  std::string suggestion;  // the path probably meant, when one can be guessed
};

// Whether some game object's derived path can be exactly this text: the empty text (an object without a path)
// or "Blueprint'", at least one more character, and a closing "'". Both derivations give only such texts.
bool CanBeDerived(std::string_view text);
PathReview ReviewPath(std::string_view text, PathFamily family);

// Walks the parsed document as the hooks do and reviews what the walks accept without a word.
void AnalyseDocument(nlohmann::json& document, Findings& findings);

}  // namespace check::detail
