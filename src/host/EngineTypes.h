// Owning wrappers for the game's string and array: every buffer comes from and goes back to the game allocator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "host/HostApi.h"

namespace host {

void* GameMalloc(std::size_t size);
void GameFree(void* buffer);
// A first buffer comes from Malloc, a larger one for a buffer already held from Realloc.
void* GameGrow(void* buffer, std::size_t size);

// The engine's growth rule for a container that must hold `needed` elements.
std::int32_t GrownCapacity(std::int32_t oldCapacity, std::int32_t needed);

// UTF-16 to UTF-8 as the game's platform converts it (unpaired surrogates become U+FFFD).
std::string Utf16ToUtf8(std::u16string_view units);

class OwnedString : public EngineString {
 public:
  OwnedString() = default;
  ~OwnedString();
  OwnedString(const OwnedString& other);
  OwnedString& operator=(const OwnedString& other);
  OwnedString(OwnedString&& other) noexcept;
  OwnedString& operator=(OwnedString&& other) noexcept;

  // Bytes up to the first NUL become one unit each; a byte with its high bit set becomes '?'.
  static OwnedString FromNarrow(std::string_view text);
  // Wide text as the platform's wchar_t holds it (UTF-16 on Windows, UTF-32 elsewhere).
  static OwnedString FromWide(std::wstring_view text);
  static OwnedString FromUtf16(std::u16string_view units);
  // Same count and units, capacity equal to count.
  static OwnedString CopyOf(const EngineString& source);

  // Units before the terminator; empty when there is no buffer.
  std::u16string_view View() const { return ViewOf(*this); }
  static std::u16string_view ViewOf(const EngineString& text);
  std::int32_t Length() const { return count > 0 ? count - 1 : 0; }

  void Append(std::u16string_view units);
  std::string ToUtf8() const { return ToUtf8(*this); }
  static std::string ToUtf8(const EngineString& text);

 private:
  void Release() noexcept;
  void Reserve(std::int32_t neededCount);
};

// A game array with its own buffer. Elements are relocated by the allocator's Realloc, as the engine does.
template <typename T>
class OwnedArray : public EngineArray<T> {
 public:
  OwnedArray() = default;
  ~OwnedArray() { Release(); }
  OwnedArray(const OwnedArray&) = delete;
  OwnedArray& operator=(const OwnedArray&) = delete;
  OwnedArray(OwnedArray&& other) noexcept { Steal(other); }
  OwnedArray& operator=(OwnedArray&& other) noexcept {
    if (this != &other) {
      Release();
      Steal(other);
    }
    return *this;
  }

  // One allocation, capacity equal to count; elements are copied as they stand (references only).
  static OwnedArray CopyOf(const EngineArray<T>& source) {
    OwnedArray copy;
    if (source.count <= 0 || source.data == nullptr) return copy;
    copy.data = static_cast<T*>(GameMalloc(static_cast<std::size_t>(source.count) * sizeof(T)));
    for (std::int32_t i = 0; i < source.count; ++i) new (copy.data + i) T(source.data[i]);
    copy.count = source.count;
    copy.capacity = source.count;
    return copy;
  }

  void Add(T value) {
    if (this->count >= this->capacity) {
      const std::int32_t grown = GrownCapacity(this->capacity, this->count + 1);
      this->data = static_cast<T*>(GameGrow(this->data, static_cast<std::size_t>(grown) * sizeof(T)));
      this->capacity = grown;
    }
    new (this->data + this->count) T(std::move(value));
    ++this->count;
  }

  T* begin() const { return this->data; }
  T* end() const { return this->data + (this->count > 0 ? this->count : 0); }
  std::int32_t Num() const { return this->count; }
  T& operator[](std::int32_t index) const { return this->data[index]; }

 private:
  void Release() noexcept {
    if (this->data == nullptr) return;
    for (std::int32_t i = 0; i < this->count; ++i) this->data[i].~T();
    GameFree(this->data);
    this->data = nullptr;
    this->count = 0;
    this->capacity = 0;
  }
  void Steal(OwnedArray& other) noexcept {
    this->data = std::exchange(other.data, nullptr);
    this->count = std::exchange(other.count, 0);
    this->capacity = std::exchange(other.capacity, 0);
  }
};

}  // namespace host
