// Building a world file from config.json: the inverse of the game's two path derivations.
#include "sandbox/console/WorldFromConfig.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "host/BlueprintForm.h"

namespace sandbox::console {
namespace {

using nlohmann::json;

// The creature command spares teams from this one up in its mode 0.
constexpr std::int64_t kSparedTeam = 49999;
// Levels given to listed creatures that have no threshold.
constexpr std::int64_t kLevelsWithoutThreshold[] = {5, 150};
constexpr int kPlacedStructureClasses = 3;

enum class Family { Item, Creature };

struct WantedPath {
  std::string path;
  std::string pointer;  // where the configuration holds it
  Family family;
  std::optional<std::int64_t> threshold;
};

std::string EscapePointerToken(const std::string& token) {
  std::string out;
  for (char c : token) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

// The text between Blueprint' and the closing ', when the path has that wrapper and something inside it.
std::optional<std::string> Inner(const std::string& path) {
  const std::string_view open = blueprint::kOpen;
  const std::string_view close = blueprint::kClose;
  if (path.size() <= open.size() + close.size() - 1 || path.rfind(open, 0) != 0 || !path.ends_with(close)) {
    return std::nullopt;
  }
  std::string inner = path.substr(open.size(), path.size() - open.size() - close.size());
  if (inner.empty()) return std::nullopt;
  return inner;
}

// Why no class can derive this path; empty when one can.
std::string NoClassReason(const WantedPath& wanted) {
  const auto inner = Inner(wanted.path);
  if (!inner) return "it is not of the form Blueprint'...' with something inside, which every derived path has";
  // The game removes every Default__ from an item's path.
  if (wanted.family == Family::Item && inner->find(blueprint::kRemovedPart) != std::string::npos) {
    return "it contains Default__, which the game removes from every item's path";
  }
  return {};
}

// A name usable in sandbox commands (one word) and not taken yet.
std::string UniqueClassName(const std::string& inner, std::set<std::string>& taken, const std::string& suffix) {
  const auto dot = inner.rfind('.');
  std::string base = dot == std::string::npos ? inner : inner.substr(dot + 1);
  for (char& c : base) {
    const auto u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) || c == '_') || u >= 0x80) c = '_';
  }
  if (base.empty()) base = "Configured";
  std::string name = base + suffix;
  for (int n = 2; !taken.insert(name).second; ++n) name = base + "_" + std::to_string(n) + suffix;
  return name;
}

std::string PackageOf(const std::string& inner) {
  const auto dot = inner.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string("/Game/FromConfig") : inner.substr(0, dot);
}

