// The form the derivations give a blueprint path: Blueprint'<path>', without a generated class's final "_C" and
// without any "Default__". Host-free, so the configuration checker holds written paths against the same form and
// the simulated game names its classes by it; each rule works on UTF-8 and on the game's UTF-16 units alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace blueprint {

inline constexpr std::string_view kOpen = "Blueprint'";
inline constexpr std::string_view kClose = "'";
inline constexpr std::string_view kGeneratedSuffix = "_C";
inline constexpr std::string_view kRemovedPart = "Default__";

// Blueprint'<path>', in UTF-8.
inline std::string Wrapped(std::string_view path) { return std::string(kOpen).append(path).append(kClose); }

// The same texts in either code unit; all of them are ASCII.
template <typename Char>
struct Texts;
template <>
struct Texts<char> {
  static constexpr std::string_view removedPart = kRemovedPart;
  static constexpr std::string_view generatedSuffix = kGeneratedSuffix;
};
template <>
struct Texts<char16_t> {
  static constexpr std::u16string_view removedPart = u"Default__";
  static constexpr std::u16string_view generatedSuffix = u"_C";
};

// Hands `append` the pieces of `text` between the occurrences of "Default__", in one left-to-right pass: an
// occurrence formed only by joining the neighbours of a removal stays.
template <typename Char, typename Append>
void ForEachPartWithoutRemoved(std::basic_string_view<Char> text, Append append) {
  constexpr auto removed = Texts<Char>::removedPart;
  for (std::size_t at = 0;;) {
    const std::size_t found = text.find(removed, at);
    if (found == std::basic_string_view<Char>::npos) {
      append(text.substr(at));
      return;
    }
    append(text.substr(at, found - at));
    at = found + removed.size();
  }
}

template <typename Char>
std::basic_string<Char> WithoutRemovedPart(std::basic_string_view<Char> text) {
  std::basic_string<Char> kept;
  ForEachPartWithoutRemoved(text, [&](std::basic_string_view<Char> part) { kept.append(part); });
  return kept;
}

// The object path in a default object's full name ("Crate_C /Game/Crate.Default__Crate_C"): what follows the first
// space, without a generated class's final "_C". None when the name has no space.
template <typename Char>
std::optional<std::basic_string_view<Char>> PathOfFullName(std::basic_string_view<Char> fullName) {
  const std::size_t space = fullName.find(Char{' '});
  if (space == std::basic_string_view<Char>::npos) return std::nullopt;
  std::basic_string_view<Char> path = fullName.substr(space + 1);
  if (path.ends_with(Texts<Char>::generatedSuffix)) path.remove_suffix(Texts<Char>::generatedSuffix.size());
  return path;
}

// The path in a class reference ("/Game/Rex.Rex_C"): the reference without its last two characters, whatever they
// are; a reference of two characters or fewer gives the empty path.
template <typename Char>
std::basic_string_view<Char> PathOfClassReference(std::basic_string_view<Char> reference) {
  return reference.size() > 2 ? reference.substr(0, reference.size() - 2) : std::basic_string_view<Char>{};
}

}  // namespace blueprint
