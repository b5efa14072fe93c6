// The configuration checker: a file of a size administrators write, checked by the whole program as they run it, and
// 10,000 members in each of the three lists read, walked and reviewed by the library, to watch for regressions.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Check.h"

extern char** environ;

namespace {

// Every member well formed, or every member missing its "Blueprint" and every entry its threshold.
std::string Configuration(int members, bool faulty) {
  nlohmann::json items = nlohmann::json::object();
  nlohmann::json creatures = nlohmann::json::object();
  nlohmann::json levels = nlohmann::json::object();
  const char* blueprint = faulty ? "blueprint" : "Blueprint";
  const char* threshold = faulty ? "ExceedDestructionLevel" : "ExceedSestructionLevel";
  for (int i = 0; i < members; ++i) {
    items[fmt::format("item {:05}", i)][blueprint] = fmt::format("Blueprint'/Game/Bench/Items/I{0:05}.I{0:05}'", i);
    creatures[fmt::format("creature {:05}", i)][blueprint] =
        fmt::format("Blueprint'/Game/Bench/Dinos/D{0:05}.D{0:05}'", i);
    levels[fmt::format("Blueprint'/Game/Bench/Dinos/L{0:05}.L{0:05}'", i)][threshold] = 100 + i % 50;
  }
  return nlohmann::json{{"Destroylist", items}, {"DestroyDinolist", creatures}, {"DestroyDinoLevel", levels}}.dump(2);
}

// A server's file: ten members in each list, one item without its "Blueprint" (E112), a creature path with the class
// suffix (W203) and a threshold beyond the 32-bit range (W205).
std::string RealisticConfiguration() {
  nlohmann::json document = nlohmann::json::parse(Configuration(10, false));
  document["Destroylist"]["item 00003"] = {{"blueprint", "Blueprint'/Game/Bench/Items/I00003.I00003'"}};
  document["DestroyDinolist"]["creature 00005"]["Blueprint"] = "Blueprint'/Game/Bench/Dinos/D00005.D00005_C'";
  document["DestroyDinoLevel"]["Blueprint'/Game/Bench/Dinos/L00007.L00007'"]["ExceedSestructionLevel"] = 4294967295U;
  return document.dump(2);
}
constexpr std::size_t kRealisticFindings = 3;
constexpr int kRealisticStatus = 2;

// A file of `text` in the temporary folder for one benchmark's run; removed with it.
class BenchFile {
 public:
  explicit BenchFile(const std::string& text)
      : path_(std::filesystem::temp_directory_path() /
              ("tidywarden-bench-check-" + std::to_string(::getpid()) + ".json")) {
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    file << text;
  }
  ~BenchFile() { std::filesystem::remove(path_); }
  BenchFile(const BenchFile&) = delete;
  BenchFile& operator=(const BenchFile&) = delete;

  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// The findings of the library on the file, against what was planted; false (and the benchmark failed) otherwise.
bool Planted(benchmark::State& state, const std::string& path, std::size_t expected) {
  const std::size_t found = check::CheckFile(path).size();
  if (found == expected) return true;
  state.SkipWithError(fmt::format("{} findings, expected {}", found, expected).c_str());
  return false;
}

void BM_CheckFile(benchmark::State& state) {
  const int members = static_cast<int>(state.range(0));
  const bool faulty = state.range(1) != 0;
  const std::string text = Configuration(members, faulty);
  const BenchFile file(text);
  if (!Planted(state, file.Path(), faulty ? 3 * static_cast<std::size_t>(members) : 0)) return;
  for (auto _ : state) benchmark::DoNotOptimize(check::CheckFile(file.Path()));
  state.counters["file_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_CheckFile)
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->ArgNames({"members", "faulty"})
    ->UseRealTime()  // the time the administrator waits
    ->Unit(benchmark::kMillisecond);

// The program built beside this one.
std::filesystem::path Program() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "tidywarden-check";
}

// The program run on `path` with its output thrown away, as a script runs it; its exit status, or -1.
int RunProgram(const std::string& program, const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string language = "--lang=en";
  char* arguments[] = {const_cast<char*>(program.c_str()), language.data(), const_cast<char*>(path.c_str()), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The whole program on a file of the size servers hold: starting the process, reading, reviewing, printing, exiting.
void BM_CheckProgram(benchmark::State& state) {
  const BenchFile file(RealisticConfiguration());
  if (!Planted(state, file.Path(), kRealisticFindings)) return;
  const std::string program = Program().string();
  for (auto _ : state) {
    const int status = RunProgram(program, file.Path());
    if (status != kRealisticStatus) {
      return state.SkipWithError(
          fmt::format("{} exited with {}, expected {}", program, status, kRealisticStatus).c_str());
    }
  }
}
BENCHMARK(BM_CheckProgram)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
