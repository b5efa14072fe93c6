// The hooks' own walks on probe documents, the lines the plug-in logs when they fail, and the words for what they
// fail on. Every error of the lists comes from these walks failing.
#include "Probes.h"

#include <cstdint>
#include <exception>

#include <fmt/format.h>

#include "common/Messages.h"
#include "config/ConfigAccess.h"
#include "config/Walks.h"
#include "inventory/DetourNames.h"
#include "purge/DetourNames.h"

namespace check::detail {
namespace {

using nlohmann::json;

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

// A text that no derived path can equal.
constexpr std::string_view kProbeBlueprint = "\n";

std::string Line(const char* detour, const char* source, const std::string& what) {
  return fmt::format(messages::kCommandFailure, source, detour, what);
}

}  // namespace

const Shape kLabelledShape{config::kBlueprintKey, text::kMemberNotObject, text::kBlueprintNotString, text::kNoBlueprint,
                           text::kBlueprintMisspelt};
const Shape kLevelShape{config::kThresholdKey, text::kEntryNotObject, text::kThresholdNotNumber, text::kNoThreshold,
                        text::kThresholdMisspelt};

std::optional<std::string> ItemWalkFailure(json& document) {
  return FailureOf(
      [&] { config::WalkDestroylist(document, kProbeBlueprint, [] { return config::AfterMatch::Continue; }); });
}

std::optional<std::string> CreatureWalkFailure(const json& document) {
  return FailureOf([&] { config::WalkDinolist(document, kProbeBlueprint, [] {}); });
}

std::optional<std::string> LevelCheckFailure(json& document, std::string_view blueprint) {
  static constexpr std::int32_t kBaseLevel = 1;
  return FailureOf([&] { (void)config::LevelReached(document, blueprint, [] { return &kBaseLevel; }); });
}

std::vector<std::string> ItemWalkLines(const std::string& what) {
  return {Line(detours::kViewRemoteInventory, TIDYWARDEN_INVENTORY_SOURCE, what),
          Line(detours::kAddToInventory, TIDYWARDEN_INVENTORY_SOURCE, what),
          Line(detours::kFinishedReceivingItems, TIDYWARDEN_INVENTORY_SOURCE, what)};
}

std::vector<std::string> SpawnLines(const std::string& what) {
  return {Line(detours::kDinoBeginPlay, TIDYWARDEN_SPAWN_FILTER_SOURCE, what)};
}

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

std::string LaterMembers(const Report& report, std::size_t count) {
  if (count == 0) return {};
  if (count == 1) return report.Say(text::kLaterMember);
  return report.Say(text::kLaterMembers, fmt::arg("count", count));
}

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

void ReportPath(Report& report, const std::string& path, PathFamily family, const std::function<Anchor()>& anchorOf) {
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
  if (!review.suggestion.empty())
    message += report.Say(text::kPerhaps, fmt::arg("suggestion", Quote(review.suggestion)));
  Anchor anchor = anchorOf();
  if (review.certain && !review.suggestion.empty()) anchor.fix = review.suggestion;
  report.Add(code, std::move(anchor), message, effect);
}

}  // namespace check::detail
