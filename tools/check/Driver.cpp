// The checker's pass over one file: read as the plug-in reads it, reviewed, and each finding placed where an editor
// shows it; and the findings in the order administrators read them.
#include "Driver.h"

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "FileReading.h"
#include "config/ConfigFile.h"

namespace check {
namespace detail {
namespace {

// Each finding's line and column: from its anchor's offset, or from where its tokens lead when the places were read.
void PlaceFindings(const Positions& positions, Report& report) {
  std::vector<std::size_t> offsets;
  std::vector<std::size_t> placed;
  for (std::size_t i = 0; i < report.findings.size(); ++i) {
    const auto& anchor = report.anchors[i];
    if (anchor.offset) {
      offsets.push_back(*anchor.offset);
    } else if (positions.Known()) {
      offsets.push_back(positions.Find(anchor.tokens, anchor.key).begin);
    } else {
      continue;
    }
    placed.push_back(i);
  }
  const auto places = positions.Places(offsets);
  for (std::size_t i = 0; i < placed.size(); ++i) {
    report.findings[placed[i]].line = places[i].line;
    report.findings[placed[i]].column = places[i].column;
  }
}

}  // namespace

Checked Check(const std::string& path, Language language) {
  Checked checked(language);
  Report& report = checked.report;
  PluginReading reading;
  if (!ReadAsThePlugin(path, reading, report)) return checked;
  Positions positions(FileBytes(path));
  if (reading.fault) {
    ParseFailure(positions, *reading.fault, report);
    return checked;
  }
  AnalyseDocument(reading.document, report);
  ReviewRepeats(positions, report);
  if (reading.trailing) {
    report.Add(Code::W206, Anchor::At(positions.Trailing().value_or(0)),
               report.Say(text::kTrailing, fmt::arg("text", Quote(*reading.trailing))),
               report.Say(text::kTrailingEffect));
  }
  PlaceFindings(positions, report);
  checked.positions.emplace(std::move(positions));
  return checked;
}

}  // namespace detail

Findings CheckFile(const std::string& path, Language language) {
  detail::Checked checked = detail::Check(path, language);
  detail::Report& report = checked.report;
  if (checked.positions && checked.positions->Known()) {
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
      Finding& finding = report.findings[i];
      finding.fix = detail::CertainChange(*checked.positions, report.anchors[i]);
      if (finding.fix) {
        finding.fix->line = finding.line;
        finding.fix->column = finding.column;
      }
    }
  }
  const auto bySeverity = [](const Finding& a, const Finding& b) { return a.severity > b.severity; };
  if (std::is_sorted(report.findings.begin(), report.findings.end(), bySeverity)) return std::move(report.findings);
  std::vector<std::size_t> order(report.findings.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return bySeverity(report.findings[a], report.findings[b]); });
  Findings sorted;
  sorted.reserve(order.size());
  for (const std::size_t index : order) sorted.push_back(std::move(report.findings[index]));
  return sorted;
}

std::string ConfigPathInServerDir(const std::string& serverDir) { return serverDir + config::kConfigPathInServerDir; }

}  // namespace check
