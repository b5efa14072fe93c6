// Source RCON listener: the acceptor and the connections it holds; each connection runs itself (RconConnection).
#include "RconServer.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>

#include "LoginGate.h"
#include "RconConnection.h"
#include "RconPacket.h"
#include "RconServerTestSeam.h"

namespace sandbox::rcon {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;

// Pause before accepting again when the process is out of descriptors or memory.
constexpr std::chrono::milliseconds kAcceptBackoff{100};

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

void Listen(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, ErrorCode& error) {
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
  ErrorCode ignored;
  acceptor.close(ignored);
}

// An empty address means every interface: IPv6 and IPv4 on one socket where the system allows it.
tcp::acceptor OpenAcceptor(asio::io_context& io, const Options& options) {
  ErrorCode error;
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

bool IsTransientAcceptError(const ErrorCode& error) {
  return error == asio::error::connection_aborted || error == asio::error::connection_reset ||
         error == asio::error::interrupted || error == asio::error::would_block || error == asio::error::try_again;
}

// Only a broken listening socket ends the listener. Every other failure belongs to the one connection being
// accepted (a firewall refusal, a network gone down under it) or to a passing shortage of resources.
bool IsListenerBroken(const ErrorCode& error) {
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

bool IsNumericAddress(const std::string& address) {
  ErrorCode error;
  asio::ip::make_address(address, error);
  return !error;
}

bool IsLoopbackAddress(const std::string& address) {
  if (address.empty()) return false;
  ErrorCode error;
  const auto parsed = asio::ip::make_address(address, error);
  if (error) return false;
  if (parsed.is_v6() && parsed.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, parsed.to_v6()).is_loopback();
  }
  return parsed.is_loopback();
}

struct Server::Impl final : ConnectionOwner, std::enable_shared_from_this<Server::Impl> {
  Impl(asio::io_context& game, Options opts, Executor run)
      : io(game), options(std::move(opts)), execute(std::move(run)), turns(options.loginsPerSecond) {}

  void Start();
  void Stop();
  void Accept();
  void OnAccept(const ErrorCode& error, tcp::socket socket);
  void Admit(tcp::socket socket);
  bool MakeRoom();
  void ServeLoginTurns();
  void QueueLoginTurn(std::uint64_t connection) override;
  void Closed(std::uint64_t connection) override;

  asio::io_context& io;
  const Options options;
  const Executor execute;
  std::uint16_t port = 0;
  std::optional<tcp::acceptor> acceptor;
  std::optional<asio::steady_timer> acceptBackoff;
  std::optional<asio::steady_timer> turnTimer;  // the next login turn, while one is due and waiting for it
  bool turnTimerArmed = false;
  std::map<std::uint64_t, std::shared_ptr<Connection>> connections;  // by serial, so the first is the oldest
  std::uint64_t nextSerial = 1;
  LoginTurns turns;
};

void Server::Impl::Start() {
  if (acceptor) throw std::runtime_error("RCON: server is already running");
  ValidateOptions(options);
  acceptor.emplace(OpenAcceptor(io, options));
  port = acceptor->local_endpoint().port();
  acceptBackoff.emplace(io);
  turnTimer.emplace(io);
  turnTimerArmed = false;
  turns.Clear();
  Accept();
}

void Server::Impl::Stop() {
  if (!acceptor) return;
  // Each drop erases its own entry; the copy keeps the connection alive through its own Drop.
  while (!connections.empty()) {
    const auto connection = connections.begin()->second;
    connection->Drop();
  }
  turns.Clear();
  acceptBackoff.reset();
  turnTimer.reset();
  acceptor.reset();
  port = 0;
}

void Server::Impl::Accept() {
  // Handlers hold the listener, so one that runs after Stop, or after the Server is gone, finds it still there.
  acceptor->async_accept([self = shared_from_this()](const ErrorCode& error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !self->acceptor) return;
    self->OnAccept(error, std::move(socket));
  });
}

void Server::Impl::OnAccept(const ErrorCode& error, tcp::socket socket) {
  if (!error) {
    Admit(std::move(socket));
    Accept();
    return;
  }
  if (IsTransientAcceptError(error)) {
    Accept();
    return;
  }
  if (IsListenerBroken(error)) throw boost::system::system_error(error, "RCON: accepting connections failed");
  // A connection that could not be taken may stay queued and would fail every accept at once.
  acceptBackoff->expires_after(kAcceptBackoff);
  acceptBackoff->async_wait([self = shared_from_this()](const ErrorCode& waited) {
    if (!waited && self->acceptor) self->Accept();
  });
}

void Server::Impl::Admit(tcp::socket socket) {
  if (connections.size() >= static_cast<std::size_t>(options.maxConnections) && !MakeRoom()) {
    ErrorCode ignored;
    socket.close(ignored);
    return;
  }
  auto connection = std::make_shared<Connection>(std::move(socket), nextSerial++, options, execute, *this);
  connections.emplace(connection->Serial(), connection);
  connection->Start();
}

// Evicts the connection that ranks first, oldest first within a rank; false when every one is kept.
bool Server::Impl::MakeRoom() {
  std::shared_ptr<Connection> victim;
  std::optional<int> victimRank;
  for (const auto& [serial, candidate] : connections) {
    const auto rank = EvictionRank(candidate->StandingForEviction());
    if (rank && (!victimRank || *rank < *victimRank)) {
      victim = candidate;
      victimRank = rank;
    }
  }
  if (!victim) return false;
  victim->Drop();
  return true;
}

void Server::Impl::QueueLoginTurn(std::uint64_t connection) {
  turns.Queue(connection);
  ServeLoginTurns();
}

void Server::Impl::ServeLoginTurns() {
  while (!turnTimerArmed) {
    const LoginTurns::Next next = turns.Take(Clock::now());
    if (next.wakeAt) {
      turnTimerArmed = true;
      turnTimer->expires_at(*next.wakeAt);
      turnTimer->async_wait([self = shared_from_this()](const ErrorCode& error) {
        if (error || !self->acceptor) return;
        self->turnTimerArmed = false;
        self->ServeLoginTurns();
      });
      return;
    }
    if (!next.connection) return;
    if (const auto found = connections.find(*next.connection); found != connections.end()) {
      found->second->TakeLoginTurn();
    }
  }
}

void Server::Impl::Closed(std::uint64_t connection) {
  // An evicted login is never answered.
  turns.Forget(connection);
  connections.erase(connection);
}

Server::Server(asio::io_context& game, Options options, Executor execute)
    : impl_(std::make_shared<Impl>(game, std::move(options), std::move(execute))) {}

Server::~Server() { Stop(); }

void Server::Start() { impl_->Start(); }

std::uint16_t Server::Port() const { return impl_->port; }

void Server::Stop() { impl_->Stop(); }

void TestSeam::FailListener(Server& server, const std::string& reason) {
  asio::post(server.impl_->io, [reason] { throw std::runtime_error(reason); });
}

}  // namespace sandbox::rcon
