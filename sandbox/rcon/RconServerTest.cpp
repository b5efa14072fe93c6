// Tests for the RCON listener, driven through real loopback sockets by a minimal client.
#include "RconServer.h"

#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <future>
#include <iterator>
#include <limits>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "RconPacket.h"
#include "RconServerTestSeam.h"

namespace {

using namespace std::chrono_literals;
namespace asio = boost::asio;
using asio::ip::tcp;
using sandbox::rcon::Executor;
using sandbox::rcon::Options;
using sandbox::rcon::Server;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kAuth = 3;
constexpr std::int32_t kExec = 2;
constexpr std::int32_t kAuthResponse = 2;
constexpr std::int32_t kValue = 0;
constexpr std::size_t kMaxBody = 4086;
const std::string kPassword = "hunter2";

struct Packet {
  std::int32_t id = 0;
  std::int32_t type = 0;
  std::string body;
};

std::string Frame(std::int32_t size, std::int32_t id, std::int32_t type, const std::string& body,
                  const std::string& tail = std::string(2, '\0')) {
  std::string out;
  sandbox::rcon::AppendInt32(out, size);
  sandbox::rcon::AppendInt32(out, id);
  sandbox::rcon::AppendInt32(out, type);
  return out + body + tail;
}

std::string Encode(std::int32_t id, std::int32_t type, const std::string& body) {
  return sandbox::rcon::EncodePacket(id, type, body);
}

// True when no multi-byte sequence is cut: the property clients rely on when decoding packet by packet.
bool WholeUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

class Client {
 public:
  explicit Client(std::uint16_t port) : socket_(io_) {
    boost::system::error_code error;
    socket_.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port), error);
    eof_ = static_cast<bool>(error);
  }

  bool Send(const std::string& bytes) {
    boost::system::error_code error;
    asio::write(socket_, asio::buffer(bytes), error);
    return !error;
  }

  // Shuts down the sending side only: the server sees the end of input, replies can still arrive.
  void EndInput() {
    boost::system::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
  }

  // Empty on end of stream, reset or timeout.
  std::optional<Packet> Read(std::chrono::milliseconds timeout = 15s) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
      const auto decoded = sandbox::rcon::DecodePacket(buffer_);
      if (decoded.framing == sandbox::rcon::Framing::Malformed) return std::nullopt;
      if (decoded.framing == sandbox::rcon::Framing::Complete) {
        Packet p{decoded.packet.id, decoded.packet.type, std::string(decoded.packet.body)};
        buffer_.erase(0, decoded.length);
        return p;
      }
      if (!Fill(buffer_.size() + 1, deadline)) return std::nullopt;
    }
  }

  bool ClosedByServer(std::chrono::milliseconds timeout = 15s) {
    while (Read(timeout)) {
    }
    return eof_;
  }

  bool Login(const std::string& password, std::int32_t id = 1) {
    if (!Send(Encode(id, kAuth, password))) return false;
    const auto reply = Read();
    return reply && reply->type == kAuthResponse && reply->id == id;
  }

  std::optional<Packet> Command(std::int32_t id, const std::string& line) {
    if (!Send(Encode(id, kExec, line))) return std::nullopt;
    return Read();
  }

 private:
  bool Fill(std::size_t want, Clock::time_point deadline) {
    while (buffer_.size() < want && !eof_) {
      boost::system::error_code error = asio::error::would_block;
      std::size_t got = 0;
      socket_.async_read_some(asio::buffer(chunk_), [&](const boost::system::error_code& e, std::size_t n) {
        error = e;
        got = n;
      });
      io_.restart();
      if (io_.run_until(deadline) == 0) {
        socket_.cancel();
        io_.restart();
        io_.run();
      }
      buffer_.append(chunk_.data(), got);
      if (error == asio::error::operation_aborted) return false;
      eof_ = static_cast<bool>(error);
    }
    return buffer_.size() >= want;
  }

  asio::io_context io_;
  tcp::socket socket_;
  std::array<char, 8192> chunk_{};
  bool eof_ = false;
  std::string buffer_;
};

std::string Echo(const std::string& line) {
  if (line == "boom") throw std::runtime_error("kaboom");
  return line;
}

Options TestOptions() {
  Options options;
  options.password = kPassword;
  return options;
}

