// The configuration walked as the hooks walk it, one member at a time, and reviewed for what the walks accept
// without a word. Every error comes from the hooks' own walks failing on a probe document.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <future>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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

std::string LaterMembers(const Report& report, std::size_t count) {
  if (count == 0) return {};
  if (count == 1) return report.Say(text::kLaterMember);
  return report.Say(text::kLaterMembers, fmt::arg("count", count));
}

// ---- The document ------------------------------------------------------------------------------------------

// A document that is not an object meets the walks before any list does.
void ReviewDocumentKind(json& document, Report& report) {
  const std::string kind = KindOf(document, report.language);
  const auto creatureFailure = CreatureWalkFailure(document);
  // The inventory walk turns a null document into an object in memory, which the spawn filter then accepts.
  const auto itemFailure = ItemWalkFailure(document);
  const bool creatureFailsLater = creatureFailure && CreatureWalkFailure(document).has_value();
  const std::string message = report.Say(text::kNotObject, fmt::arg("kind", kind));
  if (itemFailure) {
    report.Add(Code::E110, {}, message, report.Say(text::kItemWalkEffect), ItemWalkLines(*itemFailure));
  }
  if (creatureFailure) {
    report.Add(Code::E120, {}, message,
               report.Say(creatureFailsLater ? text::kSpawnFilterFails : text::kSpawnFilterFailsUntil),
               SpawnLines(*creatureFailure));
  }
}

// ---- What the lists share ---------------------------------------------------------------------------------------

// A list that is missing, null or of a kind the plug-in walks nothing in.
void ListOff(Report& report, const char* key, const json* found, const text::Text& walksNothing,
             const text::Text& offEffect) {
  const std::string list = Quote(key);
  if (found == nullptr || found->is_null()) {
    report.Add(Code::N303, {{key}},
               report.Say(found == nullptr ? text::kListMissing : text::kListNull, fmt::arg("list", list)),
               report.Say(offEffect));
    return;
  }
  report.Add(Code::W207, {{key}},
             report.Say(walksNothing, fmt::arg("list", list), fmt::arg("kind", KindOf(*found, report.language))),
             report.Say(offEffect));
}

// What a member must hold: one member of a given name, which the walk reads.
struct Shape {
  const char* member;
  const text::Text& notObject;
  const text::Text& wrongKind;
  const text::Text& missing;
  const text::Text& misspelt;
};
const Shape kLabelledShape{config::kBlueprintKey, text::kMemberNotObject, text::kBlueprintNotString,
                           text::kNoBlueprint, text::kBlueprintMisspelt};
const Shape kLevelShape{config::kThresholdKey, text::kEntryNotObject, text::kThresholdNotNumber, text::kNoThreshold,
                        text::kThresholdMisspelt};

// The walks' verdict on a document of one member depends only on the member's kind and on the kind of the one member
// they read in it (the exception texts name kinds, never values): one probe walk per shape, whatever the count of
// members, and an exception raised once per shape instead of once per faulty member.
// The log lines of a failure are made once with it.
struct Verdict {
  std::optional<std::string> failure;
  LogLines log;
};

class VerdictByShape {
 public:
  using MakeLines = std::function<std::vector<std::string>(const std::string&)>;
  explicit VerdictByShape(MakeLines lines) : lines_(std::move(lines)) {}

  template <typename Walk>
  const Verdict& Of(const json& value, const char* member, Walk&& walk) {
    int inner = -1;
    if (value.is_object()) {
      const auto found = value.find(member);
      inner = found == value.end() ? -2 : static_cast<int>(found->type());
    }
    const auto key = std::make_pair(static_cast<int>(value.type()), inner);
    const auto known = verdicts_.find(key);
    if (known != verdicts_.end()) return known->second;
    Verdict verdict{walk(), {}};
    if (verdict.failure) verdict.log = lines_(*verdict.failure);
    return verdicts_.emplace(key, std::move(verdict)).first->second;
  }

 private:
  MakeLines lines_;
  std::map<std::pair<int, int>, Verdict> verdicts_;
};

// What a value was before a walk was lent it: a failing walk may add null members to it.
struct Before {
  Before(const json& value, const char* member, Language language)
      : kind(KindOf(value, language)), object(value.is_object()), memberPresent(object && value.contains(member)) {}
  std::string kind;
  bool object;
  bool memberPresent;
};

