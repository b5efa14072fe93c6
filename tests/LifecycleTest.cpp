// Loading, unloading and reloading the built plug-in in the simulated host, as an administrator sees it.
#include <unistd.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "PluginFixture.h"
#include "host/Members.h"

namespace {

using testing_support::LoggedLines;
using testing_support::ParseErrorOf;
using testing_support::PluginTest;

// GBK bytes of "无法打开文件配置config.json".
const std::string kNotOpened =
    "\xce\xde\xb7\xa8\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\xc5\xe4\xd6\xc3"
    "config.json";
// GBK bytes of "已加载:" and "赞助制作." + "插件发布群".
const std::string kLoadedStart = "\xd2\xd1\xbc\xd3\xd4\xd8:";
const std::string kLoadedCredit = "\xd4\xde\xd6\xfa\xd6\xc6\xd7\xf7.\xb2\xe5\xbc\xfe\xb7\xa2\xb2\xbc\xc8\xba";

constexpr std::string_view kHookNames[] = {
    members::ViewRemoteInventory::name, members::AddToInventory::name,    members::FinishedReceivingItems::name,
    members::DinoBeginPlay::name,       members::GameModeBeginPlay::name,
};
const char* const kCommandNames[] = {"Tidywarden.reload", "Tidywarden.DestroySpecifystructure",
                                     "Tidywarden.DestroySpecifydino"};

// Hook and command events in the order they happened, as "+hook name", "-hook name", "+cmd name", "-cmd name".
std::vector<std::string> LifecycleEvents() {
  std::vector<std::pair<std::uint64_t, std::string>> events;
  for (const auto& hook : sandbox::HookEvents()) {
    events.emplace_back(hook.sequence, (hook.installed ? "+hook " : "-hook ") + hook.function);
  }
  for (const auto& command : sandbox::CommandEvents()) {
    events.emplace_back(command.sequence, (command.registered ? "+cmd " : "-cmd ") + command.name);
  }
  std::sort(events.begin(), events.end());
  std::vector<std::string> ordered;
  for (auto& [sequence, text] : events) ordered.push_back(std::move(text));
  return ordered;
}

std::vector<std::string> ExpectedSequence(const char* hookSign, const char* commandSign) {
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i) expected.push_back(std::string(hookSign) + "hook " + std::string(kHookNames[i]));
  for (const char* name : kCommandNames) expected.push_back(std::string(commandSign) + "cmd " + name);
  for (int i = 3; i < 5; ++i) expected.push_back(std::string(hookSign) + "hook " + std::string(kHookNames[i]));
  return expected;
}

using LifecycleTest = PluginTest;

TEST_F(LifecycleTest, LoadInstallsHooksAndCommandsInTableOrderAndLogsOneLine) {
  WriteConfig(R"({"Destroylist": {}})");
  Load();

  EXPECT_EQ(LifecycleEvents(), ExpectedSequence("+", "+"));
  for (const auto& hook : sandbox::HookEvents()) {
    EXPECT_TRUE(hook.accepted) << hook.function;
    ASSERT_NE(hook.original, nullptr);
    ASSERT_NE(hook.detour, nullptr);
    // The replaced-function pointer leads to the game's own function, not back to the detour.
    EXPECT_NE(*hook.original, hook.detour) << hook.function;
    EXPECT_EQ(sandbox::InstalledDetours(hook.function), std::vector<void*>{hook.detour});
  }

  const auto lines = LoggedLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0].logger, "Sweepmark1.4.1");
  EXPECT_EQ(lines[0].level, "info");
  EXPECT_EQ(lines[0].message.rfind(kLoadedStart, 0), 0U) << lines[0].message;
  EXPECT_NE(lines[0].message.find(kLoadedCredit), std::string::npos) << lines[0].message;
  const std::string digits = lines[0].message.substr(lines[0].message.find(kLoadedCredit) + kLoadedCredit.size());
  EXPECT_FALSE(digits.empty());
  EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
}

