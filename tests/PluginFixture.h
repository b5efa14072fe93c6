// A test fixture that loads the built plug-in into the simulated host with a configuration of the test's own.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"

namespace testing_support {

inline const std::string kPluginPath = TIDYWARDEN_PLUGIN_PATH;

// A log line without its time stamp: "[logger][level] message".
struct LogLine {
  std::string logger;
  std::string level;
  std::string message;
};

// Splits the recorder's bytes into lines of the pattern "%D %R [%n][%l] %v"; fails the test on any other line.
inline std::vector<LogLine> LoggedLines() {
  static const std::regex kLine(R"(^\d\d/\d\d/\d\d \d\d:\d\d \[([^\]]*)\]\[([a-z]+)\] ([\s\S]*)$)");
  std::vector<LogLine> lines;
  for (const std::string& line : sandbox::LogRecorder()->Lines()) {
    std::smatch match;
    if (!std::regex_match(line, match, kLine)) {
      ADD_FAILURE() << "log line out of pattern: " << line;
      continue;
    }
    lines.push_back({match[1], match[2], match[3]});
  }
  return lines;
}

// The text the JSON library gives for this input when read by stream extraction, as the plug-in reads its file.
inline std::string ParseErrorOf(const std::string& text) {
  std::istringstream stream(text);
  nlohmann::json document;
  try {
    stream >> document;
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no error";
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox::ResetHost();
    directory_ = std::filesystem::temp_directory_path() /
                 ("tidywarden-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(ConfigPath().parent_path());
    sandbox::SetCurrentDir(directory_.generic_string());
    liveBefore_ = sandbox::LiveAllocations();
    reallocsOfNullBefore_ = sandbox::AllocatorCallCounts().reallocsOfNull;
  }

  void TearDown() override {
    module_.Unload();
    EXPECT_FALSE(sandbox::PluginModule::IsMapped(kPluginPath)) << "the module stayed mapped after unloading";
    EXPECT_EQ(sandbox::LiveAllocations(), liveBefore_) << "game-allocator buffers left live";
    EXPECT_EQ(sandbox::AllocatorCallCounts().reallocsOfNull, reallocsOfNullBefore_)
        << "a first buffer was asked of FMemory.Realloc instead of FMemory.Malloc";
    std::filesystem::remove_all(directory_);
  }

  std::filesystem::path ConfigPath() const { return directory_ / "ArkApi/Plugins/Tidywarden/config.json"; }

  void WriteConfig(const std::string& text) {
    std::ofstream file(ConfigPath(), std::ios::binary | std::ios::trunc);
    file << text;
  }

  void Load() { module_.Load(kPluginPath); }
  void Unload() { module_.Unload(); }

  // Live game-allocator buffers beyond those that existed when the test started.
  std::size_t LeakedBuffers() const { return sandbox::LiveAllocations() - liveBefore_; }

  sandbox::Connection connection_;

 private:
  static inline int counter_ = 0;
  std::filesystem::path directory_;
  std::size_t liveBefore_ = 0;
  std::uint64_t reallocsOfNullBefore_ = 0;
  sandbox::PluginModule module_;
};

}  // namespace testing_support
