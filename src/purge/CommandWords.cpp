// Splitting an RCON command line into words at single spaces.
#include <string_view>

#include "purge/Purge.h"

host::OwnedArray<host::OwnedString> SplitCommandWords(const EngineString& text) {
  host::OwnedArray<host::OwnedString> words;
  if (text.data == nullptr || text.count <= 0 || text.data[0] == u'\0') return words;
  // Never past the buffer's own count, even when a client's text lacks its terminator.
  std::u16string_view line(text.data, static_cast<std::size_t>(text.count));
  line = line.substr(0, line.find(u'\0'));
  std::size_t position = 0;
  while (position < line.size()) {
    const std::size_t space = line.find(u' ', position);
    const std::size_t end = space == std::u16string_view::npos ? line.size() : space;
    if (end > position) words.Add(host::OwnedString::FromUtf16(line.substr(position, end - position)));
    if (space == std::u16string_view::npos) break;
    position = space + 1;
  }
  return words;
}
