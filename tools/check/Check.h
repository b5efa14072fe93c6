// The administrator's configuration checker: what the plug-in will make of a configuration file, before it does.
#pragma once

#include <string>
#include <vector>

namespace check {

enum class Severity { Note, Warning, Error };

struct Finding {
  Severity severity = Severity::Note;
  std::string code;     // stable: "E112", "W202", "N301" (README, "Checking a configuration")
  std::string pointer;  // JSON Pointer (RFC 6901) of the value concerned; "" is the whole document
  std::string message;
  std::string effect;            // what the plug-in does with it, in plain words
  std::vector<std::string> log;  // the exact lines the plug-in logs for it, one per detour that fails
};

// Errors first, then warnings, then notes; in document order within each.
using Findings = std::vector<Finding>;

// Reads the file exactly as the plug-in reads its configuration and reports what it finds. Never throws for
// anything the file holds.
Findings CheckFile(const std::string& path);

// The file the plug-in reads in a server directory.
std::string ConfigPathInServerDir(const std::string& serverDir);

// 0: nothing above notes; 1: warnings; 2: errors; 3: the file could not be read at all.
int ExitStatus(const Findings& findings);

const char* SeverityName(Severity severity);

// One block per finding and a closing count; ANSI colours when `colour` is set.
std::string FormatText(const Findings& findings, bool colour = false);
// An array of {severity, code, pointer, message, effect, log}.
std::string FormatJson(const Findings& findings);

}  // namespace check
