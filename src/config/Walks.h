// The walks the hooks run over a configuration document, in place, with the JSON library's own failures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "config/ConfigAccess.h"

namespace config {

enum class AfterMatch { Continue, Stop };

// Visits "Destroylist" in key order and calls `onMatch` for every member whose "Blueprint" equals `blueprint`,
// until it answers Stop. Reads through the mutable subscript, so a missing list or "Blueprint" is added as null.
template <typename OnMatch>
void WalkDestroylist(nlohmann::json& document, std::string_view blueprint, OnMatch&& onMatch) {
  nlohmann::json& list = MutableMember(document, kItemListKey);
  for (auto entry = list.begin(); entry != list.end(); ++entry) {
    // Looking the member up again by its key would find this very element; key() still fails on non-objects.
    (void)entry.key();
    if (BlueprintOf(entry.value()) != blueprint) continue;
    if (onMatch() == AfterMatch::Stop) return;
  }
}

// Visits "DestroyDinolist" as a copy of it would be visited, so the document is not changed, and calls
// `onMatch` for every member whose "Blueprint" equals `blueprint`.
template <typename OnMatch>
void WalkDinolist(const nlohmann::json& document, std::string_view blueprint, OnMatch&& onMatch) {
  if (!document.is_object()) {
    throw nlohmann::json::type_error::create(306, std::string("cannot use value() with ") + document.type_name(),
                                             nullptr);
  }
  const auto list = document.find(kCreatureListKey);
  if (list == document.end()) return;
  for (auto member = list->cbegin(); member != list->cend(); ++member) {
    (void)member.key();
    if (BlueprintOfCopy(member.value()) == blueprint) onMatch();
  }
}

// The level check: true when the creature's base level reaches the threshold of its "DestroyDinoLevel" entry.
// `readLevel` gives the creature's base level, or null when it has no status component; the level is read before
// the threshold, so a creature without one leaves its entry untouched whatever the entry holds.
template <typename ReadLevel>
bool LevelReached(nlohmann::json& document, std::string_view blueprint, ReadLevel&& readLevel) {
  nlohmann::json& levels = MutableMember(document, kLevelListKey);
  if (!levels.is_object()) return false;
  const auto found = levels.find(blueprint);
  if (found == levels.end()) return false;
  const std::int32_t* baseLevel = readLevel();
  if (baseLevel == nullptr) return false;
  return *baseLevel >= ThresholdOf(MutableMember(*found, kThresholdKey));
}

}  // namespace config
