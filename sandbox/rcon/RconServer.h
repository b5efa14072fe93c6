// Source RCON listener for the simulated host: sockets on an I/O thread, commands on the game thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sandbox::rcon {

struct Options {
  std::string bindAddress = "127.0.0.1";  // numeric IPv4/IPv6; empty means every interface
  std::uint16_t port = 0;                 // 0 picks a free port; see Server::Port()
  std::string password;                   // required: an open console would run anyone's commands
  int maxConnections = 16;                // further connections are accepted and closed at once
  int maxFailedLogins = 5;                // failures from one address within `lockout` before it is locked out
  std::chrono::seconds lockout{60};
  std::size_t maxQueuedPerConnection = 64;  // a client with more commands waiting is disconnected
  // Once this many reply bytes wait for a client, its input is no longer read until it catches up.
  std::size_t maxOutputBytes = 1 << 20;
  // A connection that has not logged in by then is closed, so idle sockets cannot hold every slot. 0 disables.
  std::chrono::seconds loginTimeout{30};
  // Pause after each packet written to a client. Some clients treat every read as exactly one packet.
  std::chrono::milliseconds packetGap{10};
  // Precede the AUTH_RESPONSE with an empty RESPONSE_VALUE (sent separately, packetGap apart).
  // Off by default: a client that reads through a fresh buffer per packet loses the second one
  // whenever both arrive together, while clients that skip to the AUTH_RESPONSE work either way.
  bool emptyValueBeforeAuthResponse = false;
};

// Runs one command line (UTF-8) on the game thread and returns the reply text (UTF-8, may be empty).
using Executor = std::function<std::string(const std::string& line)>;

// Protocol choices a client can observe:
//  - A wrong password is answered with an AUTH_RESPONSE whose id is -1; the connection stays open
//    until the address is locked out, after which logins are answered with -1 and the connection closed.
//  - Anything but a login before a successful login closes the connection.
//  - Malformed framing (size outside [10, 4096], missing NUL terminator, NUL inside the body, unknown
//    packet type) closes the connection.
//  - An empty command line and a RESPONSE_VALUE packet from the client are answered with an empty
//    RESPONSE_VALUE carrying the request id, behind every earlier reply on that connection, without
//    reaching the executor. Clients use this to find the end of a reply split over several packets.
//  - Replies are split into packets of at most 4086 body bytes on code point boundaries, all with the
//    request id. Invalid UTF-8 in either direction is replaced by U+FFFD.
//  - Commands still queued when their connection closes are dropped; one already running finishes.
class Server {
 public:
  explicit Server(Options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and starts the I/O thread. Throws std::runtime_error on bad options or socket failures,
  // or if already running. May be called again after Stop().
  void Start();
  // The bound port while running, 0 otherwise.
  std::uint16_t Port() const;
  // Closes every connection and joins the I/O thread. Queued commands are discarded. Idempotent.
  void Stop();

  // Called repeatedly by the game thread. Waits up to `timeout` for queued command lines, runs those
  // queued at that moment through `execute` one at a time and hands the replies to the I/O thread.
  // Returns the number of lines run. An exception from `execute` becomes an "error: ..." reply.
  std::size_t RunPending(const Executor& execute, std::chrono::milliseconds timeout);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sandbox::rcon
