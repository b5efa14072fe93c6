// The server's game thread: commands from the network listener run here, one at a time.
#pragma once

#include <chrono>
#include <exception>
#include <string>

namespace sandbox::server {

// Runs what the listener has queued until `stopRequested()` holds, then stops the listener. The listener throws
// from RunPending when its network thread has failed: the failure goes to `reportFailure`, the listener is stopped
// and the result is 1, so a server that can no longer be reached does not go on looking alive. 0 after a stop.
template <typename Listener, typename Executor, typename StopRequested, typename ReportFailure>
int RunGameLoop(Listener& listener, const Executor& execute, const StopRequested& stopRequested,
                const ReportFailure& reportFailure) {
  try {
    while (!stopRequested()) listener.RunPending(execute, std::chrono::milliseconds(200));
  } catch (const std::exception& error) {
    reportFailure(std::string(error.what()));
    listener.Stop();
    return 1;
  }
  listener.Stop();
  return 0;
}

}  // namespace sandbox::server
