// The world snapshot the console's page draws, and the fingerprint that tells it when to ask again.
#include "sandbox/console/WorldJson.h"

#include <nlohmann/json.hpp>

#include "host/BlueprintForm.h"
#include "sandbox/host/Text.h"

namespace sandbox::console {
namespace {

using game::GameObject;
using game::Kind;
using nlohmann::json;

bool IsEngineClass(const GameObject* cls) { return game::ReferenceOf(cls).rfind("/Script/ShooterGame.", 0) == 0; }

const char* KindName(const GameObject* cls) {
  switch (game::InstanceKindOf(cls)) {
    case Kind::Item:
      return "item";
    case Kind::Structure:
      return "structure";
    case Kind::Creature:
      return "creature";
    default:
      return "other";
  }
}

std::string PathFor(const GameObject* cls, std::string_view kind) {
  if (cls == nullptr) return {};
  return kind == "creature" ? CreaturePathOf(cls) : game::BlueprintPathOf(cls);
}

void Mix(std::uint64_t& hash, std::uint64_t value) {
  // FNV-1a over the value's bytes.
  for (int i = 0; i < 8; ++i) {
    hash ^= (value >> (i * 8)) & 0xFF;
    hash *= 1099511628211ULL;
  }
}

}  // namespace

std::string CreaturePathOf(const GameObject* cls) {
  const std::u16string reference = Utf8ToUtf16(game::ReferenceOf(cls));
  return blueprint::Wrapped(Utf16ToUtf8(blueprint::PathOfClassReference(std::u16string_view(reference))));
}

std::uint64_t ObjectIds::Of(const GameObject* object) {
  const auto [entry, added] = ids_.try_emplace(object, next_);
  if (added) ++next_;
  return entry->second;
}

std::string WorldSnapshotJson(ObjectIds& ids, std::uint64_t version, bool pluginLoaded) {
  json classes = json::array();
  for (const GameObject* cls : game::Classes()) {
    if (IsEngineClass(cls)) continue;
    const std::string kind = KindName(cls);
    const GameObject* builds = game::StructureToBuildOf(cls);
    classes.push_back({{"name", game::NameOf(cls)},
                       {"kind", kind},
                       {"path", PathFor(cls, kind)},
                       {"builds", builds != nullptr ? json(game::NameOf(builds)) : json(nullptr)}});
  }
  json creatures = json::array();
  json structures = json::array();
  const auto addActor = [&](const GameObject* actor, bool persistent) {
    if (actor == nullptr) return;
    const std::string className = actor->cls != nullptr ? game::NameOf(actor->cls) : std::string();
    if (game::KindOf(actor) == Kind::Creature) {
      const GameObject* status = actor->statusComponent;
      creatures.push_back({{"id", ids.Of(actor)},
                           {"class", className},
                           {"path", PathFor(actor->cls, "creature")},
                           {"level", status != nullptr ? json(status->baseCharacterLevel) : json(nullptr)},
                           {"team", actor->targetingTeam},
                           {"status", status != nullptr},
                           {"persistent", persistent}});
    } else if (game::KindOf(actor) == Kind::Structure) {
      structures.push_back({{"id", ids.Of(actor)},
                            {"class", className},
                            {"path", PathFor(actor->cls, "structure")},
                            {"persistent", persistent}});
    }
  };
  // The purge commands walk the persistent level only; the rest is listed so the page shows what they spare.
  for (const GameObject* actor : game::LevelActors()) addActor(actor, true);
  for (const GameObject* actor : game::ActorsOutsideLevel()) addActor(actor, false);
  json inventories = json::array();
  for (const GameObject* inventory : game::Inventories()) {
    json items = json::array();
    for (const GameObject* item : game::Items(inventory)) {
      if (item == nullptr) continue;
      items.push_back({{"id", ids.Of(item)},
                       {"class", item->cls != nullptr ? game::NameOf(item->cls) : std::string()},
                       {"path", PathFor(item->cls, "item")}});
    }
    inventories.push_back({{"id", ids.Of(inventory)}, {"name", game::NameOf(inventory)}, {"items", std::move(items)}});
  }
  const json world = {{"version", version},
                      {"classes", std::move(classes)},
                      {"creatures", std::move(creatures)},
                      {"structures", std::move(structures)},
                      {"inventories", std::move(inventories)},
                      {"plugin", {{"loaded", pluginLoaded}}}};
  return world.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::uint64_t WorldFingerprint() {
  std::uint64_t hash = 14695981039346656037ULL;
  Mix(hash, game::Classes().size());
  for (const GameObject* actor : game::LevelActors()) Mix(hash, reinterpret_cast<std::uintptr_t>(actor));
  for (const GameObject* inventory : game::Inventories()) {
    Mix(hash, reinterpret_cast<std::uintptr_t>(inventory));
    for (const GameObject* item : game::Items(inventory)) Mix(hash, reinterpret_cast<std::uintptr_t>(item));
  }
  return hash;
}

}  // namespace sandbox::console