// Why a member the walk failed on is faulty, in the administrator's terms; `quoted` is its label, quoted.
std::string ShapeFault(const Report& report, const Shape& shape, const std::string& quoted, const json& value,
                       const Before& before) {
  if (!before.object) return report.Say(shape.notObject, fmt::arg("label", quoted), fmt::arg("kind", before.kind));
  if (before.memberPresent) {
    return report.Say(shape.wrongKind, fmt::arg("label", quoted),
                      fmt::arg("kind", KindOf(*value.find(shape.member), report.language)));
  }
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (it.key() != shape.member && !NearestName(it.key(), {shape.member}).empty()) {
      return report.Say(shape.misspelt, fmt::arg("label", quoted), fmt::arg("name", Quote(it.key())));
    }
  }
  return report.Say(shape.missing, fmt::arg("label", quoted));
}

// ---- The two labelled lists -----------------------------------------------------------------------------------

struct LabelledList {
  const char* key;
  PathFamily family;
  Code listCode;    // the list itself fails
  Code memberCode;  // one of its members fails
  const text::Text& what;
  const text::Text& effect;
  const text::Text& offEffect;  // the list missing
  const text::Text& duplicateEffect;
};

const LabelledList kItems{config::kItemListKey, PathFamily::Item,     Code::E111,         Code::E112,
                          text::kItem,          text::kItemWalkEffect, text::kItemListOff, text::kItemListedTwice};
const LabelledList kCreatures{config::kCreatureListKey, PathFamily::Creature,       Code::E121,
                              Code::E122,               text::kCreature,            text::kCreatureWalkEffect,
                              text::kCreatureListOff,   text::kCreatureListedTwice};

std::vector<std::string> WalkLines(const LabelledList& list, const std::string& what) {
  return list.family == PathFamily::Item ? ItemWalkLines(what) : SpawnLines(what);
}

std::optional<std::string> WalkFailure(const LabelledList& list, json& document) {
  return list.family == PathFamily::Item ? ItemWalkFailure(document) : CreatureWalkFailure(document);
}

// `anchorOf` makes the finding's anchor, only when there is a finding: most paths are fine.
template <typename AnchorOf>
void ReviewPathText(Report& report, const std::string& path, PathFamily family, AnchorOf&& anchorOf) {
  const PathReview review = ReviewPath(path, family, report.language);
  if (review.verdict == PathReview::Verdict::Fine) return;
  const std::string what = Pick(family == PathFamily::Item ? text::kItem : text::kCreature, report.language);
  const std::string quoted = Quote(path);
  const auto say = [&](const text::Text& message) {
    return report.Say(message, fmt::arg("what", what), fmt::arg("reason", review.reason), fmt::arg("text", quoted));
  };
  Code code = Code::W202;
  std::string message;
  std::string effect;
  switch (review.verdict) {
    case PathReview::Verdict::Empty:
      code = Code::W204;
      message = say(text::kEmptyPath);
      effect = say(text::kMatchesNothingReal);
      break;
    case PathReview::Verdict::Never:
      message = say(text::kNeverDerived);
      effect = say(text::kMatchesNothing);
      break;
    default:
      code = Code::W203;
      message = say(text::kNotMeant);
      effect = say(text::kMatchesNothingOrdinary);
      break;
  }
  if (!review.suggestion.empty()) message += report.Say(text::kPerhaps, fmt::arg("suggestion", Quote(review.suggestion)));
  Anchor anchor = anchorOf();
  if (review.certain && !review.suggestion.empty()) anchor.fix = review.suggestion;
  report.Add(code, std::move(anchor), message, effect);
}

// The labels of the members the walk accepts, by the path each names, in label order (the order of the walk). The
// views are into the document, whose list members no review moves.
struct Labels {
  std::string_view first;
  std::vector<std::string_view> more;
};
using ListedPaths = std::unordered_map<std::string_view, Labels>;

// What the walk of a labelled list makes of each member, in member order. Walked once, before any review: a failing
// walk may add null members to the member it was lent, so each member is described as it was before.
struct Walked {
  explicit Walked(VerdictByShape::MakeLines lines) : verdicts(std::move(lines)) {}
  VerdictByShape verdicts;
  std::vector<Before> before;
  std::vector<const Verdict*> verdict;  // into `verdicts`, whose entries stay where they are
  ListedPaths listed;                   // the members the walk reads through
};

