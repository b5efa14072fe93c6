// Source RCON listener on Asio: framing and login on the network thread; command lines cross to the game thread.
#include "RconServer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <asio/buffer.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include "RconPacket.h"
#include "RconServerTestSeam.h"

namespace sandbox::rcon {
namespace {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

// One write carries at most this much, so a huge backlog cannot pin a large gather list.
constexpr std::size_t kMaxWriteBytes = 64 * 1024;
// How long a connection closed after its last answer keeps draining input: closing a socket with unread
// input resets the connection, and a reset can destroy answers the client has not read yet.
constexpr std::chrono::seconds kLinger{2};
// Pause before accepting again when the process is out of descriptors or memory.
constexpr std::chrono::milliseconds kAcceptBackoff{100};

bool SamePassword(std::string_view given, std::string_view expected) {
  // Touches every byte whatever matches, so timing reveals no prefix. `expected` is never empty.
  unsigned difference = given.size() == expected.size() ? 0U : 1U;
  for (std::size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(expected[i % expected.size()]);
  }
  return difference == 0;
}

// ---------------------------------------------------------------------------------------------
// Time arithmetic that cannot overflow: a configured duration near its type's maximum means "never".
// ---------------------------------------------------------------------------------------------

template <class Rep, class Period>
Clock::time_point SaturatingAdd(Clock::time_point at, std::chrono::duration<Rep, Period> span) {
  using Span = std::chrono::duration<Rep, Period>;
  if (span <= Span::zero()) return at;
  // Compared in the coarser unit: converting `span` to clock ticks first could itself overflow.
  if (span >= std::chrono::floor<Span>(Clock::time_point::max() - at)) return Clock::time_point::max();
  return at + std::chrono::duration_cast<Clock::duration>(span);
}

// The wait before a connection's next login after `failures` failed ones: doubles per failure, saturating.
std::chrono::milliseconds RetryDelay(std::chrono::milliseconds first, unsigned failures) {
  using Delay = std::chrono::milliseconds;
  if (first <= Delay::zero()) return Delay::zero();
  Delay delay = first;
  for (unsigned i = 1; i < failures; ++i) {
    if (delay > Delay::max() / 2) return Delay::max();
    delay *= 2;
  }
  return delay;
}

// ---------------------------------------------------------------------------------------------
// Connections and the work that crosses to the game thread.
// ---------------------------------------------------------------------------------------------

struct OutPacket {
  std::string bytes;
  bool pauseAfter = false;  // the connection's next packet waits Options::packetGap
};

// Where a connection is in its life. Reading and writing go on beside it (see Reader and Writer).
enum class Phase {
  LoggingIn,     // not logged in yet; logins are read
  LoginWaiting,  // a login has been read and checked, its answer is held back; nothing further is read
  LoggedIn,
  Closing,    // nothing more is read; closes once every answer is sent
  Lingering,  // every answer sent and the sending side shut down; draining input before closing
  Closed,
};

enum class Reader {
  Idle,
  Reading,
  Ended,  // the client shut down its sending side
};

enum class Writer {
  Idle,
  Writing,
  Pausing,  // Options::packetGap after a packet of a split reply
};

struct WaitingLogin {
  std::int32_t id = 0;
  bool right = false;
};

struct Connection {
  Connection(asio::io_context& io, tcp::socket s, std::uint64_t id)
      : serial(id), socket(std::move(s)), loginDeadline(io), backoffTimer(io), gapTimer(io), lingerTimer(io) {}

