// Configured blueprint paths against the forms the game's derivations can give.
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "CheckInternal.h"
#include "host/BlueprintForm.h"

namespace check::detail {
namespace {

constexpr std::string_view kPrefix = blueprint::kOpen;
constexpr std::string_view kClose = blueprint::kClose;
constexpr std::string_view kSuffix = blueprint::kGeneratedSuffix;
constexpr std::string_view kDefault = blueprint::kRemovedPart;

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsJsonSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsJsonSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view start) {
  if (text.size() < start.size()) return false;
  return std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

std::string WithoutDefault(std::string_view text) { return blueprint::WithoutRemovedPart(text); }

// The path most likely meant: the wrapper written exactly once, no whitespace, no "Default__", no final "_C".
std::string Suggestion(std::string_view text) {
  std::string_view inner = Trimmed(text);
  if (StartsWithIgnoringCase(inner, kPrefix)) inner.remove_prefix(kPrefix.size());
  if (inner.ends_with(kClose)) inner.remove_suffix(kClose.size());
  std::string path = WithoutDefault(Trimmed(inner));
  if (path.size() > kSuffix.size() && path.ends_with(kSuffix)) path.resize(path.size() - kSuffix.size());
  if (path.empty()) return {};
  std::string suggestion = std::string(kPrefix) + path + std::string(kClose);
  return suggestion == text ? std::string() : suggestion;
}

PathReview Never(std::string reason, std::string_view text) {
  return {PathReview::Verdict::Never, std::move(reason), Suggestion(text)};
}

PathReview Unlikely(std::string reason, std::string_view text) {
  return {PathReview::Verdict::Unlikely, std::move(reason), Suggestion(text)};
}

}  // namespace

bool CanBeDerived(std::string_view text) {
  if (text.empty()) return true;
  return text.size() > kPrefix.size() && text.starts_with(kPrefix) && text.ends_with(kClose);
}

PathReview ReviewPath(std::string_view text, PathFamily family) {
  const bool item = family == PathFamily::Item;
  if (text.empty()) {
    return {PathReview::Verdict::Empty,
            item ? "the empty path matches only an item whose class's default object has a full name without a space, "
                   "which no real item has"
                 : "the empty path matches only a creature without a class, which no real creature is",
            {}};
  }
  if (!CanBeDerived(text)) {
    const std::string_view trimmed = Trimmed(text);
    if (trimmed != text && !trimmed.empty() && CanBeDerived(trimmed)) {
      return Never(IsJsonSpace(text.front()) ? "it starts with whitespace before Blueprint'"
                                             : "it ends with whitespace after the closing '",
                   text);
    }
    if (!text.starts_with(kPrefix)) {
      if (StartsWithIgnoringCase(text, kPrefix)) {
        return Never("it starts with " + Quote(text.substr(0, kPrefix.size())) +
                         ": the paths start with Blueprint' exactly, compared letter case and all",
                     text);
      }
      return Never("it lacks the Blueprint'...' wrapper that every derived path has", text);
    }
    if (!text.ends_with(kClose)) return Never("it does not end with the closing '", text);
    return Never("it holds nothing but Blueprint'", text);
  }

  const std::string_view inner = text.substr(kPrefix.size(), text.size() - kPrefix.size() - kClose.size());
  if (inner.ends_with(kSuffix)) {
    return Unlikely(item ? "it ends in _C': the game drops a class's final _C when it derives an item's path, so "
                           "this matches only a class whose name ends in _C_C"
                         : "it ends in _C': a creature's path drops the last two characters of its class "
                           "reference (Name_C), so this matches only a reference ending in _C_C",
                    text);
  }
  if (inner.find(kDefault) != std::string_view::npos) {
    return Unlikely(item ? "it contains Default__: the game removes every Default__ from an item's path, so this "
                           "matches only a name in which a removal joins the text into a new Default__"
                         : "it contains Default__: a creature's path comes from its class reference, which names "
                           "the class, not its default object",
                    text);
  }
  if (!inner.empty() && (IsJsonSpace(inner.front()) || IsJsonSpace(inner.back()))) {
    return Unlikely("it has whitespace just inside the quotes, which no game path has", text);
  }
  return {};
}

}  // namespace check::detail
