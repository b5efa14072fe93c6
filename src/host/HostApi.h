// The seam between the plug-in and its host: the host's interface declarations, this project's own by default.
#pragma once

// A build for a live host compiles against the host's own declarations instead, through a header that provides the
// names HostInterface.h declares (CMake option TIDYWARDEN_HOST_API_HEADER). Only src/host uses these names.
#if defined(TIDYWARDEN_HOST_API_HEADER)
#include TIDYWARDEN_HOST_API_HEADER
#else
#include "host/HostInterface.h"
#endif
