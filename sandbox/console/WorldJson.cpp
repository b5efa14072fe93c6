// The world snapshot the console's page draws, and the fingerprint that tells it when to ask again.
#include "sandbox/console/WorldJson.h"

#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "host/BlueprintForm.h"
#include "sandbox/console/JsonText.h"
#include "sandbox/host/Text.h"

namespace sandbox::console {
namespace {

using game::GameObject;
using game::Kind;

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

// Each class's name and path as JSON text, made once per snapshot however many objects share the class: deriving
// a path is the costly part of a row.
class ClassTexts {
 public:
  // `"class":"<name>","path":"<path>"` for an object of `cls`, a creature's path or another object's.
  const std::string& Of(const GameObject* cls, bool creature) {
    const auto [entry, added] = texts_.try_emplace({cls, creature});
    if (!added) return entry->second;
    std::string& text = entry->second;
    text += "\"class\":";
    AppendJsonString(text, cls != nullptr ? game::NameOf(cls) : std::string());
    text += ",\"path\":";
    AppendJsonString(text, PathFor(cls, creature ? "creature" : "item"));
    return text;
  }

 private:
  std::map<std::pair<const GameObject*, bool>, std::string> texts_;
};

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

std::string WorldSnapshotJson(ObjectIds& ids, std::uint64_t version, bool pluginLoaded,
                              std::optional<std::size_t> firstRows) {
  const bool partial = firstRows.has_value();
  const std::size_t limit = firstRows.value_or(std::numeric_limits<std::size_t>::max());
  const std::vector<GameObject*> levelActors = game::LevelActors();
  const std::vector<GameObject*> outsideActors = game::ActorsOutsideLevel();
  const std::vector<GameObject*> inventories = game::Inventories();
  ClassTexts texts;
  std::map<const GameObject*, std::size_t> perClass;

  std::string creatures = "[";
  std::string structures = "[";
  std::size_t creatureCount = 0;
  std::size_t structureCount = 0;
  if (!partial) {
    creatures.reserve(160 * levelActors.size());
    structures.reserve(100 * levelActors.size());
  }
  const auto addActor = [&](const GameObject* actor, bool persistent) {
    if (actor == nullptr) return;
    const Kind kind = game::KindOf(actor);
    if (kind != Kind::Creature && kind != Kind::Structure) return;
    if (partial) ++perClass[actor->cls];
    if (kind == Kind::Creature) {
      if (creatureCount++ >= limit) return;
      if (creatureCount > 1) creatures += ',';
      const GameObject* status = actor->statusComponent;
      creatures += "{\"id\":";
      AppendJsonNumber(creatures, ids.Of(actor));
      creatures += ',';
      creatures += texts.Of(actor->cls, true);
      creatures += ",\"level\":";
      if (status != nullptr) {
        AppendJsonNumber(creatures, status->baseCharacterLevel);
      } else {
        creatures += "null";
      }
      creatures += ",\"team\":";
      AppendJsonNumber(creatures, actor->targetingTeam);
      creatures += ",\"status\":";
      AppendJsonBool(creatures, status != nullptr);
      creatures += ",\"persistent\":";
      AppendJsonBool(creatures, persistent);
      creatures += '}';
      return;
    }
    if (structureCount++ >= limit) return;
    if (structureCount > 1) structures += ',';
    structures += "{\"id\":";
    AppendJsonNumber(structures, ids.Of(actor));
    structures += ',';
    structures += texts.Of(actor->cls, false);
    structures += ",\"persistent\":";
    AppendJsonBool(structures, persistent);
    structures += '}';
  };
  // The purge commands walk the persistent level only; the rest is listed so the page shows what they spare.
  for (const GameObject* actor : levelActors) addActor(actor, true);
  for (const GameObject* actor : outsideActors) addActor(actor, false);
  creatures += ']';
  structures += ']';

  std::string out;
  out.reserve(creatures.size() + structures.size() + (partial ? 16 * 1024 : 120 * 10 * inventories.size()));
  out += "{\"version\":";
  AppendJsonNumber(out, version);
  out += ",\"creatures\":";
  out += creatures;
  out += ",\"structures\":";
  out += structures;
  out += ",\"inventories\":[";
  std::size_t inventoryCount = 0;
  std::size_t itemCount = 0;
  for (const GameObject* inventory : inventories) {
    const std::vector<GameObject*> items = game::Items(inventory);
    const bool listed = inventoryCount++ < limit;
    if (listed) {
      if (inventoryCount > 1) out += ',';
      out += "{\"id\":";
      AppendJsonNumber(out, ids.Of(inventory));
      out += ",\"name\":";
      AppendJsonString(out, game::NameOf(inventory));
      out += ",\"items\":[";
    }
    std::size_t inThisOne = 0;
    for (const GameObject* item : items) {
      if (item == nullptr) continue;
      ++inThisOne;
      if (partial) ++perClass[item->cls];
      if (!listed || itemCount++ >= limit) continue;
      if (out.back() != '[') out += ',';
      out += "{\"id\":";
      AppendJsonNumber(out, ids.Of(item));
      out += ',';
      out += texts.Of(item->cls, false);
      out += '}';
    }
    if (!partial && listed) out += "]}";
    if (partial && listed) {
      out += "],\"count\":";
      AppendJsonNumber(out, inThisOne);
      out += '}';
    }
    if (partial && !listed) itemCount += inThisOne;
  }
  out += ']';

  // The page counts objects by class name, so the counts here are by name too.
  std::map<std::string_view, std::size_t> perName;
  for (const auto& [cls, count] : perClass) perName[cls != nullptr ? game::NameOf(cls) : std::string_view()] += count;
  out += ",\"classes\":[";
  bool firstClass = true;
  for (const GameObject* cls : game::Classes()) {
    if (IsEngineClass(cls)) continue;
    if (!firstClass) out += ',';
    firstClass = false;
    const char* kind = KindName(cls);
    const GameObject* builds = game::StructureToBuildOf(cls);
    out += "{\"name\":";
    AppendJsonString(out, game::NameOf(cls));
    out += ",\"kind\":";
    AppendJsonString(out, kind);
    out += ",\"path\":";
    AppendJsonString(out, PathFor(cls, kind));
    out += ",\"builds\":";
    if (builds != nullptr) {
      AppendJsonString(out, game::NameOf(builds));
    } else {
      out += "null";
    }
    if (partial) {
      out += ",\"count\":";
      const auto found = perName.find(game::NameOf(cls));
      AppendJsonNumber(out, found != perName.end() ? found->second : 0);
    }
    out += '}';
  }
  out += ']';
  if (partial) {
    out += ",\"partial\":true,\"totals\":{\"creatures\":";
    AppendJsonNumber(out, creatureCount);
    out += ",\"structures\":";
    AppendJsonNumber(out, structureCount);
    out += ",\"inventories\":";
    AppendJsonNumber(out, inventoryCount);
    out += ",\"items\":";
    AppendJsonNumber(out, itemCount);
    out += '}';
  }
  out += ",\"plugin\":{\"loaded\":";
  AppendJsonBool(out, pluginLoaded);
  out += "}}";
  return out;
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