  std::uint64_t serial;
  tcp::socket socket;
  asio::steady_timer loginDeadline;  // closes a connection that has not logged in in time
  asio::steady_timer backoffTimer;   // holds a login's answer until the delay after earlier failures has passed
  asio::steady_timer gapTimer;       // Writer::Pausing
  asio::steady_timer lingerTimer;    // Phase::Lingering
  Phase phase = Phase::LoggingIn;
  Reader reader = Reader::Idle;
  Writer writer = Writer::Idle;
  WaitingLogin waitingLogin;  // in Phase::LoginWaiting
  std::array<char, 8192> readBuffer{};
  std::string input;
  std::deque<OutPacket> output;  // one encoded packet per entry, so writes can pause between packets
  std::size_t outputBytes = 0;
  std::size_t packetsInWrite = 0;
  std::size_t inFlight = 0;  // handed to the game thread and not yet answered
  unsigned failedLogins = 0;
  Clock::time_point loginBy = Clock::time_point::max();  // Options::loginTimeout
  Clock::time_point nextLoginAt{};                       // a login's answer is held back until then
};

// Which connections make way for a newcomer when every place is taken, first rank first and oldest first within
// a rank; none when neither logged in nor holding the right password. A connection that showed a wrong password
// is not the administrator about to log in; one that has sent nothing yet may be.
std::optional<int> EvictionRank(const Connection& c) {
  switch (c.phase) {
    case Phase::Closing:
    case Phase::Lingering:
      return 0;
    case Phase::LoginWaiting:
      if (c.waitingLogin.right) return std::nullopt;
      return 1;
    case Phase::LoggingIn:
      return c.failedLogins > 0 ? 1 : 2;
    case Phase::LoggedIn:
    case Phase::Closed:
      return std::nullopt;
  }
  return std::nullopt;
}

using ConnectionPtr = std::shared_ptr<Connection>;

enum class JobKind {
  Execute,        // run the line, answer with its reply
  EmptyValue,     // holds the place of an empty answer behind earlier replies
  LoginAccepted,  // a login on a logged-in connection, answered in order
  LoginRejected,
};

struct Job {
  std::uint64_t connection = 0;
  std::int32_t id = 0;
  JobKind kind = JobKind::Execute;
  std::string line;
};

struct Reply {
  std::uint64_t connection = 0;
  std::int32_t id = 0;
  JobKind kind = JobKind::Execute;
  std::string text;
};

void ValidateOptions(const Options& options) {
  if (const std::string problem = PasswordProblem(options.password); !problem.empty()) {
    throw std::runtime_error("RCON: " + problem);
  }
  if (options.maxConnections < 1) throw std::runtime_error("RCON: maxConnections must be at least 1");
  if (options.loginsPerSecond < 1) throw std::runtime_error("RCON: loginsPerSecond must be at least 1");
  if (options.maxLoginAttempts < 1) throw std::runtime_error("RCON: maxLoginAttempts must be at least 1");
  if (options.maxQueuedPerConnection < 1) throw std::runtime_error("RCON: maxQueuedPerConnection must be at least 1");
  if (options.maxOutputBytes < kSizeFieldBytes + kMaxPacketSize) {
    throw std::runtime_error("RCON: maxOutputBytes must hold at least one full packet");
  }
  if (options.loginRetryDelay.count() < 0 || options.loginTimeout.count() < 0 || options.packetGap.count() < 0) {
    throw std::runtime_error("RCON: durations must not be negative");
  }
}

std::string Where(const Options& options) {
  return (options.bindAddress.empty() ? std::string("*") : options.bindAddress) + " port " +
         std::to_string(options.port);
}

void Listen(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, std::error_code& error) {
  acceptor.open(endpoint.protocol(), error);
  if (!error && endpoint.address().is_v6() && endpoint.address().is_unspecified()) {
    acceptor.set_option(asio::ip::v6_only(false), error);
  }
#ifndef _WIN32
  // Lets a restarted server rebind while old connections linger in TIME_WAIT. On Windows the same option
  // would let a second server take the port over, and TIME_WAIT does not block a bind there anyway.
  if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
#endif
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (!error) return;
  std::error_code ignored;
  acceptor.close(ignored);
}

// An empty address means every interface: IPv6 and IPv4 on one socket where the system allows it.
tcp::acceptor OpenAcceptor(asio::io_context& io, const Options& options) {
  std::error_code error;
  tcp::acceptor acceptor(io);
  if (options.bindAddress.empty()) {
    Listen(acceptor, tcp::endpoint(tcp::v6(), options.port), error);
    if (error) Listen(acceptor, tcp::endpoint(tcp::v4(), options.port), error);
  } else {
    const auto address = asio::ip::make_address(options.bindAddress, error);
    if (error) {
      throw std::runtime_error("RCON: bad bind address '" + options.bindAddress + "': " + error.message());
    }
    Listen(acceptor, tcp::endpoint(address, options.port), error);
  }
  if (error) throw std::runtime_error("RCON: cannot listen on " + Where(options) + ": " + error.message());
  return acceptor;
}

bool IsTransientAcceptError(const std::error_code& error) {
  return error == asio::error::connection_aborted || error == asio::error::connection_reset ||
         error == asio::error::interrupted || error == asio::error::would_block || error == asio::error::try_again;
}

// Only a broken listening socket ends the listener. Every other failure belongs to the one connection being
// accepted (a firewall refusal, a network gone down under it) or to a passing shortage of resources.
bool IsListenerBroken(const std::error_code& error) {
  return error == asio::error::bad_descriptor || error == asio::error::not_socket ||
         error == asio::error::invalid_argument;
}

}  // namespace

std::string PasswordProblem(const std::string& password) {
  if (password.empty()) return "a password is required; without one anyone who connects can run commands";
  if (password.size() > kMaxBodyBytes) {
    return "the password is longer than fits in one packet (" + std::to_string(kMaxBodyBytes) + " bytes)";
  }
  if (password.find('\0') != std::string::npos) return "the password must not contain NUL bytes";
  return {};
}

struct Server::Impl {
  explicit Impl(Options opts) : options(std::move(opts)) {}