std::int32_t Clamp(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

void Collect(const json& config, std::vector<WantedPath>& wanted) {
  if (!config.is_object()) return;
  const auto listed = [&](const char* list, Family family) {
    const auto found = config.find(list);
    if (found == config.end() || !found->is_object()) return;
    for (const auto& [label, member] : found->items()) {
      if (!member.is_object()) continue;
      const auto blueprint = member.find("Blueprint");
      if (blueprint == member.end() || !blueprint->is_string()) continue;
      wanted.push_back({blueprint->get<std::string>(),
                        "/" + std::string(list) + "/" + EscapePointerToken(label) + "/Blueprint",
                        family,
                        {}});
    }
  };
  listed("Destroylist", Family::Item);
  listed("DestroyDinolist", Family::Creature);
  const auto levels = config.find("DestroyDinoLevel");
  if (levels == config.end() || !levels->is_object()) return;
  for (const auto& [path, member] : levels->items()) {
    std::optional<std::int64_t> threshold;
    if (member.is_object()) {
      const auto level = member.find("ExceedSestructionLevel");
      if (level != member.end() && level->is_number_integer()) threshold = level->get<std::int64_t>();
      if (level != member.end() && level->is_number_unsigned()) {
        // The plug-in keeps the low 32 bits of a number beyond the range.
        threshold = static_cast<std::int32_t>(static_cast<std::uint32_t>(level->get<std::uint64_t>()));
      }
    }
    wanted.push_back({path, "/DestroyDinoLevel/" + EscapePointerToken(path), Family::Creature, threshold});
  }
}

json FindingAt(const json& findings, const std::string& pointer) {
  for (const auto& finding : findings) {
    if (finding.value("pointer", "") == pointer) return finding;
  }
  return nullptr;
}

// The world being made: its classes, creatures, structures and the chest's items, and the class names taken.
struct WorldBuilder {
  void AddItem(const std::string& path, const std::string& inner, const std::string& package) {
    itemPaths.insert(path);
    const std::string name = UniqueClassName(inner, taken, "_C");
    const std::string structure = UniqueClassName(inner, taken, "Structure_C");
    // The item's path comes from its default object's full name: everything after the first space, its final
    // _C dropped.
    classes.push_back({{"name", name},
                       {"package", package},
                       {"kind", "item"},
                       {"fullName", name + " " + inner + "_C"},
                       {"builds", structure}});
    classes.push_back({{"name", structure}, {"package", package + "Structure"}, {"kind", "structure"}});
    if (placed++ < kPlacedStructureClasses) {
      structures.push_back({{"class", structure}});
      structures.push_back({{"class", structure}});
    }
    chest.push_back(name);
  }

  void AddCreature(const std::string& inner, const std::string& package, std::optional<std::int64_t> threshold) {
    // A creature's path is its class reference without the last two characters.
    const std::string name = UniqueClassName(inner, taken, "_C");
    classes.push_back({{"name", name}, {"package", package}, {"kind", "creature"}, {"reference", inner + "_C"}});
    std::vector<std::int64_t> levels;
    if (threshold) {
      levels = {*threshold - 1, *threshold, *threshold + 1};
    } else {
      levels.assign(std::begin(kLevelsWithoutThreshold), std::end(kLevelsWithoutThreshold));
    }
    for (const std::int64_t level : levels) {
      for (const std::int64_t team : {std::int64_t{0}, kSparedTeam - 1, kSparedTeam, kSparedTeam + 1}) {
        creatures.push_back({{"class", name}, {"level", Clamp(level)}, {"team", Clamp(team)}});
      }
    }
  }

  // One item no list names, so the page shows what the plug-in leaves alone.
  void AddUnlistedItem() {
    std::string unlistedPath = "Blueprint'/Game/Sandbox/Items/Unlisted.Unlisted'";
    for (int n = 2; itemPaths.count(unlistedPath) != 0; ++n) {
      unlistedPath =
          "Blueprint'/Game/Sandbox/Items/Unlisted" + std::to_string(n) + ".Unlisted" + std::to_string(n) + "'";
    }
    const std::string unlistedInner = *Inner(unlistedPath);
    const std::string unlisted = UniqueClassName(unlistedInner, taken, "_C");
    classes.push_back({{"name", unlisted},
                       {"package", PackageOf(unlistedInner)},
                       {"kind", "item"},
                       {"fullName", unlisted + " " + unlistedInner + "_C"}});
    chest.push_back(unlisted);
  }

  json World() {
    return {{"classes", std::move(classes)},
            {"creatures", std::move(creatures)},
            {"structures", std::move(structures)},
            {"inventories", json::array({{{"name", "Chest"}, {"items", std::move(chest)}}})}};
  }

  json classes = json::array();
  json creatures = json::array();
  json structures = json::array();
  json chest = json::array();
  std::set<std::string> taken;
  std::set<std::string> itemPaths;
  int placed = 0;
};

}  // namespace

ConfigWorld WorldFromConfig(const std::string& configText, const json& findings) {
  json config;
  try {
    config = json::parse(configText);
  } catch (const json::exception& error) {
    throw std::runtime_error(std::string("config.json is not JSON: ") + error.what());
  }
  std::vector<WantedPath> wanted;
  Collect(config, wanted);

  // Creature paths listed and capped share one class; the threshold comes from the capped entry.
  std::map<std::string, std::optional<std::int64_t>> thresholds;
  for (const auto& entry : wanted) {
    if (entry.family == Family::Creature && entry.threshold) thresholds[entry.path] = entry.threshold;
  }
  ConfigWorld result{json::object(), json::array()};
  WorldBuilder builder;
  std::set<std::pair<int, std::string>> made;  // (family, path) already given a class
  for (const auto& entry : wanted) {
    if (const std::string reason = NoClassReason(entry); !reason.empty()) {
      const json finding = FindingAt(findings, entry.pointer);
      result.unmatched.push_back({{"path", entry.path},
                                  {"pointer", entry.pointer},
                                  {"code", finding.is_null() ? json("") : finding.at("code")},
                                  {"message", finding.is_null() ? json(reason) : finding.at("message")}});
      continue;
    }
    if (!made.emplace(static_cast<int>(entry.family), entry.path).second) continue;
    const std::string inner = *Inner(entry.path);
    if (entry.family == Family::Item) {
      builder.AddItem(entry.path, inner, PackageOf(inner));
    } else {
      builder.AddCreature(inner, PackageOf(inner), thresholds[entry.path]);
    }
  }
  builder.AddUnlistedItem();
  result.world = builder.World();
  return result;
}

}  // namespace sandbox::console
