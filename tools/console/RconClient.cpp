// The live console's RCON client on Boost.Asio and the project's packet codec.
// Boost 1.74's Asio needs <utility> before its own headers under C++20 with GCC 12.
#include <utility>

#include "RconClient.h"

#include <charconv>
#include <deque>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include "sandbox/rcon/RconPacket.h"

namespace live {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;
namespace rcon = sandbox::rcon;

constexpr unsigned kUnreachableStatus = 503;
constexpr unsigned kTimeoutStatus = 504;
constexpr const char* kNoPassword = "no RCON password yet: type it into the page";
constexpr const char* kPasswordRefused = "the server refused the RCON password";

std::string NotAnswering(const live::RconAddress& address, const std::string& why) {
  return "the server's RCON port " + live::AddressText(address) + " does not answer: " + why;
}

std::string Seconds(std::chrono::milliseconds limit) {
  const auto tenths = (limit.count() + 50) / 100;
  return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") + " s";
}

}  // namespace

std::string_view StateName(RconState state) {
  switch (state) {
    case RconState::Connecting:
      return "connecting";
    case RconState::Answering:
      return "answering";
    case RconState::Unreachable:
      return "unreachable";
    case RconState::PasswordRefused:
      return "password-refused";
    case RconState::NoPassword:
      return "no-password";
  }
  return "unreachable";
}

std::optional<RconAddress> ParseRconAddress(std::string_view text) {
  RconAddress address;
  std::string_view host = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const auto close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return std::nullopt;
    if (!rest.empty()) port = rest.substr(1);
    if (!rest.empty() && port.empty()) return std::nullopt;
  } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
    // Two colons without brackets: an IPv6 address, whose port cannot be told from its last group.
    if (text.find(':') != colon) return std::nullopt;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (port.empty()) return std::nullopt;
  }
  if (host.empty() || host.find_first_of(" \t/\\") != std::string_view::npos) return std::nullopt;
  address.host = std::string(host);
  if (!port.empty()) {
    unsigned number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error != std::errc() || end != port.data() + port.size() || number == 0 || number > 65535) {
      return std::nullopt;
    }
    address.port = static_cast<std::uint16_t>(number);
  }
  return address;
}

std::string AddressText(const RconAddress& address) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

struct RconClient::Impl {
  enum class Phase { Idle, Connecting, LoggingIn, Ready };
  struct Pending {
    std::string line;
    std::function<void(LineAnswer)> done;
    std::int32_t commandId = 0;
    std::int32_t probeId = 0;
    std::string reply;
  };

  Impl(asio::io_context& context, RconAddress a, std::string p, RconLimits l, StateListener s)
      : io(context),
        address(std::move(a)),
        password(std::move(p)),
        limits(l),
        listener(std::move(s)),
        socket(context),
        resolver(context),
        deadline(context),
        retryTimer(context) {}

  asio::io_context& io;
  RconAddress address;
  std::string password;
  RconLimits limits;
  StateListener listener;
  tcp::socket socket;
  tcp::resolver resolver;
  asio::steady_timer deadline;
  asio::steady_timer retryTimer;
  Phase phase = Phase::Idle;
  RconState state = RconState::Connecting;
  std::string reason;
  bool stopped = false;
  // Bumped whenever the connection is dropped, so the handlers of the one before know they are stale.
  std::uint64_t generation = 0;
  std::int32_t nextId = 1;
  std::int32_t loginId = 0;
  std::deque<Pending> queue;
  std::optional<Pending> current;
  std::string input;
  std::string output;
  char readBuffer[4096];
};

// The steps of a connection, kept beside the state they move so each reads as one step.
class RconSteps {
 public:
  using Self = std::shared_ptr<RconClient>;
  using Impl = RconClient::Impl;
  using Pending = Impl::Pending;

  static std::int32_t NextId(Impl& c) {
    const std::int32_t id = c.nextId;
    c.nextId = c.nextId == INT32_MAX ? 1 : c.nextId + 1;
    return id;
  }

  static void SetState(Impl& c, RconState state, std::string reason) {
    if (c.state == state && c.reason == reason) return;
    const bool changed = c.state != state;
    c.state = state;
    c.reason = std::move(reason);
    if (changed && c.listener) c.listener(c.state, c.reason);
  }

  // Answers every waiting command with `error`.
  static void FailAll(Impl& c, const std::string& error, unsigned status) {
    std::deque<Pending> waiting;
    waiting.swap(c.queue);
    if (c.current) waiting.push_front(std::move(*c.current));
    c.current.reset();
    for (auto& pending : waiting) pending.done({{}, error, status});
  }

  static void Drop(Impl& c) {
    ++c.generation;
    ErrorCode ignored;
    c.resolver.cancel();
    c.socket.shutdown(tcp::socket::shutdown_both, ignored);
    c.socket.close(ignored);
    c.deadline.cancel();
    c.input.clear();
    c.phase = Impl::Phase::Idle;
  }

