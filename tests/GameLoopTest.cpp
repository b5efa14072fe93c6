// The server's game loop: a stop ends it cleanly, a failed network thread ends it with an error that is reported.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sandbox/server/GameLoop.h"

namespace {

using Executor = std::function<std::string(const std::string&)>;

// Runs one queued line per call; throws as a listener does once its network thread has died.
struct FakeListener {
  std::vector<std::string> queued;
  int callsBeforeFailure = -1;  // -1: never fails
  int calls = 0;
  int stops = 0;

  std::size_t RunPending(const Executor& execute, std::chrono::milliseconds) {
    if (callsBeforeFailure >= 0 && calls == callsBeforeFailure) throw std::runtime_error("accept failed: EMFILE");
    ++calls;
    if (static_cast<std::size_t>(calls) > queued.size()) return 0;
    execute(queued[static_cast<std::size_t>(calls) - 1]);
    return 1;
  }
  void Stop() { ++stops; }
};

TEST(GameLoopTest, EndsOnStopOrOnListenerFailure) {
  struct Case {
    const char* name;
    int callsBeforeFailure;
    int status;
    std::vector<std::string> ran;
    const char* reported;
  };
  const Case cases[] = {
      {"stopped after the third call", -1, 0, {"a", "b", "c"}, ""},
      {"failed after one command", 1, 1, {"a"}, "accept failed: EMFILE"},
      {"failed at once", 0, 1, {}, "accept failed: EMFILE"},
  };
  for (const auto& c : cases) {
    FakeListener listener;
    listener.queued = {"a", "b", "c", "d"};
    listener.callsBeforeFailure = c.callsBeforeFailure;
    std::vector<std::string> ran;
    std::string reported;
    const Executor execute = [&](const std::string& line) {
      ran.push_back(line);
      return std::string();
    };
    const auto stopRequested = [&] { return listener.calls >= 3; };
    const int status = sandbox::server::RunGameLoop(listener, execute, stopRequested,
                                                    [&](const std::string& failure) { reported += failure; });
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(ran, c.ran) << c.name;
    EXPECT_EQ(reported, c.reported) << c.name;
    EXPECT_EQ(listener.stops, 1) << c.name << ": the listener must be stopped either way";
  }
}

}  // namespace
