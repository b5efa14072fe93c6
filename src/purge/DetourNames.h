// The spawn filter's detour name as its failure lines give it; the configuration checker quotes the same lines.
#pragma once

namespace detours {

inline constexpr const char* kDinoBeginPlay = "OnDinoBeginPlay";

}  // namespace detours
