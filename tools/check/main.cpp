// tidywarden-check: checks a configuration file before it goes to the server.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "Catalogue.h"
#include "Check.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kUsageStatus = 3;

// Colour only for a person at a terminal; NO_COLOR turns it off there too.
bool ColourWanted() {
  if (std::getenv("NO_COLOR") != nullptr) return false;
#if defined(_WIN32)
  if (_isatty(_fileno(stdout)) == 0) return false;
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(console, &mode)) return false;
  return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
  return ::isatty(STDOUT_FILENO) != 0;
#endif
}

// A window of its own: started from Explorer by a double-click, not from a prompt, a script or a pipe.
bool OwnConsoleWindow() {
#if defined(_WIN32)
  DWORD processes[2];
  return _isatty(_fileno(stdin)) != 0 && GetConsoleProcessList(processes, 2) == 1;
#else
  return false;
#endif
}

// The folder this program lies in, with a trailing separator; empty when it cannot be told.
std::string ProgramFolder() {
#if defined(_WIN32)
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring path(buffer, length);
  path.erase(path.find_last_of(L"\\/") + 1);
  const int bytes = WideCharToMultiByte(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0, nullptr,
                                        nullptr);
  std::string folder(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), folder.data(), bytes, nullptr, nullptr);
  return folder;
#else
  return {};
#endif
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

const char* Say(const check::text::Text& text, check::Language language) {
  return language == check::Language::Chinese ? text.zh : text.en;
}

// Why the first text that could not be written whole was lost (errno); 0 while every text was. EBADF: the process
// was given no standard output at all (a console window that could not be opened, `>&-`), so no reader is misled.
int lostOutput = 0;

void NoteLostOutput() {
  if (std::cout || lostOutput != 0) return;
  lostOutput = errno != 0 ? errno : EIO;
}

// Writes UTF-8 text whole; a Windows console shows it in its own code page, which is given back afterwards: it
// belongs to the console window and outlives this program. A text the C runtime could not write is remembered, so
// that the run does not end as though its findings had been shown.
void Print(const std::string& text) {
#if defined(_WIN32)
  const bool console = _isatty(_fileno(stdout)) != 0;
  const UINT previousCodePage = GetConsoleOutputCP();
  if (console) SetConsoleOutputCP(CP_UTF8);
#endif
  errno = 0;
  std::cout << text;
  std::cout.flush();
  NoteLostOutput();
#if defined(_WIN32)
  if (console) SetConsoleOutputCP(previousCodePage);
#endif
}

// Checked by a double-click: config.json beside the program, or the server layout below its folder; the verdict
// stays on screen until Enter.
int CheckFromExplorer(check::Language language) {
  const std::string folder = ProgramFolder();
  std::string path = folder + "config.json";
  if (!IsFile(path)) path = check::ConfigPathInServerDir(folder.empty() ? "." : folder.substr(0, folder.size() - 1));
  int status = kUsageStatus;
  if (!IsFile(path)) {
    Print(fmt::format(fmt::runtime(Say(check::text::kNothingToCheck, language)), fmt::arg("path", path)) + "\n");
  } else {
    const check::Findings findings = check::CheckFile(path, language);
    Print(check::FormatText(findings, {path, language, ColourWanted()}));
    status = check::ExitStatus(findings);
    const auto& verdict = status >= 2   ? check::text::kVerdictErrors
                          : status == 1 ? check::text::kVerdictWarnings
                                        : check::text::kVerdictFine;
    Print(std::string("\n") + Say(verdict, language) + "\n");
  }
  Print(std::string("\n") + Say(check::text::kPressEnter, language) + "\n");
  std::string line;
  std::getline(std::cin, line);
  return status;
}

