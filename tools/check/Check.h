// The administrator's configuration checker: what the plug-in will make of a configuration file, before it does.
#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace check {

enum class Severity { Note, Warning, Error };

// The languages findings are written in; codes and the plug-in's log lines are never translated.
enum class Language { English, Chinese };

// The exact lines the plug-in logs for a finding, one per detour that fails. Members that fail alike log alike, so
// a file with thousands of them shares one copy of their lines.
class LogLines {
 public:
  LogLines() = default;
  LogLines(std::vector<std::string> lines)
      : lines_(std::make_shared<const std::vector<std::string>>(std::move(lines))) {}
  LogLines(std::initializer_list<std::string> lines) : LogLines(std::vector<std::string>(lines)) {}

  const std::vector<std::string>& Lines() const {
    static const std::vector<std::string> kNone;
    return lines_ ? *lines_ : kNone;
  }
  auto begin() const { return Lines().begin(); }
  auto end() const { return Lines().end(); }
  std::size_t size() const { return Lines().size(); }
  bool empty() const { return Lines().empty(); }
  const std::string& operator[](std::size_t index) const { return Lines()[index]; }
  friend bool operator==(const LogLines& a, const LogLines& b) { return a.Lines() == b.Lines(); }

 private:
  std::shared_ptr<const std::vector<std::string>> lines_;
};

// A change that is certainly meant: one JSON string token of the file, [begin, end) in bytes, replaced.
struct Change {
  int line = 0;
  int column = 0;
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string from;  // the token as written
  std::string to;    // the token meant
};

struct Finding {
  Severity severity = Severity::Note;
  std::string code;  // stable: "E112", "W202", "N301" (CodeTable())
  // 1-based, columns in characters, of the key or value concerned; 0 when the finding has no place in the file.
  int line = 0;
  int column = 0;
  std::string pointer;  // JSON Pointer (RFC 6901) of the value concerned; "" is the whole document
  std::string message;
  std::string effect;  // what the plug-in does with it, in plain words
  LogLines log;
  // The change --fix would make for this finding, when the checker is certain of one.
  std::optional<Change> fix;
};

// Errors first, then warnings, then notes; in document order within each.
using Findings = std::vector<Finding>;

struct CodeInfo {
  const char* code;
  Severity severity;
  const char* title[2];  // by Language
};

// Every code a finding can carry.
std::span<const CodeInfo> CodeTable();

// Reads the file exactly as the plug-in reads its configuration and reports what it finds, in `language`. Never
// throws for anything the file holds.
Findings CheckFile(const std::string& path, Language language = Language::English);

struct FixPlan {
  std::vector<Change> changes;  // in file order
  std::string before;           // the file's bytes
  std::string after;            // the same bytes with the changes made, and nothing else changed
};
// The changes the checker is certain of: a path's final _C, Default__, whitespace no path holds.
FixPlan PlanFixes(const std::string& path, Language language = Language::English);
// The changes as a unified diff of `file`, one hunk per changed line.
std::string UnifiedDiff(const FixPlan& plan, const std::string& file);

// The file the plug-in reads in a server directory.
std::string ConfigPathInServerDir(const std::string& serverDir);

// 0: nothing above notes; 1: warnings; 2: errors; 3: the file could not be read at all.
int ExitStatus(const Findings& findings);

const char* SeverityName(Severity severity);

// "en" and "zh-CN" (also "zh", "zh_CN"); nothing for anything else.
std::optional<Language> ParseLanguage(std::string_view name);
// From LC_ALL, LC_MESSAGES and LANG, the first that is set; English unless it names Chinese.
Language LanguageFromLocale(std::string_view locale);
Language EnvironmentLanguage();

struct TextOptions {
  std::string file = "config.json";  // leads every finding: FILE:LINE:COLUMN:
  Language language = Language::English;
  bool colour = false;  // ANSI colours
};
// One block per finding and a closing count.
std::string FormatText(const Findings& findings, const TextOptions& options = {});
// An array of {severity, code, line, column, pointer, message, effect, log}.
std::string FormatJson(const Findings& findings);
// A SARIF 2.1.0 log of one run: the code table as the tool's rules, each finding with its place in `file`.
std::string FormatSarif(const Findings& findings, const std::string& file, Language language);
// The code table, one code a line.
std::string FormatCodes(Language language);

}  // namespace check
