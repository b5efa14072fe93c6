// Text conversions the simulated host needs at its edges.
#pragma once

#include <string>
#include <string_view>

namespace sandbox {

// Invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace sandbox
