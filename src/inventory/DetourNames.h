// The inventory detours' names as their failure lines give them; the configuration checker quotes the same lines.
#pragma once

namespace detours {

inline constexpr const char* kViewRemoteInventory = "OnViewRemoteInventory";
inline constexpr const char* kAddToInventory = "OnAddToInventory";
inline constexpr const char* kFinishedReceivingItems = "OnFinishedReceivingItems";

}  // namespace detours
