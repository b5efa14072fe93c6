// Source RCON listener: framing, login and lockout on the I/O thread; command lines cross to the game thread by queue.
#include "RconServer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

namespace sandbox::rcon {
namespace {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------------------------
// Platform layer. Every OS socket call lives in this section; a port replaces only these functions.
// ---------------------------------------------------------------------------------------------

using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;

std::string ErrnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

void CloseSocket(SocketHandle handle) {
  if (handle == kNoSocket) return;
  ::close(handle);
}

struct Listener {
  SocketHandle handle = kNoSocket;
  std::uint16_t port = 0;
};

Listener OpenListener(const std::string& address, std::uint16_t port) {
  const std::string service = std::to_string(port);
  const std::string where = (address.empty() ? std::string("*") : address) + " port " + service;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &found);
  if (lookup != 0) {
    throw std::runtime_error("RCON: bad bind address '" + address + "': " + ::gai_strerror(lookup));
  }
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owner(found, &::freeaddrinfo);

  const SocketHandle handle =
      ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol);
  if (handle < 0) throw std::runtime_error("RCON: cannot create socket for " + where + ": " + ErrnoText(errno));
  // Lets a restarted server rebind while old connections linger in TIME_WAIT.
  const int one = 1;
  ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(handle, found->ai_addr, found->ai_addrlen) != 0 || ::listen(handle, SOMAXCONN) != 0) {
    const int error = errno;
    CloseSocket(handle);
    throw std::runtime_error("RCON: cannot listen on " + where + ": " + ErrnoText(error));
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(handle, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    const int error = errno;
    CloseSocket(handle);
    throw std::runtime_error("RCON: cannot read bound port on " + where + ": " + ErrnoText(error));
  }
  const auto boundPort = bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                     : reinterpret_cast<sockaddr_in*>(&bound)->sin_port;
  return Listener{handle, ntohs(boundPort)};
}

enum class AcceptStatus { Accepted, NoneWaiting, OutOfDescriptors };

struct Accepted {
  AcceptStatus status = AcceptStatus::NoneWaiting;
  SocketHandle handle = kNoSocket;
  std::string address;
};

Accepted AcceptClient(SocketHandle listener) {
  for (;;) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const SocketHandle handle =
        ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (handle < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        return {AcceptStatus::OutOfDescriptors, kNoSocket, {}};
      }
      return {};
    }
    // Replies are small and latency matters more than segment count.
    const int one = 1;
    ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = peer.ss_family == AF_INET6
                          ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&peer)->sin6_addr)
                          : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(&peer)->sin_addr);
    ::inet_ntop(peer.ss_family, raw, text, sizeof text);
    return {AcceptStatus::Accepted, handle, text};
  }
}

enum class IoStatus { Transferred, WouldBlock, Closed };

struct IoResult {
  IoStatus status = IoStatus::Closed;
  std::size_t bytes = 0;
};

IoResult ReceiveSome(SocketHandle handle, char* buffer, std::size_t capacity) {
  for (;;) {
    const ssize_t received = ::recv(handle, buffer, capacity, 0);
    if (received > 0) return {IoStatus::Transferred, static_cast<std::size_t>(received)};
    if (received == 0) return {};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {IoStatus::WouldBlock, 0};
    return {};
  }
}

IoResult SendSome(SocketHandle handle, const char* data, std::size_t size) {
  for (;;) {
    const ssize_t sent = ::send(handle, data, size, MSG_NOSIGNAL);
    if (sent >= 0) return {IoStatus::Transferred, static_cast<std::size_t>(sent)};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {IoStatus::WouldBlock, 0};
    return {};
  }
}

// Lets the game thread interrupt the I/O thread's wait when replies are ready.
struct WakeChannel {
  SocketHandle readEnd = kNoSocket;
  SocketHandle writeEnd = kNoSocket;
};

WakeChannel OpenWakeChannel() {
  int ends[2];
  if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
    throw std::runtime_error("RCON: cannot create wake pipe: " + ErrnoText(errno));
  }
  return {ends[0], ends[1]};
}

void SignalWake(const WakeChannel& wake) {
  const char byte = 1;
  if (::write(wake.writeEnd, &byte, 1) < 0) {
    // A full pipe already holds a pending wake-up.
  }
}