  void Start();
  void Stop();
  std::size_t RunPending(const Executor& execute, std::chrono::milliseconds timeout);
  void InjectFailure(const std::string& reason);

  // Network thread only.
  void IoLoop();
  void Accept();
  void OnAccept(const std::error_code& error, tcp::socket socket);
  void Admit(tcp::socket socket);
  void Pump(const ConnectionPtr& c);
  void Read(const ConnectionPtr& c);
  void OnRead(const ConnectionPtr& c, const std::error_code& error, std::size_t bytes);
  void Parse(const ConnectionPtr& c);
  void Dispatch(const ConnectionPtr& c, std::int32_t id, std::int32_t type, std::string_view body);
  void HandleLogin(const ConnectionPtr& c, std::int32_t id, std::string_view password);
  void QueueForLoginTurn(const ConnectionPtr& c);
  void ServeLoginTurns();
  void AnswerLogin(const ConnectionPtr& c);
  void Enqueue(const ConnectionPtr& c, std::int32_t id, JobKind kind, std::string line = {});
  void Answer(Connection& c, std::int32_t id, JobKind kind, std::string_view text);
  void QueueAuthAnswer(Connection& c, std::int32_t requestId, std::int32_t answerId);
  void QueueReply(Connection& c, std::int32_t id, std::string_view text);
  void QueuePacket(Connection& c, std::string packet, bool pauseAfter);
  void Write(const ConnectionPtr& c);
  void OnWrite(const ConnectionPtr& c, const std::error_code& error);
  bool Finished(const Connection& c) const;
  void Finish(const ConnectionPtr& c);
  void Drop(ConnectionPtr c);  // by value: the map entry it may come from is erased
  void DropAll();
  void DeliverReplies();

  const Options options;

  std::mutex lifecycle;  // serialises Start and Stop
  std::thread ioThread;
  std::atomic<bool> stopRequested{false};
  std::atomic<std::uint16_t> port{0};
  // Created by Start and destroyed by Stop, both while the network thread is not running.
  std::unique_ptr<asio::io_context> io;
  std::optional<tcp::acceptor> acceptor;
  std::optional<asio::steady_timer> acceptBackoff;
  std::optional<asio::steady_timer> turnTimer;  // the next login turn, while one is due and waiting for it

