// The server's game loop: a stop ends it cleanly, a failed network thread ends it with an error that is reported.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

#include "sandbox/server/GameLoop.h"

namespace {

using Executor = std::function<std::string(const std::string&)>;

// Runs one command per call; from call `failAt` on it throws, as a listener whose network thread has died.
struct FakeListener {
  int failAt = -1;
  int calls = 0;
  int stops = 0;
  std::size_t RunPending(const Executor& execute, std::chrono::milliseconds) {
    if (calls == failAt) throw std::runtime_error("accept failed: EMFILE");
    execute(std::to_string(++calls));
    return 1;
  }
  void Stop() { ++stops; }
};

TEST(GameLoopTest, EndsOnStopOrOnListenerFailure) {
  struct Case {
    int failAt;
    int status;
    std::string ran;
    std::string reported;
  };
  const Case cases[] = {{-1, 0, "123", ""}, {1, 1, "1", "accept failed: EMFILE"}, {0, 1, "", "accept failed: EMFILE"}};
  for (const auto& c : cases) {
    FakeListener listener{c.failAt};
    std::string ran;
    std::string reported;
    const Executor execute = [&](const std::string& line) {
      ran += line;
      return std::string();
    };
    const int status = sandbox::server::RunGameLoop(
        listener, execute, [&] { return listener.calls >= 3; }, [&](const std::string& why) { reported += why; });
    EXPECT_EQ(status, c.status) << c.failAt;
    EXPECT_EQ(ran, c.ran) << c.failAt;
    EXPECT_EQ(reported, c.reported) << c.failAt;
    EXPECT_EQ(listener.stops, 1) << c.failAt << ": the listener must be stopped either way";
  }
}

}  // namespace
