// Reading and saving config.json for the console: a failed save leaves the file as it was.
#include "sandbox/console/ConfigFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <utf8cpp/utf8.h>

#include "Check.h"

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace sandbox::console {
namespace {

namespace fs = std::filesystem;

// Flushes the C library's buffer and then the system's, so a crash after the rename cannot leave an empty file.
bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#if defined(_WIN32)
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

// Two servers checking at once must not share a temporary file.
long ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<long>(getpid());
#endif
}

std::string Why(const std::string& what, const fs::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

}  // namespace

ConfigText ReadConfig(const std::string& path) {
  std::error_code error;
  if (!fs::exists(path, error)) return {};
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) throw std::runtime_error("cannot open " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return {true, text.str()};
}

void SaveConfig(const std::string& path, const std::string& text) {
  const fs::path target(path);
  const fs::path temporary = fs::path(path + ".saving");
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (file == nullptr) throw std::runtime_error(Why("cannot create", temporary));
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && FlushToDisk(file);
  const std::string writeFailure = written ? std::string() : Why("cannot write", temporary);
  if (std::fclose(file) != 0 && written) {
    fs::remove(temporary, error);
    throw std::runtime_error(Why("cannot write", temporary));
  }
  if (!written) {
    fs::remove(temporary, error);
    throw std::runtime_error(writeFailure);
  }
  if (fs::exists(target, error)) {
    // Removed first: mingw's copy_file takes any two files for the same one and refuses to overwrite.
    fs::remove(path + ".bak", error);
    fs::copy_file(target, path + ".bak", error);
    if (error) {
      fs::remove(temporary, error);
      throw std::runtime_error("cannot keep the previous file as " + path + ".bak: " + error.message());
    }
  }
  fs::rename(temporary, target, error);
  if (error) {
    const std::string why = error.message();
    fs::remove(temporary, error);
    throw std::runtime_error("cannot replace " + path + ": " + why);
  }
}

nlohmann::json FindingsJson(const std::string& path, check::Language language) {
  nlohmann::json findings = nlohmann::json::array();
  for (const auto& finding : check::CheckFile(path, language)) {
    nlohmann::json entry = {{"severity", check::SeverityName(finding.severity)},
                            {"code", finding.code},
                            {"pointer", finding.pointer},
                            {"message", finding.message},
                            {"effect", finding.effect},
                            {"log", finding.log.Lines()}};
    // A finding about the file as a whole has no place in it; the page then lists it without a mark.
    if (finding.line > 0) {
      entry["line"] = finding.line;
      entry["column"] = finding.column;
    }
    // The certain change --fix would make: the string token's bytes [begin, end) of the file, as written and as meant.
    if (finding.fix) {
      entry["fix"] = {{"begin", finding.fix->begin},
                      {"end", finding.fix->end},
                      {"from", finding.fix->from},
                      {"to", finding.fix->to}};
    }
    findings.push_back(std::move(entry));
  }
  return findings;
}

nlohmann::json FindingsOfText(const std::string& text, check::Language language) {
  static std::atomic<unsigned> made{0};
  std::error_code error;
  const fs::path directory = fs::temp_directory_path(error);
  if (error) throw std::runtime_error("no temporary directory: " + error.message());
  const fs::path path =
      directory / ("tidywarden-console-check-" + std::to_string(ProcessId()) + "-" + std::to_string(made++) + ".json");
  struct Removed {
    const fs::path& path;
    ~Removed() {
      std::error_code ignored;
      fs::remove(path, ignored);
    }
  } removed{path};
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path.string());
  }
  return FindingsJson(path.string(), language);
}

bool IsValidUtf8(const std::string& text) { return utf8::is_valid(text.begin(), text.end()); }

}  // namespace sandbox::console