// The listener on a game thread of its own, as the server runs it; Start and Stop run there too. Commands are
// echoed unless a test serves them otherwise.
class Rig {
 public:
  explicit Rig(Options options = TestOptions())
      : server_(io_, std::move(options), [this](const std::string& line) { return execute_(line); }),
        thread_([this] { Loop(); }) {}
  ~Rig() {
    Resume();
    OnGame([this] { server_.Stop(); });
    work_.reset();
    io_.stop();
    thread_.join();
  }

  void Start() {
    OnGame([this] { server_.Start(); });
    port_ = server_.Port();
  }
  void Stop() {
    OnGame([this] { server_.Stop(); });
    port_ = 0;
  }
  std::uint16_t Port() const { return port_; }
  Server& Listener() { return server_; }
  std::thread::id Id() const { return thread_.get_id(); }

  // Runs the game's commands through `execute` until the returned guard goes, which is before whatever `execute`
  // refers to is gone.
  [[nodiscard]] std::shared_ptr<void> Serve(Executor execute) {
    OnGame([&] { execute_ = std::move(execute); });
    return std::shared_ptr<void>(nullptr, [this](void*) { OnGame([this] { execute_ = Echo; }); });
  }

  // Holds the game thread, as a long command would: nothing is read, run or answered until Resume.
  void Pause() {
    {
      const std::lock_guard lock(mutex_);
      paused_ = true;
    }
    asio::post(io_, [this] {
      std::unique_lock lock(mutex_);
      resumed_.wait(lock, [this] { return !paused_; });
    });
  }
  void Resume() {
    {
      const std::lock_guard lock(mutex_);
      paused_ = false;
    }
    resumed_.notify_all();
  }

  // What escaped the executor's handlers, as the game loop would report it.
  std::string Failure() {
    const std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  void OnGame(const std::function<void()>& work) {
    std::promise<void> done;
    asio::post(io_, [&] {
      try {
        work();
        done.set_value();
      } catch (...) {
        done.set_exception(std::current_exception());
      }
    });
    done.get_future().get();
  }

  void Loop() {
    for (;;) {
      try {
        io_.run();
        return;
      } catch (const std::exception& error) {
        const std::lock_guard lock(mutex_);
        failure_ = error.what();
      }
    }
  }

  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
  Executor execute_ = Echo;
  Server server_;
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable resumed_;
  bool paused_ = false;
  std::string failure_;
  std::thread thread_;
};

bool ServesGoodClient(const Rig& server) {
  Client c(server.Port());
  const auto reply = c.Login(kPassword, 11) ? c.Command(12, "ping") : std::nullopt;
  return reply && reply->id == 12 && reply->type == kValue && reply->body == "ping";
}

TEST(RconServer, CommandsRunOnGameThreadAndRepliesCarryRequestId) {
  Rig server(TestOptions());
  server.Start();
  std::mutex mutex;
  std::vector<std::thread::id> callers;
  std::vector<std::string> lines;
  const auto game = server.Serve([&](const std::string& line) {
    const std::lock_guard lock(mutex);
    callers.push_back(std::this_thread::get_id());
    lines.push_back(line);
    return Echo(line);
  });

  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword, 7));
  const struct {
    std::int32_t id;
    std::string line;
    std::string reply;
  } cases[] = {
      {42, "status", "status"},
      {-5, "说 你好", "说 你好"},
      {43, "bad\xFFutf8", "bad\xEF\xBF\xBDutf8"},  // invalid bytes never reach the game
      {46, "\xC0\xAF|\xED\xA0\x80",
       "\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong, surrogate
      {47, "\xE6\xBCx", "\xEF\xBF\xBD\xEF\xBF\xBDx"},  // a cut sequence must not swallow what follows
      {44, "boom", "error: kaboom"},                   // a throwing command must not stall the connection
      {std::numeric_limits<std::int32_t>::max(), "max id", "max id"},
      {std::numeric_limits<std::int32_t>::min(), "min id", "min id"},
  };
  for (const auto& t : cases) {
    const auto reply = c.Command(t.id, t.line);
    ASSERT_TRUE(reply) << t.line;
    EXPECT_EQ(reply->id, t.id);
    EXPECT_EQ(reply->type, kValue);
    EXPECT_EQ(reply->body, t.reply);
  }
  const std::lock_guard lock(mutex);
  EXPECT_EQ(callers, std::vector<std::thread::id>(callers.size(), server.Id()));
  ASSERT_EQ(lines.size(), std::size(cases));
  EXPECT_EQ(lines[2], cases[2].reply);  // sanitised before the game sees it, not just on the way out
}