TEST_F(LifecycleTest, UnloadRemovesEverythingInTableOrder) {
  WriteConfig("{}");
  Load();
  const auto installed = sandbox::HookEvents();
  Unload();

  const auto events = LifecycleEvents();
  const std::vector<std::string> removals(events.begin() + 8, events.end());
  EXPECT_EQ(removals, ExpectedSequence("-", "-"));
  // Each removal names the detour that was installed for that function, and the host accepted it.
  for (const auto& removal : sandbox::HookEvents()) {
    if (removal.installed) continue;
    EXPECT_TRUE(removal.accepted) << removal.function;
    const auto match = std::find_if(installed.begin(), installed.end(),
                                    [&](const sandbox::HookEvent& hook) { return hook.function == removal.function; });
    ASSERT_NE(match, installed.end());
    EXPECT_EQ(match->detour, removal.detour);
  }
  EXPECT_TRUE(sandbox::HookedFunctions().empty());
  EXPECT_TRUE(ArkApi::GetCommands().RconCommandNames().empty());
}

struct FailedLoadCase {
  const char* name;
  std::optional<std::string> config;  // none: no file at all
};
void PrintTo(const FailedLoadCase& param, std::ostream* out) { *out << param.name; }

class FailedLoadTest : public PluginTest, public ::testing::WithParamInterface<FailedLoadCase> {};

TEST_P(FailedLoadTest, LogsOneErrorAndInstallsNothing) {
  const auto& param = GetParam();
  if (param.config) WriteConfig(*param.config);
  Load();

  EXPECT_TRUE(LifecycleEvents().empty());
  const auto lines = LoggedLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0].logger, "Sweepmark1.4.1");
  EXPECT_EQ(lines[0].level, "error");
  EXPECT_EQ(lines[0].message, param.config ? ParseErrorOf(*param.config) : kNotOpened);

  // Detach still asks the host to remove all five hooks and three commands, which it refuses harmlessly.
  Unload();
  EXPECT_EQ(LifecycleEvents(), ExpectedSequence("-", "-"));
  for (const auto& hook : sandbox::HookEvents()) EXPECT_FALSE(hook.accepted);
  for (const auto& command : sandbox::CommandEvents()) EXPECT_FALSE(command.accepted);
  EXPECT_EQ(LoggedLines().size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(Configurations, FailedLoadTest,
                         ::testing::Values(FailedLoadCase{"MissingFile", std::nullopt}, FailedLoadCase{"EmptyFile", ""},
                                           FailedLoadCase{"SyntaxError", R"({"Destroylist": {"a": })"},
                                           FailedLoadCase{"LineComment", "// comment\n{}"},
                                           FailedLoadCase{"TrailingComment", "{\"Destroylist\": {} // comment\n}"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct AcceptedFileCase {
  const char* name;
  std::string text;
};

class AcceptedFileTest : public PluginTest, public ::testing::WithParamInterface<AcceptedFileCase> {};

TEST_P(AcceptedFileTest, Loads) {
  WriteConfig(GetParam().text);
  Load();
  const auto lines = LoggedLines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0].level, "info");
  EXPECT_EQ(sandbox::HookedFunctions().size(), 5U);
}

INSTANTIATE_TEST_SUITE_P(Files, AcceptedFileTest,
                         ::testing::Values(AcceptedFileCase{"Plain", R"({"Destroylist": {}})"},
                                           AcceptedFileCase{"ByteOrderMark", "\xEF\xBB\xBF{\"Destroylist\": {}}"},
                                           AcceptedFileCase{"SecondObjectIgnored", "{\"a\": 1}\n{\"b\": 2}"},
                                           AcceptedFileCase{"GarbageAfterFirstValue", "{}\n}}} not json"},
                                           AcceptedFileCase{"TopLevelArray", "[1, 2]"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LifecycleTest, EachLoadStartsFromFreshState) {
  WriteConfig("{}");
  for (int round = 0; round < 3; ++round) {
    Load();
    EXPECT_EQ(sandbox::HookedFunctions().size(), 5U) << "round " << round;
    Unload();
    EXPECT_FALSE(sandbox::PluginModule::IsMapped(testing_support::kPluginPath)) << "round " << round;
    EXPECT_TRUE(sandbox::HookedFunctions().empty());
    EXPECT_EQ(LeakedBuffers(), 0U);
  }
  EXPECT_EQ(LoggedLines().size(), 3U);
}

}  // namespace
