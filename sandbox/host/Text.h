// Text conversions the simulated host needs at its edges.
#pragma once

#include <string>
#include <string_view>

#include "sandbox/host/Sandbox.h"

namespace sandbox {

// Invalid sequences become U+FFFD.
SANDBOX_API std::u16string Utf8ToUtf16(std::string_view text);
SANDBOX_API std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace sandbox
