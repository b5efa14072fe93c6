// The parsed document reviewed as a whole: its kind, each list in the order the findings are read in, and the names
// beside the lists that the plug-in does not read.
#include <string>

#include <fmt/format.h>

#include "Probes.h"
#include "config/ConfigAccess.h"

namespace check::detail {
namespace {

using nlohmann::json;

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

void AnalyseDocument(json& document, Report& report) {
  if (!document.is_object()) {
    ReviewDocumentKind(document, report);
    return;
  }
  const ListedPaths listedCreatures = ReviewLabelledLists(document, report);
  ReviewLevelList(document, listedCreatures, report);
  ReviewTopLevelKeys(document, report);
}

}  // namespace check::detail
