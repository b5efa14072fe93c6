// The form the derivations give a blueprint path: Blueprint'<path>', without a generated class's final "_C" and
// without any "Default__". Host-free, so the configuration checker holds written paths against the same form.
#pragma once

#include <string_view>

namespace blueprint {

inline constexpr std::string_view kOpen = "Blueprint'";
inline constexpr std::string_view kClose = "'";
inline constexpr std::string_view kGeneratedSuffix = "_C";
inline constexpr std::string_view kRemovedPart = "Default__";
inline constexpr std::u16string_view kRemovedPartUnits = u"Default__";

}  // namespace blueprint
