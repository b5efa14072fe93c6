// Source RCON listener for the simulated host: sockets, logins and commands all on the game thread's executor.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace boost::asio {
class io_context;
}

namespace sandbox::rcon {

struct Options {
  std::string bindAddress = "127.0.0.1";  // numeric IPv4/IPv6; empty means every interface
  std::uint16_t port = 0;                 // 0 picks a free port; see Server::Port()
  std::string password;                   // required: an open console would run anyone's commands
  // Connections served at once. A newcomer finding every place taken evicts a connection that has not logged in
  // (see Server), so idle sockets can never keep an administrator out; when every place is held by a logged-in
  // session or a connection whose password was right, the newcomer is closed at once.
  int maxConnections = 16;
  // Logins answered per second across all connections, one at a time in the order they became due. A wrong
  // password is refused and a right one accepted only when its turn comes, so wrong answers are capped at this
  // rate, and an administrator on a fresh connection waits at most maxConnections / loginsPerSecond seconds for
  // a turn. (A login evicted before its turn tells its sender it was wrong all the same: a right one would have
  // stayed. Keeping the administrator in comes first.)
  int loginsPerSecond = 20;
  // Failed logins allowed on one connection; the last is answered with id -1 and the connection then closed.
  int maxLoginAttempts = 5;
  // How long a connection's next login waits after its first failure; each further failure doubles it.
  std::chrono::milliseconds loginRetryDelay{1000};
  std::size_t maxQueuedPerConnection = 64;  // a client with more commands waiting is disconnected
  // Once this many reply bytes wait for a client, its input is no longer read until it catches up.
  std::size_t maxOutputBytes = 1 << 20;
  // A connection that has not logged in by then is closed; one whose login is waiting, once that is answered
  // wrong. 0 disables.
  std::chrono::seconds loginTimeout{30};
  // Pause after each packet of a reply split over several packets, the last one included, before whatever that
  // connection is sent next. The npm client rcon-srcds decodes every chunk its socket delivers as exactly one
  // packet: without the pauses the packets of a split reply, and behind its last one the answers to the end
  // probes the client sends after each full packet, arrive together and corrupt the reply. It waits for each
  // answer before sending the next command, so single-packet replies need no pause and pipelining clients get
  // theirs back to back.
  std::chrono::milliseconds packetGap{10};
  // Precede every AUTH_RESPONSE with an empty RESPONSE_VALUE, packetGap apart. Off by default: Debian's
  // rconclt reads each packet through a fresh buffer and loses the second whenever both arrive together,
  // while clients that skip to the AUTH_RESPONSE work either way.
  bool emptyValueBeforeAuthResponse = false;
};

// Why a password cannot serve as the RCON password (empty text when it can): it must be non-empty, fit in one
// login packet and hold no NUL byte.
std::string PasswordProblem(const std::string& password);

// Whether `address` is a numeric IPv4 or IPv6 address, as Options::bindAddress takes it.
bool IsNumericAddress(const std::string& address);
// Whether a numeric address reaches only this machine. The empty address (every interface) does not.
bool IsLoopbackAddress(const std::string& address);

// Runs one command line (UTF-8) on the game thread and returns the reply text (UTF-8, may be empty). An exception
// becomes an "error: ..." reply.
using Executor = std::function<std::string(const std::string& line)>;

// Protocol choices a client can observe:
//  - Login: the right password is answered with an AUTH_RESPONSE carrying the request id, a wrong one with
//    id -1. A connection has at most one login waiting. Its password is checked as soon as it is read; the
//    answer waits for the connection's turn: at most Options::loginsPerSecond logins are answered per second
//    across all connections, in the order they became due, whether right or wrong. After a failure that
//    connection's next login becomes due only once loginRetryDelay has passed, doubling with each further
//    failure; the maxLoginAttempts-th failure is answered and the connection closed. Nothing is kept per
//    address, so the right password on a fresh connection always works.
//  - A newcomer finding all maxConnections places taken evicts, oldest first, a connection on its way out, else
//    one whose last password was wrong, else one that has not sent a login yet. A logged-in session and a
//    connection whose right password waits for its answer are never evicted. An evicted login is not answered.
//  - A login with id -1 is refused whatever the password: an answer of -1 would read as a failure. It is
//    answered with id -1 and the connection closed (a logged-in session stays open and logged in).
//  - A login on a logged-in connection is answered in order behind earlier replies (its id or -1); the
//    session stays logged in either way.
//  - Anything but a login before a successful login closes the connection once earlier answers are sent.
//  - Malformed framing (size outside [10, 4096], missing NUL terminator, NUL inside the body, unknown
//    packet type) closes the connection.
//  - An empty command line and a RESPONSE_VALUE packet from the client are answered with an empty
//    RESPONSE_VALUE carrying the request id, behind every earlier reply on that connection, without
//    reaching the executor. Clients use this to find the end of a reply split over several packets.
//  - Replies are split into packets of at most 4086 body bytes on code point boundaries, all with the
//    request id. Invalid UTF-8 in either direction is replaced by U+FFFD, one per offending byte.
//  - When a client shuts down its sending side, the commands it sent still run and every reply is sent
//    before the connection is closed.
//  - Commands still queued when their connection closes are dropped; one already running finishes.
class Server {
 public:
  // Sockets, timers and commands all run on whichever thread runs `game`: the game thread.
  Server(boost::asio::io_context& game, Options options, Executor execute);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and starts accepting. Throws std::runtime_error on bad options or socket failures, or if already
  // running. May be called again after Stop(). Call it, like Stop(), while `game` is not running or from a
  // handler running on it.
  void Start();
  // The bound port while running, 0 otherwise.
  std::uint16_t Port() const;
  // Closes every connection; commands not yet run are dropped. Idempotent.
  void Stop();

 private:
  friend struct TestSeam;
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace sandbox::rcon