void DrainWake(const WakeChannel& wake) {
  char sink[64];
  while (::read(wake.readEnd, sink, sizeof sink) > 0) {
  }
}

void CloseWakeChannel(WakeChannel& wake) {
  CloseSocket(wake.readEnd);
  CloseSocket(wake.writeEnd);
  wake = {};
}

struct PollSlot {
  SocketHandle handle = kNoSocket;
  bool wantRead = false;
  bool wantWrite = false;
  bool readable = false;
  bool writable = false;
  bool broken = false;
};

void WaitForEvents(std::vector<PollSlot>& slots, int timeoutMs) {
  std::vector<pollfd> fds(slots.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    fds[i].fd = slots[i].handle;
    fds[i].events = static_cast<short>((slots[i].wantRead ? POLLIN : 0) | (slots[i].wantWrite ? POLLOUT : 0));
  }
  if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const short events = fds[i].revents;
    slots[i].readable = (events & (POLLIN | POLLHUP)) != 0 && slots[i].wantRead;
    slots[i].writable = (events & POLLOUT) != 0;
    // A hang-up on a socket we are not reading would otherwise wake every poll without progress.
    slots[i].broken = (events & (POLLERR | POLLNVAL)) != 0 || ((events & POLLHUP) != 0 && !slots[i].wantRead);
  }
}

// ---------------------------------------------------------------------------------------------
// Wire format and text handling.
// ---------------------------------------------------------------------------------------------

constexpr std::int32_t kTypeAuth = 3;
constexpr std::int32_t kTypeAuthResponse = 2;
constexpr std::int32_t kTypeExecCommand = 2;
constexpr std::int32_t kTypeResponseValue = 0;
constexpr std::int32_t kFailedAuthId = -1;
constexpr std::int32_t kMinPacketSize = 10;  // id + type + two NULs
constexpr std::int32_t kMaxPacketSize = 4096;
constexpr std::size_t kSizeFieldBytes = 4;
constexpr std::size_t kHeaderBytes = 12;  // size + id + type
constexpr std::size_t kMaxBodyBytes = kMaxPacketSize - kMinPacketSize;
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

void AppendInt32(std::string& out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xFFU));
}

std::int32_t ReadInt32(const char* bytes) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
  return static_cast<std::int32_t>(bits);
}

std::string EncodePacket(std::int32_t id, std::int32_t type, std::string_view body) {
  std::string packet;
  packet.reserve(kHeaderBytes + body.size() + 2);
  AppendInt32(packet, static_cast<std::int32_t>(body.size()) + kMinPacketSize);
  AppendInt32(packet, id);
  AppendInt32(packet, type);
  packet.append(body);
  packet.append(2, '\0');
  return packet;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U; }

// Length of the well-formed UTF-8 sequence starting at `at`, or 0 if there is none.
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80U) return 1;
  struct Form {
    unsigned char mask;
    unsigned char marker;
    std::size_t length;
    std::uint32_t smallest;  // anything below has a shorter encoding
  };
  static constexpr Form kForms[] = {{0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};
  const auto form =
      std::find_if(std::begin(kForms), std::end(kForms), [lead](const Form& f) { return (lead & f.mask) == f.marker; });
  if (form == std::end(kForms)) return 0;
  const std::size_t length = form->length;
  const std::uint32_t smallest = form->smallest;
  std::uint32_t codePoint = lead & static_cast<unsigned char>(~form->mask);
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuationByte(text[at + i])) return 0;
    codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3FU);
  }
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  if (codePoint < smallest || codePoint > 0x10FFFF || surrogate) return 0;
  return length;
}

// The game converts to UTF-16 and clients decode per packet; both choke on broken sequences.
std::string SanitizeUtf8(std::string_view text) {
  std::string clean;
  clean.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = SequenceLength(text, at);
    if (length == 0) {
      clean.append(kReplacementCharacter);
      ++at;
      continue;
    }
    clean.append(text.substr(at, length));
    at += length;
  }
  return clean;
}

// Cuts on a code point boundary: clients decode each packet body on its own before joining them.
std::size_t ChunkLength(std::string_view validUtf8) {
  if (validUtf8.size() <= kMaxBodyBytes) return validUtf8.size();
  std::size_t cut = kMaxBodyBytes;
  while (cut > kMaxBodyBytes - 3 && IsContinuationByte(validUtf8[cut])) --cut;
  return cut;
}

