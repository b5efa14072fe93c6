// The game's string and array buffers, growth rule and text conversions.
#include "host/EngineTypes.h"

#include <cstring>
#include <limits>

#include "host/GameAccess.h"

namespace host {

void* GameMalloc(std::size_t size) { return Call<members::Malloc>(size, std::uint32_t{0}); }

void GameFree(void* buffer) { Call<members::Free>(buffer); }

void* GameGrow(void* buffer, std::size_t size) {
  if (buffer == nullptr) return GameMalloc(size);
  return Call<members::Realloc>(buffer, size);
}

std::int32_t GrownCapacity(std::int32_t oldCapacity, std::int32_t needed) {
  if (oldCapacity == 0 && needed <= 4) return 4;
  const std::int64_t grown = std::int64_t{needed} + 3 * std::int64_t{needed} / 8 + 16;
  if (grown > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(grown);
}

OwnedString::~OwnedString() { Release(); }

OwnedString::OwnedString(const OwnedString& other) : EngineString() { *this = CopyOf(other); }

OwnedString& OwnedString::operator=(const OwnedString& other) {
  if (this != &other) *this = CopyOf(other);
  return *this;
}

OwnedString::OwnedString(OwnedString&& other) noexcept : EngineString() {
  data = std::exchange(other.data, nullptr);
  count = std::exchange(other.count, 0);
  capacity = std::exchange(other.capacity, 0);
}

OwnedString& OwnedString::operator=(OwnedString&& other) noexcept {
  if (this == &other) return *this;
  Release();
  data = std::exchange(other.data, nullptr);
  count = std::exchange(other.count, 0);
  capacity = std::exchange(other.capacity, 0);
  return *this;
}

void OwnedString::Release() noexcept {
  if (data != nullptr) GameFree(data);
  data = nullptr;
  count = 0;
  capacity = 0;
}

void OwnedString::Reserve(std::int32_t neededCount) {
  if (neededCount <= capacity) return;
  const std::int32_t grown = GrownCapacity(capacity, neededCount);
  data = static_cast<char16_t*>(GameGrow(data, static_cast<std::size_t>(grown) * sizeof(char16_t)));
  capacity = grown;
}

void OwnedString::Append(std::u16string_view units) {
  if (units.empty()) return;
  const std::int32_t length = Length();
  const auto needed = static_cast<std::int32_t>(length + static_cast<std::int64_t>(units.size()) + 1);
  Reserve(needed);
  std::memcpy(data + length, units.data(), units.size() * sizeof(char16_t));
  data[needed - 1] = u'\0';
  count = needed;
}

OwnedString OwnedString::FromNarrow(std::string_view text) {
  OwnedString result;
  const std::size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  if (text.empty()) return result;
  const auto needed = static_cast<std::int32_t>(text.size() + 1);
  result.Reserve(needed);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    result.data[i] = byte < 0x80 ? static_cast<char16_t>(byte) : u'?';
  }
  result.data[text.size()] = u'\0';
  result.count = needed;
  return result;
}

OwnedString OwnedString::FromUtf16(std::u16string_view units) {
  OwnedString result;
  result.Append(units);
  return result;
}

OwnedString OwnedString::FromWide(std::wstring_view text) {
  if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
    return FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
  } else {
    std::u16string units;
    units.reserve(text.size());
    for (const wchar_t wide : text) {
      const auto point = static_cast<std::uint32_t>(wide);
      if (point < 0x10000) {
        units.push_back(static_cast<char16_t>(point));
      } else if (point <= 0x10FFFF) {
        units.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
      } else {
        units.push_back(u'\uFFFD');
      }
    }
    return FromUtf16(units);
  }
}

OwnedString OwnedString::CopyOf(const EngineString& source) {
  OwnedString copy;
  if (source.data == nullptr || source.count <= 0) return copy;
  copy.data = static_cast<char16_t*>(GameMalloc(static_cast<std::size_t>(source.count) * sizeof(char16_t)));
  std::memcpy(copy.data, source.data, static_cast<std::size_t>(source.count) * sizeof(char16_t));
  copy.count = source.count;
  copy.capacity = source.count;
  return copy;
}

std::u16string_view OwnedString::ViewOf(const EngineString& text) {
  if (text.data == nullptr || text.count <= 1) return {};
  return {text.data, static_cast<std::size_t>(text.count - 1)};
}

std::string OwnedString::ToUtf8(const EngineString& text) { return Utf16ToUtf8(ViewOf(text)); }

}  // namespace host
