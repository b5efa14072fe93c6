// Writing the host's log to a file and to the console.
#include "sandbox/server/LogSinks.h"

#include <filesystem>
#include <stdexcept>

#include "sandbox/server/Platform.h"

namespace sandbox::server {

FileSink::FileSink(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  file_ = std::fopen(path.c_str(), "ab");
  if (file_ == nullptr) throw std::runtime_error("cannot open the log file " + path);
}

FileSink::~FileSink() {
  if (file_ != nullptr) std::fclose(file_);
}

void FileSink::sink_it_(const spdlog::details::log_msg& message) {
  spdlog::memory_buf_t formatted;
  formatter_->format(message, formatted);
  std::fwrite(formatted.data(), 1, formatted.size(), file_);
}

void FileSink::flush_() { std::fflush(file_); }

void ConsoleSink::sink_it_(const spdlog::details::log_msg& message) {
  spdlog::memory_buf_t formatted;
  formatter_->format(message, formatted);
  platform::WriteOut(platform::GbkToUtf8(std::string_view(formatted.data(), formatted.size())));
}

// Every write is flushed already.
void ConsoleSink::flush_() {}

}  // namespace sandbox::server
