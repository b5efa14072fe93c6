// The live console's parts: its RCON client against the sandbox's RCON server and against a silent one, the log
// follower on files that grow, shrink, are replaced and rotated, and the lists of servers and addresses it reads.
#include <utility>

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "LogFollower.h"
#include "RconClient.h"
#include "Servers.h"
#include "sandbox/rcon/RconPacket.h"
#include "sandbox/rcon/RconServer.h"

namespace {

using namespace std::chrono_literals;
namespace asio = boost::asio;
namespace fs = std::filesystem;
using live::LineAnswer;
using live::RconState;

const std::string kPassword = "right-password";

// Runs the loop until `done` holds or the time is up; whether it held.
bool RunUntil(asio::io_context& io, const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    io.restart();
    io.run_for(20ms);
  }
  return true;
}

live::RconLimits QuickLimits() {
  live::RconLimits limits;
  limits.connect = 2s;
  limits.login = 3s;
  limits.answer = 500ms;
  limits.retry = 200ms;
  return limits;
}

// The sandbox's RCON server with an executor that answers each line from a table, and the client under test.
struct RconFixture {
  explicit RconFixture(std::string clientPassword = kPassword) {
    options.password = kPassword;
    options.packetGap = 0ms;
    options.loginRetryDelay = 0ms;
    StartServer();
    port = server->Port();
    // Started again on the same port after a stop.
    options.port = port;
    client = live::RconClient::Create(io, {"127.0.0.1", port}, std::move(clientPassword), QuickLimits(),
                                      [this](RconState state, const std::string&) { states.push_back(state); });
    client->Start();
  }

  void StartServer() {
    server.reset();
    server.emplace(io, options, [this](const std::string& line) {
      ran.push_back(line);
      return reply ? reply(line) : "ok " + line;
    });
    server->Start();
  }

  std::optional<LineAnswer> Run(const std::string& line) {
    std::optional<LineAnswer> answer;
    client->Run(line, [&](LineAnswer got) { answer = std::move(got); });
    RunUntil(io, [&] { return answer.has_value(); });
    return answer;
  }

  asio::io_context io;
  sandbox::rcon::Options options;
  std::optional<sandbox::rcon::Server> server;
  std::uint16_t port = 0;
  std::function<std::string(const std::string&)> reply;
  std::vector<std::string> ran;
  std::vector<RconState> states;
  std::shared_ptr<live::RconClient> client;
};

TEST(RconClient, RepliesComeBackWholeAndInOrder) {
  const std::string longReply = std::string(5000, 'a') + "清理指定建筑" + std::string(9000, 'b');
  const struct {
    const char* name;
    std::string line;
    std::string reply;
  } cases[] = {
      {"one packet", "Tidywarden.reload", "重新加载配置"},
      {"split over four packets", "long", longReply},
      {"an empty reply", "silent", ""},
  };
  RconFixture fixture;
  fixture.reply = [&](const std::string& line) {
    for (const auto& entry : cases) {
      if (entry.line == line) return entry.reply;
    }
    return std::string("unknown");
  };
  for (const auto& entry : cases) {
    const auto answer = fixture.Run(entry.line);
    ASSERT_TRUE(answer) << entry.name;
    EXPECT_EQ(answer->error, "") << entry.name;
    EXPECT_EQ(answer->reply, entry.reply) << entry.name;
  }
  EXPECT_EQ(fixture.client->State(), RconState::Answering);
}

TEST(RconClient, CommandsSentTogetherAreAnsweredInOrder) {
  RconFixture fixture;
  std::vector<std::string> replies;
  for (const char* line : {"first", "second", "third"}) {
    fixture.client->Run(line, [&](LineAnswer answer) { replies.push_back(answer.reply); });
  }
  ASSERT_TRUE(RunUntil(fixture.io, [&] { return replies.size() == 3; }));
  EXPECT_EQ(replies, (std::vector<std::string>{"ok first", "ok second", "ok third"}));
  EXPECT_EQ(fixture.ran, (std::vector<std::string>{"first", "second", "third"}));
}

