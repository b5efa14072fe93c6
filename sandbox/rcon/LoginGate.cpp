// The RCON login gate: turns, back-off and eviction ranks, kept apart from sockets so each rule reads alone.
#include "LoginGate.h"

#include <algorithm>

namespace sandbox::rcon {

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

bool SamePassword(std::string_view given, std::string_view expected) {
  // Touches every byte whatever matches, so timing reveals no prefix. `expected` is never empty.
  unsigned difference = given.size() == expected.size() ? 0U : 1U;
  for (std::size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(expected[i % expected.size()]);
  }
  return difference == 0;
}

std::optional<int> EvictionRank(Standing standing) {
  switch (standing) {
    case Standing::Leaving:
      return 0;
    case Standing::ShowedWrong:
      return 1;
    case Standing::SentNothing:
      return 2;
    case Standing::Kept:
      return std::nullopt;
  }
  return std::nullopt;
}

LoginTurns::LoginTurns(int perSecond)
    : interval_(std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / std::max(perSecond, 1)) {}

void LoginTurns::Queue(std::uint64_t connection) { waiting_.push_back(connection); }

void LoginTurns::Forget(std::uint64_t connection) { std::erase(waiting_, connection); }

void LoginTurns::Clear() {
  waiting_.clear();
  nextTurnAt_ = {};
}

LoginTurns::Next LoginTurns::Take(Clock::time_point now) {
  if (waiting_.empty()) return {};
  if (now < nextTurnAt_) return {std::nullopt, nextTurnAt_};
  const std::uint64_t connection = waiting_.front();
  waiting_.pop_front();
  // A timer that fired late does not push every later turn back, which would stretch the administrator's wait:
  // up to one turn of lateness is made up, so no second holds more than perSecond + 1 turns.
  nextTurnAt_ = std::max(nextTurnAt_, now - interval_) + interval_;
  return {connection, std::nullopt};
}

}  // namespace sandbox::rcon