TEST(RconServer, MalformedInputClosesOnlyThatConnection) {
  Rig server(TestOptions());
  server.Start();
  const struct {
    const char* name;
    bool loginFirst;
    std::string bytes;
    bool serverCloses;
  } cases[] = {
      {"size 9", false, Frame(9, 1, kAuth, ""), true},
      {"size 4097", false, Frame(4097, 1, kExec, ""), true},
      {"negative size", false, Frame(-1, 1, kExec, ""), true},
      {"text protocol garbage", false, "GET / HTTP/1.1\r\nHost: x\r\n\r\n", true},
      {"missing NUL terminator", false, Frame(12, 1, kAuth, "ab", "xy"), true},
      {"NUL inside body", false, Encode(1, kAuth, std::string("hunter2\0x", 9)), true},
      {"command before login", false, Encode(1, kExec, "status"), true},
      {"unknown type", true, Encode(2, 99, ""), true},
      {"oversized body after login", true, Frame(4097, 2, kExec, std::string(4087, 'a')), true},
      {"leaves mid-packet", true, Encode(2, kExec, "status").substr(0, 9), false},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    {
      Client c(server.Port());
      if (t.loginFirst) {
        ASSERT_TRUE(c.Login(kPassword));
      }
      ASSERT_TRUE(c.Send(t.bytes));
      if (t.serverCloses) {
        EXPECT_TRUE(c.ClosedByServer());
      }
    }
    EXPECT_TRUE(ServesGoodClient(server));
  }
}

TEST(RconServer, LargestPacketIsAcceptedAndAnsweredInOnePacket) {
  Rig server(TestOptions());
  server.Start();
  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword));
  const std::string line(kMaxBody, 'a');
  ASSERT_TRUE(c.Send(Encode(5, kExec, line) + Encode(6, kExec, "")));
  const auto first = c.Read();
  const auto marker = c.Read();
  ASSERT_TRUE(first && marker);
  EXPECT_EQ(first->id, 5);
  EXPECT_EQ(first->body, line);
  EXPECT_EQ(marker->id, 6);
  EXPECT_EQ(marker->body, "");
}

TEST(RconServer, LongReplySplitsOnCodePointBoundariesAndReassembles) {
  std::string text = "x";  // offsets the 3-byte characters so a cut would land mid-character
  while (text.size() < 3 * kMaxBody) text += "漢字テスト😀 ";
  Rig server(TestOptions());
  server.Start();
  const auto game = server.Serve([&](const std::string&) { return text; });
  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword));
  ASSERT_TRUE(c.Send(Encode(9, kExec, "dump") + Encode(10, kExec, "")));

  std::string joined;
  int packets = 0;
  for (auto p = c.Read(); p && p->id == 9; p = c.Read(), ++packets) {
    EXPECT_EQ(p->type, kValue);
    EXPECT_LE(p->body.size(), kMaxBody);
    EXPECT_TRUE(WholeUtf8(p->body)) << "packet " << packets;
    joined += p->body;
  }
  EXPECT_GE(packets, 3);
  EXPECT_EQ(joined, text);
}

TEST(RconServer, EmptyCommandsAndValuePacketsAnswerInOrderWithoutExecuting) {
  Rig server(TestOptions());
  server.Start();
  std::mutex mutex;
  std::vector<std::string> executed;
  const auto game = server.Serve([&](const std::string& line) {
    const std::lock_guard lock(mutex);
    executed.push_back(line);
    return line + "!";
  });
  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword));
  const auto idle = c.Command(100, "");
  ASSERT_TRUE(idle);
  EXPECT_EQ(idle->id, 100);
  // Held while all of it arrives, so the markers behind "a" and "b" find them waiting to run.
  server.Pause();
  ASSERT_TRUE(c.Send(Encode(1, kExec, "a") + Encode(2, kExec, "") + Encode(3, kValue, "") + Encode(4, kExec, "b") +
                     Encode(5, kExec, "")));
  server.Resume();
  const std::vector<std::pair<std::int32_t, std::string>> expected = {{1, "a!"}, {2, ""}, {3, ""}, {4, "b!"}, {5, ""}};
  for (const auto& [id, body] : expected) {
    const auto p = c.Read();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->id, id);
    EXPECT_EQ(p->type, kValue);
    EXPECT_EQ(p->body, body);
  }
  const auto again = c.Command(6, "");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->id, 6);
  const std::lock_guard lock(mutex);
  EXPECT_EQ(executed, (std::vector<std::string>{"a", "b"}));
}