TEST(RconClient, RefusedPasswordIsToldOnceAndNotRetried) {
  RconFixture fixture("wrong-password");
  ASSERT_TRUE(RunUntil(fixture.io, [&] { return fixture.client->State() == RconState::PasswordRefused; }));
  const auto started = std::chrono::steady_clock::now();
  const auto answer = fixture.Run("Tidywarden.reload");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 503u);
  EXPECT_NE(answer->error.find("refused"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 200ms);
  // Another second of running tries nothing more: the state stays where it was told once.
  RunUntil(fixture.io, [] { return false; }, 1s);
  EXPECT_EQ(std::count(fixture.states.begin(), fixture.states.end(), RconState::PasswordRefused), 1);
  EXPECT_TRUE(fixture.ran.empty());
  fixture.client->SetPassword(kPassword);
  const auto after = fixture.Run("Tidywarden.reload");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->reply, "ok Tidywarden.reload");
}

TEST(RconClient, LostServerIsUnreachableAtOnceThenAnsweringAgain) {
  RconFixture fixture;
  ASSERT_EQ(fixture.Run("before")->reply, "ok before");
  fixture.server->Stop();
  ASSERT_TRUE(RunUntil(fixture.io, [&] { return fixture.client->State() == RconState::Unreachable; }));
  const auto started = std::chrono::steady_clock::now();
  const auto answer = fixture.Run("while gone");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 503u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 200ms);
  fixture.StartServer();
  ASSERT_TRUE(RunUntil(fixture.io, [&] { return fixture.client->State() == RconState::Answering; }));
  EXPECT_EQ(fixture.Run("after")->reply, "ok after");
  EXPECT_EQ(fixture.ran, (std::vector<std::string>{"before", "after"}));
}

TEST(RconClient, ServerThatNeverAnswersTimesOut) {
  // Logs in, then reads and answers nothing more.
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
  asio::ip::tcp::socket peer(io);
  std::string login(4096, '\0');
  std::string answer;
  acceptor.async_accept(peer, [&](const boost::system::error_code& error) {
    if (error) return;
    peer.async_read_some(asio::buffer(login), [&](const boost::system::error_code& failed, std::size_t) {
      if (failed) return;
      const std::int32_t id = sandbox::rcon::ReadInt32(login.data() + 4);
      answer = sandbox::rcon::EncodePacket(id, sandbox::rcon::kTypeAuthResponse, "");
      asio::write(peer, asio::buffer(answer));
    });
  });
  auto client = live::RconClient::Create(io, {"127.0.0.1", acceptor.local_endpoint().port()}, kPassword,
                                         QuickLimits(), nullptr);
  client->Start();
  ASSERT_TRUE(RunUntil(io, [&] { return client->State() == RconState::Answering; }));
  std::optional<LineAnswer> late;
  client->Run("Tidywarden.reload", [&](LineAnswer got) { late = std::move(got); });
  ASSERT_TRUE(RunUntil(io, [&] { return late.has_value(); }, 5s));
  EXPECT_EQ(late->status, 504u);
  EXPECT_NE(late->error.find("no answer"), std::string::npos);
}

TEST(RconClient, ServerThatNeverLogsInIsAnsweredAtOnceWhileUnreachable) {
  // Takes every connection and reads nothing: each login waits out its whole limit.
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
  std::list<asio::ip::tcp::socket> peers;
  std::function<void()> accept = [&] {
    peers.emplace_back(io);
    acceptor.async_accept(peers.back(), [&](const boost::system::error_code& error) {
      if (!error) accept();
    });
  };
  accept();
  live::RconLimits limits = QuickLimits();
  limits.login = 1s;
  limits.retry = 30s;
  auto client = live::RconClient::Create(io, {"127.0.0.1", acceptor.local_endpoint().port()}, kPassword, limits,
                                         nullptr);
  client->Start();
  ASSERT_TRUE(RunUntil(io, [&] { return client->State() == RconState::Unreachable; }, 5s));
  const auto started = std::chrono::steady_clock::now();
  std::optional<LineAnswer> answer;
  client->Run("Tidywarden.reload", [&](LineAnswer got) { answer = std::move(got); });
  ASSERT_TRUE(RunUntil(io, [&] { return answer.has_value(); }, 5s));
  EXPECT_EQ(answer->status, 503u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 200ms) << "waited for another login instead";
}

