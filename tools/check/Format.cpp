// The findings as text for a person, as JSON for a program, and as an exit status.
#include <string>

#include <fmt/format.h>
#include <utf8cpp/utf8.h>
#include <nlohmann/json.hpp>

#include "Check.h"
#include "CheckInternal.h"

namespace check {
namespace {

constexpr std::size_t kPointerShown = 300;

// A parse error's text can quote bytes that are not UTF-8; a terminal gets U+FFFD for them.
std::string Printable(const std::string& text) {
  if (utf8::find_invalid(text.begin(), text.end()) == text.end()) return text;
  return utf8::replace_invalid(text);
}

struct Style {
  const char* on;
  const char* off;
};

Style SeverityStyle(Severity severity, bool colour) {
  if (!colour) return {"", ""};
  switch (severity) {
    case Severity::Error:
      return {"\033[1;31m", "\033[0m"};
    case Severity::Warning:
      return {"\033[1;33m", "\033[0m"};
    default:
      return {"\033[1;36m", "\033[0m"};
  }
}

std::string Count(std::size_t count, const char* noun) {
  return fmt::format("{} {}{}", count, noun, count == 1 ? "" : "s");
}

}  // namespace

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::Error:
      return "error";
    case Severity::Warning:
      return "warning";
    default:
      return "note";
  }
}

int ExitStatus(const Findings& findings) {
  int status = 0;
  for (const Finding& finding : findings) {
    if (finding.code == "E100") return 3;
    if (finding.severity == Severity::Error) status = 2;
    if (finding.severity == Severity::Warning && status < 1) status = 1;
  }
  return status;
}

std::string FormatText(const Findings& findings, bool colour) {
  const char* dim = colour ? "\033[2m" : "";
  const char* plain = colour ? "\033[0m" : "";
  std::string text;
  std::size_t counts[3] = {0, 0, 0};
  for (const Finding& finding : findings) {
    ++counts[static_cast<int>(finding.severity)];
    const Style style = SeverityStyle(finding.severity, colour);
    // A pointer holds the member names whole, and a name can be megabytes long; JSON output keeps it whole.
    const std::string where =
        finding.pointer.empty() ? "the whole file" : Printable(detail::Shortened(finding.pointer, kPointerShown));
    text += fmt::format("{}{} {}{} at {}: {}\n", style.on, SeverityName(finding.severity), finding.code, style.off,
                        where, Printable(finding.message));
    if (!finding.effect.empty()) text += fmt::format("    effect: {}\n", Printable(finding.effect));
    for (const std::string& line : finding.log)
      text += fmt::format("    {}plug-in log:{} {}\n", dim, plain, Printable(line));
  }
  if (findings.empty()) return "no findings: the plug-in reads this configuration as it is written\n";
  text += Count(counts[static_cast<int>(Severity::Error)], "error") + ", " +
          Count(counts[static_cast<int>(Severity::Warning)], "warning") + ", " +
          Count(counts[static_cast<int>(Severity::Note)], "note") + "\n";
  return text;
}

std::string FormatJson(const Findings& findings) {
  // Members in the order a reader expects them, not sorted by name.
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const Finding& finding : findings) {
    array.push_back({{"severity", SeverityName(finding.severity)},
                     {"code", finding.code},
                     {"pointer", finding.pointer},
                     {"message", finding.message},
                     {"effect", finding.effect},
                     {"log", finding.log}});
  }
  return array.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace check
