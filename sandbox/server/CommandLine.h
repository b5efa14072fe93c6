// The server program's command line: its options, where the RCON password comes from, and unsafe choices to warn of.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sandbox::server {

// The environment variable that can hold the RCON password, out of sight of the process list.
inline constexpr const char* kPasswordVariable = "TIDYWARDEN_RCON_PASSWORD";

struct ServerOptions {
  std::string directory;
  std::string pluginPath;
  std::optional<std::string> worldFile;
  std::optional<std::string> scriptFile;
  std::string bindAddress = "127.0.0.1";
  std::uint16_t port = 27020;
  std::string password;  // UTF-8, as clients send it; empty only with a script
  bool writeDemoConfig = false;
  bool quiet = false;
  bool rcon = true;  // false with --no-rcon: the console alone, no password needed
  // The console: on by default (not with a script), on 127.0.0.1 only, whatever the RCON address.
  bool console = true;
  std::uint16_t consolePort = 27080;
  bool consolePortGiven = false;  // a default port taken by another program only turns the console off
  bool openBrowser = false;
  bool worldFromConfig = false;
};

struct CommandLine {
  // Empty when the program should not run: it prints `message` and exits with `exitCode`.
  std::optional<ServerOptions> options;
  int exitCode = 0;
  std::string message;                // the help text or what is wrong, ending in a newline
  std::vector<std::string> warnings;  // for the console before the program runs, one line each
};

// The exit code for a command line that cannot run.
inline constexpr int kUsageExitCode = 2;

// The password comes from --rcon-password-file or --rcon-password (one of them), else from the environment
// variable's value `environmentPassword`; it is required unless a script runs. `defaultPlugin` stands for a
// missing --plugin.
CommandLine ParseCommandLine(int argc, const char* const* argv, const std::optional<std::string>& environmentPassword,
                             const std::string& defaultPlugin);

}  // namespace sandbox::server
