// One RCON connection: framing, login and replies on the game thread's executor, commands posted into it in order.
#include "RconConnection.h"

#include <utility>
#include <vector>

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include "RconPacket.h"

namespace sandbox::rcon {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;

// One write carries at most this much, so a huge backlog cannot pin a large gather list.
constexpr std::size_t kMaxWriteBytes = 64 * 1024;
// How long a connection closed after its last answer keeps draining input: closing a socket with unread
// input resets the connection, and a reset can destroy answers the client has not read yet.
constexpr std::chrono::seconds kLinger{2};

}  // namespace

Connection::Connection(tcp::socket socket, std::uint64_t serial, const Options& options, const Executor& execute,
                       ConnectionOwner& owner)
    : serial_(serial),
      options_(options),
      execute_(execute),
      owner_(owner),
      socket_(std::move(socket)),
      loginDeadline_(socket_.get_executor()),
      backoffTimer_(socket_.get_executor()),
      gapTimer_(socket_.get_executor()),
      lingerTimer_(socket_.get_executor()) {}

void Connection::Start() {
  ErrorCode ignored;
  // Replies are small and latency matters more than segment count.
  socket_.set_option(tcp::no_delay(true), ignored);
  const auto deadline = SaturatingAdd(Clock::now(), options_.loginTimeout);
  if (options_.loginTimeout.count() > 0 && deadline != Clock::time_point::max()) {
    loginBy_ = deadline;
    loginDeadline_.expires_at(deadline);
    loginDeadline_.async_wait([self = shared_from_this()](const ErrorCode& error) {
      // A waiting login is left to its answer: closing only wrong ones early would tell them apart.
      if (!error && (self->phase_ == Phase::LoggingIn || self->phase_ == Phase::Closing)) self->Drop();
    });
  }
  Pump();
}

Standing Connection::StandingForEviction() const {
  switch (phase_) {
    case Phase::Closing:
    case Phase::Lingering:
      return Standing::Leaving;
    case Phase::LoginWaiting:
      return waitingLoginRight_ ? Standing::Kept : Standing::ShowedWrong;
    case Phase::LoggingIn:
      return failedLogins_ > 0 ? Standing::ShowedWrong : Standing::SentNothing;
    case Phase::LoggedIn:
    case Phase::Closed:
      return Standing::Kept;
  }
  return Standing::Kept;
}

// Moves the connection on as far as it can go: parses what it has, writes, then reads or closes.
void Connection::Pump() {
  if (phase_ == Phase::Closed || phase_ == Phase::Lingering) return;
  Parse();
  if (phase_ == Phase::Closed) return;
  Write();
  if (Finished()) {
    Finish();
    return;
  }
  Read();
}

void Connection::Read() {
  if (reader_ != Reader::Idle || phase_ == Phase::Closed) return;
  if (phase_ != Phase::Lingering) {
    // A waiting login holds back what follows it, and a client that does not read its answers gets no more.
    if (phase_ == Phase::Closing || phase_ == Phase::LoginWaiting) return;
    if (outputBytes_ >= options_.maxOutputBytes) return;
  }
  reader_ = Reader::Reading;
  socket_.async_read_some(
      asio::buffer(readBuffer_),
      [self = shared_from_this()](const ErrorCode& error, std::size_t bytes) { self->OnRead(error, bytes); });
}

void Connection::OnRead(const ErrorCode& error, std::size_t bytes) {
  reader_ = Reader::Idle;
  if (phase_ == Phase::Closed) return;
  if (error == asio::error::eof && phase_ != Phase::Lingering) {
    // A half-close: what arrived still runs and is answered, then the connection closes.
    reader_ = Reader::Ended;
    Pump();
    return;
  }
  if (error) {
    Drop();
    return;
  }
  if (phase_ == Phase::Lingering) {
    Read();
    return;
  }
  input_.append(readBuffer_.data(), bytes);
  Pump();
}

