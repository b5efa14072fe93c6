// UTF-8 to UTF-16 for texts entering the simulated game; the reverse reuses the plug-in layer's converter.
#include "sandbox/Text.h"

#include <cstdint>

#include "host/EngineTypes.h"

namespace sandbox {
namespace {

// Decodes one scalar value at `text[i]`, advancing `i`; U+FFFD for anything malformed.
char32_t DecodeOne(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t point = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    point = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    point = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    point = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0xFFFD;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size()) return 0xFFFD;
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0xFFFD;
    point = (point << 6) | (next & 0x3F);
    ++i;
  }
  if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0xFFFD;
  return point;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char32_t point = DecodeOne(text, i);
    if (point < 0x10000) {
      units.push_back(static_cast<char16_t>(point));
      continue;
    }
    units.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
    units.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
  }
  return units;
}

std::string Utf16ToUtf8(std::u16string_view units) { return host::Utf16ToUtf8(units); }

}  // namespace sandbox
