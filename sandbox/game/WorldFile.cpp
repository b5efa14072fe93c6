// World files: classes with their blueprint paths, then the objects placed in the world.
#include "sandbox/game/WorldFile.h"

#include <fstream>
#include <map>
#include <stdexcept>

#include "sandbox/game/DemoTexts.h"
#include "sandbox/game/GameWorld.h"

namespace sandbox::server {
namespace {

using game::GameObject;
using game::Kind;
using nlohmann::json;

[[noreturn]] void Invalid(const std::string& where, const std::string& what) {
  throw std::runtime_error("world file: " + where + ": " + what);
}

const json& Require(const json& object, const char* key, const std::string& where) {
  if (!object.is_object() || !object.contains(key)) Invalid(where, std::string("missing \"") + key + "\"");
  return object.at(key);
}

std::string RequireString(const json& object, const char* key, const std::string& where) {
  const json& value = Require(object, key, where);
  if (!value.is_string()) Invalid(where, std::string("\"") + key + "\" must be a string");
  return value.get<std::string>();
}

std::int32_t OptionalInt(const json& object, const char* key, std::int32_t fallback, const std::string& where) {
  if (!object.contains(key)) return fallback;
  const json& value = object.at(key);
  if (!value.is_number_integer()) Invalid(where, std::string("\"") + key + "\" must be an integer");
  const auto number = value.get<std::int64_t>();
  if (number < INT32_MIN || number > INT32_MAX) Invalid(where, std::string("\"") + key + "\" is out of range");
  return static_cast<std::int32_t>(number);
}

bool OptionalBool(const json& object, const char* key, bool fallback, const std::string& where) {
  if (!object.contains(key)) return fallback;
  if (!object.at(key).is_boolean()) Invalid(where, std::string("\"") + key + "\" must be true or false");
  return object.at(key).get<bool>();
}

const std::map<std::string, Kind>& KindNames() {
  static const std::map<std::string, Kind> kinds = {
      {"item", Kind::Item}, {"structure", Kind::Structure}, {"creature", Kind::Creature}};
  return kinds;
}

const json& ListOf(const json& world, const char* key) {
  static const json empty = json::array();
  if (!world.contains(key)) return empty;
  if (!world.at(key).is_array()) Invalid(key, "must be an array");
  return world.at(key);
}

GameObject* ClassNamed(const std::string& name, const std::string& where) {
  GameObject* cls = game::FindClass(name);
  if (cls == nullptr) Invalid(where, "unknown class \"" + name + "\"");
  return cls;
}

// Checks the whole file before anything is built, so a bad file leaves the world as it was.
void Validate(const json& world) {
  if (!world.is_object()) Invalid("top level", "must be an object");
  std::map<std::string, Kind> declared;
  for (const auto& cls : game::Classes()) declared.emplace(game::NameOf(cls), Kind::Plain);
  const json& classes = ListOf(world, "classes");
  for (std::size_t i = 0; i < classes.size(); ++i) {
    const std::string where = "classes[" + std::to_string(i) + "]";
    const std::string name = RequireString(classes[i], "name", where);
    RequireString(classes[i], "package", where);
    const std::string kind = RequireString(classes[i], "kind", where);
    if (KindNames().count(kind) == 0) Invalid(where, "\"kind\" must be item, structure or creature");
    if (!declared.emplace(name, KindNames().at(kind)).second) Invalid(where, "class \"" + name + "\" declared twice");
    for (const char* key : {"parent", "builds", "fullName", "reference"}) {
      if (classes[i].contains(key) && !classes[i].at(key).is_string()) {
        Invalid(where, std::string("\"") + key + "\" must be a string");
      }
    }
  }
  const auto requireClass = [&](const json& entry, const std::string& where) {
    const std::string name = RequireString(entry, "class", where);
    if (declared.count(name) == 0) Invalid(where, "unknown class \"" + name + "\"");
  };
  const json& creatures = ListOf(world, "creatures");
  for (std::size_t i = 0; i < creatures.size(); ++i) {
    const std::string where = "creatures[" + std::to_string(i) + "]";
    requireClass(creatures[i], where);
    OptionalInt(creatures[i], "level", 1, where);
    OptionalInt(creatures[i], "team", 0, where);
    OptionalBool(creatures[i], "status", true, where);
  }
  const json& structures = ListOf(world, "structures");
  for (std::size_t i = 0; i < structures.size(); ++i) {
    const std::string where = "structures[" + std::to_string(i) + "]";
    requireClass(structures[i], where);
    OptionalBool(structures[i], "inPersistentLevel", true, where);
  }
  const json& inventories = ListOf(world, "inventories");
  for (std::size_t i = 0; i < inventories.size(); ++i) {
    const std::string where = "inventories[" + std::to_string(i) + "]";
    RequireString(inventories[i], "name", where);
    const json& items = Require(inventories[i], "items", where);
    if (!items.is_array()) Invalid(where, "\"items\" must be an array of class names");
    for (const auto& item : items) {
      if (!item.is_string() || declared.count(item.get<std::string>()) == 0) {
        Invalid(where, "unknown item class " + item.dump());
      }
    }
  }
  for (const char* key : {"engrams", "overrideEngrams"}) {
    for (const auto& engram : ListOf(world, key)) {
      if (engram.is_null()) continue;
      if (!engram.is_string() || declared.count(engram.get<std::string>()) == 0) {
        Invalid(key, "unknown class " + engram.dump());
      }
    }
  }
}

}  // namespace

void BuildWorld(const json& world) {
  Validate(world);
  const json& classes = ListOf(world, "classes");
  // Two passes, so a class may name a parent or a structure declared after it.
  std::vector<std::pair<const json*, GameObject*>> made;
  for (const auto& entry : classes) {
    game::ClassDefinition definition;
    definition.name = entry.at("name").get<std::string>();
    definition.package = entry.at("package").get<std::string>();
    definition.kind = KindNames().at(entry.at("kind").get<std::string>());
    if (entry.contains("fullName")) definition.defaultFullName = entry.at("fullName").get<std::string>();
    if (entry.contains("reference")) definition.reference = entry.at("reference").get<std::string>();
    made.emplace_back(&entry, game::DefineClass(definition));
  }
  for (const auto& [entry, cls] : made) {
    if (entry->contains("parent")) {
      game::SetParent(cls, ClassNamed(entry->at("parent").get<std::string>(), "parent"));
    }
    if (entry->contains("builds")) {
      game::SetStructureToBuild(cls, ClassNamed(entry->at("builds").get<std::string>(), "builds"));
    }
  }
  for (const auto& entry : ListOf(world, "creatures")) {
    game::NewCreature(game::FindClass(entry.at("class").get<std::string>()), OptionalInt(entry, "level", 1, ""),
                      OptionalInt(entry, "team", 0, ""), OptionalBool(entry, "status", true, ""));
  }
  for (const auto& entry : ListOf(world, "structures")) {
    game::NewStructure(game::FindClass(entry.at("class").get<std::string>()),
                       OptionalBool(entry, "inPersistentLevel", true, ""));
  }
  for (const auto& entry : ListOf(world, "inventories")) {
    GameObject* inventory = game::NewInventory(entry.at("name").get<std::string>());
    for (const auto& item : entry.at("items")) {
      game::PutItem(inventory, game::NewItem(game::FindClass(item.get<std::string>())));
    }
  }
  for (const auto& engram : ListOf(world, "engrams")) {
    game::AddEngram(game::GameData(), engram.is_null() ? nullptr : game::FindClass(engram.get<std::string>()));
  }
  if (world.contains("overrideEngrams")) {
    GameObject* data = game::NewGameData();
    for (const auto& engram : ListOf(world, "overrideEngrams")) {
      game::AddEngram(data, engram.is_null() ? nullptr : game::FindClass(engram.get<std::string>()));
    }
    game::Singleton()->primalGameDataOverride = data;
  }
}

json ReadWorldFile(const std::string& path) {
  std::ifstream file(path);
  if (!file.is_open()) throw std::runtime_error("cannot open world file " + path);
  try {
    return json::parse(file);
  } catch (const json::exception& error) {
    throw std::runtime_error("world file " + path + ": " + error.what());
  }
}

json DemoWorld() { return json::parse(demo::kWorld); }

const char* DemoConfigText() { return demo::kConfig; }

}  // namespace sandbox::server
