// The host's exported functions: member resolution by name, shared log sinks and the working directory.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>
#include <vector>

#include "sandbox/host/HostInternal.h"
#include "sandbox/host/Text.h"

#include <spdlog/pattern_formatter.h>

namespace sandbox {
namespace detail {
namespace {

struct FieldInfo {
  std::ptrdiff_t offset = 0;
  FieldOwners owners;
};

struct Registry {
  std::unordered_map<std::string, void*> functions;
  std::unordered_map<std::string, FieldInfo> fields;
  std::unordered_map<std::string, void*> globals;
};

Registry& RawRegistry() {
  static Registry registry;
  return registry;
}

// Filled on first use, so no static initialiser depends on another.
Registry& Members() {
  static const bool filled = [] {
    RegisterMemoryMembers();
    RegisterRconMembers();
    RegisterGameMembers();
    return true;
  }();
  (void)filled;
  return RawRegistry();
}

}  // namespace

void EnsureRegistered() { Members(); }

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "sandbox host: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

void RegisterFunction(const std::string& name, void* address) { RawRegistry().functions[name] = address; }

void RegisterField(const std::string& name, std::ptrdiff_t offset, FieldOwners owners) {
  RawRegistry().fields[name] = FieldInfo{offset, std::move(owners)};
}

void RegisterGlobal(const std::string& name, void* address) { RawRegistry().globals[name] = address; }

}  // namespace detail

// ---- Logs ----------------------------------------------------------------------------------------------------

namespace {

// Formatters whose code went away with their module: never destroyed, and still reachable, so leak checkers
// do not count them.
std::vector<spdlog::formatter*>& RetiredFormatters() {
  static auto* retired = new std::vector<spdlog::formatter*>();
  return *retired;
}

}  // namespace

HostSink::HostSink() {
  set_formatter_(std::make_unique<spdlog::pattern_formatter>(kHostLogPattern, spdlog::pattern_time_type::local));
  foreign_ = false;
}

// Whoever replaces a formatter is loaded, and so is the module of the one it replaces (unloading retires it).
void HostSink::set_formatter_(std::unique_ptr<spdlog::formatter> formatter) {
  formatter_ = std::move(formatter);
  foreign_ = true;
}

void HostSink::RetireForeignFormatter() {
  std::lock_guard lock(mutex_);
  if (!foreign_) return;
  RetiredFormatters().push_back(formatter_.release());
  formatter_ = std::make_unique<spdlog::pattern_formatter>(kHostLogPattern, spdlog::pattern_time_type::local);
  foreign_ = false;
}

void RecordingSink::sink_it_(const spdlog::details::log_msg& message) {
  spdlog::memory_buf_t formatted;
  formatter_->format(message, formatted);
  bytes_.append(formatted.data(), formatted.size());
}

std::string RecordingSink::Bytes() {
  std::lock_guard lock(mutex_);
  return bytes_;
}

std::vector<std::string> RecordingSink::Lines() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes_.size()) {
    std::size_t end = bytes_.find('\n', start);
    if (end == std::string::npos) end = bytes_.size();
    std::string line = bytes_.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

void RecordingSink::Clear() {
  std::lock_guard lock(mutex_);
  bytes_.clear();
}

namespace {

std::vector<std::shared_ptr<spdlog::sinks::sink>>& Sinks() {
  static std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks{std::make_shared<RecordingSink>()};
  return sinks;
}

std::vector<std::shared_ptr<HostSink>>& HostSinks() {
  static std::vector<std::shared_ptr<HostSink>> sinks{std::static_pointer_cast<RecordingSink>(Sinks().front())};
  return sinks;
}

std::string& CurrentDir() {
  static std::string directory = std::filesystem::current_path().generic_string();
  return directory;
}

}  // namespace

std::shared_ptr<RecordingSink> LogRecorder() { return std::static_pointer_cast<RecordingSink>(Sinks().front()); }

void AddLogSink(std::shared_ptr<HostSink> sink) {
  HostSinks().push_back(sink);
  Sinks().push_back(std::move(sink));
}

void detail::RetireForeignFormatters() {
  for (const auto& sink : HostSinks()) sink->RetireForeignFormatter();
}

void detail::ClearRecordedLogs() { LogRecorder()->Clear(); }

void SetCurrentDir(std::string directory) { CurrentDir() = std::move(directory); }

std::string Reply::Utf8() const { return Utf16ToUtf8(text); }

void ResetHost() {
  detail::ResetHooks();
  detail::ResetCommands();
  detail::ClearRecordedLogs();
  detail::ResetGame();
}

}  // namespace sandbox

// ---- Exported host functions -----------------------------------------------------------------------------------

using sandbox::detail::Fail;

void* GetAddress(const std::string& name) {
  auto& functions = sandbox::detail::Members().functions;
  const auto found = functions.find(name);
  if (found == functions.end()) Fail("no game function named \"" + name + "\"");
  return found->second;
}

std::uint64_t GetAddress(const void* object, const std::string& name) {
  auto& fields = sandbox::detail::Members().fields;
  const auto found = fields.find(name);
  if (found == fields.end()) Fail("no game field named \"" + name + "\"");
  if (object == nullptr) Fail("field \"" + name + "\" read through a null object");
  const auto& owners = found->second.owners;
  if (owners && !owners(object)) Fail("field \"" + name + "\" read on an object that does not have it");
  return reinterpret_cast<std::uint64_t>(object) + static_cast<std::uint64_t>(found->second.offset);
}

void* GetDataAddress(const std::string& name) {
  auto& globals = sandbox::detail::Members().globals;
  const auto found = globals.find(name);
  if (found == globals.end()) Fail("no game global named \"" + name + "\"");
  return found->second;
}

std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks() { return sandbox::Sinks(); }

std::string ArkApi::Tools::GetCurrentDir() { return sandbox::CurrentDir(); }
