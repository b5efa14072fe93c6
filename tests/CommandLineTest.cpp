// The server program's command line: what runs, what is refused with which message, and what is warned about.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "sandbox/server/CommandLine.h"

namespace {

namespace fs = std::filesystem;
using sandbox::server::CommandLine;
using sandbox::server::ParseCommandLine;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 ("tidywarden-cli-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(directory_);
    WriteFile("script.txt", "sandbox.help\n");
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string WriteFile(const std::string& name, const std::string& bytes) {
    const auto path = (directory_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string PathOf(const std::string& name) { return (directory_ / name).string(); }

  CommandLine Parse(std::vector<std::string> words, const std::optional<std::string>& environment = std::nullopt) {
    words.insert(words.begin(), "tidywarden-sandbox");
    std::vector<const char*> argv;
    for (const auto& word : words) argv.push_back(word.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), environment, "default-plugin");
  }

  fs::path directory_;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool AnyContains(const std::vector<std::string>& texts, const std::string& part) {
  for (const auto& text : texts) {
    if (Contains(text, part)) return true;
  }
  return false;
}

TEST_F(CommandLineTest, EveryOptionKeepsItsMeaning) {
  const auto world = WriteFile("world.json", "{}");
  const auto result = Parse({"--dir", "server", "--plugin", "p.so", "--world", world, "--demo-config", "--rcon-port",
                             "0", "--bind", "::1", "--rcon-password", "pw", "--quiet"});
  ASSERT_TRUE(result.options) << result.message;
  const auto& options = *result.options;
  EXPECT_EQ(options.directory, "server");
  EXPECT_EQ(options.pluginPath, "p.so");
  EXPECT_EQ(options.worldFile, world);
  EXPECT_FALSE(options.scriptFile);
  EXPECT_TRUE(options.writeDemoConfig);
  EXPECT_EQ(options.port, 0);
  EXPECT_EQ(options.bindAddress, "::1");
  EXPECT_EQ(options.password, "pw");
  EXPECT_TRUE(options.quiet);

  const auto defaults = Parse({"--dir", "d", "--rcon-password-file", WriteFile("pw", "secret\n")});
  ASSERT_TRUE(defaults.options) << defaults.message;
  EXPECT_EQ(defaults.options->pluginPath, "default-plugin");
  EXPECT_EQ(defaults.options->bindAddress, "127.0.0.1");
  EXPECT_EQ(defaults.options->port, 27020);
  EXPECT_FALSE(defaults.options->quiet);
  EXPECT_FALSE(defaults.options->writeDemoConfig);
  EXPECT_TRUE(defaults.warnings.empty()) << defaults.warnings.front();
}

TEST_F(CommandLineTest, HelpListsTheOptionsAndExitsWithoutError) {
  for (const char* flag : {"--help", "-h"}) {
    const auto result = Parse({flag});
    EXPECT_FALSE(result.options);
    EXPECT_EQ(result.exitCode, 0);
    for (const char* option : {"--dir", "--plugin", "--world", "--demo-config", "--script", "--rcon-port", "--bind",
                               "--rcon-password", "--rcon-password-file", "--quiet", "TIDYWARDEN_RCON_PASSWORD"}) {
      EXPECT_TRUE(Contains(result.message, option)) << flag << " does not mention " << option;
    }
  }
}

TEST_F(CommandLineTest, BadCommandLinesAreRefusedSayingWhy) {
  struct Case {
    std::vector<std::string> words;
    const char* mentions;
  };
  const Case cases[] = {
      {{"--dir", "d", "--rcon-password", "pw", "--rcon-port", "27020abc"}, "27020abc is not a number"},
      {{"--dir", "d", "--rcon-password", "pw", "--rcon-port", "70000"}, "70000 is not a port number"},
      {{"--dir", "d", "--rcon-password", "pw", "--rcon-port", "-1"}, "--rcon-port"},
      {{"--dir", "d", "--rcon-password", "pw", "--rcon-port"}, "--rcon-port"},
      {{"--dir", "d", "--rcon-password", "pw", "--rcon-prot", "1"}, "--rcon-prot"},
      {{"--dir", "d", "--rcon-password", "pw", "stray"}, "stray"},
      {{"--rcon-password", "pw"}, "--dir"},
      {{"--dir", "d"}, "without a password"},
      {{"--dir", "d", "--rcon-password", "pw", "--bind", "localhost"}, "localhost"},
      {{"--dir", "d", "--rcon-password", "pw", "--bind", "127.0.0.256"}, "127.0.0.256"},
      {{"--dir", "d", "--rcon-password", "pw", "--world", "no-such-world.json"}, "no-such-world.json"},
      {{"--dir", "d", "--script", "no-such-script.txt"}, "no-such-script.txt"},
      {{"--dir", "d", "--rcon-password", "pw", "--rcon-password-file", "pw.txt"}, "--rcon-password"},
  };
  for (const auto& c : cases) {
    const auto result = Parse(c.words);
    std::string line;
    for (const auto& word : c.words) line += word + " ";
    EXPECT_FALSE(result.options) << line;
    EXPECT_EQ(result.exitCode, sandbox::server::kUsageExitCode) << line;
    EXPECT_TRUE(Contains(result.message, c.mentions)) << line << "\n" << result.message;
    EXPECT_TRUE(result.warnings.empty()) << line;
  }
}

TEST_F(CommandLineTest, PasswordSourcesAndTheirPrecedence) {
  struct Case {
    const char* name;
    std::vector<std::string> words;
    std::optional<std::string> environment;
    const char* password;  // nullptr: refused
    bool warnsOfProcessList;
  };
  const auto file = WriteFile("password", "from-file\r\nsecond line\n");
  const Case cases[] = {
      {"file", {"--rcon-password-file", file}, std::nullopt, "from-file", false},
      {"file over environment", {"--rcon-password-file", file}, "from-env", "from-file", false},
      {"argument over environment", {"--rcon-password", "from-arg"}, "from-env", "from-arg", true},
      {"environment", {}, "from-env", "from-env", false},
      {"empty environment", {}, "", nullptr, false},
      {"no file ending", {"--rcon-password-file", WriteFile("bare", "bare")}, std::nullopt, "bare", false},
      {"byte-order mark", {"--rcon-password-file", WriteFile("bom", "\xEF\xBB\xBFpw\n")}, std::nullopt, "pw", false},
      {"inner spaces kept", {"--rcon-password-file", WriteFile("sp", " a b \n")}, std::nullopt, " a b ", false},
      {"empty file", {"--rcon-password-file", WriteFile("empty", "")}, "from-env", nullptr, false},
      {"empty first line", {"--rcon-password-file", WriteFile("blank", "\r\nsecret\n")}, std::nullopt, nullptr, false},
      {"missing file", {"--rcon-password-file", PathOf("missing")}, "from-env", nullptr, false},
      {"a directory", {"--rcon-password-file", directory_.string()}, std::nullopt, nullptr, false},
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
    EXPECT_EQ(AnyContains(result.warnings, "process list"), c.warnsOfProcessList) << c.name;
  }
}

TEST_F(CommandLineTest, AScriptNeedsNoPassword) {
  const auto result = Parse({"--dir", "d", "--script", PathOf("script.txt"), "--bind", "0.0.0.0"});
  ASSERT_TRUE(result.options) << result.message;
  EXPECT_EQ(result.options->scriptFile, PathOf("script.txt"));
  EXPECT_TRUE(result.options->password.empty());
  EXPECT_TRUE(result.warnings.empty()) << "a script opens no port";
}

TEST_F(CommandLineTest, BindingBeyondLoopbackIsWarnedOf) {
  struct Case {
    const char* address;
    bool loopback;
  };
  const Case cases[] = {
      {"127.0.0.1", true}, {"127.1.2.3", true},    {"::1", true},      {"::ffff:127.0.0.1", true},
      {"0.0.0.0", false},  {"192.168.1.5", false}, {"::", false},      {"::ffff:10.0.0.1", false},
      {"", false},         {"128.0.0.1", false},   {"fe80::1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sandbox::server::IsLoopbackAddress(c.address), c.loopback) << c.address;
    const auto result = Parse({"--dir", "d", "--rcon-password-file", WriteFile("pw", "pw"), "--bind", c.address});
    ASSERT_TRUE(result.options) << c.address << ": " << result.message;
    EXPECT_EQ(AnyContains(result.warnings, "plain text"), !c.loopback) << c.address;
  }
}

}  // namespace