bool SamePassword(std::string_view given, std::string_view expected) {
  // Touches every byte whatever matches, so timing reveals no prefix. `expected` is never empty.
  unsigned difference = given.size() == expected.size() ? 0U : 1U;
  for (std::size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(expected[i % expected.size()]);
  }
  return difference == 0;
}

// ---------------------------------------------------------------------------------------------
// Failed-login bookkeeping per peer address.
// ---------------------------------------------------------------------------------------------

class LoginGuard {
 public:
  LoginGuard(int maxFailures, Clock::duration lockout) : maxFailures_(maxFailures), lockout_(lockout) {}

  bool IsLockedOut(const std::string& address, Clock::time_point now) {
    const auto found = records_.find(address);
    if (found == records_.end() || found->second.lockedUntil == Clock::time_point{}) return false;
    if (found->second.lockedUntil > now) return true;
    records_.erase(found);
    return false;
  }

  // Returns true when this failure locks the address out.
  bool RecordFailure(const std::string& address, Clock::time_point now) {
    if (records_.size() >= kMaxTrackedAddresses && records_.find(address) == records_.end()) MakeRoom(now);
    Record& record = records_[address];
    if (now - record.lastFailure > lockout_) record.failures = 0;
    record.lastFailure = now;
    if (++record.failures < maxFailures_) return false;
    record.lockedUntil = now + lockout_;
    return true;
  }

  void RecordSuccess(const std::string& address) { records_.erase(address); }

 private:
  // Bounds memory when many addresses fail; IPv6 gives an attacker plenty of them.
  static constexpr std::size_t kMaxTrackedAddresses = 4096;

  struct Record {
    int failures = 0;
    Clock::time_point lastFailure{};
    Clock::time_point lockedUntil{};
  };

  void MakeRoom(Clock::time_point now) {
    std::erase_if(records_, [&](const auto& entry) {
      return entry.second.lockedUntil <= now && now - entry.second.lastFailure > lockout_;
    });
    if (records_.size() < kMaxTrackedAddresses) return;
    const auto oldest = std::min_element(records_.begin(), records_.end(), [](const auto& a, const auto& b) {
      return a.second.lastFailure < b.second.lastFailure;
    });
    records_.erase(oldest);
  }

  int maxFailures_;
  Clock::duration lockout_;
  std::map<std::string, Record> records_;
};

struct Connection {
  std::uint64_t serial = 0;
  SocketHandle handle = kNoSocket;
  std::string address;
  std::string input;
  std::deque<std::string> output;  // one encoded packet per entry, so writes can be paced per packet
  std::size_t sentOfFront = 0;
  std::size_t outputBytes = 0;
  std::size_t inFlight = 0;  // queued for the game thread and not yet answered
  Clock::time_point nextWriteAt{};
  Clock::time_point loginDeadline{};
  bool authenticated = false;
  bool closeWhenFlushed = false;
  bool dead = false;
};

void QueuePacket(Connection& c, std::string packet) {
  c.outputBytes += packet.size();
  c.output.push_back(std::move(packet));
}

struct Job {
  std::uint64_t connection = 0;
  std::int32_t id = 0;
  std::string line;
  bool execute = true;  // false: only holds the place of an empty answer behind earlier replies
};

struct Reply {
  std::uint64_t connection = 0;
  std::int32_t id = 0;
  std::string text;
};

void ValidateOptions(const Options& options) {
  if (options.password.empty()) {
    throw std::runtime_error("RCON: a password is required; without one anyone who connects can run commands");
  }
  if (options.password.size() > kMaxBodyBytes) {
    throw std::runtime_error("RCON: the password is longer than fits in one packet");
  }
  if (options.password.find('\0') != std::string::npos) {
    throw std::runtime_error("RCON: the password must not contain NUL bytes");
  }
  if (options.maxConnections < 1) throw std::runtime_error("RCON: maxConnections must be at least 1");
  if (options.maxFailedLogins < 1) throw std::runtime_error("RCON: maxFailedLogins must be at least 1");
  if (options.maxQueuedPerConnection < 1) throw std::runtime_error("RCON: maxQueuedPerConnection must be at least 1");
  if (options.maxOutputBytes < kSizeFieldBytes + kMaxPacketSize) {
    throw std::runtime_error("RCON: maxOutputBytes must hold at least one full packet");
  }
  if (options.lockout.count() < 0 || options.loginTimeout.count() < 0 || options.packetGap.count() < 0) {
    throw std::runtime_error("RCON: durations must not be negative");
  }
}

}  // namespace

