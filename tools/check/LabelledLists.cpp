// The two labelled lists, "Destroylist" and "DestroyDinolist", walked as the hooks walk them, one member at a time,
// and reviewed for what the walks accept without a word.
#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "Probes.h"
#include "config/ConfigAccess.h"

namespace check::detail {
namespace {

using nlohmann::json;

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

const LabelledList kItems{config::kItemListKey, PathFamily::Item,      Code::E111,         Code::E112,
                          text::kItem,          text::kItemWalkEffect, text::kItemListOff, text::kItemListedTwice};
const LabelledList kCreatures{config::kCreatureListKey,
                              PathFamily::Creature,
                              Code::E121,
                              Code::E122,
                              text::kCreature,
                              text::kCreatureWalkEffect,
                              text::kCreatureListOff,
                              text::kCreatureListedTwice};

VerdictByShape::MakeLines WalkLines(const LabelledList& list) {
  return list.family == PathFamily::Item ? ItemWalkLines : SpawnLines;
}

std::optional<std::string> WalkFailure(const LabelledList& list, json& document) {
  return list.family == PathFamily::Item ? ItemWalkFailure(document) : CreatureWalkFailure(document);
}

// What the walk of a labelled list makes of each member, in member order. Walked once, before any review: a failing
// walk may add null members to the member it was lent, so each member is described as it was before.
struct Walked {
  explicit Walked(VerdictByShape::MakeLines lines) : verdicts(lines) {}
  VerdictByShape verdicts;
  std::vector<Before> before;
  std::vector<const Verdict*> verdict;  // into `verdicts`
  ListedPaths listed;                   // the members the walk reads through
};

// `members` is the list's object.
Walked WalkMembers(const LabelledList& list, json& members, Language language) {
  Walked walked(WalkLines(list));
  walked.before.reserve(members.size());
  walked.verdict.reserve(members.size());
  for (auto member = members.begin(); member != members.end(); ++member) {
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
             report.Say(list.effect), WalkLines(list)(*failure));
}

// Each member of `members`, the list's object, in order, as `walked` found it.
void ReviewMembers(const LabelledList& list, const json& members, const Walked& walked, Report& report) {
  const std::string effect = report.Say(list.effect);
  std::size_t position = 0;
  for (auto member = members.begin(); member != members.end(); ++member, ++position) {
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
    ReportPath(report, config::BlueprintOfCopy(member.value()), list.family, [&] {
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

// What the list's walk accepts, by path; nothing when it walks no member.
ListedPaths ReviewLabelledList(const LabelledList& list, json& document, Report& report) {
  const auto found = document.find(list.key);
  if (found == document.end() || !found->is_object()) {
    ReviewListOff(list, document, report);
    return {};
  }
  Walked walked = WalkMembers(list, *found, report.language);
  ReviewMembers(list, *found, walked, report);
  ReviewSharedPaths(list, walked, report);
  return std::move(walked.listed);
}

}  // namespace

ListedPaths ReviewLabelledLists(json& document, Report& report) {
  ReviewLabelledList(kItems, document, report);
  return ReviewLabelledList(kCreatures, document, report);
}

}  // namespace check::detail