Walked WalkMembers(const LabelledList& list, json& document, Language language) {
  Walked walked([&list](const std::string& what) { return WalkLines(list, what); });
  const auto found = document.find(list.key);
  if (found == document.end() || !found->is_object()) return walked;
  walked.before.reserve(found->size());
  walked.verdict.reserve(found->size());
  for (auto member = found->begin(); member != found->end(); ++member) {
    walked.before.emplace_back(member.value(), config::kBlueprintKey, language);
    const Verdict& verdict = walked.verdicts.Of(member.value(), config::kBlueprintKey, [&] {
      Probe probe(member.value(), list.key, member.key());
      return WalkFailure(list, probe.Document());
    });
    walked.verdict.push_back(&verdict);
    if (verdict.failure) continue;
    // The walk has just read this member's "Blueprint" as a string.
    const auto [labels, fresh] =
        walked.listed.try_emplace(config::BlueprintOfCopy(member.value()), Labels{member.key(), {}});
    if (!fresh) labels->second.more.push_back(member.key());
  }
  return walked;
}

// The list's members, when it holds any the walk reads: nothing when it is missing or not an object.
json* MembersOf(const LabelledList& list, json& document) {
  const auto found = document.find(list.key);
  return found == document.end() || !found->is_object() ? nullptr : &*found;
}

// A list that is missing or not an object: either its walk fails, or it walks nothing.
void ReviewListOff(const LabelledList& list, json& document, Report& report) {
  const auto found = document.find(list.key);
  std::optional<std::string> failure;
  if (found == document.end()) {
    json probe = json::object();
    failure = WalkFailure(list, probe);
  } else {
    Probe probe(*found, list.key);
    failure = WalkFailure(list, probe.Document());
  }
  if (!failure) {
    ListOff(report, list.key, found == document.end() ? nullptr : &*found, text::kListWalksNothing, list.offEffect);
    return;
  }
  const std::string kind = KindOf(*found, report.language);
  report.Add(list.listCode, {{list.key}},
             report.Say(text::kListWrongKind, fmt::arg("list", Quote(list.key)), fmt::arg("kind", kind)),
             report.Say(list.effect), WalkLines(list, *failure));
}

// The members at positions [first, last) of `members`, the list's object, which `walked` walked. Reads them only, so
// two parts of one list can be reviewed at once.
void ReviewMembers(const LabelledList& list, const json& members, const Walked& walked, std::size_t first,
                   std::size_t last, Report& report) {
  if (first >= last) return;
  const std::string effect = report.Say(list.effect);
  auto member = std::next(members.begin(), static_cast<std::ptrdiff_t>(first));
  for (std::size_t position = first; position < last; ++member, ++position) {
    const std::string& label = member.key();
    const Before& before = walked.before[position];
    const Verdict& verdict = *walked.verdict[position];
    if (verdict.failure) {
      // The value at fault: the "Blueprint", or the member itself; a member that lacks one is found by its label.
      Anchor anchor = before.memberPresent ? Anchor({list.key, label, config::kBlueprintKey})
                                           : Anchor({list.key, label}, before.object);
      report.Add(list.memberCode, std::move(anchor),
                 ShapeFault(report, kLabelledShape, Quote(label), member.value(), before),
                 effect + LaterMembers(report, members.size() - position - 1), verdict.log);
      continue;
    }
    ReviewPathText(report, config::BlueprintOfCopy(member.value()), list.family, [&] {
      return Anchor({list.key, label, config::kBlueprintKey});
    });
  }
}

