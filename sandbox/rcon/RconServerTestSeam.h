// Lets the listener's tests reach states no client can cause, such as a failing handler on the game thread.
#pragma once

#include <string>

#include "RconServer.h"

namespace sandbox::rcon {

struct TestSeam {
  // Throws `reason` from a handler on the listener's executor, as an unexpected failure there would.
  static void FailListener(Server& server, const std::string& reason);
};

}  // namespace sandbox::rcon
