// The world as the console shows it: one JSON snapshot with stable ids, and a cheap check for changes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "sandbox/game/GameWorld.h"

namespace sandbox::console {

// The blueprint path an administrator writes for a creature class: its reference without the last two characters.
std::string CreaturePathOf(const game::GameObject* cls);

// Ids for game objects, stable while the object lives and never handed out twice. Objects live until the world is
// rebuilt, which is when Forget() must be called.
class ObjectIds {
 public:
  std::uint64_t Of(const game::GameObject* object);
  void Forget() { ids_.clear(); }

 private:
  std::unordered_map<const game::GameObject*, std::uint64_t> ids_;
  std::uint64_t next_ = 1;
};

// Game thread. {"version", "classes", "creatures", "structures", "inventories", "plugin"}.
// With `firstRows`, a quick first answer for a page about to draw a large world: only the first that many creatures,
// structures, inventories and items in them are listed; each class carries its "count" of live objects, each
// inventory the "count" of its items, and "totals" counts {"creatures", "structures", "inventories", "items"}.
// "partial" is then true.
std::string WorldSnapshotJson(ObjectIds& ids, std::uint64_t version, bool pluginLoaded,
                              std::optional<std::size_t> firstRows = std::nullopt);

// Game thread. Differs whenever an actor enters or leaves the level, an item enters or leaves an inventory, or a
// class or inventory is made.
std::uint64_t WorldFingerprint();

}  // namespace sandbox::console
