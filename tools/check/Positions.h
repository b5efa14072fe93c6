// Where each key and value of a configuration file stands, and which names an object repeats, read by RapidJSON's
// SAX reader from the file's bytes. The plug-in's own reading knows neither.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace check::detail {

// Byte offsets into the file, [begin, end).
struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// 1-based; columns count characters, not bytes. 0 when the place is unknown.
struct Place {
  int line = 0;
  int column = 0;
};

class Positions {
 public:
  // Reads the first JSON value of `bytes` (after a UTF-8 byte-order mark); Known() is false when it does not parse.
  explicit Positions(std::string bytes);
  // Names view the reader's copy of the file: a copy of the positions would view the original's.
  Positions(const Positions&) = delete;
  Positions& operator=(const Positions&) = delete;
  Positions(Positions&&) = default;
  Positions& operator=(Positions&&) = default;

  bool Known() const { return known_; }
  const std::string& Bytes() const { return bytes_; }

  // The span of the value `tokens` lead to, or of its key; when a token is not found, the span of the deepest value
  // that is (the document itself at least).
  Span Find(const std::vector<std::string>& tokens, bool key) const;
  bool Exists(const std::vector<std::string>& tokens) const;
  // Where the file goes on after its first value, when it does.
  std::optional<std::size_t> Trailing() const { return trailing_; }

  // A name written more than once in one object: the tokens of that object and the spans of every occurrence.
  struct Repeat {
    std::vector<std::string> object;
    std::string name;
    std::vector<Span> keys;
    std::vector<Span> values;
  };
  std::vector<Repeat> Repeats() const;

  // Line and column of each offset, in one pass over the bytes.
  std::vector<Place> Places(const std::vector<std::size_t>& offsets) const;

  struct Entry {
    std::string_view name;  // the name as read, in the reader's own copy of the file; empty in arrays
    Span key;
    Span value;
    std::int32_t container = -1;  // the value's own entries, when it is an object or an array
  };
  struct Written {
    std::uint32_t last = 0;
    bool repeated = false;
  };
  struct Container {
    bool object = false;
    std::int32_t parent = -1;
    std::size_t parentEntry = 0;
    std::vector<Entry> entries;
    std::unordered_map<std::string_view, Written> last;  // a large object's names: where each was last written
    // The entry a name was last written in; entries.size() when it is not there.
    std::size_t LastOf(std::string_view name) const;
    std::vector<std::string_view> repeated;  // names written more than once, in order of the repeat
  };

 private:
  friend class PositionReader;
  std::vector<std::string> TokensOf(std::int32_t container) const;

  std::string bytes_;
  // The file as the reader leaves it: each name decoded in place, where entries view it. Moved, it stays where it is.
  std::vector<char> names_;
  bool known_ = false;
  Span root_;
  std::int32_t rootContainer_ = -1;
  std::optional<std::size_t> trailing_;
  std::vector<Container> containers_;
};

}  // namespace check::detail
