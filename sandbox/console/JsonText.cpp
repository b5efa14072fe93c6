// The JSON string escaper behind the console's large answers.
#include "sandbox/console/JsonText.h"

#include <iterator>

#include <utf8cpp/utf8.h>

namespace sandbox::console {
namespace {

bool NeedsEscape(unsigned char byte) { return byte < 0x20 || byte == '"' || byte == '\\'; }

void AppendValidString(std::string& out, std::string_view text) {
  constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plainFrom = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (!NeedsEscape(byte)) continue;
    out.append(text.data() + plainFrom, i - plainFrom);
    plainFrom = i + 1;
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
  }
  out.append(text.data() + plainFrom, text.size() - plainFrom);
  out += '"';
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  if (utf8::find_invalid(text.begin(), text.end()) == text.end()) return AppendValidString(out, text);
  std::string valid;
  utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
  AppendValidString(out, valid);
}

}  // namespace sandbox::console