TEST(RconServer, FailedLoginsSlowThatConnectionAndEndItAtTheCap) {
  Options options = TestOptions();
  options.maxLoginAttempts = 3;
  options.loginRetryDelay = 500ms;
  Rig server(options);
  server.Start();

  Client guesser(server.Port());
  // Sent at once, answered only when due: the time between answers is the delay.
  const auto wrong = [&](std::int32_t id) {
    const auto reply = guesser.Send(Encode(id, kAuth, "wrong")) ? guesser.Read() : std::nullopt;
    EXPECT_TRUE(reply && reply->type == kAuthResponse && reply->id == -1) << "attempt " << id;
    return Clock::now();
  };
  const auto first = wrong(1);
  const auto second = wrong(2);
  const auto third = wrong(3);
  // Bounded above as well: a delay doubled once too often, or counted from the wrong failure, lands outside.
  // The delay runs from the server's answer, which reaches the client a little later under load: 50 ms of slack.
  EXPECT_GE(second - first, 450ms);
  EXPECT_LT(second - first, 900ms);
  EXPECT_GE(third - second, 950ms);  // the delay doubles
  EXPECT_LT(third - second, 1800ms);
  EXPECT_TRUE(guesser.ClosedByServer());  // the third failure was the last this connection gets

  // Nothing is held against the address: a fresh connection with the right password gets straight in, and
  // a connection that failed once still gets in with the right password once its delay has passed.
  Client typo(server.Port());
  EXPECT_FALSE(typo.Login("wrong", 4));
  EXPECT_TRUE(ServesGoodClient(server));
  EXPECT_TRUE(typo.Login(kPassword, 5));
  const auto reply = typo.Command(6, "after a typo");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "after a typo");
}

TEST(RconServer, IdleUnauthenticatedConnectionsCannotKeepTheAdministratorOut) {
  Rig server(TestOptions());
  server.Start();
  std::list<Client> sessions;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(sessions.emplace_back(server.Port()).Login(kPassword)) << i;
  std::list<Client> squatters;
  for (int i = 0; i < 20; ++i) squatters.emplace_back(server.Port());

  EXPECT_TRUE(ServesGoodClient(server));
  EXPECT_TRUE(squatters.front().ClosedByServer());  // the oldest made way

  // A squatter that reconnects as fast as it can: the administrator still gets in within a few seconds.
  std::atomic<bool> churning{true};
  std::jthread churner([&] {
    std::list<Client> mine;
    while (churning) {
      mine.emplace_back(server.Port());
      if (mine.size() > 32) mine.pop_front();
    }
  });
  for (int round = 0; round < 3; ++round) {
    bool admitted = false;
    for (const auto deadline = Clock::now() + 10s; !admitted && Clock::now() < deadline;) {
      admitted = ServesGoodClient(server);
    }
    EXPECT_TRUE(admitted) << "round " << round;
  }
  churning = false;
  std::int32_t id = 100;
  for (Client& session : sessions) {  // logged-in sessions are never evicted for newcomers
    const auto reply = session.Command(++id, "still here");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "still here");
  }
}

TEST(RconServer, HalfClosedClientStillReceivesEveryReply) {
  const std::string longReply(2 * kMaxBody + 5, 'L');
  Rig server(TestOptions());
  server.Start();
  const auto game = server.Serve([&](const std::string& line) { return line == "long" ? longReply : line + "!"; });
  Client c(server.Port());
  ASSERT_TRUE(c.Send(Encode(1, kAuth, kPassword) + Encode(2, kExec, "a") + Encode(3, kExec, "long") +
                     Encode(4, kExec, "") + Encode(5, kExec, "b")));
  c.EndInput();

  const std::vector<std::pair<std::int32_t, std::string>> expected = {{1, ""},
                                                                      {2, "a!"},
                                                                      {3, longReply.substr(0, kMaxBody)},
                                                                      {3, longReply.substr(kMaxBody, kMaxBody)},
                                                                      {3, longReply.substr(2 * kMaxBody)},
                                                                      {4, ""},
                                                                      {5, "b!"}};
  for (const auto& [id, body] : expected) {
    const auto p = c.Read();
    ASSERT_TRUE(p) << "reply " << id;
    EXPECT_EQ(p->id, id);
    EXPECT_EQ(p->body, body);
  }
  EXPECT_TRUE(c.ClosedByServer());
}

