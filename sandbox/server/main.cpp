// tidywarden-sandbox: a simulated dedicated server that loads the plug-in and takes RCON commands.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include <spdlog/logger.h>

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

int Serve(Session& session, const ServerOptions& options, const std::shared_ptr<sandbox::server::FileSink>& logFile) {
  sandbox::rcon::Options rconOptions;
  rconOptions.bindAddress = options.bindAddress;
  rconOptions.port = options.port;
  rconOptions.password = options.password;
  sandbox::rcon::Server server(rconOptions);
  server.Start();
  platform::WriteOut(std::string(kProgram) + "RCON listening on " + Endpoint(options.bindAddress, server.Port()) +
                     "\n");
  std::int32_t id = 1;
  const auto execute = [&](const std::string& line) { return session.Execute(line, NextPacketId(id)); };
  const auto reportFailure = [&](const std::string& failure) {
    const std::string message = failure + "; the server stops";
    spdlog::logger log("tidywarden-sandbox", logFile);
    log.error(message);
    log.flush();
    platform::WriteError(kProgram + message + "\n");
  };
  const int status = sandbox::server::RunGameLoop(server, execute, platform::StopRequested, reportFailure);
  if (status == 0) platform::WriteOut(std::string(kProgram) + "stopped\n");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const auto commandLine = sandbox::server::ParseCommandLine(
      argc, argv, platform::EnvironmentVariable(sandbox::server::kPasswordVariable), platform::DefaultPluginPath());
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
    sandbox::server::BuildWorld(options.worldFile ? sandbox::server::ReadWorldFile(*options.worldFile)
                                                  : sandbox::server::DemoWorld());
    Session session(options.pluginPath);
    session.LoadPlugin();
    status = options.scriptFile ? RunScript(session, *options.scriptFile) : Serve(session, options, logFile);
    session.UnloadPlugin();
  } catch (const std::exception& error) {
    platform::WriteError(kProgram + std::string(error.what()) + "\n");
    status = 1;
  }
  platform::StopCompleted();
  return status;
}
