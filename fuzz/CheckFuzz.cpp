// Fuzz target: any bytes as a configuration file, checked; then the loaded plug-in's hooks driven with the same file
// must fail for exactly the lists the checker reports errors for, with the lines it quotes.
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Check.h"
#include "FuzzSupport.h"
#include "HookVerdicts.h"

namespace {

void CheckFindings(const check::Findings& findings) {
  const int status = check::ExitStatus(findings);
  if (status < 0 || status > 2) fuzz::Fail("an existing file gave exit status " + std::to_string(status));
  for (const auto& finding : findings) {
    if (finding.code == "E101" && findings.size() != 1) fuzz::Fail("a parse error came with other findings");
    if (finding.code.empty() || finding.message.empty()) fuzz::Fail("a finding without a code or a message");
  }
  const auto array = nlohmann::json::parse(check::FormatJson(findings), nullptr, false);
  if (!array.is_array() || array.size() != findings.size()) fuzz::Fail("the JSON output does not hold every finding");
  if (check::FormatText(findings).empty()) fuzz::Fail("the text output is empty");
  const auto sarif = nlohmann::json::parse(check::FormatSarif(findings, "config.json", check::Language::Chinese),
                                           nullptr, false);
  if (!sarif.is_object() || sarif["runs"][0]["results"].size() != findings.size()) {
    fuzz::Fail("the SARIF output does not hold every finding");
  }
  for (const auto& finding : findings) {
    if (finding.line < 0 || finding.column < 0 || (finding.line == 0) != (finding.column == 0)) {
      fuzz::Fail("a finding placed at line " + std::to_string(finding.line) + ", column " +
                 std::to_string(finding.column));
    }
  }
}

// The certain fixes change only their own strings, and the changed file is read as JSON again.
void CheckFixes(const std::string& path, const check::Findings& findings) {
  const check::FixPlan plan = check::PlanFixes(path);
  std::string rebuilt = plan.before;
  for (auto change = plan.changes.rbegin(); change != plan.changes.rend(); ++change) {
    if (plan.before.compare(change->begin, change->end - change->begin, change->from) != 0) {
      fuzz::Fail("a change's text is not what the file holds there");
    }
    rebuilt.replace(change->begin, change->end - change->begin, change->to);
  }
  if (rebuilt != plan.after) fuzz::Fail("the fixed file differs outside the changed strings");
  if (plan.changes.empty()) return;
  for (const auto& finding : findings) {
    if (finding.code == "E101") fuzz::Fail("a fix planned for a file that does not parse");
  }
  // Read as the plug-in reads it: the first value, whatever follows.
  std::istringstream fixed(plan.after);
  nlohmann::json document;
  try {
    fixed >> document;
  } catch (const std::exception& error) {
    fuzz::Fail(std::string("the fixed file does not parse: ") + error.what());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzz::LoadedPlugin& plugin = fuzz::Plugin();
  plugin.WriteConfig(bytes);
  const check::Findings findings = check::CheckFile(plugin.ConfigPath().string());
  CheckFindings(findings);
  CheckFixes(plugin.ConfigPath().string(), findings);

  const auto hooks = verdicts::DriveHooks(bytes, [&](const std::string& text) {
    plugin.WriteConfig(text);
    const auto replies = plugin.Reload();
    return replies.size() == 1 && replies[0].Utf8() == fuzz::kReloaded;
  });
  for (const auto& problem : verdicts::Disagreements(findings, hooks)) fuzz::Fail(problem);
  return 0;
}