TEST(RconServer, LoginOnALoggedInConnectionIsAnsweredInOrderAndKeepsTheSession) {
  Rig server(TestOptions());
  server.Start();
  const auto game = server.Serve([](const std::string& line) { return line + "!"; });
  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword));
  ASSERT_TRUE(c.Send(Encode(2, kExec, "a") + Encode(3, kAuth, "wrong") + Encode(4, kExec, "b") +
                     Encode(5, kAuth, kPassword) + Encode(-1, kAuth, kPassword) + Encode(6, kExec, "c")));
  const struct {
    std::int32_t id;
    std::int32_t type;
    const char* body;
  } expected[] = {{2, kValue, "a!"},      {-1, kAuthResponse, ""}, {4, kValue, "b!"},
                  {5, kAuthResponse, ""}, {-1, kAuthResponse, ""}, {6, kValue, "c!"}};
  for (const auto& e : expected) {
    const auto p = c.Read();
    ASSERT_TRUE(p) << "reply " << e.id;
    EXPECT_EQ(p->id, e.id);
    EXPECT_EQ(p->type, e.type);
    EXPECT_EQ(p->body, e.body);
  }
}

TEST(RconServer, LoginWithIdMinusOneIsRefusedWhateverThePassword) {
  Rig server(TestOptions());
  server.Start();
  for (const std::string& password : {kPassword, std::string("wrong")}) {
    SCOPED_TRACE(password);
    Client c(server.Port());
    ASSERT_TRUE(c.Send(Encode(-1, kAuth, password)));
    const auto reply = c.Read();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, kAuthResponse);
    EXPECT_EQ(reply->id, -1);
    EXPECT_TRUE(c.ClosedByServer());
  }
  EXPECT_TRUE(ServesGoodClient(server));
}

TEST(RconServer, DurationsAtTheirLimitsMeanNever) {
  Options options = TestOptions();
  options.loginTimeout = std::chrono::seconds::max();
  options.loginRetryDelay = std::chrono::milliseconds::max();
  options.packetGap = std::chrono::milliseconds::max();
  options.maxLoginAttempts = std::numeric_limits<int>::max();
  Rig server(options);
  server.Start();
  const auto game =
      server.Serve([](const std::string& line) { return line == "long" ? std::string(kMaxBody + 1, 'x') : line; });
  Client guesser(server.Port());
  EXPECT_FALSE(guesser.Login("wrong"));
  ASSERT_TRUE(guesser.Send(Encode(2, kAuth, "wrong")));
  EXPECT_FALSE(guesser.Read(300ms));  // held for good, without wrapping around to "now"

  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword));
  ASSERT_TRUE(c.Send(Encode(3, kExec, "one") + Encode(4, kExec, "two") + Encode(5, kExec, "long")));
  for (const std::int32_t id : {3, 4, 5}) {  // single replies go out back to back, a split one waits
    const auto p = c.Read();
    ASSERT_TRUE(p) << id;
    EXPECT_EQ(p->id, id);
  }
  EXPECT_FALSE(c.Read(300ms));
}

TEST(RconServer, AFailureOnTheExecutorLeavesTheListenerToBeStoppedAndStartedAgain) {
  Rig server(TestOptions());
  server.Start();
  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword));
  sandbox::rcon::TestSeam::FailListener(server.Listener(), "injected fault");
  for (const auto deadline = Clock::now() + 15s; server.Failure().empty() && Clock::now() < deadline;) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_NE(server.Failure().find("injected fault"), std::string::npos) << server.Failure();
  server.Stop();
  server.Stop();
  EXPECT_TRUE(c.ClosedByServer());
  server.Start();
  EXPECT_TRUE(ServesGoodClient(server));
}

TEST(RconServer, ConnectionsBeyondTheLimitAreClosed) {
  Rig server(TestOptions());
  server.Start();
  std::list<Client> clients;
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(clients.emplace_back(server.Port()).Login(kPassword)) << i;
  EXPECT_TRUE(Client(server.Port()).ClosedByServer());

  clients.pop_front();
  bool admitted = false;
  for (int attempt = 0; attempt < 50 && !admitted; ++attempt) {
    admitted = ServesGoodClient(server);
    if (!admitted) std::this_thread::sleep_for(20ms);  // the server notices the departure asynchronously
  }
  EXPECT_TRUE(admitted);
  const auto reply = clients.back().Command(3, "still here");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "still here");
}