  // Shared with the game thread.
  std::mutex mutex;
  std::condition_variable jobsReady;
  std::deque<Job> jobs;
  std::deque<Reply> replies;
  bool deliveryPosted = false;  // a DeliverReplies is already on its way to the network thread
  bool running = false;         // the network thread takes work; `io` may be used under `mutex`
  std::string failure;          // why the network thread stopped on its own

  // Network thread only.
  std::map<std::uint64_t, ConnectionPtr> connections;  // by serial, so the first is the oldest
  std::uint64_t nextSerial = 1;                        // never reused, so a late reply cannot reach a newer connection
  std::deque<std::uint64_t> loginTurns;                // connections whose login is due, in the order they became so
  bool turnTimerArmed = false;
  Clock::time_point nextTurnAt{};
};

void Server::Impl::Start() {
  const std::lock_guard life(lifecycle);
  if (ioThread.joinable()) throw std::runtime_error("RCON: server is already running");
  ValidateOptions(options);
  io = std::make_unique<asio::io_context>(1);
  try {
    acceptor.emplace(OpenAcceptor(*io, options));
    port = acceptor->local_endpoint().port();
  } catch (...) {
    acceptor.reset();
    io.reset();
    throw;
  }
  acceptBackoff.emplace(*io);
  turnTimer.emplace(*io);
  loginTurns.clear();
  turnTimerArmed = false;
  nextTurnAt = {};
  {
    const std::lock_guard lock(mutex);
    jobs.clear();
    replies.clear();
    deliveryPosted = false;
    failure.clear();
    running = true;
  }
  stopRequested = false;
  Accept();
  try {
    ioThread = std::thread([this] { IoLoop(); });
  } catch (const std::system_error& error) {
    {
      const std::lock_guard lock(mutex);
      running = false;
    }
    acceptBackoff.reset();
    turnTimer.reset();
    acceptor.reset();
    io.reset();
    port = 0;
    throw std::runtime_error(std::string("RCON: cannot start network thread: ") + error.what());
  }
}

void Server::Impl::Stop() {
  const std::lock_guard life(lifecycle);
  if (!ioThread.joinable()) return;
  {
    const std::lock_guard lock(mutex);
    running = false;
  }
  stopRequested = true;
  io->stop();
  ioThread.join();
  DropAll();
  acceptBackoff.reset();
  turnTimer.reset();
  acceptor.reset();
  // Handlers that never ran still hold connections; destroying the context releases them.
  io.reset();
  port = 0;
  {
    const std::lock_guard lock(mutex);
    jobs.clear();
    replies.clear();
    deliveryPosted = false;
    failure.clear();
  }
  jobsReady.notify_all();
}

std::size_t Server::Impl::RunPending(const Executor& execute, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex);
  const auto failed = [this] { return !failure.empty(); };
  if (!jobsReady.wait_for(lock, timeout, [&] { return !jobs.empty() || failed(); })) return 0;
  if (failed()) throw std::runtime_error("RCON: the network thread stopped: " + failure);
  // Lines arriving while these run wait for the next call, so one call cannot stall a game frame forever.
  std::size_t budget = jobs.size();
  std::size_t ran = 0;
  while (budget-- > 0 && !jobs.empty()) {
    Job job = std::move(jobs.front());
    jobs.pop_front();
    std::string text;
    if (job.kind == JobKind::Execute) {
      lock.unlock();
      try {
        text = execute(job.line);
      } catch (const std::exception& error) {
        text = std::string("error: ") + error.what();
      } catch (...) {
        text = "error: command failed";
      }
      ++ran;
      lock.lock();
    }
    if (!running) continue;
    replies.push_back({job.connection, job.id, job.kind, std::move(text)});
    if (deliveryPosted) continue;
    deliveryPosted = true;
    asio::post(*io, [this] { DeliverReplies(); });
  }
  return ran;
}

void Server::Impl::InjectFailure(const std::string& reason) {
  const std::lock_guard lock(mutex);
  if (!running) throw std::logic_error("RCON: the server is not running");
  asio::post(*io, [reason] { throw std::runtime_error(reason); });
}

