// The server's game loop: a stop ends it cleanly, a failing listener ends it with an error that is reported.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sandbox/rcon/RconServer.h"
#include "sandbox/rcon/RconServerTestSeam.h"
#include "sandbox/server/GameLoop.h"

namespace {

TEST(GameLoopTest, EndsOnStopOrOnListenerFailure) {
  for (const bool fail : {false, true}) {
    sandbox::server::GameLoop game;
    sandbox::rcon::Options options;
    options.password = "pw";
    sandbox::rcon::Server server(game.Executor(), options, [](const std::string&) { return std::string(); });
    server.Start();
    ASSERT_NE(server.Port(), 0);
    std::string reported;
    // Without a failure the loop is asked to stop at its first look; a failure must end it well before the deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    if (fail) sandbox::rcon::TestSeam::FailListener(server, "injected failure");
    const auto stopRequested = [&] { return !fail || std::chrono::steady_clock::now() > deadline; };
    const int status = game.Run(
        stopRequested, [&](const std::string& why) { reported += why; }, [&] { server.Stop(); });
    EXPECT_EQ(status, fail ? 1 : 0);
    EXPECT_EQ(reported.find("injected failure") != std::string::npos, fail) << reported;
    EXPECT_EQ(server.Port(), 0) << "the listener must be stopped either way";
    EXPECT_LT(std::chrono::steady_clock::now(), deadline);
  }
}

}  // namespace
