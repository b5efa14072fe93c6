// The server's log outputs: the log file with the plug-in's bytes as they are, and the console readable.
#pragma once

#include <cstdio>
#include <string>

#include "sandbox/host/Sandbox.h"

namespace sandbox::server {

class FileSink final : public HostSink {
 public:
  explicit FileSink(const std::string& path);
  ~FileSink() override;

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override;
  void flush_() override;

 private:
  std::FILE* file_ = nullptr;
};

// Log messages are GBK; a terminal wants UTF-8, a Windows console UTF-16 whatever its code page.
class ConsoleSink final : public HostSink {
 protected:
  void sink_it_(const spdlog::details::log_msg& message) override;
  void flush_() override;
};

}  // namespace sandbox::server