// Makes the certain changes: the original is copied to FILE.bak first, then only the changed strings' bytes differ.
int Fix(const std::string& path, bool dryRun, check::Language language) {
  const check::FixPlan plan = check::PlanFixes(path, language);
  if (plan.changes.empty()) {
    Print(std::string(Say(check::text::kNothingToFix, language)) + "\n");
  } else if (dryRun) {
    Print(check::UnifiedDiff(plan, path));
    return check::ExitStatus(check::CheckFile(path, language));
  } else {
    const std::string backup = path + ".bak";
    std::ofstream copy(backup, std::ios::binary | std::ios::trunc);
    copy << plan.before;
    copy.close();
    if (!copy) {
      Print(fmt::format(fmt::runtime(Say(check::text::kCannotWrite, language)), fmt::arg("path", backup)) + "\n");
      return kUsageStatus;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << plan.after;
    file.close();
    if (!file) {
      Print(fmt::format(fmt::runtime(Say(check::text::kCannotWrite, language)), fmt::arg("path", path)) + "\n");
      return kUsageStatus;
    }
    std::string listed;
    for (const auto& change : plan.changes) {
      listed += fmt::format(fmt::runtime(Say(check::text::kFixed, language)), fmt::arg("file", path),
                            fmt::arg("line", change.line), fmt::arg("column", change.column),
                            fmt::arg("from", change.from), fmt::arg("to", change.to)) +
                "\n";
    }
    Print(listed + fmt::format(fmt::runtime(Say(check::text::kBackup, language)), fmt::arg("path", backup)) + "\n");
  }
  const check::Findings findings = check::CheckFile(path, language);
  Print(check::FormatText(findings, {path, language, ColourWanted()}));
  return check::ExitStatus(findings);
}

int Run(int argc, char** argv) {
  if (argc == 1 && OwnConsoleWindow()) return CheckFromExplorer(check::EnvironmentLanguage());

  CLI::App app{"Checks a Tidywarden config.json the way the plug-in reads it, before it goes to the server.",
               "tidywarden-check"};
  // On Windows CLI11 would take a path such as /configs/config.json for a "/option".
  app.allow_windows_style_options(false);
  std::string format = "text";
  std::string languageName;
  std::string serverDir;
  std::string configPath;
  bool listCodes = false;
  bool fix = false;
  bool dryRun = false;
  app.add_option("--format", format, "text (default), json or sarif")
      ->check(CLI::IsMember({"text", "json", "sarif"}));
  app.add_option("--lang", languageName, "en or zh-CN (default: the environment's language)")
      ->check(CLI::IsMember({"en", "zh-CN"}));
  app.add_flag("--list-codes", listCodes, "print the table of codes and exit");
  auto* fixFlag = app.add_flag("--fix", fix,
                               "make the changes the checker is certain of (a path's final _C, Default__, stray "
                               "whitespace), keeping the original as FILE.bak");
  app.add_flag("--dry-run", dryRun, "with --fix: print the changes as a unified diff, change nothing")->needs(fixFlag);
  auto* dirOption =
      app.add_option("--server-dir", serverDir, "a server directory: checks DIR/ArkApi/Plugins/Tidywarden/config.json");
  auto* fileOption = app.add_option("CONFIG", configPath, "the configuration file to check");
  dirOption->excludes(fileOption);
  app.footer(
      "Without CONFIG or --server-dir, the current directory is taken as the server directory.\n"
      "Exit status: 0 nothing above notes, 1 warnings, 2 errors, 3 usage or an unreadable file.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : kUsageStatus;
  }
  const check::Language language =
      languageName.empty() ? check::EnvironmentLanguage() : check::ParseLanguage(languageName).value();
  if (listCodes) {
    Print(check::FormatCodes(language));
    return 0;
  }

  const std::string path = !configPath.empty()  ? configPath
                           : !serverDir.empty() ? check::ConfigPathInServerDir(serverDir)
                                                : check::ConfigPathInServerDir(".");
  if (fix) return Fix(path, dryRun, language);
  const check::Findings findings = check::CheckFile(path, language);
  if (format == "json") {
    Print(check::FormatJson(findings));
  } else if (format == "sarif") {
    Print(check::FormatSarif(findings, path, language));
  } else {
    Print(check::FormatText(findings, {path, language, ColourWanted()}));
  }
  return check::ExitStatus(findings);
}

}  // namespace

// However the run ends, it says so. An exception escaping main would abort without a word and without flushing what
// was printed, and on Windows abort exits with 3, this program's own status for a run that checked nothing: the run
// would look like an ordinary one that printed nothing. Output that could not be written ends the run with 3 too.
int main(int argc, char** argv) {
  int status = kUsageStatus;
  try {
    status = Run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tidywarden-check: %s\n", error.what());
    return kUsageStatus;
  }
  // What CLI11 wrote (--help, a usage mistake) is flushed only here.
  errno = 0;
  std::cout.flush();
  NoteLostOutput();
  if (lostOutput == 0 || lostOutput == EBADF) return status;
  std::fprintf(stderr, "tidywarden-check: stdout: %s\n", std::strerror(lostOutput));
  return kUsageStatus;
}
