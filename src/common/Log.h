// The plug-in's logger on the host's shared sinks.
#pragma once

#include <memory>
#include <string_view>

namespace spdlog {
class logger;
}

// Created on first use; re-created by PluginLogInit.
std::shared_ptr<spdlog::logger>& PluginLog();
void PluginLogInit();

// Error lines: the message as it stands, or the command-failure format with the routine's source and name.
void LogError(std::string_view message);
void LogCommandFailure(const char* sourceFile, const char* routine, std::string_view message);

// Runs a detour's or handler's own work so that no exception reaches the game or the host.
template <typename Work>
void RunAtBoundary(const char* sourceFile, const char* routine, Work&& work) noexcept {
  try {
    work();
  } catch (const std::exception& error) {
    LogCommandFailure(sourceFile, routine, error.what());
  } catch (...) {
    LogCommandFailure(sourceFile, routine, "unknown exception");
  }
}
