// Lets the listener's tests reach states no client can cause, such as a failing network thread.
#pragma once

#include <string>

#include "RconServer.h"

namespace sandbox::rcon {

struct TestSeam {
  // Throws `reason` from inside the running network thread, as an unexpected failure there would.
  static void FailNetworkThread(Server& server, const std::string& reason);
};

}  // namespace sandbox::rcon
