// What the server program needs from the operating system: the project's shared seam, and the module's place.
#pragma once

#include <string>

#include "sandbox/platform/Platform.h"

namespace sandbox::server::platform {

using namespace sandbox::platform;

// The plug-in module beside the running program, as a server installation has it, in the encoding the module
// loader takes.
inline std::string DefaultPluginPath() {
#if defined(_WIN32)
  return ProgramFolder() + "Tidywarden.dll";
#else
  return ProgramFolder() + "Tidywarden.so";
#endif
}

}  // namespace sandbox::server::platform