void Connection::Parse() {
  // Everything complete is consumed each time, so the input stays below one packet plus one read.
  std::size_t offset = 0;
  while (phase_ == Phase::LoggingIn || phase_ == Phase::LoggedIn) {
    const Decoded decoded = DecodePacket(std::string_view(input_).substr(offset));
    if (decoded.framing == Framing::Incomplete) break;
    if (decoded.framing == Framing::Malformed) {
      Drop();
      return;
    }
    offset += decoded.length;
    Dispatch(decoded.packet.id, decoded.packet.type, decoded.packet.body);
  }
  if (phase_ != Phase::Closed) input_.erase(0, offset);
}

void Connection::Dispatch(std::int32_t id, std::int32_t type, std::string_view body) {
  if (type == kTypeAuth) {
    HandleLogin(id, body);
    return;
  }
  if (phase_ != Phase::LoggedIn) {
    phase_ = Phase::Closing;
    return;
  }
  if (type == kTypeExecCommand) {
    if (body.empty()) {
      Enqueue(id, Job::EmptyValue);
    } else {
      Enqueue(id, Job::Execute, SanitizeUtf8(body));
    }
    return;
  }
  if (type == kTypeResponseValue) {
    Enqueue(id, Job::EmptyValue);
    return;
  }
  Drop();
}

void Connection::HandleLogin(std::int32_t id, std::string_view password) {
  const bool right = id != kFailedAuthId && SamePassword(password, options_.password);
  if (phase_ == Phase::LoggedIn) {
    // The session proved itself already; the answer only says whether this password was right.
    Enqueue(id, right ? Job::LoginAccepted : Job::LoginRejected);
    return;
  }
  if (id == kFailedAuthId) {
    // Success would be answered with -1 too, which every client reads as a failure.
    QueueAuthAnswer(id, kFailedAuthId);
    phase_ = Phase::Closing;
    return;
  }
  // Checked at once, so a newcomer never evicts a connection holding the right password; only the answer waits.
  phase_ = Phase::LoginWaiting;
  waitingLoginId_ = id;
  waitingLoginRight_ = right;
  if (Clock::now() >= nextLoginAt_) {
    owner_.QueueLoginTurn(serial_);
    return;
  }
  backoffTimer_.expires_at(nextLoginAt_);
  backoffTimer_.async_wait([self = shared_from_this()](const ErrorCode& error) {
    if (error || self->phase_ != Phase::LoginWaiting) return;
    self->owner_.QueueLoginTurn(self->serial_);
  });
}

void Connection::TakeLoginTurn() {
  if (phase_ != Phase::LoginWaiting) return;
  if (waitingLoginRight_) {
    phase_ = Phase::LoggedIn;
    QueueAuthAnswer(waitingLoginId_, waitingLoginId_);
  } else {
    QueueAuthAnswer(waitingLoginId_, kFailedAuthId);
    ++failedLogins_;
    phase_ = Phase::LoggingIn;
    nextLoginAt_ = SaturatingAdd(Clock::now(), RetryDelay(options_.loginRetryDelay, failedLogins_));
    // Out of time while its login waited: answered, then closed as the login deadline would have.
    if (failedLogins_ >= static_cast<unsigned>(options_.maxLoginAttempts) || Clock::now() >= loginBy_) {
      phase_ = Phase::Closing;
    }
  }
  // Posted: the turn may be served inside this connection's own Parse.
  asio::post(socket_.get_executor(), [self = shared_from_this()] { self->Pump(); });
}

void Connection::Enqueue(std::int32_t id, Job job, std::string line) {
  if (job != Job::Execute && inFlight_ == 0) {
    Answer(id, job, {});
    return;
  }
  if (inFlight_ >= options_.maxQueuedPerConnection) {
    Drop();
    return;
  }
  ++inFlight_;
  asio::post(socket_.get_executor(),
             [self = shared_from_this(), id, job, line = std::move(line)] { self->Run(id, job, line); });
}

// The game thread's turn for one line. Lines of a connection that has closed meanwhile are dropped: nobody is
// left to read their answers, and a client cycling connections must not make the game run its work.
void Connection::Run(std::int32_t id, Job job, const std::string& line) {
  if (phase_ == Phase::Closed) return;
  std::string text;
  if (job == Job::Execute) {
    try {
      text = execute_(line);
    } catch (const std::exception& error) {
      text = std::string("error: ") + error.what();
    } catch (...) {
      text = "error: command failed";
    }
    if (phase_ == Phase::Closed) return;
  }
  --inFlight_;
  Answer(id, job, text);
  Pump();
}

