// Reading the server program's options with CLI11.
#include "sandbox/server/CommandLine.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <stdexcept>

#include "sandbox/rcon/PasswordFile.h"
#include "sandbox/rcon/RconServer.h"
#include "sandbox/server/Platform.h"

namespace sandbox::server {
namespace {

constexpr const char* kProgram = "tidywarden-sandbox";

constexpr const char* kFooter =
    "The RCON password comes from --rcon-password-file or --rcon-password (not both); without either, from the\n"
    "environment variable TIDYWARDEN_RCON_PASSWORD. A password given as an argument is visible to every local\n"
    "user in the process list. RCON is plain text: bind beyond 127.0.0.1 only on a network you trust.\n"
    "Exit status: 0 when stopped, 1 when the server failed, 2 for a command line that cannot run.";

std::string ReadPasswordFile(const std::string& path) {
  try {
    return rcon::ReadPasswordFile(path);
  } catch (const std::runtime_error& error) {
    throw CLI::ValidationError("--rcon-password-file", error.what());
  }
}

std::string CheckNumericAddress(std::string& value) {
  if (value.empty()) return {};
  return rcon::IsNumericAddress(value) ? std::string() : "not a numeric IPv4 or IPv6 address: " + value;
}

std::string CheckPort(std::string& value) {
  unsigned port = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
  if (error != std::errc() || end != value.data() + value.size() || value.empty()) return value + " is not a number";
  return port > 65535 ? value + " is not a port number (0 to 65535)" : std::string();
}

std::string ResolvePassword(const std::string& argument, const std::string& file,
                            const std::optional<std::string>& environmentPassword, bool required,
                            std::vector<std::string>& warnings) {
  if (!file.empty()) return ReadPasswordFile(file);
  if (!argument.empty()) {
    warnings.push_back(
        "the password given with --rcon-password is visible to every local user in the process "
        "list; prefer --rcon-password-file FILE or the environment variable " +
        std::string(kPasswordVariable));
    return platform::ArgumentToUtf8(argument);
  }
  if (environmentPassword && !environmentPassword->empty()) return *environmentPassword;
  if (!required) return {};
  if (environmentPassword) throw CLI::ValidationError(std::string(kPasswordVariable) + " is empty");
  throw CLI::ValidationError(
      "refusing to open an RCON port without a password: give --rcon-password-file FILE, "
      "set " +
      std::string(kPasswordVariable) + ", or give --rcon-password PW");
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv, const std::optional<std::string>& environmentPassword,
                             const std::string& defaultPlugin) {
  CLI::App app(
      "A simulated dedicated server: it loads the plug-in into the simulated host, builds a world, and runs\n"
      "commands from RCON clients or from a script file.",
      kProgram);
  app.footer(kFooter);
  app.get_formatter()->column_width(32);

  ServerOptions options;
  options.pluginPath = defaultPlugin;
  std::string world;
  std::string script;
  int port = options.port;
  std::string passwordArgument;
  std::string passwordFile;

  app.add_option("--dir", options.directory, "server directory, where the plug-in's config.json and the log live")
      ->required()
      ->option_text("DIR");
  app.add_option("--plugin", options.pluginPath, "the plug-in module to load (default: the one beside this program)")
      ->option_text("PATH");
  app.add_option("--world", world, "world file (JSON); default: the built-in demo world")
      ->check(CLI::ExistingFile)
      ->option_text("FILE");
  app.add_flag("--demo-config", options.writeDemoConfig, "write the demo configuration into DIR if it has none");
  app.add_option("--script", script, "run the file's lines in order without a network, print each reply, and exit")
      ->check(CLI::ExistingFile)
      ->option_text("FILE");
  app.add_option("--rcon-port", port, "RCON port (default 27020; 0 picks a free one)")
      ->check(CLI::Validator(CheckPort, ""))
      ->option_text("N");
  app.add_option("--bind", options.bindAddress, "numeric address to listen on (default 127.0.0.1; empty: every one)")
      ->check(CLI::Validator(CheckNumericAddress, ""))
      ->option_text("ADDR");
  auto* passwordOption =
      app.add_option("--rcon-password", passwordArgument, "RCON password (see below)")->option_text("PW");
  app.add_option("--rcon-password-file", passwordFile, "RCON password: the file's first line")
      ->excludes(passwordOption)
      ->option_text("FILE");
  app.add_flag("--quiet", options.quiet, "do not echo the log to the console");
  bool noRcon = false;
  app.add_flag("--no-rcon", noRcon, "no RCON port (the browser console alone)");
  std::string consolePort;
  auto* consolePortOption =
      app.add_option("--console-port", consolePort, "browser console port on 127.0.0.1 (default 27080; 0: a free one)")
          ->check(CLI::Validator(CheckPort, ""))
          ->option_text("N");
  bool noConsole = false;
  app.add_flag("--no-console", noConsole, "no browser console")->excludes(consolePortOption);
  app.add_flag("--open", options.openBrowser, "open the browser console in the default browser");
  app.add_flag("--world-from-config", options.worldFromConfig,
               "build the world from the live config.json (every listed path as a class) instead of --world");

  CommandLine result;
  try {
    app.parse(argc, argv);
    if (!world.empty()) options.worldFile = world;
    if (!script.empty()) options.scriptFile = script;
    options.port = static_cast<std::uint16_t>(port);
    options.rcon = !noRcon;
    options.console = !noConsole && !options.scriptFile;
    if (!consolePort.empty()) {
      options.consolePort = static_cast<std::uint16_t>(std::stoul(consolePort));
      options.consolePortGiven = true;
    }
    if (options.worldFromConfig && options.worldFile) {
      throw CLI::ValidationError("--world-from-config", "give either --world or --world-from-config");
    }
    if (noRcon && !options.console) {
      throw CLI::ValidationError("--no-rcon", "with neither RCON nor the console nothing could reach the server");
    }
    options.password = ResolvePassword(passwordArgument, passwordFile, environmentPassword,
                                       !options.scriptFile && options.rcon, result.warnings);
    // Refused here rather than once the plug-in is loaded, so the exit status says the command line was at fault.
    if (!options.password.empty()) {
      if (const std::string problem = rcon::PasswordProblem(options.password); !problem.empty()) {
        throw CLI::ValidationError("RCON password", problem);
      }
    }
  } catch (const CLI::CallForHelp&) {
    result.message = app.help() + "\n";
    return result;
  } catch (const CLI::Error& error) {
    result.exitCode = kUsageExitCode;
    result.message = std::string(kProgram) + ": " + error.what() + "\nRun with --help for the options.\n";
    result.warnings.clear();
    return result;
  }
  if (!options.scriptFile && options.rcon && !rcon::IsLoopbackAddress(options.bindAddress)) {
    result.warnings.push_back("RCON on " + (options.bindAddress.empty() ? "every interface" : options.bindAddress) +
                              " is reachable from other machines, and it carries the password and every command "
                              "in plain text");
  }
  result.options = std::move(options);
  return result;
}

}  // namespace sandbox::server
