// The findings as text for a person, as JSON for a program and as a SARIF log for code-scanning services, and the
// table of codes.
#include <cctype>
#include <cstring>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Check.h"
#include "CheckInternal.h"

namespace check {
namespace {

using detail::Printable;

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

// A file name as a SARIF artifact's URI: a drive path becomes file:///D:/..., separators become /, and everything
// outside the unreserved characters is percent-encoded.
std::string FileUri(const std::string& file) {
  std::string path = file;
  for (char& c : path) c = c == '\\' ? '/' : c;
  std::string uri;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])) != 0) {
    uri = "file:///";
  } else if (!path.empty() && path[0] == '/') {
    uri = "file://";
  }
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || std::strchr("-._~/:", c) != nullptr) {
      uri += c;
    } else {
      uri += fmt::format("%{:02X}", byte);
    }
  }
  return uri;
}

std::string Say(const text::Text& text, Language language) { return detail::Pick(text, language); }

}  // namespace

std::string FormatText(const Findings& findings, const TextOptions& options) {
  const Language language = options.language;
  const char* dim = options.colour ? "\033[2m" : "";
  const char* plain = options.colour ? "\033[0m" : "";
  const std::string colon = language == Language::Chinese ? "：" : ": ";
  const std::string effectLabel = Say(text::kEffect, language) + colon;
  const std::string logLabel = Say(text::kPluginLog, language) + colon;
  const std::string file = Printable(options.file);
  if (findings.empty()) return file + ": " + Say(text::kNoFindings, language) + "\n";
  std::string text;
  std::size_t counts[3] = {0, 0, 0};
  for (const Finding& finding : findings) {
    ++counts[static_cast<int>(finding.severity)];
    const Style style = SeverityStyle(finding.severity, options.colour);
    // FILE:LINE:COLUMN: as compilers write it, so editors and CI place the finding; the severity stays in English
    // for the same reason.
    const std::string where = finding.line > 0 ? fmt::format("{}:{}:{}", file, finding.line, finding.column) : file;
    text += fmt::format("{}: {}{} {}{}: {}\n", where, style.on, SeverityName(finding.severity), finding.code, style.off,
                        Printable(finding.message));
    if (!finding.effect.empty()) text += fmt::format("    {}{}\n", effectLabel, Printable(finding.effect));
    for (const std::string& line : finding.log)
      text += fmt::format("    {}{}{}{}\n", dim, logLabel, plain, Printable(line));
  }
  const auto count = [&](Severity severity) { return counts[static_cast<int>(severity)]; };
  const auto plural = [](std::size_t n) { return n == 1 ? "" : "s"; };
  text += fmt::format(fmt::runtime(Say(text::kSummary, language)), fmt::arg("errors", count(Severity::Error)),
                      fmt::arg("es", plural(count(Severity::Error))), fmt::arg("warnings", count(Severity::Warning)),
                      fmt::arg("ws", plural(count(Severity::Warning))), fmt::arg("notes", count(Severity::Note)),
                      fmt::arg("ns", plural(count(Severity::Note)))) +
          "\n";
  return text;
}

std::string FormatJson(const Findings& findings) {
  // Members in the order a reader expects them, not sorted by name.
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const Finding& finding : findings) {
    array.push_back({{"severity", SeverityName(finding.severity)},
                     {"code", finding.code},
                     {"line", finding.line},
                     {"column", finding.column},
                     {"pointer", finding.pointer},
                     {"message", finding.message},
                     {"effect", finding.effect},
                     {"log", finding.log.Lines()}});
  }
  return array.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string FormatSarif(const Findings& findings, const std::string& file, Language language) {
  using nlohmann::ordered_json;
  const auto index = static_cast<std::size_t>(language);
  ordered_json rules = ordered_json::array();
  for (const CodeInfo& info : CodeTable()) {
    rules.push_back({{"id", info.code},
                     {"shortDescription", {{"text", info.title[index]}}},
                     {"defaultConfiguration", {{"level", SeverityName(info.severity)}}}});
  }
  ordered_json results = ordered_json::array();
  for (const Finding& finding : findings) {
    std::size_t rule = 0;
    while (rule < CodeTable().size() && finding.code != CodeTable()[rule].code) ++rule;
    ordered_json location = {{"physicalLocation", {{"artifactLocation", {{"uri", FileUri(file)}}}}}};
    if (finding.line > 0) {
      location["physicalLocation"]["region"] = {{"startLine", finding.line}, {"startColumn", finding.column}};
    }
    if (!finding.pointer.empty()) {
      location["logicalLocations"] = ordered_json::array({{{"fullyQualifiedName", finding.pointer}}});
    }
    std::string message = finding.message;
    if (!finding.effect.empty()) message += "\n" + finding.effect;
    results.push_back({{"ruleId", finding.code},
                       {"ruleIndex", rule},
                       {"level", SeverityName(finding.severity)},
                       {"message", {{"text", message}}},
                       {"locations", ordered_json::array({location})},
                       {"properties", {{"pointer", finding.pointer}, {"log", finding.log.Lines()}}}});
  }
  const ordered_json log = {
      {"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
      {"version", "2.1.0"},
      {"runs", ordered_json::array({{{"tool", {{"driver", {{"name", "tidywarden-check"}, {"rules", rules}}}}},
                                     {"language", language == Language::Chinese ? "zh-CN" : "en-US"},
                                     {"columnKind", "unicodeCodePoints"},
                                     {"results", results}}})}};
  return log.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::string FormatCodes(Language language) {
  std::string text = Say(text::kCodesHeading, language) + "\n";
  for (const CodeInfo& info : CodeTable()) {
    const text::Text& severity = info.severity == Severity::Error     ? text::kSeverityError
                                 : info.severity == Severity::Warning ? text::kSeverityWarning
                                                                      : text::kSeverityNote;
    text += fmt::format("{}  {}  {}\n", info.code, Say(severity, language), info.title[static_cast<int>(language)]);
  }
  return text;
}

}  // namespace check
