// JSON text written straight into a string, for answers too large to build as a document first.
#pragma once

#include <charconv>
#include <concepts>
#include <string>
#include <string_view>

namespace sandbox::console {

// `text` as a JSON string: quotes, backslashes and control characters escaped, everything else as it is. Bytes that
// are not UTF-8 become U+FFFD, so the answer stays valid JSON whatever a name holds.
void AppendJsonString(std::string& out, std::string_view text);

template <std::integral Number>
void AppendJsonNumber(std::string& out, Number value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

inline void AppendJsonBool(std::string& out, bool value) { out += value ? "true" : "false"; }

}  // namespace sandbox::console
