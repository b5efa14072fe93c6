// The server program's command line: what runs, what is refused with which message, and what is warned about.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "sandbox/rcon/RconServer.h"
#include "sandbox/server/CommandLine.h"

namespace {

namespace fs = std::filesystem;
using sandbox::server::CommandLine;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 ("tidywarden-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string WriteFile(const std::string& name, const std::string& bytes) {
    const auto path = (directory_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  static CommandLine Parse(std::vector<std::string> words, const std::optional<std::string>& environment = {}) {
    words.insert(words.begin(), "tidywarden-sandbox");
    std::vector<const char*> argv;
    for (const auto& word : words) argv.push_back(word.c_str());
    return sandbox::server::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), environment, "default.so");
  }

  fs::path directory_;
};

bool AnyContains(const std::vector<std::string>& texts, const std::string& part) {
  for (const auto& text : texts) {
    if (text.find(part) != std::string::npos) return true;
  }
  return false;
}

TEST_F(CommandLineTest, EveryOptionKeepsItsMeaning) {
  const auto world = WriteFile("world.json", "{}");
  const auto script = WriteFile("script.txt", "sandbox.help\n");
  const auto full = Parse({"--dir", "server", "--plugin", "p.so", "--world", world, "--demo-config", "--rcon-port", "0",
                           "--bind", "::1", "--rcon-password", "pw", "--quiet"});
  ASSERT_TRUE(full.options) << full.message;
  EXPECT_EQ(full.options->directory, "server");
  EXPECT_EQ(full.options->pluginPath, "p.so");
  EXPECT_EQ(full.options->worldFile, world);
  EXPECT_TRUE(full.options->writeDemoConfig);
  EXPECT_EQ(full.options->port, 0);
  EXPECT_EQ(full.options->bindAddress, "::1");
  EXPECT_TRUE(full.options->quiet);

  // A script opens no port: it needs no password, and binding anywhere is harmless.
  const auto bare = Parse({"--dir", "d", "--script", script, "--bind", "0.0.0.0"});
  ASSERT_TRUE(bare.options) << bare.message;
  EXPECT_EQ(bare.options->scriptFile, script);
  EXPECT_EQ(bare.options->pluginPath, "default.so");
  EXPECT_EQ(bare.options->port, 27020);
  EXPECT_FALSE(bare.options->worldFile || bare.options->quiet || bare.options->writeDemoConfig);
  EXPECT_TRUE(bare.options->password.empty());
  EXPECT_TRUE(bare.warnings.empty());

  const auto help = Parse({"--help"});
  EXPECT_FALSE(help.options);
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option : {"--dir", "--plugin", "--world", "--demo-config", "--script", "--rcon-port", "--bind",
                             "--rcon-password-file", "--quiet", "TIDYWARDEN_RCON_PASSWORD"}) {
    EXPECT_NE(help.message.find(option), std::string::npos) << option;
  }
}

TEST_F(CommandLineTest, BadCommandLinesAreRefusedSayingWhy) {
  const std::vector<std::string> base = {"--dir", "d", "--rcon-password", "pw"};
  struct Case {
    std::vector<std::string> words;
    const char* mentions;
  };
  const Case cases[] = {
      {{"--rcon-port", "27020abc"}, "27020abc is not a number"},
      {{"--rcon-port", "70000"}, "70000 is not a port number"},
      {{"--rcon-port", "-1"}, "--rcon-port"},
      {{"--rcon-port"}, "--rcon-port"},
      {{"--rcon-prot", "1"}, "--rcon-prot"},
      {{"stray"}, "stray"},
      {{"--bind", "localhost"}, "localhost"},
      {{"--bind", "127.0.0.256"}, "127.0.0.256"},
      {{"--world", "no-such-world.json"}, "no-such-world.json"},
      {{"--rcon-password-file", "pw.txt"}, "--rcon-password"},
  };
  for (const auto& c : cases) {
    auto words = base;
    words.insert(words.end(), c.words.begin(), c.words.end());
    const auto result = Parse(words);
    EXPECT_FALSE(result.options) << c.words[0];
    EXPECT_EQ(result.exitCode, sandbox::server::kUsageExitCode) << c.words[0];
    EXPECT_NE(result.message.find(c.mentions), std::string::npos) << result.message;
    EXPECT_TRUE(result.warnings.empty()) << c.words[0];
  }
  EXPECT_NE(Parse({"--rcon-password", "pw"}).message.find("--dir"), std::string::npos);
}

