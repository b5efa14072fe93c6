// tidywarden-check: checks a configuration file before it goes to the server.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Checks a Tidywarden config.json the way the plug-in reads it, before it goes to the server.",
               "tidywarden-check"};
  // On Windows CLI11 would take a path such as /configs/config.json for a "/option".
  app.allow_windows_style_options(false);
  std::string format = "text";
  std::string serverDir;
  std::string configPath;
  app.add_option("--format", format, "text (default) or json")->check(CLI::IsMember({"text", "json"}));
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

  const std::string path = !configPath.empty()  ? configPath
                           : !serverDir.empty() ? check::ConfigPathInServerDir(serverDir)
                                                : check::ConfigPathInServerDir(".");
  const check::Findings findings = check::CheckFile(path);
  if (format == "json") {
    std::cout << check::FormatJson(findings);
  } else {
#if defined(_WIN32)
    // The code page belongs to the console window and outlives this program: it is given back afterwards.
    const bool console = _isatty(_fileno(stdout)) != 0;
    const UINT previousCodePage = GetConsoleOutputCP();
    if (console) SetConsoleOutputCP(CP_UTF8);
#endif
    std::cout << path << ":\n" << check::FormatText(findings, ColourWanted());
    std::cout.flush();
#if defined(_WIN32)
    if (console) SetConsoleOutputCP(previousCodePage);
#endif
  }
  std::cout.flush();
  return check::ExitStatus(findings);
}
