// The simulated host and game: what tests and the sandbox server drive and inspect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <spdlog/sinks/base_sink.h>

#include "host/GameTypes.h"
#include "host/HostApi.h"

#if defined(_WIN32)
#define SANDBOX_API HOST_API
#else
#define SANDBOX_API __attribute__((visibility("default")))
#endif

namespace sandbox {

// ---- Game allocator ------------------------------------------------------------------------------------------
SANDBOX_API std::size_t LiveAllocations();
SANDBOX_API std::uint64_t TotalAllocations();
// Calls the allocator has taken since the process started, by kind.
struct AllocatorCalls {
  std::uint64_t mallocs = 0;
  std::uint64_t reallocs = 0;        // of a buffer already held
  std::uint64_t reallocsOfNull = 0;  // a first buffer asked of Realloc instead of Malloc
  std::uint64_t frees = 0;
};
SANDBOX_API AllocatorCalls AllocatorCallCounts();

// ---- Logs ----------------------------------------------------------------------------------------------------
// The host's shared sinks. A plug-in's logger installs its formatter on them; that formatter's code lives in the
// plug-in module, so the host retires it (keeps it, never calls it again) when the module is unloaded.
class SANDBOX_API HostSink : public spdlog::sinks::base_sink<std::mutex> {
 public:
  HostSink();
  void RetireForeignFormatter();

 protected:
  void set_formatter_(std::unique_ptr<spdlog::formatter> formatter) override;

 private:
  bool foreign_ = false;
};

// Keeps every formatted line as the logger produced its bytes.
class SANDBOX_API RecordingSink : public HostSink {
 public:
  std::string Bytes();
  std::vector<std::string> Lines();
  void Clear();

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override;
  void flush_() override {}

 private:
  std::string bytes_;
};

// The recorder is always the first of the host's shared sinks.
SANDBOX_API std::shared_ptr<RecordingSink> LogRecorder();
// Adds a sink after the recorder (the server's log file and console).
SANDBOX_API void AddLogSink(std::shared_ptr<HostSink> sink);
// The pattern the host's sinks use until a plug-in sets its own.
inline constexpr const char* kHostLogPattern = "%D %R [%n][%l] %v";

// ---- Working directory ---------------------------------------------------------------------------------------
SANDBOX_API void SetCurrentDir(std::string directory);

// ---- Hooks ---------------------------------------------------------------------------------------------------
// Hook and command events share one sequence, so tests can check how they interleave.
struct HookEvent {
  std::uint64_t sequence = 0;
  bool installed = false;  // false: removed
  std::string function;
  void* detour = nullptr;
  void** original = nullptr;
  bool accepted = false;  // what the host answered
};
SANDBOX_API std::vector<HookEvent> HookEvents();
// Detours now in place on a game function, outermost first.
SANDBOX_API std::vector<void*> InstalledDetours(const std::string& function);
SANDBOX_API std::vector<std::string> HookedFunctions();

// ---- RCON ----------------------------------------------------------------------------------------------------
struct CommandEvent {
  std::uint64_t sequence = 0;
  bool registered = false;  // false: unregistered
  std::string name;
  bool accepted = false;
};
SANDBOX_API std::vector<CommandEvent> CommandEvents();

struct SANDBOX_API Reply {
  std::int32_t packetId = 0;
  std::int32_t type = 0;
  std::u16string text;
  std::string Utf8() const;
};

// An RCON client connection as the game knows it; it records what the game sends back.
class SANDBOX_API Connection {
 public:
  RCONClientConnection* Handle() { return reinterpret_cast<RCONClientConnection*>(this); }
  static Connection* From(RCONClientConnection* handle) { return reinterpret_cast<Connection*>(handle); }
  std::vector<Reply> replies;
};

// Dispatches one RCON line (UTF-8) by its first word, as the host does. False when no command has that name.
SANDBOX_API bool ExecuteRcon(Connection& connection, std::string_view line, std::int32_t packetId = 1);

// ---- The plug-in module ------------------------------------------------------------------------------------
// Loading runs the library's attach notification, unloading its detach notification.
class SANDBOX_API PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // Throws std::runtime_error with the loader's message when the module cannot be loaded.
  void Load(const std::string& path);
  void Unload();
  bool IsLoaded() const { return handle_ != nullptr; }
  // Whether the module is still mapped after Unload (it must not be, so each load starts afresh).
  static bool IsMapped(const std::string& path);

 private:
  void* handle_ = nullptr;
};

// ---- Host state ----------------------------------------------------------------------------------------------
// Clears hooks, commands, recorded events, logs and the game world. Live allocations are not reset.
SANDBOX_API void ResetHost();

}  // namespace sandbox