void Connection::Answer(std::int32_t id, Job job, std::string_view text) {
  switch (job) {
    case Job::LoginAccepted:
      QueueAuthAnswer(id, id);
      return;
    case Job::LoginRejected:
      QueueAuthAnswer(id, kFailedAuthId);
      return;
    case Job::Execute:
    case Job::EmptyValue:
      QueueReply(id, text);
      return;
  }
}

void Connection::QueueAuthAnswer(std::int32_t requestId, std::int32_t answerId) {
  if (options_.emptyValueBeforeAuthResponse) QueuePacket(EncodePacket(requestId, kTypeResponseValue, {}), true);
  QueuePacket(EncodePacket(answerId, kTypeAuthResponse, {}), false);
}

void Connection::QueueReply(std::int32_t id, std::string_view text) {
  const std::string clean = SanitizeUtf8(text);
  const std::vector<std::string_view> bodies = SplitReply(clean);
  for (const std::string_view body : bodies) QueuePacket(EncodePacket(id, kTypeResponseValue, body), bodies.size() > 1);
}

void Connection::QueuePacket(std::string packet, bool pauseAfter) {
  outputBytes_ += packet.size();
  output_.push_back({std::move(packet), pauseAfter && options_.packetGap.count() > 0});
}

void Connection::Write() {
  if (writer_ != Writer::Idle || output_.empty()) return;
  std::vector<asio::const_buffer> buffers;
  std::size_t bytes = 0;
  for (const OutPacket& packet : output_) {
    buffers.push_back(asio::buffer(packet.bytes));
    bytes += packet.bytes.size();
    if (packet.pauseAfter || bytes >= kMaxWriteBytes) break;
  }
  writer_ = Writer::Writing;
  packetsInWrite_ = buffers.size();
  // The packets stay at the front of the deque, which keeps their bytes in place, until the write completes.
  asio::async_write(socket_, buffers,
                    [self = shared_from_this()](const ErrorCode& error, std::size_t) { self->OnWrite(error); });
}

void Connection::OnWrite(const ErrorCode& error) {
  writer_ = Writer::Idle;
  if (phase_ == Phase::Closed) return;
  if (error) {
    Drop();
    return;
  }
  bool pause = false;
  for (std::size_t i = 0; i < packetsInWrite_; ++i) {
    outputBytes_ -= output_.front().bytes.size();
    pause = output_.front().pauseAfter;
    output_.pop_front();
  }
  packetsInWrite_ = 0;
  if (pause) {
    writer_ = Writer::Pausing;
    gapTimer_.expires_at(SaturatingAdd(Clock::now(), options_.packetGap));
    gapTimer_.async_wait([self = shared_from_this()](const ErrorCode&) {
      if (self->writer_ == Writer::Pausing) self->writer_ = Writer::Idle;
      self->Pump();
    });
  }
  Pump();
}

bool Connection::Finished() const {
  if (phase_ == Phase::LoginWaiting) return false;
  if (phase_ != Phase::Closing && reader_ != Reader::Ended) return false;
  return inFlight_ == 0 && output_.empty() && writer_ == Writer::Idle;
}

void Connection::Finish() {
  ErrorCode ignored;
  if (reader_ == Reader::Ended) {
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    Drop();
    return;
  }
  phase_ = Phase::Lingering;
  socket_.shutdown(tcp::socket::shutdown_send, ignored);
  loginDeadline_.cancel();
  backoffTimer_.cancel();
  gapTimer_.cancel();
  lingerTimer_.expires_after(kLinger);
  lingerTimer_.async_wait([self = shared_from_this()](const ErrorCode& error) {
    if (!error) self->Drop();
  });
  Read();
}

void Connection::Drop() {
  if (phase_ == Phase::Closed) return;
  phase_ = Phase::Closed;
  ErrorCode ignored;
  socket_.close(ignored);
  loginDeadline_.cancel();
  backoffTimer_.cancel();
  gapTimer_.cancel();
  lingerTimer_.cancel();
  owner_.Closed(serial_);
}

}  // namespace sandbox::rcon
