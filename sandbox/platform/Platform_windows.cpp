// The programs' operating-system seam on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <mutex>

#include <utf8cpp/utf8.h>

#include "sandbox/platform/Platform.h"

namespace sandbox::platform {
namespace {

constexpr UINT kGbkCodePage = 936;

std::atomic<bool> gStopRequested{false};
HANDLE gStopped = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  gStopRequested = true;
  // Windows ends the process as soon as this returns from these events, which would skip the plug-in's unload.
  if ((event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) &&
      gStopped != nullptr) {
    WaitForSingleObject(gStopped, 4000);
  }
  return TRUE;
}

// Invalid sequences become U+FFFD in both directions, so a stray byte or unit costs only itself.
std::wstring Wide(std::string_view utf8) {
  std::string valid;
  utf8::replace_invalid(utf8.begin(), utf8.end(), std::back_inserter(valid));
  std::wstring wide;
  utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(wide));
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  std::string text;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    auto unit = static_cast<std::uint32_t>(wide[i]);
    const bool lead = unit >= 0xD800 && unit < 0xDC00;
    const bool trailNext = i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000;
    if (lead && trailNext) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(wide[++i]) - 0xDC00);
    } else if (unit >= 0xD800 && unit < 0xE000) {
      unit = 0xFFFD;
    }
    utf8::append(static_cast<char32_t>(unit), std::back_inserter(text));
  }
  return text;
}

std::wstring FromCodePage(UINT codePage, std::string_view bytes, DWORD flags) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), length, wide.data(), size);
  return wide;
}

std::string ToAnsi(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), length, text.data(), size, nullptr, nullptr);
  return text;
}

void Write(DWORD which, std::FILE* stream, std::string_view utf8) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    // The console converts UTF-16 itself, whatever code page it was given.
    const std::wstring wide = Wide(utf8);
    for (std::size_t offset = 0; offset < wide.size();) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - offset, 8192));
      DWORD written = 0;
      if (!WriteConsoleW(handle, wide.data() + offset, chunk, &written, nullptr) || written == 0) return;
      offset += written;
    }
    return;
  }
  // Redirected output holds the same bytes as on Linux: UTF-8, lines ending in LF.
  static const bool binary = (_setmode(_fileno(stdout), _O_BINARY), _setmode(_fileno(stderr), _O_BINARY), true);
  (void)binary;
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

}  // namespace

std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  // Cut in UTF-16: in a double-byte code page a trail byte can look like a backslash.
  const auto separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {};
  return ToAnsi(std::wstring_view(path).substr(0, separator + 1));
}

void InstallStopHandler() {
  gStopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() { return gStopRequested; }

void StopCompleted() {
  if (gStopped != nullptr) SetEvent(gStopped);
}

void WriteOut(std::string_view utf8) { Write(STD_OUTPUT_HANDLE, stdout, utf8); }

void WriteError(std::string_view utf8) { Write(STD_ERROR_HANDLE, stderr, utf8); }

std::optional<std::string> EnvironmentVariable(const char* name) {
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  SetLastError(ERROR_SUCCESS);
  const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
  value.resize(std::min<DWORD>(length, size));
  return Utf8(value);
}

std::string ArgumentToUtf8(std::string_view argument) { return Utf8(FromCodePage(CP_ACP, argument, 0)); }

std::string GbkToUtf8(std::string_view bytes) {
  // Valid text converts at once; otherwise character by character, so a bad byte costs only itself.
  std::wstring wide = FromCodePage(kGbkCodePage, bytes, MB_ERR_INVALID_CHARS);
  if (!wide.empty() || bytes.empty()) return Utf8(wide);
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<BYTE>(bytes[i]);
    const std::size_t length = IsDBCSLeadByteEx(kGbkCodePage, lead) ? 2 : 1;
    const std::wstring character = i + length <= bytes.size()
                                       ? FromCodePage(kGbkCodePage, bytes.substr(i, length), MB_ERR_INVALID_CHARS)
                                       : std::wstring();
    if (character.empty()) {
      wide += L'\xFFFD';
      ++i;
      continue;
    }
    wide += character;
    i += length;
  }
  return Utf8(wide);
}

bool OpenInBrowser(const std::string& url) {
  const auto result =
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

bool StartedByDoubleClick(int argc) {
  if (argc > 1) return false;
  // A program started from a command prompt shares its console; one started from Explorer has its own.
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace sandbox::platform
