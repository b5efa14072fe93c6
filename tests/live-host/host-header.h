// Stands in for a live host's own interface header in the live-host build test: this project's declarations,
// announced in the build's output so the test can see the header was the one compiled against.
#pragma once
#pragma message("TIDYWARDEN_HOST_API_HEADER in use")
#include "host/HostInterface.h"
