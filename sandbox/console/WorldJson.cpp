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

// One snapshot while it is written. A partial one lists the first `limit` objects of each kind and counts them all.
struct Snapshot {
  Snapshot(ObjectIds& objectIds, std::optional<std::size_t> firstRows)
      : ids(objectIds),
        limit(firstRows.value_or(std::numeric_limits<std::size_t>::max())),
        partial(firstRows.has_value()) {}

  ObjectIds& ids;
  const std::size_t limit;
  const bool partial;
  ClassTexts texts;
  std::map<const GameObject*, std::size_t> perClass;  // partial only
  std::string creatures;                              // the rows, without their brackets
  std::string structures;
  std::size_t creatureCount = 0;
  std::size_t structureCount = 0;
  std::size_t inventoryCount = 0;
  std::size_t itemCount = 0;
};

// Whether an object of this running count is listed; the counts go on past the limit.
bool Listed(const Snapshot& snapshot, std::size_t& count) { return count++ < snapshot.limit; }

// A row's opening: its id and its class's texts, which every creature and structure row begins with.
void OpenRow(std::string& out, Snapshot& snapshot, const GameObject* actor, bool creature) {
  if (!out.empty()) out += ',';
  out += "{\"id\":";
  AppendJsonNumber(out, snapshot.ids.Of(actor));
  out += ',';
  out += snapshot.texts.Of(actor->cls, creature);
}

void AppendCreature(std::string& out, Snapshot& snapshot, const GameObject* actor, bool persistent) {
  const GameObject* status = actor->statusComponent;
  OpenRow(out, snapshot, actor, true);
  out += ",\"level\":";
  if (status != nullptr) {
    AppendJsonNumber(out, status->baseCharacterLevel);
  } else {
    out += "null";
  }
  out += ",\"team\":";
  AppendJsonNumber(out, actor->targetingTeam);
  out += ",\"status\":";
  AppendJsonBool(out, status != nullptr);
  out += ",\"persistent\":";
  AppendJsonBool(out, persistent);
  out += '}';
}

void AppendStructure(std::string& out, Snapshot& snapshot, const GameObject* actor, bool persistent) {
  OpenRow(out, snapshot, actor, false);
  out += ",\"persistent\":";
  AppendJsonBool(out, persistent);
  out += '}';
}

void AddActor(Snapshot& snapshot, const GameObject* actor, bool persistent) {
  if (actor == nullptr) return;
  const Kind kind = game::KindOf(actor);
  if (kind != Kind::Creature && kind != Kind::Structure) return;
  if (snapshot.partial) ++snapshot.perClass[actor->cls];
  if (kind == Kind::Creature) {
    if (Listed(snapshot, snapshot.creatureCount)) AppendCreature(snapshot.creatures, snapshot, actor, persistent);
    return;
  }
  if (Listed(snapshot, snapshot.structureCount)) AppendStructure(snapshot.structures, snapshot, actor, persistent);
}

// An inventory past the limit is only counted; a listed one lists its items while the limit on items allows.
void AddInventory(std::string& out, Snapshot& snapshot, const GameObject* inventory) {
  const bool listed = Listed(snapshot, snapshot.inventoryCount);
  if (listed) {
    if (out.back() != '[') out += ',';
    out += "{\"id\":";
    AppendJsonNumber(out, snapshot.ids.Of(inventory));
    out += ",\"name\":";
    AppendJsonString(out, game::NameOf(inventory));
    out += ",\"items\":[";
  }
  std::size_t items = 0;
  for (const GameObject* item : game::Items(inventory)) {
    if (item == nullptr) continue;
    ++items;
    if (snapshot.partial) ++snapshot.perClass[item->cls];
    if (!Listed(snapshot, snapshot.itemCount) || !listed) continue;
    if (out.back() != '[') out += ',';
    out += "{\"id\":";
    AppendJsonNumber(out, snapshot.ids.Of(item));
    out += ',';
    out += snapshot.texts.Of(item->cls, false);
    out += '}';
  }
  if (!listed) return;
  out += ']';
  if (snapshot.partial) {
    out += ",\"count\":";
    AppendJsonNumber(out, items);
  }
  out += '}';
}

void AppendClasses(std::string& out, const Snapshot& snapshot) {
  // The page counts objects by class name, so the counts here are by name too.
  std::map<std::string_view, std::size_t> perName;
  for (const auto& [cls, count] : snapshot.perClass) {
    perName[cls != nullptr ? game::NameOf(cls) : std::string_view()] += count;
  }
  bool first = true;
  for (const GameObject* cls : game::Classes()) {
    if (IsEngineClass(cls)) continue;
    if (!first) out += ',';
    first = false;
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
    if (snapshot.partial) {
      out += ",\"count\":";
      const auto found = perName.find(game::NameOf(cls));
      AppendJsonNumber(out, found != perName.end() ? found->second : 0);
    }
    out += '}';
  }
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

std::string WorldSnapshotJson(ObjectIds& ids, std::uint64_t version, bool pluginLoaded,
                              std::optional<std::size_t> firstRows) {
  Snapshot snapshot(ids, firstRows);
  const std::vector<GameObject*> levelActors = game::LevelActors();
  if (!snapshot.partial) {
    snapshot.creatures.reserve(128 * levelActors.size());
    snapshot.structures.reserve(96 * levelActors.size());
  }
  // The purge commands walk the persistent level only; the rest is listed so the page shows what they spare.
  for (const GameObject* actor : levelActors) AddActor(snapshot, actor, true);
  for (const GameObject* actor : game::ActorsOutsideLevel()) AddActor(snapshot, actor, false);

  std::string out;
  out.reserve(snapshot.creatures.size() + snapshot.structures.size() + 64 * 1024);
  out += "{\"version\":";
  AppendJsonNumber(out, version);
  out += ",\"creatures\":[";
  out += snapshot.creatures;
  out += "],\"structures\":[";
  out += snapshot.structures;
  out += "],\"inventories\":[";
  for (const GameObject* inventory : game::Inventories()) AddInventory(out, snapshot, inventory);
  out += "],\"classes\":[";
  AppendClasses(out, snapshot);
  out += ']';
  if (snapshot.partial) {
    out += ",\"partial\":true,\"totals\":{\"creatures\":";
    AppendJsonNumber(out, snapshot.creatureCount);
    out += ",\"structures\":";
    AppendJsonNumber(out, snapshot.structureCount);
    out += ",\"inventories\":";
    AppendJsonNumber(out, snapshot.inventoryCount);
    out += ",\"items\":";
    AppendJsonNumber(out, snapshot.itemCount);
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