struct Server::Impl {
  explicit Impl(Options opts) : options(std::move(opts)) {}

  void Start();
  void Stop();
  std::size_t RunPending(const Executor& execute, std::chrono::milliseconds timeout);

  void IoLoop();
  void Serve();
  void DeliverReplies();
  void AcceptClients();
  void ReadFrom(Connection& c);
  void ParseInput(Connection& c);
  void Dispatch(Connection& c, std::int32_t id, std::int32_t type, std::string_view body);
  void HandleLogin(Connection& c, std::int32_t id, std::string_view password);
  void Enqueue(Connection& c, std::int32_t id, std::string line, bool execute);
  void QueueReply(Connection& c, std::int32_t id, std::string_view text);
  void WriteTo(Connection& c);
  void Reap(Clock::time_point now);

  const Options options;

  std::mutex lifecycle;  // serialises Start and Stop
  std::thread ioThread;
  std::atomic<bool> stopRequested{false};
  std::atomic<std::uint16_t> port{0};
  SocketHandle listener = kNoSocket;
  WakeChannel wake;

  // Shared with the game thread.
  std::mutex mutex;
  std::condition_variable jobsReady;
  std::deque<Job> jobs;
  std::deque<Reply> replies;
  bool running = false;

  // I/O thread only.
  std::map<std::uint64_t, Connection> connections;
  std::uint64_t nextSerial = 1;  // never reused, so a late reply cannot reach a newer connection
  LoginGuard guard{1, {}};
  Clock::time_point acceptPausedUntil{};
};

void Server::Impl::Start() {
  const std::lock_guard life(lifecycle);
  if (ioThread.joinable()) throw std::runtime_error("RCON: server is already running");
  ValidateOptions(options);
  const Listener opened = OpenListener(options.bindAddress, options.port);
  try {
    wake = OpenWakeChannel();
  } catch (...) {
    CloseSocket(opened.handle);
    throw;
  }
  listener = opened.handle;
  port = opened.port;
  guard = LoginGuard(options.maxFailedLogins, options.lockout);
  acceptPausedUntil = {};
  {
    const std::lock_guard lock(mutex);
    jobs.clear();
    replies.clear();
    running = true;
  }
  stopRequested = false;
  try {
    ioThread = std::thread([this] { IoLoop(); });
  } catch (const std::system_error& error) {
    {
      const std::lock_guard lock(mutex);
      running = false;
    }
    CloseSocket(listener);
    listener = kNoSocket;
    CloseWakeChannel(wake);
    port = 0;
    throw std::runtime_error(std::string("RCON: cannot start network thread: ") + error.what());
  }
}

void Server::Impl::Stop() {
  const std::lock_guard life(lifecycle);
  if (!ioThread.joinable()) return;
  stopRequested = true;
  {
    const std::lock_guard lock(mutex);
    running = false;
  }
  SignalWake(wake);
  ioThread.join();
  CloseSocket(listener);
  listener = kNoSocket;
  CloseWakeChannel(wake);
  port = 0;
  {
    const std::lock_guard lock(mutex);
    jobs.clear();
    replies.clear();
  }
  jobsReady.notify_all();
}

std::size_t Server::Impl::RunPending(const Executor& execute, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex);
  if (!jobsReady.wait_for(lock, timeout, [this] { return !jobs.empty(); })) return 0;
  // Lines arriving while these run wait for the next call, so one call cannot stall a game frame forever.
  std::size_t budget = jobs.size();
  std::size_t ran = 0;
  while (budget-- > 0 && !jobs.empty()) {
    Job job = std::move(jobs.front());
    jobs.pop_front();
    std::string text;
    if (job.execute) {
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
    replies.push_back({job.connection, job.id, std::move(text)});
    SignalWake(wake);  // safe under the lock: Stop closes the pipe only after clearing `running`
  }
  return ran;
}

void Server::Impl::IoLoop() {
  try {
    Serve();
  } catch (...) {
    // Out of memory or similar: drop every client rather than take the game down with us.
  }
  for (auto& entry : connections) CloseSocket(entry.second.handle);
  connections.clear();
}

