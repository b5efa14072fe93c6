// One RCON client connection: its socket, buffers, timers and phase, from the first byte to the close.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "LoginGate.h"
#include "RconServer.h"

namespace sandbox::rcon {

// What a connection needs of the listener that accepted it.
class ConnectionOwner {
 public:
  // The connection's login has been read and checked; its answer waits for a turn.
  virtual void QueueLoginTurn(std::uint64_t connection) = 0;
  // The connection is closed and must be forgotten.
  virtual void Closed(std::uint64_t connection) = 0;

 protected:
  ~ConnectionOwner() = default;
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(boost::asio::ip::tcp::socket socket, std::uint64_t serial, const Options& options, const Executor& execute,
             ConnectionOwner& owner);

  // Arms the login deadline and starts reading.
  void Start();
  std::uint64_t Serial() const { return serial_; }
  Standing StandingForEviction() const;
  // The connection's login turn has come: answers the login waiting for it.
  void TakeLoginTurn();
  // Closes at once: nothing more is sent, queued commands are dropped, a waiting login is never answered.
  void Drop();

 private:
  // Where the connection is in its life; reading and writing go on beside it (see Reader and Writer).
  enum class Phase {
    LoggingIn,     // not logged in yet; logins are read
    LoginWaiting,  // a login has been read and checked, its answer is held back; nothing further is read
    LoggedIn,
    Closing,    // nothing more is read; closes once every answer is sent
    Lingering,  // every answer sent and the sending side shut down; draining input before closing
    Closed,
  };
  enum class Reader { Idle, Reading, Ended /* the client shut down its sending side */ };
  enum class Writer { Idle, Writing, Pausing /* Options::packetGap after a packet of a split reply */ };
  enum class Job {
    Execute,        // run the line, answer with its reply
    EmptyValue,     // holds the place of an empty answer behind earlier replies
    LoginAccepted,  // a login on a logged-in connection, answered in order
    LoginRejected,
  };
  struct OutPacket {
    std::string bytes;
    bool pauseAfter = false;  // the next packet waits Options::packetGap
  };

  void Pump();
  void Read();
  void OnRead(const boost::system::error_code& error, std::size_t bytes);
  void Parse();
  void Dispatch(std::int32_t id, std::int32_t type, std::string_view body);
  void HandleLogin(std::int32_t id, std::string_view password);
  void Enqueue(std::int32_t id, Job job, std::string line = {});
  void Run(std::int32_t id, Job job, const std::string& line);
  void Answer(std::int32_t id, Job job, std::string_view text);
  void QueueAuthAnswer(std::int32_t requestId, std::int32_t answerId);
  void QueueReply(std::int32_t id, std::string_view text);
  void QueuePacket(std::string packet, bool pauseAfter);
  void Write();
  void OnWrite(const boost::system::error_code& error);
  bool Finished() const;
  void Finish();

  const std::uint64_t serial_;  // never reused, so late work cannot reach a newer connection
  const Options& options_;
  const Executor& execute_;
  ConnectionOwner& owner_;
  boost::asio::ip::tcp::socket socket_;
  boost::asio::steady_timer loginDeadline_;  // closes a connection that has not logged in in time
  boost::asio::steady_timer backoffTimer_;   // holds a login's turn until the delay after earlier failures
  boost::asio::steady_timer gapTimer_;       // Writer::Pausing
  boost::asio::steady_timer lingerTimer_;    // Phase::Lingering
  Phase phase_ = Phase::LoggingIn;
  Reader reader_ = Reader::Idle;
  Writer writer_ = Writer::Idle;
  std::int32_t waitingLoginId_ = 0;  // Phase::LoginWaiting
  bool waitingLoginRight_ = false;
  std::array<char, 8192> readBuffer_{};
  std::string input_;
  std::deque<OutPacket> output_;  // one encoded packet per entry, so writes can pause between packets
  std::size_t outputBytes_ = 0;
  std::size_t packetsInWrite_ = 0;
  std::size_t inFlight_ = 0;  // posted to the game thread and not yet answered
  unsigned failedLogins_ = 0;
  Clock::time_point loginBy_ = Clock::time_point::max();  // Options::loginTimeout
  Clock::time_point nextLoginAt_{};                       // a login's turn is held back until then
};

}  // namespace sandbox::rcon
