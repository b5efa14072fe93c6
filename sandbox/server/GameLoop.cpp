// The game loop: the game thread's executor, watched for a stop request.
#include "sandbox/server/GameLoop.h"

#include <chrono>
#include <exception>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

namespace sandbox::server {
namespace {

// A stop request is a flag a signal handler sets, so it is looked at rather than waited on; work never waits for it.
constexpr auto kStopCheck = std::chrono::milliseconds(200);

void WatchForStop(boost::asio::io_context& game, boost::asio::steady_timer& timer,
                  const std::function<bool()>& stopRequested) {
  if (stopRequested()) {
    game.stop();
    return;
  }
  timer.expires_after(kStopCheck);
  timer.async_wait([&game, &timer, &stopRequested](const boost::system::error_code& error) {
    if (!error) WatchForStop(game, timer, stopRequested);
  });
}

}  // namespace

// One thread: the sockets' work is small beside the game's, and the game's code must never run elsewhere.
GameLoop::GameLoop() : io_(std::make_unique<boost::asio::io_context>(1)) {}

GameLoop::~GameLoop() = default;

int GameLoop::Run(const std::function<bool()>& stopRequested,
                  const std::function<void(const std::string&)>& reportFailure,
                  const std::function<void()>& stopListeners) {
  boost::asio::steady_timer watch(*io_);
  int status = 0;
  try {
    io_->restart();
    WatchForStop(*io_, watch, stopRequested);
    io_->run();
  } catch (const std::exception& error) {
    reportFailure(error.what());
    status = 1;
  } catch (...) {
    reportFailure("unknown error");
    status = 1;
  }
  watch.cancel();
  // Handlers left queued (the cancelled watch among them) see only their cancellation if ever run.
  stopListeners();
  return status;
}

}  // namespace sandbox::server