  static void Unreachable(const Self& self, Impl& c, const std::string& why) {
    Drop(c);
    SetState(c, RconState::Unreachable, why);
    FailAll(c, NotAnswering(c.address, why), kUnreachableStatus);
    if (c.stopped) return;
    c.retryTimer.expires_after(c.limits.retry);
    c.retryTimer.async_wait([self, generation = c.generation](const ErrorCode& error) {
      Impl& c = *self->impl_;
      if (error || c.stopped || c.generation != generation || c.phase != Impl::Phase::Idle) return;
      Connect(self, c);
    });
  }

  static void Arm(const Self& self, Impl& c, std::chrono::milliseconds limit) {
    c.deadline.expires_after(limit);
    c.deadline.async_wait([self, generation = c.generation, limit](const ErrorCode& error) {
      Impl& c = *self->impl_;
      if (error || c.generation != generation) return;
      OnDeadline(self, c, limit);
    });
  }

  static void OnDeadline(const Self& self, Impl& c, std::chrono::milliseconds limit) {
    if (c.phase == Impl::Phase::Connecting) return Unreachable(self, c, "no connection within " + Seconds(limit));
    if (c.phase == Impl::Phase::LoggingIn) return Unreachable(self, c, "no login answer within " + Seconds(limit));
    if (!c.current) return;
    // What the stream holds now cannot be matched to anything: the connection is made afresh for what follows.
    Pending late = std::move(*c.current);
    c.current.reset();
    Drop(c);
    late.done({{}, "no answer to " + late.line + " within " + Seconds(limit), kTimeoutStatus});
    if (!c.queue.empty()) Connect(self, c);
  }

  static void Connect(const Self& self, Impl& c) {
    if (c.stopped || c.phase != Impl::Phase::Idle) return;
    if (c.password.empty()) {
      SetState(c, RconState::NoPassword, "no password");
      FailAll(c, kNoPassword, kUnreachableStatus);
      return;
    }
    c.phase = Impl::Phase::Connecting;
    Arm(self, c, c.limits.connect);
    c.resolver.async_resolve(
        c.address.host, std::to_string(c.address.port),
        [self, generation = c.generation](const ErrorCode& error, const tcp::resolver::results_type& results) {
          Impl& c = *self->impl_;
          if (c.generation != generation) return;
          if (error) return Unreachable(self, c, "cannot find " + c.address.host + ": " + error.message());
          asio::async_connect(c.socket, results, [self, generation](const ErrorCode& error, const tcp::endpoint&) {
            Impl& c = *self->impl_;
            if (c.generation != generation) return;
            if (error) return Unreachable(self, c, error.message());
            Login(self, c);
          });
        });
  }

  static void Login(const Self& self, Impl& c) {
    c.phase = Impl::Phase::LoggingIn;
    c.loginId = NextId(c);
    Arm(self, c, c.limits.login);
    Send(self, c, rcon::EncodePacket(c.loginId, rcon::kTypeAuth, c.password));
    Read(self, c);
  }

  static void Send(const Self& self, Impl& c, std::string bytes) {
    c.output = std::move(bytes);
    asio::async_write(c.socket, asio::buffer(c.output),
                      [self, generation = c.generation](const ErrorCode& error, std::size_t) {
                        Impl& c = *self->impl_;
                        if (!error || c.generation != generation) return;
                        Lost(self, c, error.message());
                      });
  }

  static void Read(const Self& self, Impl& c) {
    c.socket.async_read_some(asio::buffer(c.readBuffer),
                             [self, generation = c.generation](const ErrorCode& error, std::size_t bytes) {
                               Impl& c = *self->impl_;
                               if (c.generation != generation) return;
                               if (error) return Lost(self, c, error.message());
                               c.input.append(c.readBuffer, bytes);
                               if (!Parse(self, c)) return;
                               Read(self, c);
                             });
  }

  // False when the connection ended on the way.
  static bool Parse(const Self& self, Impl& c) {
    const std::uint64_t generation = c.generation;
    std::size_t offset = 0;
    for (;;) {
      const rcon::Decoded decoded = rcon::DecodePacket(std::string_view(c.input).substr(offset));
      if (decoded.framing == rcon::Framing::Incomplete) break;
      if (decoded.framing == rcon::Framing::Malformed) {
        Lost(self, c, "the server sent a malformed packet");
        return false;
      }
      offset += decoded.length;
      OnPacket(self, c, decoded.packet);
      if (c.generation != generation) return false;
    }
    c.input.erase(0, offset);
    return true;
  }

