// The live console's Source RCON client: one connection kept logged in, commands answered in order, time limits.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sandbox/console/ConfigRoutes.h"

namespace boost::asio {
class io_context;
}

namespace live {

using sandbox::console::LineAnswer;

// What the page shows of a server's RCON port.
enum class RconState {
  Connecting,       // the first connection is being made
  Answering,        // logged in
  Unreachable,      // no connection or no login answer; retried in the background
  PasswordRefused,  // the server refused the password; not tried again until another is given
  NoPassword,       // none given yet: the page asks for it
};
std::string_view StateName(RconState state);

struct RconAddress {
  std::string host = "127.0.0.1";  // a numeric address or a name
  std::uint16_t port = 27020;
};
// "HOST:PORT", "[IPv6]:PORT" or "HOST" (the default port); nothing for anything else.
std::optional<RconAddress> ParseRconAddress(std::string_view text);
std::string AddressText(const RconAddress& address);

struct RconLimits {
  std::chrono::milliseconds connect{3000};  // resolving the name and connecting
  std::chrono::milliseconds login{5000};    // the login's answer: servers pace logins
  std::chrono::milliseconds answer{8000};   // each command's whole reply
  std::chrono::milliseconds retry{2000};    // between attempts while unreachable
};

// Everything runs on whichever thread runs `io`; call it from there (or before it runs).
//
// A command is sent with an empty command behind it; the reply is every packet carrying the command's id up to the
// one carrying the empty command's, so a reply split over several packets comes back whole. A connection lost while
// a command waits answers that command with an error, never sends it again (it may have run), and is made again
// for the next one.
class RconClient : public std::enable_shared_from_this<RconClient> {
 public:
  using StateListener = std::function<void(RconState state, const std::string& reason)>;

  static std::shared_ptr<RconClient> Create(boost::asio::io_context& io, RconAddress address, std::string password,
                                            RconLimits limits, StateListener listener);
  ~RconClient();

  // The first connection, or NoPassword when there is no password yet.
  void Start();
  // Closes the connection and stops retrying; waiting commands are answered with an error.
  void Stop();
  // Logs in again with this password (typed into the page); kept in memory only.
  void SetPassword(std::string password);
  // Runs one command line; `done` is called once with the reply or, at once when the server cannot be reached,
  // with the reason.
  void Run(std::string line, std::function<void(LineAnswer answer)> done);

  RconState State() const;
  const std::string& Reason() const;
  const RconAddress& Address() const;

 private:
  RconClient(boost::asio::io_context& io, RconAddress address, std::string password, RconLimits limits,
             StateListener listener);
  friend class RconSteps;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace live
