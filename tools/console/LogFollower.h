// The host's log file as the live console follows it: new lines as they are written, across truncation,
// replacement and rotation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace live {

// A log line as the page shows it: as it is when it is valid UTF-8, else decoded as GBK (the plug-in's own lines).
std::string LogLineToUtf8(std::string_view bytes);

// Whether a line of the host's log is one the plug-in wrote: its logger's name in the brackets of its pattern.
bool IsPluginLine(std::string_view line);

// The `.log` file below `folder` (searched through its subfolders) written last; empty when there is none.
std::string NewestLogBelow(const std::string& folder);

class LogFollower {
 public:
  // Follows `file`; when it is empty, whichever `.log` file below `folder` was written last, switching when a newer
  // one appears.
  LogFollower(std::string file, std::string folder);

  // The lines completed since the last call, oldest first, as UTF-8. The first call gives the last lines the file
  // already holds (up to `kFirstBytes` of them); a file that shrank or whose first bytes changed was truncated or
  // replaced and is read again from its start; a newer file found below the folder is read from its start.
  std::vector<std::string> Poll();
  // The file followed now; empty before one is found.
  const std::string& File() const { return current_; }

  static constexpr std::uintmax_t kFirstBytes = 64 * 1024;
  static constexpr std::uintmax_t kMostBytesPerPoll = 4 * 1024 * 1024;

 private:
  void Switch(const std::string& file, bool fromTheEnd);

  std::string fixed_;
  std::string folder_;
  std::string current_;
  std::uintmax_t position_ = 0;
  // The followed file's size at the last poll.
  std::uintmax_t size_ = 0;
  std::string head_;     // the file's first bytes when last read
  std::string partial_;  // a line not yet ended
  bool started_ = false;
  bool skipToLineStart_ = false;
};

}  // namespace live
