// The places of keys and values, from RapidJSON's SAX reader: it reports every key of an object, repeated ones too.
#include "Positions.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>
#include <utility>

// Every x86-64 processor has SSE2, with which the reader skips whitespace and copies strings sixteen bytes at a time.
#if defined(__SSE2__) || defined(_M_X64)
#define RAPIDJSON_SSE2
#endif
#include <rapidjson/reader.h>
#include <rapidjson/stream.h>

namespace check::detail {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The reader's stream stands at the opening quote of a string, the first character of a number and the bracket of
// an object or array while it reports them (it parses those on a copy of the stream), and after a literal.
class PositionReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, PositionReader> {
 public:
  PositionReader(Positions& positions, rapidjson::InsituStringStream& stream, std::size_t base)
      : positions_(positions), stream_(stream), base_(base) {}

  bool Null() { return Literal(4); }
  bool Bool(bool value) { return Literal(value ? 4 : 5); }
  bool RawNumber(const char*, rapidjson::SizeType length, bool) {
    const std::size_t begin = Here();
    return Value({begin, begin + length}, -1);
  }
  bool String(const char*, rapidjson::SizeType, bool) { return Value(StringAt(Here()), -1); }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    auto& container = positions_.containers_[stack_.back()];
    container.entries.push_back({std::string_view(text, length), StringAt(Here()), {}, -1});
    return true;
  }
  bool StartObject() { return Open(true); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool StartArray() { return Open(false); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

 private:
  // Few names are compared with each other; many are indexed, where each name was last written.
  static void IndexNames(Positions::Container& container) {
    constexpr std::size_t kCompared = 16;
    auto& entries = container.entries;
    if (entries.size() <= kCompared) {
      for (std::size_t i = 1; i < entries.size(); ++i) {
        bool earlier = false;
        bool listed = false;
        for (std::size_t j = 0; j < i; ++j) {
          if (entries[j].name != entries[i].name) continue;
          earlier = true;
          // Only its second occurrence lists a name.
          for (std::size_t k = j + 1; k < i && !listed; ++k) listed = entries[k].name == entries[i].name;
          break;
        }
        if (earlier && !listed) container.repeated.push_back(entries[i].name);
      }
      return;
    }
    container.last.reserve(entries.size());
    for (std::uint32_t index = 0; index < entries.size(); ++index) {
      auto [found, fresh] = container.last.try_emplace(entries[index].name, Positions::Written{index, false});
      if (fresh) continue;
      if (!found->second.repeated) container.repeated.push_back(found->first);
      found->second = {index, true};
    }
  }

  std::size_t Here() const { return base_ + stream_.Tell(); }

  // A string token's span: from its opening quote to the first quote that no backslash escapes.
  Span StringAt(std::size_t begin) const {
    const std::string& bytes = positions_.bytes_;
    std::size_t at = begin + 1;
    while (at < bytes.size() && bytes[at] != '"') at += bytes[at] == '\\' ? 2 : 1;
    return {begin, std::min(at + 1, bytes.size())};
  }

  bool Literal(std::size_t length) {
    const std::size_t end = Here();
    return Value({end - length, end}, -1);
  }

  // Places a value: the member whose key was just read, the next element of an array, or the document.
  bool Value(Span span, std::int32_t container) {
    if (stack_.empty()) {
      positions_.root_ = span;
      positions_.rootContainer_ = container;
      return true;
    }
    auto& parent = positions_.containers_[stack_.back()];
    if (!parent.object) parent.entries.push_back({});
    parent.entries.back().value = span;
    parent.entries.back().container = container;
    return true;
  }

  bool Open(bool object) {
    const auto index = static_cast<std::int32_t>(positions_.containers_.size());
    Positions::Container container;
    container.object = object;
    if (!stack_.empty()) {
      container.parent = stack_.back();
      const auto& parent = positions_.containers_[stack_.back()];
      container.parentEntry = parent.object ? parent.entries.size() - 1 : parent.entries.size();
    }
    Value({Here(), Here()}, index);
    positions_.containers_.push_back(std::move(container));
    stack_.push_back(index);
    return true;
  }

  bool Close() {
    const std::size_t end = Here() + 1;
    auto& closed = positions_.containers_[stack_.back()];
    if (closed.object) IndexNames(closed);
    if (closed.parent < 0) {
      positions_.root_.end = end;
    } else {
      positions_.containers_[closed.parent].entries[closed.parentEntry].value.end = end;
    }
    stack_.pop_back();
    return true;
  }

  Positions& positions_;
  rapidjson::InsituStringStream& stream_;
  std::size_t base_;
  std::vector<std::int32_t> stack_;
};

Positions::Positions(std::string bytes) : bytes_(std::move(bytes)) {
  const std::size_t base = std::string_view(bytes_).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  // Read in place, so that names are not copied one by one; the offsets are those of the file's own bytes.
  names_.assign(bytes_.begin(), bytes_.end());
  // A NUL ends the text; the reader scans sixteen bytes at a time, which may look a block past it.
  names_.resize(names_.size() + 16, '\0');
  rapidjson::InsituStringStream stream(names_.data() + base);
  PositionReader handler(*this, stream, base);
  rapidjson::Reader reader;
  // Iterative: a value nested ten thousand deep must not exhaust the stack.
  constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseStopWhenDoneFlag |
                              rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseInsituFlag;
  known_ = !reader.Parse<kFlags>(stream, handler).IsError();
  if (!known_) return;
  std::size_t at = base + stream.Tell();
  while (at < bytes_.size() && (bytes_[at] == ' ' || bytes_[at] == '\t' || bytes_[at] == '\n' || bytes_[at] == '\r'))
    ++at;
  if (at < bytes_.size()) trailing_ = at;
}

Span Positions::Find(const std::vector<std::string>& tokens, bool key) const {
  Span span = root_;
  std::int32_t container = rootContainer_;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (container < 0) return span;
    const Container& current = containers_[container];
    std::size_t index = current.entries.size();
    if (current.object) {
      index = current.LastOf(tokens[i]);
    } else {
      std::size_t parsed = 0;
      const auto [end, error] = std::from_chars(tokens[i].data(), tokens[i].data() + tokens[i].size(), parsed);
      if (error == std::errc() && end == tokens[i].data() + tokens[i].size()) index = parsed;
    }
    if (index >= current.entries.size()) return span;
    const Entry& entry = current.entries[index];
    if (key && i + 1 == tokens.size() && current.object) return entry.key;
    span = entry.value;
    container = entry.container;
  }
  return span;
}

bool Positions::Exists(const std::vector<std::string>& tokens) const {
  std::int32_t container = rootContainer_;
  for (const std::string& token : tokens) {
    if (container < 0 || !containers_[container].object) return false;
    const std::size_t index = containers_[container].LastOf(token);
    if (index >= containers_[container].entries.size()) return false;
    container = containers_[container].entries[index].container;
  }
  return true;
}

std::size_t Positions::Container::LastOf(std::string_view name) const {
  if (last.empty()) {
    for (std::size_t index = entries.size(); index > 0; --index) {
      if (entries[index - 1].name == name) return index - 1;
    }
    return entries.size();
  }
  const auto found = last.find(name);
  return found == last.end() ? entries.size() : found->second.last;
}

std::vector<std::string> Positions::TokensOf(std::int32_t container) const {
  std::vector<std::string> tokens;
  for (std::int32_t at = container; containers_[at].parent >= 0; at = containers_[at].parent) {
    const Container& parent = containers_[containers_[at].parent];
    tokens.push_back(parent.object ? std::string(parent.entries[containers_[at].parentEntry].name)
                                   : std::to_string(containers_[at].parentEntry));
  }
  std::reverse(tokens.begin(), tokens.end());
  return tokens;
}

std::vector<Positions::Repeat> Positions::Repeats() const {
  std::vector<Repeat> repeats;
  for (std::size_t index = 0; index < containers_.size(); ++index) {
    const Container& container = containers_[index];
    if (container.repeated.empty()) continue;
    const auto object = TokensOf(static_cast<std::int32_t>(index));
    std::unordered_map<std::string_view, std::size_t> slot;
    for (const auto& name : container.repeated) {
      slot.emplace(name, repeats.size());
      repeats.push_back({object, std::string(name), {}, {}});
    }
    for (const Entry& entry : container.entries) {
      const auto found = slot.find(entry.name);
      if (found == slot.end()) continue;
      repeats[found->second].keys.push_back(entry.key);
      repeats[found->second].values.push_back(entry.value);
    }
  }
  return repeats;
}

std::vector<Place> Positions::Places(const std::vector<std::size_t>& offsets) const {
  // Sorted beside their indices, not through them: a file with a finding for every member gives thousands.
  std::vector<std::pair<std::size_t, std::size_t>> order(offsets.size());
  for (std::size_t index = 0; index < offsets.size(); ++index) order[index] = {offsets[index], index};
  if (!std::is_sorted(order.begin(), order.end())) std::sort(order.begin(), order.end());
  std::vector<Place> places(offsets.size());
  // An editor shows no byte-order mark: the first character after it is in column 1.
  std::size_t at = std::string_view(bytes_).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  int line = 1;
  int column = 1;
  for (const auto& [offset, index] : order) {
    const std::size_t target = std::min(std::max(offset, at), bytes_.size());
    // Whole lines at a time, then the characters of the last: a UTF-8 character is its lead byte.
    for (const char* newline = nullptr;
         (newline = static_cast<const char*>(std::memchr(bytes_.data() + at, '\n', target - at))) != nullptr;) {
      ++line;
      column = 1;
      at = static_cast<std::size_t>(newline - bytes_.data()) + 1;
    }
    for (; at < target; ++at) column += (static_cast<unsigned char>(bytes_[at]) & 0xC0) != 0x80 ? 1 : 0;
    places[index] = {line, column};
  }
  return places;
}

}  // namespace check::detail
