// The library entry as the operating system's loader drives it: what one load and one unload leave behind.
#include <regex>
#include <string>
#include <thread>

#include "PluginFixture.h"

namespace {

using testing_support::PluginTest;

using LibraryEntryTest = PluginTest;

// GBK bytes of "已加载:Tidywarden开发组赞助制作.插件发布群730528146".
const std::string kLoadedMessage =
    "\xd2\xd1\xbc\xd3\xd4\xd8:Tidywarden\xbf\xaa\xb7\xa2\xd7\xe9\xd4\xde\xd6\xfa\xd6\xc6\xd7\xf7."
    "\xb2\xe5\xbc\xfe\xb7\xa2\xb2\xbc\xc8\xba"
    "730528146";

// The whole log of one load and one unload, byte for byte after the time stamp: the same on every platform,
// line end included.
TEST_F(LibraryEntryTest, OneLoadAndOneUnloadLogOnlyTheLoadedLine) {
  WriteConfig("{}");
  Load();
  Unload();

  const std::string bytes = sandbox::LogRecorder()->Bytes();
  static const std::regex kStamp(R"(^\d\d/\d\d/\d\d \d\d:\d\d )");
  std::smatch stamp;
  ASSERT_TRUE(std::regex_search(bytes, stamp, kStamp)) << bytes;
  EXPECT_EQ(stamp.suffix().str(), "[Sweepmark1.4.1][info] " + kLoadedMessage + "\n");
  EXPECT_EQ(sandbox::HookEvents().size(), 10U);
  EXPECT_EQ(sandbox::CommandEvents().size(), 6U);
}

// Windows tells the library about every thread that starts or ends; none of that may load or unload it.
TEST_F(LibraryEntryTest, ThreadsStartingAndEndingChangeNothing) {
  WriteConfig("{}");
  Load();
  const auto hooks = sandbox::HookEvents().size();
  const auto commands = sandbox::CommandEvents().size();
  const std::string log = sandbox::LogRecorder()->Bytes();

  for (int i = 0; i < 3; ++i) std::thread([] {}).join();

  EXPECT_EQ(sandbox::HookEvents().size(), hooks);
  EXPECT_EQ(sandbox::CommandEvents().size(), commands);
  EXPECT_EQ(sandbox::LogRecorder()->Bytes(), log);
  EXPECT_EQ(sandbox::HookedFunctions().size(), 5U);
}

}  // namespace
