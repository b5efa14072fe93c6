// Following the host's log: what was appended since the last look, read by position, checked against the file's
// first bytes so a replaced file is noticed even when it grew past where the old one ended.
#include "LogFollower.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <utf8cpp/utf8/core.h>

#include "common/Messages.h"
#include "sandbox/platform/Platform.h"

namespace live {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t kHeadBytes = 64;

std::string ReadRange(const std::string& path, std::uintmax_t from, std::uintmax_t count) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return {};
  file.seekg(static_cast<std::streamoff>(from));
  std::string bytes(static_cast<std::size_t>(count), '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
  return bytes;
}

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : size;
}

}  // namespace

std::string LogLineToUtf8(std::string_view bytes) {
  if (utf8::find_invalid(bytes.begin(), bytes.end()) == bytes.end()) return std::string(bytes);
  return sandbox::platform::GbkToUtf8(bytes);
}

bool IsPluginLine(std::string_view line) {
  const std::string mark = std::string("[") + messages::kLoggerName + "][";
  return line.find(mark) != std::string_view::npos;
}

std::string NewestLogBelow(const std::string& folder) {
  std::error_code error;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, error);
  std::string newest;
  fs::file_time_type newestTime{};
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    std::error_code ignored;
    if (walk->path().extension() != ".log" || !walk->is_regular_file(ignored)) continue;
    const auto written = walk->last_write_time(ignored);
    if (ignored || (!newest.empty() && written <= newestTime)) continue;
    newest = walk->path().string();
    newestTime = written;
  }
  return newest;
}

LogFollower::LogFollower(std::string file, std::string folder) : fixed_(std::move(file)), folder_(std::move(folder)) {}

void LogFollower::Switch(const std::string& file, bool fromTheEnd) {
  current_ = file;
  partial_.clear();
  head_.clear();
  const std::uintmax_t size = SizeOf(file);
  position_ = fromTheEnd && size > kFirstBytes ? size - kFirstBytes : 0;
  // Started inside a line: the rest of it is not shown.
  skipToLineStart_ = position_ > 0;
}

std::vector<std::string> LogFollower::Poll() {
  std::string file = fixed_;
  // The folder is walked again only while the file followed stands still: a host still writing to it has not moved
  // on to another, and a walk of the whole tree at every poll is not free.
  if (file.empty()) file = current_.empty() || SizeOf(current_) == size_ ? NewestLogBelow(folder_) : current_;
  if (file.empty()) return {};
  if (file != current_) Switch(file, !started_);
  started_ = true;
  const std::uintmax_t size = SizeOf(current_);
  size_ = size;
  const std::string head = ReadRange(current_, 0, std::min<std::uintmax_t>(size, kHeadBytes));
  const bool replaced = head.compare(0, head_.size(), head_) != 0 || head.size() < head_.size();
  if (size < position_ || replaced) {
    position_ = 0;
    partial_.clear();
    skipToLineStart_ = false;
  }
  head_ = head;
  if (size <= position_) return {};
  std::string bytes = ReadRange(current_, position_, std::min(size - position_, kMostBytesPerPoll));
  position_ += bytes.size();
  partial_ += bytes;
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
    if (skipToLineStart_) {
      skipToLineStart_ = false;
      continue;
    }
    std::string_view line(partial_.data() + start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(LogLineToUtf8(line));
  }
  partial_.erase(0, start);
  return lines;
}

}  // namespace live