void Server::Impl::IoLoop() {
  std::string reason;
  try {
    io->run();
    if (stopRequested) return;
    reason = "the network loop ran out of work";
  } catch (const std::exception& error) {
    reason = error.what();
  } catch (...) {
  }
  if (reason.empty()) reason = "unknown error";
  // Nobody is left to serve the clients: close everything so they notice, then tell the game thread.
  DropAll();
  std::error_code ignored;
  acceptor->close(ignored);
  {
    const std::lock_guard lock(mutex);
    failure = reason;
    running = false;
    jobs.clear();
    replies.clear();
  }
  jobsReady.notify_all();
}

void Server::Impl::Accept() {
  acceptor->async_accept(
      [this](const std::error_code& error, tcp::socket socket) { OnAccept(error, std::move(socket)); });
}

void Server::Impl::OnAccept(const std::error_code& error, tcp::socket socket) {
  if (error == asio::error::operation_aborted) return;
  if (!error) {
    Admit(std::move(socket));
    Accept();
    return;
  }
  if (IsTransientAcceptError(error)) {
    Accept();
    return;
  }
  if (IsListenerBroken(error)) throw std::system_error(error, "RCON: accepting connections failed");
  // A connection that could not be taken may stay queued and would fail every accept at once.
  acceptBackoff->expires_after(kAcceptBackoff);
  acceptBackoff->async_wait([this](const std::error_code& waited) {
    if (!waited) Accept();
  });
}

void Server::Impl::Admit(tcp::socket socket) {
  std::error_code ignored;
  // Replies are small and latency matters more than segment count.
  socket.set_option(tcp::no_delay(true), ignored);
  if (connections.size() >= static_cast<std::size_t>(options.maxConnections)) {
    ConnectionPtr victim;
    std::optional<int> victimRank;
    for (const auto& [serial, candidate] : connections) {  // oldest first
      const auto rank = EvictionRank(*candidate);
      if (rank && (!victimRank || *rank < *victimRank)) {
        victim = candidate;
        victimRank = rank;
      }
    }
    if (!victim) {
      socket.close(ignored);
      return;
    }
    Drop(victim);
  }
  auto c = std::make_shared<Connection>(*io, std::move(socket), nextSerial++);
  connections.emplace(c->serial, c);
  const auto deadline = SaturatingAdd(Clock::now(), options.loginTimeout);
  if (options.loginTimeout.count() > 0 && deadline != Clock::time_point::max()) {
    c->loginBy = deadline;
    c->loginDeadline.expires_at(deadline);
    c->loginDeadline.async_wait([this, c](const std::error_code& error) {
      // A waiting login is left to its answer: closing only wrong ones early would tell them apart.
      if (!error && (c->phase == Phase::LoggingIn || c->phase == Phase::Closing)) Drop(c);
    });
  }
  Pump(c);
}

// Moves a connection on as far as it can go: parses what it has, writes, then reads or closes.
void Server::Impl::Pump(const ConnectionPtr& c) {
  if (c->phase == Phase::Closed || c->phase == Phase::Lingering) return;
  Parse(c);
  if (c->phase == Phase::Closed) return;
  Write(c);
  if (Finished(*c)) {
    Finish(c);
    return;
  }
  Read(c);
}

void Server::Impl::Read(const ConnectionPtr& c) {
  if (c->reader != Reader::Idle || c->phase == Phase::Closed) return;
  if (c->phase != Phase::Lingering) {
    // A waiting login holds back what follows it, and a client that does not read its answers gets no more.
    if (c->phase == Phase::Closing || c->phase == Phase::LoginWaiting) return;
    if (c->outputBytes >= options.maxOutputBytes) return;
  }
  c->reader = Reader::Reading;
  c->socket.async_read_some(asio::buffer(c->readBuffer),
                            [this, c](const std::error_code& error, std::size_t bytes) { OnRead(c, error, bytes); });
}