TEST_F(CommandLineTest, PasswordSourcesAndTheirPrecedence) {
  struct Case {
    const char* name;
    std::vector<std::string> words;
    std::optional<std::string> environment;
    const char* password;  // nullptr: refused
  };
  static const std::string kLongest(4086, 'x');
  const auto file = WriteFile("password", "from-file\r\nsecond line\n");
  const Case cases[] = {
      {"file over environment", {"--rcon-password-file", file}, "from-env", "from-file"},
      {"argument over environment", {"--rcon-password", "from-arg"}, "from-env", "from-arg"},
      {"environment", {}, "from-env", "from-env"},
      {"nothing", {}, std::nullopt, nullptr},
      {"empty environment", {}, "", nullptr},
      {"no line end", {"--rcon-password-file", WriteFile("bare", "bare")}, {}, "bare"},
      {"byte-order mark", {"--rcon-password-file", WriteFile("bom", "\xEF\xBB\xBFpw\n")}, {}, "pw"},
      {"inner spaces kept", {"--rcon-password-file", WriteFile("sp", " a b \n")}, {}, " a b "},
      {"empty file", {"--rcon-password-file", WriteFile("empty", "")}, "from-env", nullptr},
      {"empty first line", {"--rcon-password-file", WriteFile("blank", "\r\nsecret\n")}, {}, nullptr},
      {"missing file", {"--rcon-password-file", (directory_ / "missing").string()}, "from-env", nullptr},
      {"a directory", {"--rcon-password-file", directory_.string()}, {}, nullptr},
      // The listener would refuse these only after the plug-in is loaded.
      {"NUL in the file", {"--rcon-password-file", WriteFile("nul", std::string("a\0b\n", 4))}, {}, nullptr},
      {"longer than a packet", {}, std::string(4087, 'x'), nullptr},
      {"as long as a packet allows", {}, std::string(4086, 'x'), kLongest.c_str()},
  };
  for (const auto& c : cases) {
    std::vector<std::string> words = {"--dir", "d"};
    words.insert(words.end(), c.words.begin(), c.words.end());
    const auto result = Parse(words, c.environment);
    if (c.password == nullptr) {
      EXPECT_FALSE(result.options) << c.name;
      EXPECT_EQ(result.exitCode, sandbox::server::kUsageExitCode) << c.name;
      continue;
    }
    ASSERT_TRUE(result.options) << c.name << ": " << result.message;
    EXPECT_EQ(result.options->password, c.password) << c.name;
    // Only an argument is in the process list.
    EXPECT_EQ(AnyContains(result.warnings, "process list"), !c.words.empty() && c.words[0] == "--rcon-password")
        << c.name;
  }
}

TEST_F(CommandLineTest, BindingBeyondLoopbackIsWarnedOf) {
  const auto password = WriteFile("pw", "pw");
  const std::vector<std::pair<const char*, bool>> addresses = {
      {"127.0.0.1", true}, {"127.1.2.3", true},    {"::1", true},      {"::ffff:127.0.0.1", true},
      {"0.0.0.0", false},  {"192.168.1.5", false}, {"::", false},      {"::ffff:10.0.0.1", false},
      {"", false},         {"128.0.0.1", false},   {"fe80::1", false},
  };
  for (const auto& [address, loopback] : addresses) {
    EXPECT_EQ(sandbox::rcon::IsLoopbackAddress(address), loopback) << address;
    const auto result = Parse({"--dir", "d", "--rcon-password-file", password, "--bind", address});
    ASSERT_TRUE(result.options) << address << ": " << result.message;
    EXPECT_EQ(AnyContains(result.warnings, "plain text"), !loopback) << address;
  }
}

}  // namespace
