// tidywarden-sandbox: a simulated dedicated server that loads the plug-in and takes RCON commands.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "sandbox/rcon/RconServer.h"
#include "sandbox/server/LogSinks.h"
#include "sandbox/server/Session.h"
#include "sandbox/server/WorldFile.h"

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) { gStop = true; }

struct Arguments {
  std::string directory;
  std::string pluginPath;
  std::optional<std::string> worldFile;
  std::optional<std::string> scriptFile;
  std::string bindAddress = "127.0.0.1";
  std::uint16_t port = 27020;
  std::string password;
  bool writeDemoConfig = false;
  bool quiet = false;
};

constexpr const char* kUsage =
    "usage: tidywarden-sandbox --dir DIR [options]\n"
    "  --dir DIR              server directory; the plug-in reads DIR/ArkApi/Plugins/Tidywarden/config.json\n"
    "  --plugin PATH          plug-in module to load (default: the one built beside this program)\n"
    "  --world FILE           world file (JSON); default: the built-in demo world\n"
    "  --demo-config          write the demo configuration into DIR if it has none\n"
    "  --script FILE          run the file's lines in order without a network, print each reply, and exit\n"
    "  --rcon-port N          RCON port on the bind address (default 27020; 0 picks a free port)\n"
    "  --rcon-password PW     RCON password (required unless --script)\n"
    "  --bind ADDR            address to listen on (default 127.0.0.1)\n"
    "  --quiet                do not echo the log to the console\n";

std::string ExecutableDirectory() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

std::optional<Arguments> Parse(int argc, char** argv) {
  Arguments arguments;
  arguments.pluginPath = ExecutableDirectory() + "/Tidywarden.so";
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(flag + " needs a value");
      return argv[++i];
    };
    if (flag == "--dir") {
      arguments.directory = value();
    } else if (flag == "--plugin") {
      arguments.pluginPath = value();
    } else if (flag == "--world") {
      arguments.worldFile = value();
    } else if (flag == "--script") {
      arguments.scriptFile = value();
    } else if (flag == "--rcon-port") {
      const int port = std::stoi(value());
      if (port < 0 || port > 65535) throw std::runtime_error("--rcon-port must be 0 to 65535");
      arguments.port = static_cast<std::uint16_t>(port);
    } else if (flag == "--rcon-password") {
      arguments.password = value();
    } else if (flag == "--bind") {
      arguments.bindAddress = value();
    } else if (flag == "--demo-config") {
      arguments.writeDemoConfig = true;
    } else if (flag == "--quiet") {
      arguments.quiet = true;
    } else if (flag == "--help" || flag == "-h") {
      return std::nullopt;
    } else {
      throw std::runtime_error("unknown option " + flag);
    }
  }
  if (arguments.directory.empty()) throw std::runtime_error("--dir is required");
  if (!arguments.scriptFile && arguments.password.empty()) {
    throw std::runtime_error("refusing to open an RCON port without --rcon-password");
  }
  return arguments;
}

void PrepareDirectory(const Arguments& arguments) {
  const auto directory = std::filesystem::absolute(arguments.directory);
  const auto configDirectory = directory / "ArkApi/Plugins/Tidywarden";
  std::filesystem::create_directories(configDirectory);
  if (arguments.writeDemoConfig && !std::filesystem::exists(configDirectory / "config.json")) {
    std::ofstream(configDirectory / "config.json") << sandbox::server::DemoConfig().dump(2) << "\n";
  }
  sandbox::SetCurrentDir(directory.generic_string());
  sandbox::AddLogSink(std::make_shared<sandbox::server::FileSink>((directory / "ArkApi/Logs/sandbox.log").string()));
  if (!arguments.quiet) sandbox::AddLogSink(std::make_shared<sandbox::server::ConsoleSink>());
}

int RunScript(sandbox::server::Session& session, const std::string& path) {
  std::ifstream script(path);
  if (!script.is_open()) throw std::runtime_error("cannot open script " + path);
  std::int32_t id = 1;
  for (std::string line; std::getline(script, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::cout << "> " << line << "\n" << session.Execute(line, id++) << "\n" << std::flush;
  }
  return 0;
}

int Serve(sandbox::server::Session& session, const Arguments& arguments) {
  sandbox::rcon::Options options;
  options.bindAddress = arguments.bindAddress;
  options.port = arguments.port;
  options.password = arguments.password;
  sandbox::rcon::Server server(options);
  server.Start();
  std::cout << "tidywarden-sandbox: RCON listening on " << arguments.bindAddress << ":" << server.Port() << std::endl;
  std::int32_t id = 1;
  const auto execute = [&](const std::string& line) { return session.Execute(line, id++); };
  while (!gStop) server.RunPending(execute, std::chrono::milliseconds(200));
  server.Stop();
  std::cout << "tidywarden-sandbox: stopped" << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto arguments = Parse(argc, argv);
    if (!arguments) {
      std::cout << kUsage;
      return 0;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    PrepareDirectory(*arguments);
    sandbox::server::BuildWorld(arguments->worldFile ? sandbox::server::ReadWorldFile(*arguments->worldFile)
                                                     : sandbox::server::DemoWorld());
    sandbox::server::Session session(arguments->pluginPath);
    session.LoadPlugin();
    const int status = arguments->scriptFile ? RunScript(session, *arguments->scriptFile) : Serve(session, *arguments);
    session.UnloadPlugin();
    return status;
  } catch (const std::exception& error) {
    std::cerr << "tidywarden-sandbox: " << error.what() << "\n" << kUsage;
    return 2;
  }
}
