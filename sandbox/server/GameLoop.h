// The server's game thread: the one executor RCON and the console post their work into, run in arrival order.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace boost::asio {
class io_context;
}

namespace sandbox::server {

class GameLoop {
 public:
  GameLoop();
  ~GameLoop();
  GameLoop(const GameLoop&) = delete;
  GameLoop& operator=(const GameLoop&) = delete;

  // What the listeners serve their connections and run their commands on.
  boost::asio::io_context& Executor() { return *io_; }

  // Runs the executor on the calling thread, which sleeps until work arrives, until `stopRequested()` holds; then
  // `stopListeners` closes every connection and the result is 0. A handler that throws (a listener that can no
  // longer serve) goes to `reportFailure`, the listeners are stopped all the same and the result is 1, so a
  // server that can no longer be reached does not go on looking alive.
  int Run(const std::function<bool()>& stopRequested, const std::function<void(const std::string&)>& reportFailure,
          const std::function<void()>& stopListeners);

 private:
  std::unique_ptr<boost::asio::io_context> io_;
};

}  // namespace sandbox::server