TEST(RconClient, LinesThatCannotBeSentAreRefusedUnsent) {
  RconFixture fixture;
  for (const std::string& line : {std::string(), std::string("a\0b", 3), std::string(5000, 'x')}) {
    const auto answer = fixture.Run(line);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 400u);
  }
  EXPECT_TRUE(fixture.ran.empty());
}

TEST(RconAddress, Parsed) {
  const struct {
    const char* text;
    std::optional<std::pair<std::string, std::uint16_t>> expected;
  } cases[] = {
      {"127.0.0.1:27020", {{"127.0.0.1", 27020}}},
      {"island.example.net:27015", {{"island.example.net", 27015}}},
      {"10.0.0.5", {{"10.0.0.5", 27020}}},
      {"[::1]:27021", {{"::1", 27021}}},
      {"[::1]", {{"::1", 27020}}},
      {"::1", std::nullopt},
      {"host:", std::nullopt},
      {":27020", std::nullopt},
      {"host:0", std::nullopt},
      {"host:65536", std::nullopt},
      {"host:12ab", std::nullopt},
      {"[::1", std::nullopt},
      {"a b:1", std::nullopt},
  };
  for (const auto& entry : cases) {
    const auto parsed = live::ParseRconAddress(entry.text);
    ASSERT_EQ(parsed.has_value(), entry.expected.has_value()) << entry.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->host, entry.expected->first) << entry.text;
    EXPECT_EQ(parsed->port, entry.expected->second) << entry.text;
    EXPECT_EQ(live::ParseRconAddress(live::AddressText(*parsed))->host, parsed->host) << entry.text;
  }
}

class LogFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("tidywarden-live-log-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder);
    fs::create_directories(folder / "Logs");
  }
  void TearDown() override { fs::remove_all(folder); }

  static void Write(const fs::path& path, const std::string& text, bool append = true) {
    std::ofstream file(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    file << text;
  }

  fs::path folder;
};

TEST_F(LogFiles, FollowedThroughGrowthTruncationReplacementAndRotation) {
  const fs::path log = folder / "Logs" / "host.log";
  Write(log, "old 1\nold 2\n");
  live::LogFollower follower(log.string(), {});
  using Lines = std::vector<std::string>;
  // Longer than the head the follower compares, so only the file's size can tell a truncation.
  const std::string banner(80, '=');
  const struct {
    const char* name;
    std::function<void()> change;
    Lines expected;
  } steps[] = {
      {"the lines already there", [] {}, {"old 1", "old 2"}},
      {"nothing new", [] {}, {}},
      {"a line half written is held back", [&] { Write(log, "new 1\nnew 2 is"); }, {"new 1"}},
      {"then completed, CRLF taken off", [&] { Write(log, " done\r\n"); }, {"new 2 is done"}},
      {"truncated: read from the start", [&] { Write(log, "after truncation\n", false); }, {"after truncation"}},
      {"replaced by a longer file: read from the start",
       [&] {
         fs::remove(log);
         Write(log, "a different first line\nsecond\n");
       },
       {"a different first line", "second"}},
      {"rotated: the old name holds a new file",
       [&] {
         fs::rename(log, folder / "Logs" / "host.1.log");
         Write(log, "rotated in\n");
       },
       {"rotated in"}},
      {"GBK bytes decoded, UTF-8 kept",
       [&] { Write(log, "[Sweepmark1.4.1][info] \xd6\xd8\xd0\xc2\n[x][info] \xe9\x87\x8d\n"); },
       {"[Sweepmark1.4.1][info] 重新", "[x][info] 重"}},
      {"a new file opening with a banner longer than the head compared",
       [&] { Write(log, banner + "\n", false); }, {banner}},
      {"grown past the banner", [&] { Write(log, "line a\nline b\n"); }, {"line a", "line b"}},
      {"truncated behind the same banner: read from the start", [&] { Write(log, banner + "\nc\n", false); },
       {banner, "c"}},
  };
  for (const auto& step : steps) {
    step.change();
    EXPECT_EQ(follower.Poll(), step.expected) << step.name;
  }
}

