// The programs' operating-system seam on Linux.
#include <fcntl.h>
#include <iconv.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "sandbox/platform/Platform.h"

namespace sandbox::platform {
namespace {

std::atomic<bool> gStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void OnStopSignal(int) { gStopRequested = true; }

void Write(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

std::string ProgramFolder() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return (error ? std::filesystem::path(".") : self.parent_path()).string() + "/";
}

void InstallStopHandler() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return gStopRequested; }

void StopCompleted() {}

void WriteOut(std::string_view utf8) { Write(stdout, utf8); }

void WriteError(std::string_view utf8) { Write(stderr, utf8); }

std::optional<std::string> EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string ArgumentToUtf8(std::string_view argument) { return std::string(argument); }

std::string GbkToUtf8(std::string_view bytes) {
  iconv_t converter = iconv_open("UTF-8", "GBK");
  // Without the converter the text is still worth showing; its ASCII parts are readable.
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[512];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ or EINVAL: this byte starts no character; the next one may.
    out += "\xEF\xBF\xBD";
    ++in;
    --inLeft;
  }
  iconv_close(converter);
  return out;
}

bool OpenInBrowser(const std::string& url) {
  const char* argv[] = {"xdg-open", url.c_str(), nullptr};
  pid_t child = 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The opener's chatter stays off the server's console.
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int failed = posix_spawnp(&child, "xdg-open", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return false;
  // xdg-open hands the address to the browser and exits; reaped on a thread of its own so no zombie is left.
  std::thread([child] { waitpid(child, nullptr, 0); }).detach();
  return true;
}

bool StartedByDoubleClick(int /*argc*/) { return false; }

}  // namespace sandbox::platform
