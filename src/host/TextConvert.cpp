// UTF-16 to UTF-8: WideCharToMultiByte on Windows, an equivalent converter elsewhere.
#include <string>
#include <string_view>

#include "host/EngineTypes.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace host {

#if defined(_WIN32)

std::string Utf16ToUtf8(std::u16string_view units) {
  if (units.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(units.data());
  const int length = static_cast<int>(units.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), size, nullptr, nullptr);
  return text;
}

#else

namespace {

void AppendUtf8(std::string& out, char32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string Utf16ToUtf8(std::u16string_view units) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      const char32_t point = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{units[i + 1]} - 0xDC00);
      AppendUtf8(text, point);
      ++i;
      continue;
    }
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(text, 0xFFFD);
      continue;
    }
    AppendUtf8(text, unit);
  }
  return text;
}

#endif

}  // namespace host
