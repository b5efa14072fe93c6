// What the fuzz targets share: the plug-in module loaded once per process, failure reports, text helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sandbox/host/Sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzz {

// A broken property is a crash, so that libFuzzer keeps the input and the replay test fails.
[[noreturn]] void Fail(const std::string& what);

// The built module in the simulated host, with its own server directory. Loaded on first use, unloaded at exit.
class LoadedPlugin {
 public:
  LoadedPlugin();
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  void WriteConfig(std::string_view bytes);
  std::filesystem::path ConfigPath() const;
  // Runs "Tidywarden.reload" and returns the replies it got.
  std::vector<sandbox::Reply> Reload();

 private:
  std::filesystem::path directory_;
  sandbox::PluginModule module_;
};

LoadedPlugin& Plugin();

// Runs of characters between single spaces, up to the first NUL: the rule the command handlers split by.
std::vector<std::u16string> Words(std::u16string_view line);

// The replies as UTF-8, the form their expected texts are written in.
inline constexpr const char* kBadFormat = "格式错误！";
inline constexpr const char* kReloaded = "重新加载配置";
std::string StructuresReply(int count);
std::string DinosReply(int count);

}  // namespace fuzz
