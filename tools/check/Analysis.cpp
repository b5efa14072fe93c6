// The configuration walked as the hooks walk it, one member at a time, and reviewed for what the walks accept
// without a word. Every error comes from the hooks' own walks failing on a probe document.
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "CheckInternal.h"
#include "common/Messages.h"
#include "config/ConfigAccess.h"
#include "config/Walks.h"
#include "inventory/DetourNames.h"
#include "purge/DetourNames.h"

namespace check::detail {
namespace {

using nlohmann::json;

// What a walk raises, as the detours' boundary logs it; nothing when the walk completes.
template <typename Walk>
std::optional<std::string> FailureOf(Walk&& walk) {
  try {
    walk();
  } catch (const std::exception& error) {
    return std::string(error.what());
  } catch (...) {
    return std::string("unknown exception");
  }
  return std::nullopt;
}

// A text that no derived path can equal, so a walk compares every member and matches none.
constexpr std::string_view kProbeBlueprint = "\n";

std::optional<std::string> ItemWalkFailure(json& document) {
  return FailureOf(
      [&] { config::WalkDestroylist(document, kProbeBlueprint, [] { return config::AfterMatch::Continue; }); });
}

std::optional<std::string> CreatureWalkFailure(const json& document) {
  return FailureOf([&] { config::WalkDinolist(document, kProbeBlueprint, [] {}); });
}

// The level check of a creature of this blueprint that has a status component.
std::optional<std::string> LevelCheckFailure(json& document, std::string_view blueprint) {
  static constexpr std::int32_t kBaseLevel = 1;
  return FailureOf([&] { (void)config::LevelReached(document, blueprint, [] { return &kBaseLevel; }); });
}

// A document of one list, or of one member of a list, lent from the configuration by swapping: a value nested
// ten thousand deep is not copied, and the walk meets exactly the value the hooks would meet.
class Probe {
 public:
  Probe(json& value, const char* list) : value_(value), slot_(&document_[list]) { slot_->swap(value_); }
  Probe(json& value, const char* list, const std::string& key) : value_(value) {
    json& members = document_[list] = json::object();
    slot_ = &members[key];
    slot_->swap(value_);
  }
  ~Probe() { slot_->swap(value_); }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  json& Document() { return document_; }

