// The sandbox console: a page and a small JSON API on loopback, one more client of the game thread's executor.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sandbox/host/Sandbox.h"

namespace sandbox::console {

// What the server hands the console. Every function but `logToUtf8` is called on the game thread only.
struct Services {
  // Runs one command line exactly as an RCON client's line runs; the reply text, UTF-8.
  std::function<std::string(const std::string& line)> execute;
  // The full path of the plug-in's config.json.
  std::function<std::string()> configPath;
  // Replaces the running world with the one a world file (JSON text) describes. Throws std::runtime_error
  // saying why, with the world left as it was.
  std::function<void(const std::string& worldText)> replaceWorld;
  std::function<bool()> pluginLoaded;
  // The first words of every command line the server runs: the commands registered with the host, then the
  // sandbox's own.
  std::function<std::vector<std::string>()> commandWords;
  // Log lines come in the plug-in's encoding (GBK); the page wants UTF-8. Called on any thread.
  std::function<std::string(std::string_view bytes)> logToUtf8;
};

struct Options {
  std::uint16_t port = 27080;  // 0 picks a free one; the console listens on 127.0.0.1 only
  std::string token;           // empty: a random 128-bit token, as 32 lowercase hex digits
};

struct ConsoleImpl;

class Console {
 public:
  Console(Options options, Services services);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Binds and starts the network thread. Throws std::runtime_error when the port cannot be bound.
  void Start();
  void Stop();
  std::uint16_t Port() const;
  const std::string& Token() const;
  // http://127.0.0.1:PORT/#token=TOKEN
  std::string Address() const;

  // Game thread: runs the API requests waiting for it, each followed by a look for changes of the world.
  // Waits up to `timeout` for the first. Returns how many ran.
  std::size_t RunPending(std::chrono::milliseconds timeout);
  // Game thread: after anything that may have changed the world (an RCON command), tells the pages.
  void NoticeWorldChanges();
  // The host log sink that carries log lines to the pages; add it with sandbox::AddLogSink.
  std::shared_ptr<HostSink> LogSink();

 private:
  std::unique_ptr<ConsoleImpl> impl_;
};

}  // namespace sandbox::console