void Server::Impl::Serve() {
  std::vector<PollSlot> slots;
  std::vector<std::uint64_t> owners;
  while (!stopRequested) {
    const auto now = Clock::now();
    const bool canAccept = now >= acceptPausedUntil;
    auto wakeAt = canAccept ? Clock::time_point::max() : acceptPausedUntil;
    slots.assign({PollSlot{wake.readEnd, true}, PollSlot{listener, canAccept}});
    owners.clear();
    for (auto& [serial, c] : connections) {
      bool wantWrite = !c.output.empty();
      if (wantWrite && c.nextWriteAt > now) {
        wantWrite = false;
        wakeAt = std::min(wakeAt, c.nextWriteAt);
      }
      if (!c.authenticated && options.loginTimeout.count() > 0) wakeAt = std::min(wakeAt, c.loginDeadline);
      const bool wantRead = !c.closeWhenFlushed && c.outputBytes < options.maxOutputBytes;
      slots.push_back(PollSlot{c.handle, wantRead, wantWrite});
      owners.push_back(serial);
    }
    int timeoutMs = -1;
    if (wakeAt != Clock::time_point::max()) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
      timeoutMs = static_cast<int>(std::clamp<std::int64_t>(wait, 0, 60'000));
    }
    WaitForEvents(slots, timeoutMs);
    if (stopRequested) return;
    if (slots[0].readable) DrainWake(wake);
    DeliverReplies();
    for (std::size_t i = 0; i < owners.size(); ++i) {
      Connection& c = connections.at(owners[i]);
      const PollSlot& slot = slots[i + 2];
      if (slot.broken) {
        c.dead = true;
        continue;
      }
      if (slot.readable) ReadFrom(c);
      if (!c.dead && slot.writable) WriteTo(c);
    }
    Reap(Clock::now());
    if (slots[1].readable) AcceptClients();
  }
}

void Server::Impl::DeliverReplies() {
  std::deque<Reply> ready;
  {
    const std::lock_guard lock(mutex);
    ready.swap(replies);
  }
  for (Reply& reply : ready) {
    const auto found = connections.find(reply.connection);
    if (found == connections.end() || found->second.dead) continue;
    Connection& c = found->second;
    if (c.inFlight > 0) --c.inFlight;
    QueueReply(c, reply.id, reply.text);
  }
}

void Server::Impl::AcceptClients() {
  // Bounded so a connect flood cannot starve the clients already being served.
  for (int round = 0; round < 64; ++round) {
    Accepted accepted = AcceptClient(listener);
    if (accepted.status == AcceptStatus::NoneWaiting) return;
    const auto now = Clock::now();
    if (accepted.status == AcceptStatus::OutOfDescriptors) {
      // The pending connection stays queued and would make every poll return at once.
      acceptPausedUntil = now + std::chrono::milliseconds(100);
      return;
    }
    const bool full = connections.size() >= static_cast<std::size_t>(options.maxConnections);
    if (full || guard.IsLockedOut(accepted.address, now)) {
      CloseSocket(accepted.handle);
      continue;
    }
    Connection c;
    c.serial = nextSerial++;
    c.handle = accepted.handle;
    c.address = std::move(accepted.address);
    c.loginDeadline = now + options.loginTimeout;
    connections.emplace(c.serial, std::move(c));
  }
}

void Server::Impl::ReadFrom(Connection& c) {
  char buffer[8192];
  const IoResult result = ReceiveSome(c.handle, buffer, sizeof buffer);
  if (result.status == IoStatus::WouldBlock) return;
  if (result.status == IoStatus::Closed) {
    c.dead = true;
    return;
  }
  c.input.append(buffer, result.bytes);
  ParseInput(c);
}

void Server::Impl::ParseInput(Connection& c) {
  // Everything buffered is consumed each time, so `input` stays below one packet plus one read.
  std::size_t offset = 0;
  while (!c.dead && !c.closeWhenFlushed && c.input.size() - offset >= kSizeFieldBytes) {
    const char* packet = c.input.data() + offset;
    const std::int32_t size = ReadInt32(packet);
    if (size < kMinPacketSize || size > kMaxPacketSize) {
      c.dead = true;
      return;
    }
    const std::size_t total = kSizeFieldBytes + static_cast<std::size_t>(size);
    if (c.input.size() - offset < total) break;
    if (packet[total - 1] != '\0' || packet[total - 2] != '\0') {
      c.dead = true;
      return;
    }
    const std::string_view body(packet + kHeaderBytes, total - kHeaderBytes - 2);
    if (body.find('\0') != std::string_view::npos) {
      c.dead = true;
      return;
    }
    Dispatch(c, ReadInt32(packet + 4), ReadInt32(packet + 8), body);
    offset += total;
  }
  if (c.dead || c.closeWhenFlushed) return;
  c.input.erase(0, offset);
}

void Server::Impl::Dispatch(Connection& c, std::int32_t id, std::int32_t type, std::string_view body) {
  if (type == kTypeAuth) {
    HandleLogin(c, id, body);
    return;
  }
  if (!c.authenticated) {
    c.dead = true;
    return;
  }
  if (type == kTypeExecCommand) {
    Enqueue(c, id, SanitizeUtf8(body), !body.empty());
    return;
  }
  if (type == kTypeResponseValue) {
    Enqueue(c, id, {}, false);
    return;
  }
  c.dead = true;
}

void Server::Impl::HandleLogin(Connection& c, std::int32_t id, std::string_view password) {
  const auto now = Clock::now();
  const bool lockedOut = guard.IsLockedOut(c.address, now);
  const bool accepted = !lockedOut && SamePassword(password, options.password);
  if (options.emptyValueBeforeAuthResponse) QueuePacket(c, EncodePacket(id, kTypeResponseValue, {}));
  QueuePacket(c, EncodePacket(accepted ? id : kFailedAuthId, kTypeAuthResponse, {}));
  c.authenticated = accepted;
  if (accepted) {
    guard.RecordSuccess(c.address);
    return;
  }
  if (lockedOut || guard.RecordFailure(c.address, now)) c.closeWhenFlushed = true;
}

void Server::Impl::Enqueue(Connection& c, std::int32_t id, std::string line, bool execute) {
  if (!execute && c.inFlight == 0) {
    QueueReply(c, id, {});
    return;
  }
  if (c.inFlight >= options.maxQueuedPerConnection) {
    c.dead = true;
    return;
  }
  ++c.inFlight;
  {
    const std::lock_guard lock(mutex);
    jobs.push_back({c.serial, id, std::move(line), execute});
  }
  jobsReady.notify_one();
}

void Server::Impl::QueueReply(Connection& c, std::int32_t id, std::string_view text) {
  const std::string clean = SanitizeUtf8(text);
  std::string_view rest = clean;
  do {
    const std::size_t length = ChunkLength(rest);
    QueuePacket(c, EncodePacket(id, kTypeResponseValue, rest.substr(0, length)));
    rest.remove_prefix(length);
  } while (!rest.empty());
}

void Server::Impl::WriteTo(Connection& c) {
  while (!c.output.empty()) {
    const std::string& front = c.output.front();
    const IoResult result = SendSome(c.handle, front.data() + c.sentOfFront, front.size() - c.sentOfFront);
    if (result.status == IoStatus::WouldBlock) return;
    if (result.status == IoStatus::Closed) {
      c.dead = true;
      return;
    }
    c.sentOfFront += result.bytes;
    if (c.sentOfFront < front.size()) return;
    c.outputBytes -= front.size();
    c.output.pop_front();
    c.sentOfFront = 0;
    c.nextWriteAt = Clock::now() + options.packetGap;
    if (options.packetGap.count() > 0) return;
  }
}

void Server::Impl::Reap(Clock::time_point now) {
  for (auto it = connections.begin(); it != connections.end();) {
    Connection& c = it->second;
    const bool loginExpired = !c.authenticated && options.loginTimeout.count() > 0 && now >= c.loginDeadline;
    if (loginExpired || (c.closeWhenFlushed && c.output.empty())) c.dead = true;
    if (!c.dead) {
      ++it;
      continue;
    }
    if (c.inFlight > 0) {
      // Nobody is left to read the answers, and a client cycling connections must not pile up work.
      const std::lock_guard lock(mutex);
      std::erase_if(jobs, [&](const Job& job) { return job.connection == c.serial; });
    }
    CloseSocket(c.handle);
    it = connections.erase(it);
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

}  // namespace sandbox::rcon