void Server::Impl::OnRead(const ConnectionPtr& c, const std::error_code& error, std::size_t bytes) {
  c->reader = Reader::Idle;
  if (c->phase == Phase::Closed) return;
  if (error == asio::error::eof && c->phase != Phase::Lingering) {
    // A half-close: what arrived still runs and is answered, then the connection closes.
    c->reader = Reader::Ended;
    Pump(c);
    return;
  }
  if (error) {
    Drop(c);
    return;
  }
  if (c->phase == Phase::Lingering) {
    Read(c);
    return;
  }
  c->input.append(c->readBuffer.data(), bytes);
  Pump(c);
}

void Server::Impl::Parse(const ConnectionPtr& c) {
  // Everything complete is consumed each time, so `input` stays below one packet plus one read.
  std::size_t offset = 0;
  while (c->phase == Phase::LoggingIn || c->phase == Phase::LoggedIn) {
    const Decoded decoded = DecodePacket(std::string_view(c->input).substr(offset));
    if (decoded.framing == Framing::Incomplete) break;
    if (decoded.framing == Framing::Malformed) {
      Drop(c);
      return;
    }
    offset += decoded.length;
    Dispatch(c, decoded.packet.id, decoded.packet.type, decoded.packet.body);
  }
  if (c->phase != Phase::Closed) c->input.erase(0, offset);
}

void Server::Impl::Dispatch(const ConnectionPtr& c, std::int32_t id, std::int32_t type, std::string_view body) {
  if (type == kTypeAuth) {
    HandleLogin(c, id, body);
    return;
  }
  if (c->phase != Phase::LoggedIn) {
    c->phase = Phase::Closing;
    return;
  }
  if (type == kTypeExecCommand) {
    if (body.empty()) {
      Enqueue(c, id, JobKind::EmptyValue);
    } else {
      Enqueue(c, id, JobKind::Execute, SanitizeUtf8(body));
    }
    return;
  }
  if (type == kTypeResponseValue) {
    Enqueue(c, id, JobKind::EmptyValue);
    return;
  }
  Drop(c);
}

void Server::Impl::HandleLogin(const ConnectionPtr& c, std::int32_t id, std::string_view password) {
  const bool right = id != kFailedAuthId && SamePassword(password, options.password);
  if (c->phase == Phase::LoggedIn) {
    // The session proved itself already; the answer only says whether this password was right.
    Enqueue(c, id, right ? JobKind::LoginAccepted : JobKind::LoginRejected);
    return;
  }
  if (id == kFailedAuthId) {
    // Success would be answered with -1 too, which every client reads as a failure.
    QueueAuthAnswer(*c, id, kFailedAuthId);
    c->phase = Phase::Closing;
    return;
  }
  // Checked at once, so a newcomer never evicts a connection holding the right password; only the answer waits.
  c->phase = Phase::LoginWaiting;
  c->waitingLogin = {id, right};
  if (Clock::now() >= c->nextLoginAt) {
    QueueForLoginTurn(c);
    return;
  }
  c->backoffTimer.expires_at(c->nextLoginAt);
  c->backoffTimer.async_wait([this, c](const std::error_code& error) {
    if (error || c->phase != Phase::LoginWaiting) return;
    QueueForLoginTurn(c);
    Pump(c);
  });
}

void Server::Impl::QueueForLoginTurn(const ConnectionPtr& c) {
  loginTurns.push_back(c->serial);
  ServeLoginTurns();
}

