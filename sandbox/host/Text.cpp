// UTF-8 to UTF-16 for texts entering the simulated game; the reverse reuses the plug-in layer's converter.
#include "sandbox/host/Text.h"

#include <iterator>

#include <utf8cpp/utf8.h>

#include "host/EngineTypes.h"

namespace sandbox {

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  if (utf8::find_invalid(text.begin(), text.end()) == text.end()) {
    utf8::unchecked::utf8to16(text.begin(), text.end(), std::back_inserter(units));
    return units;
  }
  // Repaired first, each malformed sequence becoming one U+FFFD, so the conversion cannot throw.
  std::string valid;
  valid.reserve(text.size());
  utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
  utf8::unchecked::utf8to16(valid.begin(), valid.end(), std::back_inserter(units));
  return units;
}

std::string Utf16ToUtf8(std::u16string_view units) { return host::Utf16ToUtf8(units); }

}  // namespace sandbox
