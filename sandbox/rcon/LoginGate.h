// The RCON login gate: the pacing of login answers, the back-off after failures, and who makes way for a newcomer.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string_view>

namespace sandbox::rcon {

using Clock = std::chrono::steady_clock;

// `at` plus `span`, where a span too large for the clock means "never" rather than an overflow.
template <class Rep, class Period>
Clock::time_point SaturatingAdd(Clock::time_point at, std::chrono::duration<Rep, Period> span) {
  using Span = std::chrono::duration<Rep, Period>;
  if (span <= Span::zero()) return at;
  // Compared in the coarser unit: converting `span` to clock ticks first could itself overflow.
  if (span >= std::chrono::floor<Span>(Clock::time_point::max() - at)) return Clock::time_point::max();
  return at + std::chrono::duration_cast<Clock::duration>(span);
}

// The wait before a connection's next login after `failures` failed ones: `first`, doubling per further failure.
std::chrono::milliseconds RetryDelay(std::chrono::milliseconds first, unsigned failures);

// Whether a login's password is the server's, in a time that does not depend on where they first differ.
bool SamePassword(std::string_view given, std::string_view expected);

// Where a connection stands when a newcomer needs its place.
enum class Standing {
  Leaving,      // closing or lingering: on its way out
  ShowedWrong,  // its last password was wrong: not the administrator about to log in
  SentNothing,  // no login yet: may be the administrator
  Kept,         // logged in, or its right password waits for its answer: never evicted
};

// Lower goes first; none for a connection that is kept.
std::optional<int> EvictionRank(Standing standing);

// The turns at which logins are answered: at most `perSecond` a second across all connections, in the order they
// became due. Right and wrong passwords wait alike: an earlier answer for the right one would tell a guesser that
// every guess still unanswered was wrong.
class LoginTurns {
 public:
  explicit LoginTurns(int perSecond);

  void Queue(std::uint64_t connection);
  void Forget(std::uint64_t connection);
  void Clear();

  struct Next {
    std::optional<std::uint64_t> connection;  // whose turn it is now
    std::optional<Clock::time_point> wakeAt;  // when to ask again, while turns wait for their time
  };
  Next Take(Clock::time_point now);

 private:
  Clock::duration interval_;
  std::deque<std::uint64_t> waiting_;
  Clock::time_point nextTurnAt_{};
};

}  // namespace sandbox::rcon
