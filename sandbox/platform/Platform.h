// What the project's programs need from the operating system, one implementation file per platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sandbox::platform {

// The folder holding the running program, with a trailing separator, in the encoding the file functions take;
// "./" (Linux) or "" (Windows) when it cannot be told.
std::string ProgramFolder();

// From now on an interrupt, a termination request or the console being closed asks the program to stop; a peer
// that goes away mid-write surfaces as a write error, not as a signal that kills the process.
void InstallStopHandler();
bool StopRequested();
// The program has finished stopping; a console that is being closed may go ahead.
void StopCompleted();

// UTF-8 text to the standard output or error. A Windows console gets UTF-16, so it shows the text whatever its code
// page; a file or a pipe gets the UTF-8 bytes as they are.
void WriteOut(std::string_view utf8);
void WriteError(std::string_view utf8);

// An environment variable as UTF-8; nothing when it is unset.
std::optional<std::string> EnvironmentVariable(const char* name);
// A command-line argument as UTF-8 (Windows hands the program its arguments in the ANSI code page).
std::string ArgumentToUtf8(std::string_view argument);

// GBK (code page 936) bytes, the plug-in's log encoding, as UTF-8. A byte that does not start a valid character
// becomes U+FFFD and the rest of the text is still converted.
std::string GbkToUtf8(std::string_view bytes);

// Opens an address in the user's default browser; false when that could not be started.
bool OpenInBrowser(const std::string& url);
// Started with no arguments in a console window of its own: a double-click in the file manager.
bool StartedByDoubleClick(int argc);

}  // namespace sandbox::platform
