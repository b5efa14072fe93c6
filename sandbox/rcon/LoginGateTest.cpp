// The login gate on its own: turns at the pace and in order, the back-off, and the ranks newcomers evict by.
#include "LoginGate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using sandbox::rcon::Clock;
using sandbox::rcon::EvictionRank;
using sandbox::rcon::LoginTurns;
using sandbox::rcon::Standing;

TEST(LoginGate, EvictionRanksLeavingThenWrongThenSilentAndKeepsTheRest) {
  EXPECT_LT(*EvictionRank(Standing::Leaving), *EvictionRank(Standing::ShowedWrong));
  EXPECT_LT(*EvictionRank(Standing::ShowedWrong), *EvictionRank(Standing::SentNothing));
  EXPECT_FALSE(EvictionRank(Standing::Kept));
}

TEST(LoginGate, TurnsComeInOrderAtThePaceAndMakeUpOneLateTurn) {
  LoginTurns turns(10);  // one every 100 ms
  const auto start = Clock::now();
  EXPECT_FALSE(turns.Take(start).connection) << "nothing queued";
  for (std::uint64_t connection : {1, 2, 3, 4, 5}) turns.Queue(connection);
  turns.Forget(2);
  // The first turn finds the gate idle since long ago: it and one made-up turn are due at once.
  EXPECT_EQ(turns.Take(start).connection, 1U);
  EXPECT_EQ(turns.Take(start).connection, 3U);
  const auto wait = turns.Take(start);
  EXPECT_FALSE(wait.connection);
  ASSERT_TRUE(wait.wakeAt);
  EXPECT_EQ(*wait.wakeAt - start, 100ms);
  EXPECT_EQ(turns.Take(*wait.wakeAt).connection, 4U);
  // Asked 250 ms late: one turn of lateness is made up at once, not more.
  const auto late = *wait.wakeAt + 250ms;
  EXPECT_EQ(turns.Take(late).connection, 5U);
  for (std::uint64_t connection : {6, 7}) turns.Queue(connection);
  EXPECT_EQ(turns.Take(late).connection, 6U);
  const auto next = turns.Take(late);
  EXPECT_FALSE(next.connection);
  ASSERT_TRUE(next.wakeAt);
  EXPECT_EQ(*next.wakeAt - late, 100ms);
}

TEST(LoginGate, RetryDelayDoublesAndSaturates) {
  struct Case {
    std::chrono::milliseconds first;
    unsigned failures;
    std::chrono::milliseconds delay;
  };
  const Case cases[] = {
      {1000ms, 1, 1000ms},
      {1000ms, 2, 2000ms},
      {1000ms, 4, 8000ms},
      {0ms, 3, 0ms},
      {std::chrono::milliseconds::max() / 3, 3, std::chrono::milliseconds::max()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sandbox::rcon::RetryDelay(c.first, c.failures), c.delay) << c.first.count() << " x" << c.failures;
  }
  EXPECT_EQ(sandbox::rcon::SaturatingAdd(Clock::now(), std::chrono::seconds::max()), Clock::time_point::max());
}

TEST(LoginGate, PasswordsCompareWhole) {
  EXPECT_TRUE(sandbox::rcon::SamePassword("hunter2", "hunter2"));
  for (const char* other : {"hunter", "hunter23", "hunter3", "", "hunter2hunter2"}) {
    EXPECT_FALSE(sandbox::rcon::SamePassword(other, "hunter2")) << other;
  }
}

}  // namespace
