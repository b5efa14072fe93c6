// The server's game loop: a stop ends it cleanly, a failed network thread ends it with an error that is reported.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sandbox/rcon/RconServer.h"
#include "sandbox/rcon/RconServerTestSeam.h"
#include "sandbox/server/GameLoop.h"

namespace {

TEST(GameLoopTest, EndsOnStopOrOnListenerFailure) {
  for (const bool fail : {false, true}) {
    sandbox::rcon::Options options;
    options.password = "pw";
    sandbox::rcon::Server server(options);
    server.Start();
    ASSERT_NE(server.Port(), 0);
    std::string reported;
    // Without a failure the loop is asked to stop at its first turn; a failure must end it well before the deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool injected = false;
    const auto stopRequested = [&] {
      if (!fail) return true;
      if (!injected) sandbox::rcon::TestSeam::FailNetworkThread(server, "injected failure");
      injected = true;
      return std::chrono::steady_clock::now() > deadline;
    };
    const int status = sandbox::server::RunGameLoop(
        server, [](const std::string&) { return std::string(); }, stopRequested,
        [&](const std::string& why) { reported += why; });
    EXPECT_EQ(status, fail ? 1 : 0);
    EXPECT_EQ(reported.find("injected failure") != std::string::npos, fail) << reported;
    EXPECT_EQ(server.Port(), 0) << "the listener must be stopped either way";
  }
}

}  // namespace
