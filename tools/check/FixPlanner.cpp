// The changes the checker is certain of, planned from the anchors of its findings, and shown as a unified diff.
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Driver.h"

namespace check {

using detail::Printable;

namespace detail {

std::optional<Change> CertainChange(const Positions& positions, const Anchor& anchor) {
  if (!anchor.fix) return std::nullopt;
  const Span span = positions.Find(anchor.tokens, anchor.key);
  const std::string& bytes = positions.Bytes();
  if (span.end <= span.begin || bytes[span.begin] != '"') return std::nullopt;
  // A name changed into one its object already holds would make the two one, and the plug-in keep only the last.
  if (anchor.key) {
    std::vector<std::string> renamed = anchor.tokens;
    renamed.back() = *anchor.fix;
    if (positions.Exists(renamed)) return std::nullopt;
  }
  return Change{
      0, 0, span.begin, span.end, bytes.substr(span.begin, span.end - span.begin), nlohmann::json(*anchor.fix).dump()};
}

}  // namespace detail

FixPlan PlanFixes(const std::string& path, Language language) {
  detail::Checked checked = detail::Check(path, language);
  FixPlan plan;
  if (!checked.positions || !checked.positions->Known()) return plan;
  const detail::Positions& positions = *checked.positions;
  plan.before = positions.Bytes();
  std::vector<std::size_t> offsets;
  for (const auto& anchor : checked.report.anchors) {
    std::optional<Change> change = detail::CertainChange(positions, anchor);
    if (!change) continue;
    const bool seen = std::any_of(plan.changes.begin(), plan.changes.end(),
                                  [&](const Change& planned) { return planned.begin == change->begin; });
    if (seen) continue;
    offsets.push_back(change->begin);
    plan.changes.push_back(std::move(*change));
  }
  const auto places = positions.Places(offsets);
  for (std::size_t i = 0; i < plan.changes.size(); ++i) {
    plan.changes[i].line = places[i].line;
    plan.changes[i].column = places[i].column;
  }
  std::sort(plan.changes.begin(), plan.changes.end(),
            [](const Change& a, const Change& b) { return a.begin < b.begin; });
  plan.after = plan.before;
  for (auto change = plan.changes.rbegin(); change != plan.changes.rend(); ++change) {
    plan.after.replace(change->begin, change->end - change->begin, change->to);
  }
  return plan;
}

std::string UnifiedDiff(const FixPlan& plan, const std::string& file) {
  if (plan.changes.empty()) return {};
  std::string diff = "--- " + file + "\n+++ " + file + "\n";
  // Strings never span lines, so each changed line is a hunk of its own, in both files at the same number.
  std::size_t change = 0;
  std::ptrdiff_t shift = 0;  // how much longer the new text is before the current line
  while (change < plan.changes.size()) {
    const std::size_t lineBegin = plan.before.rfind('\n', plan.changes[change].begin) + 1;
    const std::size_t lineEnd = std::min(plan.before.find('\n', plan.changes[change].begin), plan.before.size());
    std::ptrdiff_t lineShift = 0;
    const std::size_t first = change;
    while (change < plan.changes.size() && plan.changes[change].begin < lineEnd) {
      lineShift += static_cast<std::ptrdiff_t>(plan.changes[change].to.size()) -
                   static_cast<std::ptrdiff_t>(plan.changes[change].end - plan.changes[change].begin);
      ++change;
    }
    const std::string oldLine = plan.before.substr(lineBegin, lineEnd - lineBegin);
    const std::string newLine =
        plan.after.substr(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(lineBegin) + shift),
                          static_cast<std::size_t>(static_cast<std::ptrdiff_t>(oldLine.size()) + lineShift));
    shift += lineShift;
    const int number = plan.changes[first].line;
    diff += fmt::format("@@ -{0},1 +{0},1 @@\n-{1}\n+{2}\n", number, Printable(oldLine), Printable(newLine));
  }
  return diff;
}

}  // namespace check