 private:
  json document_ = json::object();
  json& value_;
  json* slot_;
};

std::string Line(const char* detour, const char* source, const std::string& what) {
  return fmt::format(messages::kCommandFailure, source, detour, what);
}

std::vector<std::string> ItemWalkLines(const std::string& what) {
  return {Line(detours::kViewRemoteInventory, TIDYWARDEN_INVENTORY_SOURCE, what),
          Line(detours::kAddToInventory, TIDYWARDEN_INVENTORY_SOURCE, what),
          Line(detours::kFinishedReceivingItems, TIDYWARDEN_INVENTORY_SOURCE, what)};
}

std::vector<std::string> SpawnLines(const std::string& what) {
  return {Line(detours::kDinoBeginPlay, TIDYWARDEN_SPAWN_FILTER_SOURCE, what)};
}

constexpr const char* kItemWalkEffect =
    "The inventory hooks fail here on every call that has an item to check, each call logging the line below: "
    "no item that the add check inspects can be added (an item listed under an earlier member is still "
    "refused), no inventory holding an item can be viewed remotely, and listed items are no longer removed when "
    "a client finishes receiving an inventory.";
constexpr const char* kCreatureWalkEffect =
    "Every creature that enters play fails the list check here, each spawn logging the line below: creatures "
    "listed under later members are not destroyed, and the level check never runs, so no creature is destroyed "
    "by level.";

std::string LaterMembers(std::size_t count) {
  if (count == 0) return {};
  return fmt::format(" {} member{} sorting after it {} never reached while it fails.", count, count == 1 ? "" : "s",
                     count == 1 ? "is" : "are");
}

// ---- The document ------------------------------------------------------------------------------------------

// A document that is not an object meets the walks before any list does.
void ReviewDocumentKind(json& document, Findings& findings) {
  const std::string kind = KindOf(document);
  const auto creatureFailure = CreatureWalkFailure(document);
  // The inventory walk turns a null document into an object in memory, which the spawn filter then accepts.
  const auto itemFailure = ItemWalkFailure(document);
  const bool creatureFailsLater = creatureFailure && CreatureWalkFailure(document).has_value();
  if (itemFailure) {
    Add(findings, Severity::Error, "E110", "", "the file holds " + kind + ", not an object", kItemWalkEffect,
        ItemWalkLines(*itemFailure));
  }
  if (creatureFailure) {
    std::string effect =
        "Every creature that enters play fails the spawn filter, each spawn logging the line below: no creature is "
        "destroyed by the list or by level";
    if (!creatureFailsLater) {
      effect += " until an inventory hook first reads the item list, which turns the document in memory into an object";
    }
    Add(findings, Severity::Error, "E120", "", "the file holds " + kind + ", not an object", effect + ".",
        SpawnLines(*creatureFailure));
  }
}

// ---- The two labelled lists -----------------------------------------------------------------------------------

struct LabelledList {
  const char* key;
  PathFamily family;
  const char* listCode;    // the list itself fails
  const char* memberCode;  // one of its members fails
  const char* what;        // "item" or "creature", in messages
  const char* effect;
  const char* offEffect;  // the list missing
  const char* duplicateEffect;
};

const LabelledList kItems{config::kItemListKey,
                          PathFamily::Item,
                          "E111",
                          "E112",
                          "item",
                          kItemWalkEffect,
                          "No item is kept out of inventories.",
                          "Such an item gets one removal call per member when an inventory is purged; only the first "
                          "removes anything."};
const LabelledList kCreatures{config::kCreatureListKey,
                              PathFamily::Creature,
                              "E121",
                              "E122",
                              "creature",
                              kCreatureWalkEffect,
                              "No creature is destroyed for its class as it enters play.",
                              "Such a creature is force-destroyed once per member as it enters play."};

std::vector<std::string> WalkLines(const LabelledList& list, const std::string& what) {
  return list.family == PathFamily::Item ? ItemWalkLines(what) : SpawnLines(what);
}

std::optional<std::string> WalkFailure(const LabelledList& list, json& document) {
  return list.family == PathFamily::Item ? ItemWalkFailure(document) : CreatureWalkFailure(document);
}

// What a value was before a walk was lent it: a failing walk may add null members to it.
struct Before {
  explicit Before(const json& value, const char* member)
      : kind(KindOf(value)), object(value.is_object()), memberPresent(object && value.contains(member)) {}
  std::string kind;
  bool object;
  bool memberPresent;
};

// Why a member the walk failed on is faulty, in the administrator's terms.
std::string MemberFault(const std::string& label, const json& member, const Before& before) {
  const std::string name = "member " + Quote(label);
  if (!before.object) {
    return name + " is " + before.kind + "; each member must be an object holding a \"Blueprint\" string";
  }
  const auto blueprint = member.find(config::kBlueprintKey);
  if (before.memberPresent) return "\"Blueprint\" of " + name + " is " + KindOf(*blueprint) + ", not a string";
  std::string fault = name + " has no \"Blueprint\"";
  for (auto it = member.begin(); it != member.end(); ++it) {
    if (it.key() != config::kBlueprintKey && !NearestName(it.key(), {config::kBlueprintKey}).empty()) {
      return fault + "; its " + Quote(it.key()) + " is not read (the name is \"Blueprint\", exactly)";
    }
  }
  return fault;
}

// Pointers are built only for the values that have something to report.
using PointerOf = std::function<std::string()>;

void ReviewPathText(const std::string& text, PathFamily family, const PointerOf& pointer, Findings& findings) {
  const PathReview review = ReviewPath(text, family);
  if (review.verdict == PathReview::Verdict::Fine) return;
  const char* what = family == PathFamily::Item ? "item" : "creature";
  std::string message;
  std::string effect;
  const char* code = "W202";
  switch (review.verdict) {
    case PathReview::Verdict::Empty:
      code = "W204";
      message = "empty path: " + review.reason;
      effect = std::string("It matches no ") + what + " in a real game.";
      break;
    case PathReview::Verdict::Never:
      message = Quote(text) + " can never equal a path the game derives: " + review.reason;
      effect = std::string("It matches no ") + what + ", silently.";
      break;
    default:
      code = "W203";
      message = Quote(text) + " is almost certainly not the path meant: " + review.reason;
      effect = std::string("It matches no ") + what + " of an ordinarily named class, silently.";
      break;
  }
  if (!review.suggestion.empty()) message += "; perhaps " + Quote(review.suggestion);
  Add(findings, Severity::Warning, code, pointer(), message, effect);
}

// The blueprint of every member the walk accepted, by label, for the level list to compare with.
using ListedPaths = std::map<std::string, std::string>;

ListedPaths ReviewLabelledList(const LabelledList& list, json& document, Findings& findings) {
  ListedPaths listed;
  const auto found = document.find(list.key);
  const std::string listPointer = Pointer({list.key});
  if (found == document.end() || !found->is_object()) {
    std::optional<std::string> failure;
    if (found == document.end()) {
      json probe = json::object();
      failure = WalkFailure(list, probe);
    } else {
      Probe probe(*found, list.key);
      failure = WalkFailure(list, probe.Document());
    }
    const std::string kind = found == document.end() ? std::string("missing") : KindOf(*found);
    if (failure) {
      Add(findings, Severity::Error, list.listCode, listPointer,
          Quote(list.key) + " is " + kind + "; it must be an object of labelled members", list.effect,
          WalkLines(list, *failure));
    } else if (found == document.end() || found->is_null()) {
      Add(findings, Severity::Note, "N303", listPointer,
          Quote(list.key) + (found == document.end() ? " is missing" : " is null"), list.offEffect);
    } else {
      Add(findings, Severity::Warning, "W207", listPointer,
          Quote(list.key) + " is " + kind + ", not an object of labelled members: the plug-in walks nothing in it",
          list.offEffect);
    }
    return listed;
  }

  json& members = *found;
  std::size_t position = 0;
  std::map<std::string, std::vector<std::string>> labelsByPath;
  for (auto member = members.begin(); member != members.end(); ++member, ++position) {
    const std::string& label = member.key();
    const Before before(member.value(), config::kBlueprintKey);
    std::optional<std::string> failure;
    {
      Probe probe(member.value(), list.key, label);
      failure = WalkFailure(list, probe.Document());
    }
    if (failure) {
      const std::string pointer =
          before.memberPresent ? Pointer({list.key, label, config::kBlueprintKey}) : Pointer({list.key, label});
      Add(findings, Severity::Error, list.memberCode, pointer, MemberFault(label, member.value(), before),
          list.effect + LaterMembers(members.size() - position - 1), WalkLines(list, *failure));
      continue;
    }
    // The walk has just read this member's "Blueprint" as a string.
    const std::string& path = config::BlueprintOfCopy(member.value());
    const auto pathPointer = [&] { return Pointer({list.key, label, config::kBlueprintKey}); };
    ReviewPathText(path, list.family, pathPointer, findings);
    labelsByPath[path].push_back(label);
    listed.emplace(label, path);
  }

  for (const auto& [path, labels] : labelsByPath) {
    if (labels.size() < 2) continue;
    std::string names;
    for (const auto& label : labels) names += (names.empty() ? "" : ", ") + Quote(label);
    Add(findings, Severity::Note, "N301", Pointer({list.key, labels[1], config::kBlueprintKey}),
        fmt::format("the {} path {} is listed under {} labels: {}", list.what, Quote(path), labels.size(), names),
        list.duplicateEffect);
  }
  return listed;
}

// ---- The level list -------------------------------------------------------------------------------------------

std::string EntryFault(const json& entry, const Before& before) {
  if (!before.object) {
    return "it is " + before.kind + "; an entry must be an object holding an \"ExceedSestructionLevel\" number";
  }
  const auto threshold = entry.find(config::kThresholdKey);
  if (before.memberPresent) return "\"ExceedSestructionLevel\" is " + KindOf(*threshold) + ", not a number";
  std::string fault = "it has no \"ExceedSestructionLevel\"";
  for (auto it = entry.begin(); it != entry.end(); ++it) {
    if (it.key() != config::kThresholdKey && !NearestName(it.key(), {config::kThresholdKey}).empty()) {
      return fault + "; its " + Quote(it.key()) + " is not read (the name is spelt \"ExceedSestructionLevel\")";
    }
  }
  return fault;
}

// A threshold that the plug-in's conversion to a 32-bit integer turns into another number than the one written.
void ReviewThreshold(const json& value, const PointerOf& pointer, Findings& findings) {
  std::int32_t effective = 0;
  try {
    effective = config::ThresholdOf(value);
  } catch (const std::exception&) {
    return;
  }
  std::string why;
  if (value.is_boolean()) {
    why = "a boolean, not a number";
  } else if (value.is_number_float()) {
    const double number = value.get<double>();
    if (number == static_cast<double>(effective)) return;
    why = number >= std::numeric_limits<std::int32_t>::max() || number <= std::numeric_limits<std::int32_t>::min()
              ? "beyond the 32-bit range, so it saturates"
              : "a fraction, which is cut off";
  } else if (value.is_number_unsigned()) {
    if (effective >= 0 && value.get<std::uint64_t>() == static_cast<std::uint64_t>(effective)) return;
    why = "beyond the 32-bit range, so only its low 32 bits count";
  } else if (value.is_number_integer()) {
    if (value.get<std::int64_t>() == effective) return;
    why = "beyond the 32-bit range, so only its low 32 bits count";
  } else {
    return;
  }
  std::string effect;
  if (effective <= 1) {
    effect = fmt::format(
        "Every creature of this path with a status component is destroyed as it enters play (base level {} or "
        "more: all of them).",
        effective);
  } else if (effective == std::numeric_limits<std::int32_t>::max()) {
    effect = "Only a creature at base level 2147483647 would be destroyed: the level check is in effect off.";
  } else {
    effect = fmt::format("Creatures of this path are destroyed from base level {} up.", effective);
  }
  Add(findings, Severity::Warning, "W205", pointer(),
      fmt::format("the threshold {} is {}: the plug-in uses {}", value.dump(), why, effective), effect);
}

void ReviewLevelList(json& document, const ListedPaths& listedCreatures, Findings& findings) {
  const char* key = config::kLevelListKey;
  const auto found = document.find(key);
  const std::string listPointer = Pointer({key});
  if (found == document.end() || found->is_null()) {
    Add(findings, Severity::Note, "N303", listPointer,
        Quote(key) + (found == document.end() ? " is missing" : " is null"),
        "No creature is destroyed for its level as it enters play.");
    return;
  }
  if (!found->is_object()) {
    Add(findings, Severity::Warning, "W207", listPointer,
        Quote(key) + " is " + KindOf(*found) + ", not an object of creature paths: the level check never runs",
        "No creature is destroyed for its level as it enters play.");
    return;
  }

  std::map<std::string, std::string> labelByPath;
  for (const auto& [label, path] : listedCreatures) labelByPath.emplace(path, label);

  for (auto entry = found->begin(); entry != found->end(); ++entry) {
    const std::string& path = entry.key();
    const Before before(entry.value(), config::kThresholdKey);
    std::optional<std::string> failure;
    {
      Probe probe(entry.value(), key, path);
      failure = LevelCheckFailure(probe.Document(), path);
    }
    const auto entryPointer = [&] { return Pointer({key, path}); };
    const auto faultPointer = [&] {
      return before.memberPresent ? Pointer({key, path, config::kThresholdKey}) : entryPointer();
    };
    ReviewPathText(path, PathFamily::Creature, entryPointer, findings);
    if (failure) {
      const std::string fault = EntryFault(entry.value(), before);
      if (CanBeDerived(path)) {
        Add(findings, Severity::Error, "E132", faultPointer(), "entry " + Quote(path) + ": " + fault,
            "Every creature of this path that has a status component fails the level check as it enters play, each "
            "spawn logging the line below, and is never destroyed for its level; other creatures are not affected.",
            SpawnLines(*failure));
      } else {
        Add(findings, Severity::Warning, "W208", faultPointer(),
            "entry " + Quote(path) + ": " + fault + "; no creature's path can equal its name, so no spawn reads it",
            "None while the name stays as it is; once it is corrected, the entry would fail the level check of "
            "every creature of that path.",
            SpawnLines(*failure));
      }
    } else if (before.memberPresent) {
      ReviewThreshold(entry->find(config::kThresholdKey).value(), faultPointer, findings);
    }
    const auto listed = labelByPath.find(path);
    if (listed != labelByPath.end()) {
      Add(findings, Severity::Note, "N302", entryPointer(),
          "the creature path " + Quote(path) + " is also listed in \"DestroyDinolist\" (label " +
              Quote(listed->second) + ")",
          "Every such creature is destroyed by the list already; those at or above the threshold get a second "
          "destroy call from the level check.");
    }
  }
}

// ---- Keys the plug-in does not read ---------------------------------------------------------------------------

void ReviewTopLevelKeys(const json& document, Findings& findings) {
  for (auto it = document.begin(); it != document.end(); ++it) {
    const std::string& name = it.key();
    if (name == config::kItemListKey || name == config::kCreatureListKey || name == config::kLevelListKey) continue;
    const std::string nearest =
        NearestName(name, {config::kItemListKey, config::kCreatureListKey, config::kLevelListKey});
    std::string message = Quote(name) + " is not a key the plug-in reads";
    std::string effect = "The plug-in ignores it.";
    if (!nearest.empty()) {
      message += "; did you mean " + Quote(nearest) + "?";
      if (!document.contains(nearest)) {
        effect = "The plug-in ignores it, and " + Quote(nearest) + " is missing: that list is off.";
      }
    }
    Add(findings, Severity::Warning, "W201", Pointer({name}), message, effect);
  }
}

}  // namespace

void AnalyseDocument(json& document, Findings& findings) {
  if (!document.is_object()) {
    ReviewDocumentKind(document, findings);
    return;
  }
  ReviewLabelledList(kItems, document, findings);
  const ListedPaths creatures = ReviewLabelledList(kCreatures, document, findings);
  ReviewLevelList(document, creatures, findings);
  ReviewTopLevelKeys(document, findings);
}

}  // namespace check::detail
