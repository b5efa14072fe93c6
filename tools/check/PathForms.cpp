// Configured blueprint paths against the forms the game's derivations can give.
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include <fmt/format.h>

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
  return {PathReview::Verdict::Unlikely, std::move(reason), Suggestion(text), true};
}

}  // namespace

bool CanBeDerived(std::string_view text) {
  if (text.empty()) return true;
  return text.size() > kPrefix.size() && text.starts_with(kPrefix) && text.ends_with(kClose);
}

PathReview ReviewPath(std::string_view text, PathFamily family, Language language) {
  const bool item = family == PathFamily::Item;
  const auto say = [&](const text::Text& reason) { return std::string(Pick(reason, language)); };
  if (text.empty()) return {PathReview::Verdict::Empty, say(item ? text::kEmptyItem : text::kEmptyCreature), {}};
  if (!CanBeDerived(text)) {
    const std::string_view trimmed = Trimmed(text);
    if (trimmed != text && !trimmed.empty() && CanBeDerived(trimmed)) {
      PathReview review = Never(say(IsJsonSpace(text.front()) ? text::kLeadingSpace : text::kTrailingSpace), text);
      review.certain = true;
      return review;
    }
    if (!text.starts_with(kPrefix)) {
      if (StartsWithIgnoringCase(text, kPrefix)) {
        return Never(fmt::format(fmt::runtime(Pick(text::kPrefixCase, language)),
                                 fmt::arg("start", Quote(text.substr(0, kPrefix.size())))),
                     text);
      }
      return Never(say(text::kNoWrapper), text);
    }
    if (!text.ends_with(kClose)) return Never(say(text::kNoClose), text);
    return Never(say(text::kOnlyPrefix), text);
  }

  const std::string_view inner = text.substr(kPrefix.size(), text.size() - kPrefix.size() - kClose.size());
  if (inner.ends_with(kSuffix)) return Unlikely(say(item ? text::kItemSuffix : text::kCreatureSuffix), text);
  if (inner.find(kDefault) != std::string_view::npos) {
    return Unlikely(say(item ? text::kItemDefault : text::kCreatureDefault), text);
  }
  if (!inner.empty() && (IsJsonSpace(inner.front()) || IsJsonSpace(inner.back()))) {
    return Unlikely(say(text::kInnerSpace), text);
  }
  return {};
}

}  // namespace check::detail