// Right and wrong passwords wait alike: an earlier answer for the right one would tell a guesser that every
// guess still unanswered was wrong.
void Server::Impl::ServeLoginTurns() {
  const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / options.loginsPerSecond;
  while (!turnTimerArmed && !loginTurns.empty()) {
    const auto now = Clock::now();
    if (now < nextTurnAt) {
      turnTimerArmed = true;
      turnTimer->expires_at(nextTurnAt);
      turnTimer->async_wait([this](const std::error_code& error) {
        if (error) return;
        turnTimerArmed = false;
        ServeLoginTurns();
      });
      return;
    }
    const auto found = connections.find(loginTurns.front());
    loginTurns.pop_front();
    if (found == connections.end()) continue;
    const ConnectionPtr c = found->second;
    // A timer that fired late does not push every later turn back, which would stretch the administrator's
    // wait: up to one turn of lateness is made up, so no second holds more than loginsPerSecond + 1 turns.
    nextTurnAt = std::max(nextTurnAt, now - interval) + interval;
    AnswerLogin(c);
    // Posted: this may run inside that connection's own Parse.
    asio::post(*io, [this, c] { Pump(c); });
  }
}

void Server::Impl::AnswerLogin(const ConnectionPtr& c) {
  const WaitingLogin login = c->waitingLogin;
  if (login.right) {
    c->phase = Phase::LoggedIn;
    QueueAuthAnswer(*c, login.id, login.id);
    return;
  }
  QueueAuthAnswer(*c, login.id, kFailedAuthId);
  ++c->failedLogins;
  // Out of time while its login waited: answered, then closed as the login deadline would have.
  if (c->failedLogins >= static_cast<unsigned>(options.maxLoginAttempts) || Clock::now() >= c->loginBy) {
    c->phase = Phase::Closing;
    return;
  }
  c->phase = Phase::LoggingIn;
  c->nextLoginAt = SaturatingAdd(Clock::now(), RetryDelay(options.loginRetryDelay, c->failedLogins));
}

void Server::Impl::Enqueue(const ConnectionPtr& c, std::int32_t id, JobKind kind, std::string line) {
  if (kind != JobKind::Execute && c->inFlight == 0) {
    Answer(*c, id, kind, {});
    return;
  }
  if (c->inFlight >= options.maxQueuedPerConnection) {
    Drop(c);
    return;
  }
  ++c->inFlight;
  {
    const std::lock_guard lock(mutex);
    jobs.push_back({c->serial, id, kind, std::move(line)});
  }
  jobsReady.notify_one();
}

void Server::Impl::Answer(Connection& c, std::int32_t id, JobKind kind, std::string_view text) {
  switch (kind) {
    case JobKind::LoginAccepted:
      QueueAuthAnswer(c, id, id);
      return;
    case JobKind::LoginRejected:
      QueueAuthAnswer(c, id, kFailedAuthId);
      return;
    case JobKind::Execute:
    case JobKind::EmptyValue:
      QueueReply(c, id, text);
      return;
  }
}

void Server::Impl::QueueAuthAnswer(Connection& c, std::int32_t requestId, std::int32_t answerId) {
  if (options.emptyValueBeforeAuthResponse) QueuePacket(c, EncodePacket(requestId, kTypeResponseValue, {}), true);
  QueuePacket(c, EncodePacket(answerId, kTypeAuthResponse, {}), false);
}

void Server::Impl::QueueReply(Connection& c, std::int32_t id, std::string_view text) {
  const std::string clean = SanitizeUtf8(text);
  const std::vector<std::string_view> bodies = SplitReply(clean);
  for (const std::string_view body : bodies)
    QueuePacket(c, EncodePacket(id, kTypeResponseValue, body), bodies.size() > 1);
}

void Server::Impl::QueuePacket(Connection& c, std::string packet, bool pauseAfter) {
  c.outputBytes += packet.size();
  c.output.push_back({std::move(packet), pauseAfter && options.packetGap.count() > 0});
}

void Server::Impl::Write(const ConnectionPtr& c) {
  if (c->writer != Writer::Idle || c->output.empty()) return;
  std::vector<asio::const_buffer> buffers;
  std::size_t bytes = 0;
  for (const OutPacket& packet : c->output) {
    buffers.push_back(asio::buffer(packet.bytes));
    bytes += packet.bytes.size();
    if (packet.pauseAfter || bytes >= kMaxWriteBytes) break;
  }
  c->writer = Writer::Writing;
  c->packetsInWrite = buffers.size();
  // The packets stay at the front of the deque, which keeps their bytes in place, until the write completes.
  asio::async_write(c->socket, buffers, [this, c](const std::error_code& error, std::size_t) { OnWrite(c, error); });
}

