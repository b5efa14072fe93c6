// tidywarden-console: the console page for a live server (or a cluster), over its files and its own RCON port.
// Boost 1.74's Asio needs <utility> before its own headers under C++20 with GCC 12.
#include <utility>

#include <CLI/CLI.hpp>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <exception>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "LiveConsole.h"
#include "Servers.h"
#include "sandbox/platform/Platform.h"
#include "sandbox/rcon/PasswordFile.h"
#include "sandbox/rcon/RconServer.h"

namespace {

namespace platform = sandbox::platform;
constexpr const char* kProgram = "tidywarden-console: ";
constexpr int kUsageStatus = 2;
constexpr auto kStopCheck = std::chrono::milliseconds(200);

struct Arguments {
  std::string serverDir;
  std::string rcon = "127.0.0.1:27020";
  std::string passwordFile;
  std::string log;
  std::string serversFile;
  unsigned consolePort = 27081;
  bool open = false;
};

// The server directory without a trailing separator: the folder the program lies in when it was double-clicked.
std::string FolderWithoutSeparator(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder.empty() ? "." : folder;
}

live::LiveServer ToLive(const live::ServerEntry& entry) {
  live::LiveServer server;
  server.name = entry.name;
  server.serverDir = entry.serverDir;
  const auto address = live::ParseRconAddress(entry.rcon);
  if (!address) throw std::runtime_error("not an RCON address (HOST:PORT): " + entry.rcon);
  server.rcon = *address;
  if (!entry.passwordFile.empty()) server.password = sandbox::rcon::ReadPasswordFile(entry.passwordFile);
  // An empty file leaves the password to be typed into the page; one that cannot go into a login packet is refused.
  if (const std::string problem = sandbox::rcon::PasswordProblem(server.password);
      !server.password.empty() && !problem.empty()) {
    throw std::runtime_error(entry.passwordFile + ": " + problem);
  }
  server.log = entry.log;
  return server;
}

std::vector<live::LiveServer> ServersOf(const Arguments& arguments) {
  std::vector<live::ServerEntry> entries;
  if (!arguments.serversFile.empty()) {
    entries = live::ReadServersFile(arguments.serversFile);
  } else {
    live::ServerEntry entry;
    entry.serverDir = arguments.serverDir.empty() ? "." : arguments.serverDir;
    entry.name = entry.serverDir;
    entry.rcon = arguments.rcon;
    entry.passwordFile = arguments.passwordFile;
    entry.log = arguments.log;
    entries.push_back(std::move(entry));
  }
  std::vector<live::LiveServer> servers;
  for (const auto& entry : entries) servers.push_back(ToLive(entry));
  return servers;
}

void WatchForStop(boost::asio::io_context& io, boost::asio::steady_timer& timer) {
  if (platform::StopRequested()) return io.stop();
  timer.expires_after(kStopCheck);
  timer.async_wait([&io, &timer](const boost::system::error_code& error) {
    if (!error) WatchForStop(io, timer);
  });
}

int Serve(const Arguments& arguments) {
  boost::asio::io_context io(1);
  live::LiveOptions options;
  options.port = static_cast<std::uint16_t>(arguments.consolePort);
  live::LiveConsole console(io, options, ServersOf(arguments));
  platform::InstallStopHandler();
  console.Start();
  platform::WriteOut("console: " + console.Address() + "\n");
  if (arguments.open && !platform::OpenInBrowser(console.Address())) {
    platform::WriteError(std::string(kProgram) + "could not open a browser; open the console's address yourself\n");
  }
  boost::asio::steady_timer watch(io);
  WatchForStop(io, watch);
  io.run();
  console.Stop();
  platform::WriteOut(std::string(kProgram) + "stopped\n");
  platform::StopCompleted();
  return 0;
}

int Run(int argc, char** argv) {
  Arguments arguments;
  if (platform::StartedByDoubleClick(argc)) {
    // Explorer starts it in the server's folder layout: the server directory is the program's own folder.
    arguments.serverDir = FolderWithoutSeparator(platform::ProgramFolder());
    arguments.open = true;
    try {
      return Serve(arguments);
    } catch (const std::exception& error) {
      // The window closes with the program: the reason stays on screen until it is read.
      platform::WriteError(std::string(kProgram) + error.what() + "\n\nPress Enter to close this window.\n");
      std::string line;
      std::getline(std::cin, line);
      return 1;
    }
  }
  CLI::App app{
      "Serves the Tidywarden console page for a live server: its configuration, its commands over its own "
      "RCON port, and its log.",
      "tidywarden-console"};
  app.allow_windows_style_options(false);
  auto* dir = app.add_option("--server-dir", arguments.serverDir,
                             "the server directory: DIR/ArkApi/Plugins/Tidywarden/config.json (default: .)");
  auto* rcon =
      app.add_option("--rcon", arguments.rcon, "the server's RCON address, HOST:PORT (default 127.0.0.1:27020)");
  auto* password = app.add_option("--rcon-password-file", arguments.passwordFile,
                                  "a file whose first line is the RCON password (without it, the page asks)");
  auto* log = app.add_option("--log", arguments.log,
                             "the host's log file to follow (default: the newest .log file below DIR/ArkApi)");
  app.add_option("--servers", arguments.serversFile,
                 "a JSON list of servers: [{\"name\", \"serverDir\", \"rcon\", \"passwordFile\", \"log\"}]")
      ->excludes(dir)
      ->excludes(rcon)
      ->excludes(password)
      ->excludes(log);
  app.add_option("--console-port", arguments.consolePort, "the page's port on 127.0.0.1 (default 27081; 0: a free one)")
      ->check(CLI::Range(0, 65535));
  app.add_flag("--open", arguments.open, "open the page in the default browser");
  try {
    std::vector<std::string> utf8;
    for (int i = argc - 1; i > 0; --i) utf8.push_back(platform::ArgumentToUtf8(argv[i]));
    app.parse(utf8);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : kUsageStatus;
  }
  if (!live::ParseRconAddress(arguments.rcon)) {
    platform::WriteError(std::string(kProgram) + "--rcon: not HOST:PORT: " + arguments.rcon + "\n");
    return kUsageStatus;
  }
  return Serve(arguments);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    platform::WriteError(std::string(kProgram) + error.what() + "\n");
    return 1;
  }
}