TEST(RconServer, FloodingTheCommandQueueClosesOnlyThatClient) {
  Options options = TestOptions();
  options.maxQueuedPerConnection = 4;
  Rig server(options);
  server.Start();
  Client flooder(server.Port());
  Client steady(server.Port());
  ASSERT_TRUE(flooder.Login(kPassword));
  ASSERT_TRUE(steady.Login(kPassword));
  std::string four;
  std::string flood;
  for (int id = 1; id <= 5; ++id) flood += Encode(id, kExec, "flood");
  for (int id = 1; id <= 4; ++id) four += Encode(id, kExec, std::to_string(id));
  std::atomic<int> floodRuns{0};
  const auto game = server.Serve([&](const std::string& line) {
    floodRuns += line == "flood";
    return line;
  });
  // Held while both arrive, as behind a long command, so the flood is read whole before any of it runs.
  server.Pause();
  ASSERT_TRUE(flooder.Send(flood));
  ASSERT_TRUE(steady.Send(four));
  server.Resume();
  EXPECT_TRUE(flooder.ClosedByServer());
  for (int round = 0; round < 2; ++round) {  // answered commands must free their places in the queue
    if (round > 0) {
      ASSERT_TRUE(steady.Send(four));
    }
    for (int id = 1; id <= 4; ++id) {
      const auto reply = steady.Read();
      ASSERT_TRUE(reply);
      EXPECT_EQ(reply->id, id);
      EXPECT_EQ(reply->body, std::to_string(id));
    }
  }
  EXPECT_EQ(floodRuns, 0);  // work queued by a closed connection is dropped, not left for the game
}

TEST(RconServer, SlowReaderStillReceivesEveryReplyInOrder) {
  Options options = TestOptions();
  options.maxOutputBytes = 8192;
  options.packetGap = 0ms;
  Rig server(options);
  server.Start();
  const auto game = server.Serve([](const std::string& line) { return std::string(4000, line[0]); });
  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword));
  std::string burst;
  for (int id = 0; id < 40; ++id) burst += Encode(id, kExec, std::string(1, static_cast<char>('A' + id)));
  ASSERT_TRUE(c.Send(burst));
  std::this_thread::sleep_for(200ms);  // let replies pile up past maxOutputBytes before reading any
  for (int id = 0; id < 40; ++id) {
    const auto reply = c.Read();
    ASSERT_TRUE(reply) << id;
    EXPECT_EQ(reply->id, id);
    EXPECT_EQ(reply->body, std::string(4000, static_cast<char>('A' + id)));
  }
}

TEST(RconServer, IdleUnauthenticatedConnectionsTimeOut) {
  Options options = TestOptions();
  options.loginTimeout = 1s;
  Rig server(options);
  server.Start();
  Client idle(server.Port());
  Client admin(server.Port());
  ASSERT_TRUE(admin.Login(kPassword));
  EXPECT_TRUE(idle.ClosedByServer(3s));
  const auto reply = admin.Command(2, "alive");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "alive");
}

TEST(RconServer, ALoginWaitingPastTheDeadlineIsAnsweredRightOrWrongAlike) {
  // Closing only a waiting wrong password at the deadline would tell it from the right one before its turn.
  for (const bool right : {true, false}) {
    SCOPED_TRACE(right);
    Options options = TestOptions();
    options.loginTimeout = 1s;
    options.loginRetryDelay = 1500ms;
    Rig server(options);
    server.Start();
    Client c(server.Port());
    EXPECT_FALSE(c.Login("wrong", 1));
    const auto asked = Clock::now();
    ASSERT_TRUE(c.Send(Encode(2, kAuth, right ? kPassword : "wrong again")));
    const auto reply = c.Read();
    ASSERT_TRUE(reply) << "closed before its answer";
    EXPECT_GE(Clock::now() - asked, 1400ms);
    EXPECT_EQ(reply->type, kAuthResponse);
    EXPECT_EQ(reply->id, right ? 2 : -1);
    if (right) {
      const auto echo = c.Command(3, "in");
      ASSERT_TRUE(echo);
      EXPECT_EQ(echo->body, "in");
    } else {
      EXPECT_TRUE(c.ClosedByServer());  // out of time by then
    }
  }
}

TEST(RconServer, OptionalEmptyValuePrecedesAuthResponse) {
  Options options = TestOptions();
  options.emptyValueBeforeAuthResponse = true;
  Rig server(options);
  server.Start();
  Client c(server.Port());
  ASSERT_TRUE(c.Send(Encode(5, kAuth, kPassword)));
  const auto first = c.Read();
  const auto second = c.Read();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->type, kValue);
  EXPECT_EQ(first->id, 5);
  EXPECT_EQ(second->type, kAuthResponse);
  EXPECT_EQ(second->id, 5);
}