  static void OnPacket(const Self& self, Impl& c, const rcon::Packet& packet) {
    if (c.phase == Impl::Phase::LoggingIn) {
      // An empty RESPONSE_VALUE some servers send ahead of the login's answer is skipped.
      if (packet.type != rcon::kTypeAuthResponse) return;
      if (packet.id == rcon::kFailedAuthId) return Refused(c);
      if (packet.id != c.loginId) return;
      c.phase = Impl::Phase::Ready;
      c.deadline.cancel();
      SetState(c, RconState::Answering, {});
      return Next(self, c);
    }
    if (!c.current) return;
    if (packet.id == c.current->commandId) {
      c.current->reply.append(packet.body);
      return;
    }
    if (packet.id != c.current->probeId) return;
    Pending done = std::move(*c.current);
    c.current.reset();
    c.deadline.cancel();
    done.done({rcon::SanitizeUtf8(done.reply), {}, 200});
    Next(self, c);
  }

  static void Refused(Impl& c) {
    Drop(c);
    SetState(c, RconState::PasswordRefused, "password refused");
    FailAll(c, kPasswordRefused, kUnreachableStatus);
  }

  // A connection that ends is made again at once; only when that fails is the server unreachable.
  static void Lost(const Self& self, Impl& c, const std::string& why) {
    const bool wasReady = c.phase == Impl::Phase::Ready;
    std::optional<Pending> interrupted = std::move(c.current);
    c.current.reset();
    Drop(c);
    if (interrupted) interrupted->done({{}, "the connection was lost before the reply: " + why, kUnreachableStatus});
    if (!wasReady) return Unreachable(self, c, why);
    Connect(self, c);
  }

  static void Next(const Self& self, Impl& c) {
    if (c.phase != Impl::Phase::Ready || c.current || c.queue.empty()) return;
    c.current = std::move(c.queue.front());
    c.queue.pop_front();
    c.current->commandId = NextId(c);
    c.current->probeId = NextId(c);
    Arm(self, c, c.limits.answer);
    Send(self, c,
         rcon::EncodePacket(c.current->commandId, rcon::kTypeExecCommand, c.current->line) +
             rcon::EncodePacket(c.current->probeId, rcon::kTypeExecCommand, ""));
  }

  static void Run(const Self& self, Impl& c, std::string line, std::function<void(LineAnswer)> done) {
    if (line.empty() || line.size() > rcon::kMaxBodyBytes || line.find('\0') != std::string::npos) {
      return done({{}, "a command line is 1 to " + std::to_string(rcon::kMaxBodyBytes) + " bytes without NUL", 400});
    }
    if (c.stopped) return done({{}, "the console is stopping", kUnreachableStatus});
    if (c.state == RconState::NoPassword) return done({{}, kNoPassword, kUnreachableStatus});
    if (c.state == RconState::PasswordRefused && c.phase == Impl::Phase::Idle) {
      return done({{}, kPasswordRefused, kUnreachableStatus});
    }
    // Unreachable: answered at once; the background attempts bring it back.
    if (c.state == RconState::Unreachable && c.phase == Impl::Phase::Idle) {
      return done({{}, NotAnswering(c.address, c.reason), kUnreachableStatus});
    }
    c.queue.push_back({std::move(line), std::move(done), 0, 0, {}});
    if (c.phase == Impl::Phase::Idle) return Connect(self, c);
    Next(self, c);
  }
};

RconClient::RconClient(asio::io_context& io, RconAddress address, std::string password, RconLimits limits,
                       StateListener listener)
    : impl_(std::make_unique<Impl>(io, std::move(address), std::move(password), limits, std::move(listener))) {}

RconClient::~RconClient() = default;

std::shared_ptr<RconClient> RconClient::Create(asio::io_context& io, RconAddress address, std::string password,
                                               RconLimits limits, StateListener listener) {
  return std::shared_ptr<RconClient>(
      new RconClient(io, std::move(address), std::move(password), limits, std::move(listener)));
}

void RconClient::Start() { RconSteps::Connect(shared_from_this(), *impl_); }

void RconClient::Stop() {
  Impl& c = *impl_;
  c.stopped = true;
  c.retryTimer.cancel();
  RconSteps::Drop(c);
  RconSteps::FailAll(c, "the console is stopping", kUnreachableStatus);
}

void RconClient::SetPassword(std::string password) {
  Impl& c = *impl_;
  c.password = std::move(password);
  RconSteps::Drop(c);
  c.retryTimer.cancel();
  RconSteps::SetState(c, RconState::Connecting, {});
  RconSteps::Connect(shared_from_this(), c);
}

void RconClient::Run(std::string line, std::function<void(LineAnswer answer)> done) {
  RconSteps::Run(shared_from_this(), *impl_, std::move(line), std::move(done));
}

RconState RconClient::State() const { return impl_->state; }

const std::string& RconClient::Reason() const { return impl_->reason; }

const RconAddress& RconClient::Address() const { return impl_->address; }

}  // namespace live