TEST_F(LogFiles, NewestLogBelowTheFolderIsFollowedAndSwitchedTo) {
  const fs::path first = folder / "Logs" / "a.log";
  Write(first, "in a\n");
  Write(folder / "notes.txt", "not a log\n");
  live::LogFollower follower({}, folder.string());
  EXPECT_EQ(follower.Poll(), (std::vector<std::string>{"in a"}));
  const fs::path second = folder / "Logs" / "sub" / "b.log";
  fs::create_directories(second.parent_path());
  Write(second, "in b\n");
  fs::last_write_time(second, fs::last_write_time(first) + 2s);
  EXPECT_EQ(follower.Poll(), (std::vector<std::string>{"in b"}));
  EXPECT_EQ(fs::path(follower.File()), second);
  // A newer log appears while the followed one still grows: its last lines first, then the newer log.
  const fs::path third = folder / "Logs" / "c.log";
  Write(second, "more b\n");
  Write(third, "in c\n");
  fs::last_write_time(third, fs::last_write_time(second) + 2s);
  EXPECT_EQ(follower.Poll(), (std::vector<std::string>{"more b"}));
  EXPECT_EQ(follower.Poll(), (std::vector<std::string>{"in c"}));
  EXPECT_EQ(fs::path(follower.File()), third);
}

TEST_F(LogFiles, FirstLookShowsOnlyTheFilesLastLines) {
  const fs::path log = folder / "Logs" / "big.log";
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
  Write(log, text);
  live::LogFollower follower(log.string(), {});
  const auto lines = follower.Poll();
  ASSERT_FALSE(lines.empty());
  EXPECT_LE(lines.size() * 8, live::LogFollower::kFirstBytes + 16);
  EXPECT_EQ(lines.back(), "line 19999");
  // Whole lines only: the first shown is one the file holds from its start.
  EXPECT_NE(text.find("\n" + lines.front() + "\n"), std::string::npos);
}

TEST(PluginLine, ToldByTheLoggersName) {
  EXPECT_TRUE(live::IsPluginLine("06/01/24 12:00 [Sweepmark1.4.1][error] x"));
  EXPECT_FALSE(live::IsPluginLine("06/01/24 12:00 [sandbox][info] Sweepmark1.4.1 mentioned"));
}

TEST(Servers, ListsReadAndRefused) {
  const auto servers = live::ParseServers(
      R"([{"name": "island", "serverDir": "C:/A", "rcon": "10.0.0.2:27020", "passwordFile": "p", "log": "l"},
          {"name": "center", "serverDir": "C:/B"}])");
  ASSERT_EQ(servers.size(), 2u);
  EXPECT_EQ(servers[0].rcon, "10.0.0.2:27020");
  EXPECT_EQ(servers[0].passwordFile, "p");
  EXPECT_EQ(servers[1].rcon, "127.0.0.1:27020");
  EXPECT_EQ(servers[1].log, "");
  const struct {
    const char* text;
    const char* why;
  } refused[] = {
      {"{", "not JSON"},
      {"[]", "non-empty"},
      {"{}", "non-empty"},
      {"[1]", "not an object"},
      {R"([{"serverDir": "a"}])", "no \"name\""},
      {R"([{"name": "a"}])", "no \"serverDir\""},
      {R"([{"name": "", "serverDir": "a"}])", "empty"},
      {R"([{"name": 3, "serverDir": "a"}])", "must be a string"},
      {R"([{"name": "a", "serverDir": "a", "rcon": "x:y"}])", "HOST:PORT"},
      {R"([{"name": "a", "serverDir": "a"}, {"name": "a", "serverDir": "b"}])", "two servers"},
  };
  for (const auto& entry : refused) {
    try {
      live::ParseServers(entry.text);
      ADD_FAILURE() << entry.text << " was taken";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(entry.why), std::string::npos) << entry.text << ": " << error.what();
    }
  }
}

}  // namespace
