// Logger creation and the plug-in's error lines.
#include "common/Log.h"

#include <spdlog/logger.h>

#include "common/Messages.h"
#include "host/Services.h"

namespace {

std::shared_ptr<spdlog::logger> MakePluginLogger() {
  auto& sinks = host::LogSinks();
  auto logger = std::make_shared<spdlog::logger>(messages::kLoggerName, sinks.begin(), sinks.end());
  logger->set_pattern(messages::kLogPattern, spdlog::pattern_time_type::local);
  logger->flush_on(spdlog::level::info);
  return logger;
}

}  // namespace

std::shared_ptr<spdlog::logger>& PluginLog() {
  static std::shared_ptr<spdlog::logger> logger = MakePluginLogger();
  return logger;
}

void PluginLogInit() { PluginLog() = MakePluginLogger(); }

void LogError(std::string_view message) { PluginLog()->error(message); }

void LogCommandFailure(const char* sourceFile, const char* routine, std::string_view message) {
  PluginLog()->error(messages::kCommandFailure, sourceFile, routine, message);
}
