// "DestroyDinoLevel" checked as each spawn's level check reads it: the entries it fails on, the thresholds it
// converts to another number, and the creatures that are listed as well.
#include <cstdint>
#include <limits>
#include <string>

#include <fmt/format.h>

#include "Probes.h"
#include "config/ConfigAccess.h"

namespace check::detail {
namespace {

using nlohmann::json;

// What the plug-in does with a creature whose threshold it takes as `effective`.
const text::Text& ThresholdEffect(std::int32_t effective) {
  if (effective <= 1) return text::kThresholdAll;
  if (effective == std::numeric_limits<std::int32_t>::max()) return text::kThresholdOff;
  return text::kThresholdFrom;
}

// Why the plug-in's conversion to a 32-bit integer gives `effective` for `value`; nothing when it is the number
// written.
const text::Text* ThresholdChange(const json& value, std::int32_t effective) {
  if (value.is_boolean()) return &text::kThresholdBoolean;
  if (value.is_number_float()) {
    const double number = value.get<double>();
    if (number == static_cast<double>(effective)) return nullptr;
    return number >= std::numeric_limits<std::int32_t>::max() || number <= std::numeric_limits<std::int32_t>::min()
               ? &text::kThresholdSaturates
               : &text::kThresholdFraction;
  }
  if (value.is_number_unsigned()) {
    if (effective >= 0 && value.get<std::uint64_t>() == static_cast<std::uint64_t>(effective)) return nullptr;
    return &text::kThresholdWraps;
  }
  if (value.is_number_integer()) return value.get<std::int64_t>() == effective ? nullptr : &text::kThresholdWraps;
  return nullptr;
}

// A threshold that the plug-in's conversion turns into another number than the one written; `anchorOf` makes the
// finding's anchor, only when there is a finding: most thresholds are taken as written.
template <typename AnchorOf>
void ReviewThreshold(Report& report, const json& value, AnchorOf&& anchorOf) {
  std::int32_t effective = 0;
  try {
    effective = config::ThresholdOf(value);
  } catch (const std::exception&) {
    return;
  }
  const text::Text* why = ThresholdChange(value, effective);
  if (why == nullptr) return;
  report.Add(Code::W205, anchorOf(),
             report.Say(text::kThresholdUsed, fmt::arg("value", value.dump()),
                        fmt::arg("why", Pick(*why, report.language)), fmt::arg("used", effective)),
             report.Say(ThresholdEffect(effective), fmt::arg("used", effective)));
}

// The texts every faulty entry shares, said once.
struct EntryEffects {
  explicit EntryEffects(const Report& report)
      : checkFails(report.Say(text::kLevelCheckFails)), neverRead(report.Say(text::kEntryNeverReadEffect)) {}
  std::string checkFails;
  std::string neverRead;
};

// One entry, named `path`, and `verdict` the level check's on it.
void ReviewEntry(const std::string& path, const json& entry, const Before& before, const Verdict& verdict,
                 const EntryEffects& effects, Report& report) {
  const char* key = config::kLevelListKey;
  const auto faultAnchor = [&] {
    return before.memberPresent ? Anchor({key, path, config::kThresholdKey}) : Anchor({key, path}, before.object);
  };
  ReportPath(report, path, PathFamily::Creature, [&] { return Anchor({key, path}, true); });
  if (!verdict.failure) {
    if (before.memberPresent) ReviewThreshold(report, entry.find(config::kThresholdKey).value(), faultAnchor);
    return;
  }
  const std::string quoted = Quote(path);
  const std::string fault = ShapeFault(report, kLevelShape, quoted, entry, before);
  // An entry no creature's path can name is never read by a spawn.
  const bool read = CanBeDerived(path);
  report.Add(
      read ? Code::E132 : Code::W208, faultAnchor(),
      report.Say(read ? text::kEntryFault : text::kEntryNeverRead, fmt::arg("path", quoted), fmt::arg("fault", fault)),
      read ? effects.checkFails : effects.neverRead, verdict.log);
}

}  // namespace

void ReviewLevelList(json& document, const ListedPaths& listedCreatures, Report& report) {
  const char* key = config::kLevelListKey;
  const auto found = document.find(key);
  if (found == document.end() || !found->is_object()) {
    ListOff(report, key, found == document.end() ? nullptr : &*found, text::kLevelListNotObject, text::kLevelListOff);
    return;
  }
  VerdictByShape verdicts(SpawnLines);
  const EntryEffects effects(report);
  for (auto entry = found->begin(); entry != found->end(); ++entry) {
    const std::string& path = entry.key();
    const Before before(entry.value(), config::kThresholdKey, report.language);
    const Verdict& verdict = verdicts.Of(entry.value(), config::kThresholdKey, [&] {
      Probe probe(entry.value(), key, path);
      return LevelCheckFailure(probe.Document(), path);
    });
    ReviewEntry(path, entry.value(), before, verdict, effects, report);
    const auto listed = listedCreatures.find(path);
    if (listed == listedCreatures.end()) continue;
    report.Add(Code::N302, Anchor({key, path}, true),
               report.Say(text::kListedAndCapped, fmt::arg("path", Quote(path)),
                          fmt::arg("label", Quote(listed->second.first))),
               report.Say(text::kListedAndCappedEffect));
  }
}

}  // namespace check::detail