// Members that name one path under several labels, in the order of the paths, as the administrator finds them sorted.
void ReviewSharedPaths(const LabelledList& list, const Walked& walked, Report& report) {
  std::vector<const ListedPaths::value_type*> shared;
  for (const auto& entry : walked.listed) {
    if (!entry.second.more.empty()) shared.push_back(&entry);
  }
  std::sort(shared.begin(), shared.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
  for (const auto* entry : shared) {
    const auto& [path, labels] = *entry;
    std::string names = Quote(labels.first);
    for (const auto& label : labels.more) names += ", " + Quote(label);
    report.Add(
        Code::N301, {{list.key, std::string(labels.more.front()), config::kBlueprintKey}},
        report.Say(text::kSamePathLabels, fmt::arg("what", Pick(list.what, report.language)),
                   fmt::arg("path", Quote(path)), fmt::arg("count", labels.more.size() + 1), fmt::arg("names", names)),
        report.Say(list.duplicateEffect));
  }
}

// `walked` is the list's WalkMembers.
void ReviewLabelledList(const LabelledList& list, json& document, const Walked& walked, Report& report) {
  const json* members = MembersOf(list, document);
  if (members == nullptr) {
    ReviewListOff(list, document, report);
    return;
  }
  ReviewMembers(list, *members, walked, 0, members->size(), report);
  ReviewSharedPaths(list, walked, report);
}

// ---- The level list -------------------------------------------------------------------------------------------

// A threshold that the plug-in's conversion to a 32-bit integer turns into another number than the one written.
template <typename AnchorOf>
void ReviewThreshold(Report& report, const json& value, AnchorOf&& anchorOf) {
  std::int32_t effective = 0;
  try {
    effective = config::ThresholdOf(value);
  } catch (const std::exception&) {
    return;
  }
  const text::Text* why = nullptr;
  if (value.is_boolean()) {
    why = &text::kThresholdBoolean;
  } else if (value.is_number_float()) {
    const double number = value.get<double>();
    if (number == static_cast<double>(effective)) return;
    why = number >= std::numeric_limits<std::int32_t>::max() || number <= std::numeric_limits<std::int32_t>::min()
              ? &text::kThresholdSaturates
              : &text::kThresholdFraction;
  } else if (value.is_number_unsigned()) {
    if (effective >= 0 && value.get<std::uint64_t>() == static_cast<std::uint64_t>(effective)) return;
    why = &text::kThresholdWraps;
  } else if (value.is_number_integer()) {
    if (value.get<std::int64_t>() == effective) return;
    why = &text::kThresholdWraps;
  } else {
    return;
  }
  const text::Text& effect = effective <= 1                                         ? text::kThresholdAll
                             : effective == std::numeric_limits<std::int32_t>::max() ? text::kThresholdOff
                                                                                     : text::kThresholdFrom;
  report.Add(Code::W205, anchorOf(),
             report.Say(text::kThresholdUsed, fmt::arg("value", value.dump()),
                        fmt::arg("why", Pick(*why, report.language)), fmt::arg("used", effective)),
             report.Say(effect, fmt::arg("used", effective)));
}

void ReviewLevelList(json& document, const ListedPaths& listedCreatures, Report& report) {
  const char* key = config::kLevelListKey;
  const auto found = document.find(key);
  if (found == document.end() || !found->is_object()) {
    ListOff(report, key, found == document.end() ? nullptr : &*found, text::kLevelListNotObject, text::kLevelListOff);
    return;
  }

  VerdictByShape verdicts(SpawnLines);
  const std::string checkFails = report.Say(text::kLevelCheckFails);
  const std::string neverRead = report.Say(text::kEntryNeverReadEffect);
  for (auto entry = found->begin(); entry != found->end(); ++entry) {
    const std::string& path = entry.key();
    const Before before(entry.value(), config::kThresholdKey, report.language);
    const Verdict& verdict = verdicts.Of(entry.value(), config::kThresholdKey, [&] {
      Probe probe(entry.value(), key, path);
      return LevelCheckFailure(probe.Document(), path);
    });
    const auto entryAnchor = [&] { return Anchor({key, path}, true); };
    const auto faultAnchor = [&] {
      return before.memberPresent ? Anchor({key, path, config::kThresholdKey}) : Anchor({key, path}, before.object);
    };
    ReviewPathText(report, path, PathFamily::Creature, entryAnchor);
    if (verdict.failure) {
      const std::string quoted = Quote(path);
      const std::string fault = ShapeFault(report, kLevelShape, quoted, entry.value(), before);
      if (CanBeDerived(path)) {
        report.Add(Code::E132, faultAnchor(),
                   report.Say(text::kEntryFault, fmt::arg("path", quoted), fmt::arg("fault", fault)), checkFails,
                   verdict.log);
      } else {
        report.Add(Code::W208, faultAnchor(),
                   report.Say(text::kEntryNeverRead, fmt::arg("path", quoted), fmt::arg("fault", fault)), neverRead,
                   verdict.log);
      }
    } else if (before.memberPresent) {
      ReviewThreshold(report, entry->find(config::kThresholdKey).value(), faultAnchor);
    }
    const auto listed = listedCreatures.find(path);
    if (listed != listedCreatures.end()) {
      report.Add(Code::N302, entryAnchor(),
                 report.Say(text::kListedAndCapped, fmt::arg("path", Quote(path)),
                            fmt::arg("label", Quote(listed->second.first))),
                 report.Say(text::kListedAndCappedEffect));
    }
  }
}

// Frees a list no review reads any more. Its name stays, so a review of other lists that finds its way through the
// document's names meanwhile meets the same names.
void LetGo(json& document, const char* key) {
  const auto found = document.find(key);
  if (found == document.end()) return;
  const json released = std::move(*found);
}

// ---- Keys the plug-in does not read ---------------------------------------------------------------------------

void ReviewTopLevelKeys(const json& document, Report& report) {
  for (auto it = document.begin(); it != document.end(); ++it) {
    const std::string& name = it.key();
    if (name == config::kItemListKey || name == config::kCreatureListKey || name == config::kLevelListKey) continue;
    const std::string nearest(
        NearestName(name, {config::kItemListKey, config::kCreatureListKey, config::kLevelListKey}));
    std::string message = report.Say(text::kUnknownKey, fmt::arg("name", Quote(name)));
    std::string effect = report.Say(text::kIgnored);
    if (!nearest.empty()) {
      message += report.Say(text::kDidYouMean, fmt::arg("nearest", Quote(nearest)));
      if (!document.contains(nearest)) effect = report.Say(text::kIgnoredListOff, fmt::arg("nearest", Quote(nearest)));
    }
    report.Add(Code::W201, {{name}, true}, message, effect);
  }
}

}  // namespace

