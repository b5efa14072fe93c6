// This project's declarations of the plug-in host's interface: what a plug-in imports, and the game layouts it shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <spdlog/sinks/sink.h>

// Host functions are imported by plug-ins and exported by the host. A host build defines
// TIDYWARDEN_HOST_EXPORTS; on Linux the symbols resolve from the process that loads the plug-in.
#if defined(_WIN32)
#if defined(TIDYWARDEN_HOST_EXPORTS)
#define HOST_API __declspec(dllexport)
#else
#define HOST_API __declspec(dllimport)
#endif
#else
#define HOST_API __attribute__((visibility("default")))
#endif

// Game classes are opaque: a plug-in reaches their members by name only.
struct UObject;
struct UClass;
struct UWorld;
struct RCONClientConnection;

// The game's wide string. `data` holds UTF-16 units on every platform, `count` includes the
// terminating NUL, an empty string has no buffer and count 0. Buffers come from the game allocator.
struct EngineString {
  char16_t* data = nullptr;
  std::int32_t count = 0;
  std::int32_t capacity = 0;
};

// The game's dynamic array, on the same allocator.
template <typename T>
struct EngineArray {
  T* data = nullptr;
  std::int32_t count = 0;
  std::int32_t capacity = 0;
};

// An RCON request as the host hands it to a command handler.
struct RCONPacket {
  std::int32_t size = 0;
  std::int32_t id = 0;
  std::int32_t type = 0;
  std::int32_t reserved = 0;
  EngineString body;
};

static_assert(sizeof(EngineString) == 16);
static_assert(offsetof(EngineString, count) == 8 && offsetof(EngineString, capacity) == 12);
static_assert(sizeof(EngineArray<void*>) == 16);
static_assert(offsetof(RCONPacket, id) == 4 && offsetof(RCONPacket, body) == 16);

// C++ linkage, global namespace.
HOST_API void* GetAddress(const std::string& name);
HOST_API std::uint64_t GetAddress(const void* object, const std::string& name);
HOST_API void* GetDataAddress(const std::string& name);
HOST_API std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks();

namespace ArkApi {

using RconCommandHandler = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;

class IHooks {
 public:
  virtual ~IHooks() = default;
  virtual bool IsHooked(const std::string& name) const = 0;
  virtual bool RemoveHook(const std::string& name, void* detour) = 0;
  virtual bool InstallHook(const std::string& name, void* detour, void** original) = 0;
};

class ICommands {
 public:
  virtual ~ICommands() = default;
  virtual bool HasRconCommand(const EngineString& name) const = 0;
  virtual std::vector<std::string> RconCommandNames() const = 0;
  virtual bool ExecuteRconCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) = 0;
  virtual bool RegisterRconCommand(const EngineString& name, const RconCommandHandler& handler) = 0;
  virtual bool RegisterConsoleCommand(const EngineString& name,
                                      const std::function<void(const EngineString&)>& handler) = 0;
  virtual bool UnregisterConsoleCommand(const EngineString& name) = 0;
  virtual bool ExecuteConsoleCommand(const EngineString& line) = 0;
  virtual bool RegisterTickCallback(const std::string& id, const std::function<void()>& callback) = 0;
  virtual bool UnregisterTickCallback(const std::string& id) = 0;
  virtual bool UnregisterRconCommand(const EngineString& name) = 0;
};

class IApiUtils {
 public:
  virtual ~IApiUtils() = default;
  virtual bool IsServerReady() const = 0;
  virtual UWorld* CurrentWorld() = 0;
};

HOST_API IHooks& GetHooks();
HOST_API ICommands& GetCommands();
HOST_API IApiUtils& GetApiUtils();

namespace Tools {
HOST_API std::string GetCurrentDir();
}  // namespace Tools

}  // namespace ArkApi