TEST(RconServer, StartRejectsUnusableSetups) {
  Rig holder(TestOptions());
  holder.Start();
  const struct {
    const char* name;
    std::function<void(Options&)> change;
    const char* mentions;
  } cases[] = {
      {"empty password", [](Options& o) { o.password.clear(); }, "password"},
      {"no connections", [](Options& o) { o.maxConnections = 0; }, "maxConnections"},
      {"no logins", [](Options& o) { o.loginsPerSecond = 0; }, "loginsPerSecond"},
      {"no login attempts", [](Options& o) { o.maxLoginAttempts = 0; }, "maxLoginAttempts"},
      {"negative delay", [](Options& o) { o.loginRetryDelay = -1ms; }, "negative"},
      {"port taken", [&](Options& o) { o.port = holder.Port(); }, "cannot listen"},
      {"bad address", [](Options& o) { o.bindAddress = "not-an-ip"; }, "not-an-ip"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    Options options = TestOptions();
    t.change(options);
    Rig server(options);
    try {
      server.Start();
      ADD_FAILURE() << "Start() accepted the setup";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(t.mentions), std::string::npos) << error.what();
    }
    EXPECT_EQ(server.Port(), 0);
    server.Stop();
  }
  EXPECT_THROW(holder.Start(), std::runtime_error);
  EXPECT_TRUE(ServesGoodClient(holder));
}

TEST(RconServer, StopDisconnectsClientsAndAllowsRestart) {
  Rig server(TestOptions());
  server.Stop();
  server.Start();
  Client c(server.Port());
  ASSERT_TRUE(c.Login(kPassword));
  ASSERT_TRUE(c.Send(Encode(3, kExec, "queued")));
  server.Stop();
  server.Stop();
  EXPECT_TRUE(c.ClosedByServer());
  EXPECT_EQ(server.Port(), 0);
  server.Start();
  EXPECT_TRUE(ServesGoodClient(server));
}

TEST(RconServer, PasswordsThatAreNotExactlyThePasswordAreRefused) {
  Rig server(TestOptions());
  server.Start();
  const std::string refused[] = {
      "",  // a comparison that ignored the length would let this and the next two in
      kPassword.substr(0, 3),
      kPassword + kPassword,
      kPassword + " ",
      "Hunter2",
      "hunter3",
      std::string(4086, 'h'),
  };
  for (const std::string& password : refused) {
    SCOPED_TRACE(password.substr(0, 20));
    Client c(server.Port());
    ASSERT_TRUE(c.Send(Encode(5, kAuth, password)));
    const auto reply = c.Read();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->type, kAuthResponse);
    EXPECT_EQ(reply->id, -1);
    ASSERT_TRUE(c.Send(Encode(6, kExec, "status")));  // refused means no session either
    EXPECT_TRUE(c.ClosedByServer());
  }
  EXPECT_TRUE(ServesGoodClient(server));
}

TEST(RconServer, EvictionStartsOnlyWhenEveryPlaceIsTaken) {
  constexpr int kCap = 4;
  for (const int open : {kCap - 1, kCap, kCap + 1}) {
    SCOPED_TRACE(open);
    Options options = TestOptions();
    options.maxConnections = kCap;
    Rig server(options);
    server.Start();
    std::list<Client> idle;
    for (int i = 0; i < open; ++i) idle.emplace_back(server.Port());
    // Connections are taken in order, so the last one being served means every earlier one was taken too.
    ASSERT_TRUE(idle.back().Login(kPassword, 2));
    if (open <= kCap) {
      EXPECT_TRUE(idle.front().Login(kPassword, 3)) << "the oldest was evicted with a place still free";
    } else {
      EXPECT_TRUE(idle.front().ClosedByServer());
      for (auto c = std::next(idle.begin()); c != std::prev(idle.end()); ++c) EXPECT_TRUE(c->Login(kPassword, 4));
    }
  }
}

