// The game side of the sandbox server: the plug-in module, the world, and the sandbox's own commands.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "sandbox/game/GameWorld.h"

namespace sandbox::server {

// Every call happens on the game thread, one at a time, as the plug-in relies on.
class Session {
 public:
  explicit Session(std::string pluginPath);
  ~Session();

  // Throws std::runtime_error when the module cannot be loaded.
  void LoadPlugin();
  void UnloadPlugin();
  bool PluginLoaded() const { return module_.IsLoaded(); }
  // Drops the world and builds another with `build`, the plug-in unloaded meanwhile (it keeps pointers into the
  // world) and loaded again if it was.
  void ReplaceWorld(const std::function<void()>& build);

  // Runs one command line: "sandbox." commands here, anything else through the host's RCON dispatch.
  // Returns the reply text, UTF-8, one line per reply the game sent.
  std::string Execute(const std::string& line, std::int32_t packetId = 1);
  // The commands Execute runs: those registered with the host, then the sandbox's own, each by its first word.
  static std::vector<std::string> CommandWords();

 private:
  struct Command;
  static std::span<const Command> Commands();
  static std::string Help();
  std::string RunSandboxCommand(const std::string& name, const std::vector<std::string>& words);

  std::string pluginPath_;
  PluginModule module_;
  game::GameObject* controller_ = nullptr;
  game::GameObject* gameMode_ = nullptr;
};

}  // namespace sandbox::server
