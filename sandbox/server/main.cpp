// tidywarden-sandbox: a simulated dedicated server that loads the plug-in and takes RCON commands.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <spdlog/logger.h>
#include <nlohmann/json.hpp>

#include "Check.h"
#include "sandbox/console/ConfigFile.h"
#include "sandbox/console/Console.h"
#include "sandbox/console/JsonText.h"
#include "sandbox/console/WorldFromConfig.h"
#include "sandbox/game/WorldFile.h"
#include "sandbox/rcon/RconServer.h"
#include "sandbox/server/CommandLine.h"
#include "sandbox/server/GameLoop.h"
#include "sandbox/server/LogSinks.h"
#include "sandbox/server/Platform.h"
#include "sandbox/server/Session.h"

namespace {

namespace platform = sandbox::server::platform;
using sandbox::server::ServerOptions;
using sandbox::server::Session;

constexpr const char* kProgram = "tidywarden-sandbox: ";

// Packet ids handed to the plug-in count up from 1 and start again after the largest, so a long-running server
// never overflows them.
std::int32_t NextPacketId(std::int32_t& id) {
  const std::int32_t current = id;
  id = id == INT32_MAX ? 1 : id + 1;
  return current;
}

std::shared_ptr<sandbox::server::FileSink> PrepareDirectory(const ServerOptions& options) {
  const auto directory = std::filesystem::absolute(options.directory);
  const auto configDirectory = directory / "ArkApi/Plugins/Tidywarden";
  std::filesystem::create_directories(configDirectory);
  if (options.writeDemoConfig && !std::filesystem::exists(configDirectory / "config.json")) {
    std::ofstream(configDirectory / "config.json", std::ios::binary) << sandbox::server::DemoConfigText();
  }
  sandbox::SetCurrentDir(directory.generic_string());
  auto logFile = std::make_shared<sandbox::server::FileSink>((directory / "ArkApi/Logs/sandbox.log").string());
  sandbox::AddLogSink(logFile);
  if (!options.quiet) sandbox::AddLogSink(std::make_shared<sandbox::server::ConsoleSink>());
  return logFile;
}

int RunScript(Session& session, const std::string& path) {
  std::ifstream script(path, std::ios::binary);
  if (!script.is_open()) throw std::runtime_error("cannot open script " + path);
  std::int32_t id = 1;
  bool firstLine = true;
  for (std::string line; std::getline(script, line);) {
    // Notepad may begin the file with a UTF-8 byte-order mark, which is not part of the first command.
    if (std::exchange(firstLine, false) && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    // Ctrl-C ends a long script between commands, with the plug-in unloaded as after the last one.
    if (platform::StopRequested()) {
      platform::WriteOut(std::string(kProgram) + "stopped before the end of the script\n");
      return 0;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    platform::WriteOut("> " + line + "\n" + session.Execute(line, NextPacketId(id)) + "\n");
  }
  return 0;
}

std::string Endpoint(const std::string& address, std::uint16_t port) {
  const std::string host = address.empty() ? "*" : address;
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// The console, started; null when it is off, or when its default port is taken (a second server still runs).
std::unique_ptr<sandbox::console::Console> StartConsole(sandbox::server::GameLoop& game, Session& session,
                                                        const ServerOptions& options,
                                                        const sandbox::rcon::Executor& execute) {
  if (!options.console) return nullptr;
  sandbox::console::Services services;
  services.execute = execute;
  services.configPath = [] { return check::ConfigPathInServerDir(ArkApi::Tools::GetCurrentDir()); };
  services.replaceWorld = [&session](const std::string& worldText) {
    const auto world = nlohmann::json::parse(worldText);
    session.ReplaceWorld([&] { sandbox::server::BuildWorld(world); });
  };
  services.pluginLoaded = [&session] { return session.PluginLoaded(); };
  services.commandWords = &Session::CommandWords;
  services.logToUtf8 = [](std::string_view bytes) { return platform::GbkToUtf8(bytes); };
  auto console = std::make_unique<sandbox::console::Console>(
      game.Executor(), sandbox::console::Options{options.consolePort, {}}, std::move(services));
  try {
    console->Start();
  } catch (const std::runtime_error& error) {
    if (options.consolePortGiven) throw;
    platform::WriteError(kProgram + std::string(error.what()) +
                         "; the server runs without it (--console-port 0 picks a free port)\n");
    return nullptr;
  }
  sandbox::AddLogSink(console->LogSink());
  platform::WriteOut("console: " + console->Address() + "\n");
  if (options.openBrowser && !platform::OpenInBrowser(console->Address())) {
    platform::WriteError(std::string(kProgram) + "could not open a browser; open the console's address yourself\n");
  }
  return console;
}

// The one line that programs starting the server wait for, rather than reading the lines meant for people: printed
// once the plug-in has loaded and everything that is on listens, as a JSON object of what listens where (null for
// what is off).
void AnnounceReady(const std::optional<std::string>& rcon, const sandbox::console::Console* console) {
  // Written out rather than built as a document: the JSON library's ordered flavour costs a second copy of its code.
  const auto value = [](const std::optional<std::string>& text) {
    if (!text) return std::string("null");
    std::string quoted;
    sandbox::console::AppendJsonString(quoted, *text);
    return quoted;
  };
  const auto address = console != nullptr ? std::optional<std::string>(console->Address()) : std::nullopt;
  platform::WriteOut(std::string(kProgram) + "ready {\"rcon\":" + value(rcon) + ",\"console\":" + value(address) +
                     "}\n");
}

int Serve(sandbox::server::GameLoop& game, const sandbox::rcon::Executor& execute, sandbox::console::Console* console,
          const ServerOptions& options, const std::shared_ptr<sandbox::server::FileSink>& logFile) {
  std::optional<sandbox::rcon::Server> server;
  std::optional<std::string> rconEndpoint;
  if (options.rcon) {
    sandbox::rcon::Options rconOptions;
    rconOptions.bindAddress = options.bindAddress;
    rconOptions.port = options.port;
    rconOptions.password = options.password;
    server.emplace(game.Executor(), rconOptions, execute);
    server->Start();
    rconEndpoint = Endpoint(options.bindAddress, server->Port());
    platform::WriteOut(std::string(kProgram) + "RCON listening on " + *rconEndpoint + "\n");
  }
  if (!server && console == nullptr) throw std::runtime_error("neither RCON nor the console is on");
  AnnounceReady(rconEndpoint, console);
  const auto reportFailure = [&](const std::string& failure) {
    const std::string message = failure + "; the server stops";
    spdlog::logger log("tidywarden-sandbox", logFile);
    log.error(message);
    log.flush();
    platform::WriteError(kProgram + message + "\n");
  };
  const auto stopListeners = [&] {
    if (server) server->Stop();
    if (console != nullptr) console->Stop();
  };
  const int status = game.Run(platform::StopRequested, reportFailure, stopListeners);
  if (status == 0) platform::WriteOut(std::string(kProgram) + "stopped\n");
  return status;
}

// The world the administrator's own configuration calls for, also written beside it to be kept and edited.
nlohmann::json WorldFromLiveConfig() {
  const std::string path = check::ConfigPathInServerDir(ArkApi::Tools::GetCurrentDir());
  const auto config = sandbox::console::ReadConfig(path);
  if (!config.exists) throw std::runtime_error("--world-from-config: there is no " + path);
  const auto made = sandbox::console::WorldFromConfig(config.text, sandbox::console::FindingsJson(path));
  const auto file = std::filesystem::path(ArkApi::Tools::GetCurrentDir()) / "world-from-config.json";
  std::ofstream(file, std::ios::binary) << made.world.dump(2) << "\n";
  platform::WriteOut(std::string(kProgram) + "world built from " + path + ", written to " + file.string() + "\n");
  for (const auto& entry : made.unmatched) {
    platform::WriteOut(std::string(kProgram) + "no class for " + entry.at("path").get<std::string>() + ": " +
                       entry.at("message").get<std::string>() + "\n");
  }
  return made.world;
}

}  // namespace

int main(int argc, char** argv) {
  // A double-click starts the demo world with the console and opens it in the browser; RCON only if its password
  // is in the environment.
  std::vector<const char*> arguments(argv, argv + argc);
  std::string demoDirectory;
  if (platform::StartedByDoubleClick(argc)) {
    demoDirectory = (std::filesystem::temp_directory_path() / "tidywarden-sandbox").string();
    arguments.insert(arguments.end(), {"--dir", demoDirectory.c_str(), "--demo-config", "--open"});
    if (!platform::EnvironmentVariable(sandbox::server::kPasswordVariable)) arguments.push_back("--no-rcon");
  }
  const auto commandLine = sandbox::server::ParseCommandLine(
      static_cast<int>(arguments.size()), arguments.data(),
      platform::EnvironmentVariable(sandbox::server::kPasswordVariable), platform::DefaultPluginPath());
  if (!commandLine.options) {
    (commandLine.exitCode == 0 ? platform::WriteOut : platform::WriteError)(commandLine.message);
    return commandLine.exitCode;
  }
  for (const auto& warning : commandLine.warnings) platform::WriteError(kProgram + ("warning: " + warning) + "\n");
  const ServerOptions& options = *commandLine.options;
  int status = 1;
  try {
    platform::InstallStopHandler();
    const auto logFile = PrepareDirectory(options);
    sandbox::server::BuildWorld(options.worldFromConfig ? WorldFromLiveConfig()
                                : options.worldFile     ? sandbox::server::ReadWorldFile(*options.worldFile)
                                                        : sandbox::server::DemoWorld());
    Session session(options.pluginPath);
    sandbox::server::GameLoop game;
    std::int32_t id = 1;
    std::unique_ptr<sandbox::console::Console> console;
    // RCON and the console run lines through this one executor; the pages hear of any change it makes.
    const sandbox::rcon::Executor execute = [&](const std::string& line) {
      std::string reply = session.Execute(line, NextPacketId(id));
      if (console != nullptr) console->NoticeWorldChanges();
      return reply;
    };
    // Started before the plug-in loads, so the pages see its first lines.
    if (!options.scriptFile) console = StartConsole(game, session, options, execute);
    session.LoadPlugin();
    status = options.scriptFile ? RunScript(session, *options.scriptFile)
                                : Serve(game, execute, console.get(), options, logFile);
    session.UnloadPlugin();
  } catch (const std::exception& error) {
    platform::WriteError(kProgram + std::string(error.what()) + "\n");
    status = 1;
  }
  platform::StopCompleted();
  return status;
}