// With every place taken, the newcomer's place comes from a connection that showed a wrong password before one that
// has sent nothing yet, however much older the silent one is: that one may be the administrator.
TEST(RconServer, EvictionTakesAFailedLoginBeforeASilentConnection) {
  Options options = TestOptions();
  options.maxConnections = 3;
  options.loginRetryDelay = 60s;  // the failed connection stays, logging in, until the newcomer comes
  Rig server(options);
  server.Start();
  Client silent(server.Port());
  Client guesser(server.Port());
  EXPECT_FALSE(guesser.Login("wrong", 2));
  Client admin(server.Port());
  ASSERT_TRUE(admin.Login(kPassword, 3));  // every place taken, and the silent one still there
  Client newcomer(server.Port());
  EXPECT_TRUE(guesser.ClosedByServer());
  EXPECT_TRUE(silent.Login(kPassword, 4)) << "the silent connection made way before the failed one";
  EXPECT_TRUE(newcomer.Login(kPassword, 5));
}

TEST(RconServer, ABurstOfAsManyClientsAsPlacesAllLogInAndPipeline) {
  constexpr int kClients = 16;
  constexpr int kCommands = 20;
  Rig server(TestOptions());
  server.Start();
  const auto game = server.Serve([](const std::string& line) { return line + "!"; });
  std::list<Client> clients;
  for (int i = 0; i < kClients; ++i) clients.emplace_back(server.Port());  // all connected before any logs in
  int index = 0;
  for (Client& c : clients) {
    std::string batch = Encode(1000 + index, kAuth, kPassword);
    for (int k = 0; k < kCommands; ++k) batch += Encode(k, kExec, std::to_string(index) + "." + std::to_string(k));
    ASSERT_TRUE(c.Send(batch)) << index;
    ++index;
  }
  index = 0;
  for (Client& c : clients) {
    SCOPED_TRACE(index);
    const auto login = c.Read();
    ASSERT_TRUE(login);
    EXPECT_EQ(login->type, kAuthResponse);
    EXPECT_EQ(login->id, 1000 + index);
    for (int k = 0; k < kCommands; ++k) {
      const auto reply = c.Read();
      ASSERT_TRUE(reply) << k;
      EXPECT_EQ(reply->id, k);
      EXPECT_EQ(reply->type, kValue);
      EXPECT_EQ(reply->body, std::to_string(index) + "." + std::to_string(k) + "!");
    }
    ++index;
  }
}

// Guessers each opening a fresh connection per guess, so no connection's own delay slows them: one fewer than
// there are places (nobody is evicted, every guess waits its turn and so does the administrator's login, behind
// all of them), and many more (newcomers evict each other). The wrong answers all of
// them get together stay at the pace, and an administrator connecting meanwhile still gets in promptly.
TEST(RconServer, GuessingIsPacedForEveryoneAtOnceWithoutLockingTheAdministratorOut) {
  constexpr auto kGuessing = 5s;
  for (const int guessers : {15, 64}) {
    SCOPED_TRACE(guessers);
    const Options options = TestOptions();
    Rig server(options);
    server.Start();
    std::atomic<int> wrongAnswers{0};
    std::chrono::milliseconds longestWait{0};
    const auto start = Clock::now();
    const auto end = start + kGuessing;
    {
      std::vector<std::jthread> threads;
      for (int g = 0; g < guessers; ++g) {
        threads.emplace_back([&, g] {
          for (std::int32_t id = 1; Clock::now() < end; ++id) {
            Client c(server.Port());
            if (!c.Send(Encode(id, kAuth, "guess " + std::to_string(g) + "." + std::to_string(id)))) continue;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left <= 0ms) break;
            const auto reply = c.Read(left);
            if (!reply) continue;  // evicted by a newcomer: no answer at all
            EXPECT_EQ(reply->id, -1);
            if (Clock::now() < end) ++wrongAnswers;
          }
        });
      }
      for (const std::chrono::milliseconds at : {1000ms, 2500ms, 4000ms}) {
        std::this_thread::sleep_until(start + at);
        const auto asked = Clock::now();
        Client admin(server.Port());
        ASSERT_TRUE(admin.Login(kPassword, 77)) << "at " << at.count();
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
        EXPECT_LT(waited, 1500ms) << "at " << at.count();
        longestWait = std::max(longestWait, waited);
        const auto reply = admin.Command(78, "in");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->body, "in");
      }
    }
    const double perSecond = wrongAnswers / std::chrono::duration<double>(kGuessing).count();
    std::printf("%d guessers: %.1f wrong answers a second; the administrator waited at most %d ms\n", guessers,
                perSecond, static_cast<int>(longestWait.count()));
    EXPECT_LE(perSecond, 1.2 * options.loginsPerSecond);
    EXPECT_GT(wrongAnswers, 0);  // the guessers did guess
  }
}

}  // namespace