void AnalyseDocument(json&& document, Report& report, const FinishPart& finish) {
  if (!document.is_object()) {
    const std::size_t from = report.findings.size();
    ReviewDocumentKind(document, report);
    finish(report, from);
    return;
  }
  // Two parts of about the same number of members are reviewed at once: the item list and the first of the creature
  // list on a thread of their own (when one can be had), the rest of the creature list and the level list on this
  // one. Each side lends only members of its own lists to its probes, and neither adds or removes a name of the
  // document, so neither sees the other's work; the findings are joined in the order of a review on one thread. Each
  // side frees the list only it reads once it is done with it, and the creature list goes last.
  const Language language = report.language;
  const Walked creatures = WalkMembers(kCreatures, document, language);
  const json* items = MembersOf(kItems, document);
  const json* creatureMembers = MembersOf(kCreatures, document);
  const auto countOf = [](const json* members) { return members == nullptr ? std::size_t{0} : members->size(); };
  const auto levels = document.find(config::kLevelListKey);
  const std::size_t levelCount = levels != document.end() && levels->is_object() ? levels->size() : 0;
  const std::size_t half = (countOf(items) + countOf(creatureMembers) + levelCount) / 2;
  const std::size_t split = std::min(countOf(creatureMembers), half - std::min(half, countOf(items)));
  std::future<void> firstPart = std::async(std::launch::async | std::launch::deferred, [&] {
    const std::size_t from = report.findings.size();
    ReviewLabelledList(kItems, document, WalkMembers(kItems, document, language), report);
    if (creatureMembers == nullptr) {
      ReviewListOff(kCreatures, document, report);
    } else {
      ReviewMembers(kCreatures, *creatureMembers, creatures, 0, split, report);
    }
    finish(report, from);
    LetGo(document, kItems.key);
  });
  Report rest(language);
  if (creatureMembers != nullptr) {
    ReviewMembers(kCreatures, *creatureMembers, creatures, split, creatureMembers->size(), rest);
    ReviewSharedPaths(kCreatures, creatures, rest);
  }
  ReviewLevelList(document, creatures.listed, rest);
  LetGo(document, config::kLevelListKey);
  ReviewTopLevelKeys(document, rest);
  finish(rest, 0);
  firstPart.get();
  report.Append(std::move(rest));
  const json released = std::move(document);
}

}  // namespace check::detail