void Server::Impl::OnWrite(const ConnectionPtr& c, const std::error_code& error) {
  c->writer = Writer::Idle;
  if (c->phase == Phase::Closed) return;
  if (error) {
    Drop(c);
    return;
  }
  bool pause = false;
  for (std::size_t i = 0; i < c->packetsInWrite; ++i) {
    c->outputBytes -= c->output.front().bytes.size();
    pause = c->output.front().pauseAfter;
    c->output.pop_front();
  }
  c->packetsInWrite = 0;
  if (pause) {
    c->writer = Writer::Pausing;
    c->gapTimer.expires_at(SaturatingAdd(Clock::now(), options.packetGap));
    c->gapTimer.async_wait([this, c](const std::error_code&) {
      if (c->writer == Writer::Pausing) c->writer = Writer::Idle;
      Pump(c);
    });
  }
  Pump(c);
}

bool Server::Impl::Finished(const Connection& c) const {
  if (c.phase == Phase::LoginWaiting) return false;
  if (c.phase != Phase::Closing && c.reader != Reader::Ended) return false;
  return c.inFlight == 0 && c.output.empty() && c.writer == Writer::Idle;
}

void Server::Impl::Finish(const ConnectionPtr& c) {
  std::error_code ignored;
  if (c->reader == Reader::Ended) {
    c->socket.shutdown(tcp::socket::shutdown_both, ignored);
    Drop(c);
    return;
  }
  c->phase = Phase::Lingering;
  c->socket.shutdown(tcp::socket::shutdown_send, ignored);
  c->loginDeadline.cancel();
  c->backoffTimer.cancel();
  c->gapTimer.cancel();
  c->lingerTimer.expires_after(kLinger);
  c->lingerTimer.async_wait([this, c](const std::error_code& error) {
    if (!error) Drop(c);
  });
  Read(c);
}

void Server::Impl::Drop(ConnectionPtr c) {
  if (c->phase == Phase::Closed) return;
  // An evicted login is never answered.
  if (c->phase == Phase::LoginWaiting) std::erase(loginTurns, c->serial);
  c->phase = Phase::Closed;
  if (c->inFlight > 0) {
    // Nobody is left to read the answers, and a client cycling connections must not pile up work. Before
    // the socket closes, so a client that sees the close never sees its dropped work run afterwards.
    const std::lock_guard lock(mutex);
    std::erase_if(jobs, [&](const Job& job) { return job.connection == c->serial; });
  }
  std::error_code ignored;
  c->socket.close(ignored);
  c->loginDeadline.cancel();
  c->backoffTimer.cancel();
  c->gapTimer.cancel();
  c->lingerTimer.cancel();
  connections.erase(c->serial);
}

void Server::Impl::DropAll() {
  while (!connections.empty()) Drop(connections.begin()->second);
}

void Server::Impl::DeliverReplies() {
  std::deque<Reply> ready;
  {
    const std::lock_guard lock(mutex);
    ready.swap(replies);
    deliveryPosted = false;
  }
  for (Reply& reply : ready) {
    const auto found = connections.find(reply.connection);
    if (found == connections.end()) continue;
    const ConnectionPtr c = found->second;
    if (c->inFlight > 0) --c->inFlight;
    Answer(*c, reply.id, reply.kind, reply.text);
    Pump(c);
  }
}

Server::Server(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Server::~Server() { Stop(); }

void Server::Start() { impl_->Start(); }

std::uint16_t Server::Port() const { return impl_->port; }

void Server::Stop() { impl_->Stop(); }

std::size_t Server::RunPending(const Executor& execute, std::chrono::milliseconds timeout) {
  return impl_->RunPending(execute, timeout);
}

void TestSeam::FailNetworkThread(Server& server, const std::string& reason) { server.impl_->InjectFailure(reason); }

}  // namespace sandbox::rcon
