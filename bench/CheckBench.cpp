// The configuration checker on a large file: 10,000 members in each of the three lists, read, walked and reviewed.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Check.h"

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

void BM_CheckFile(benchmark::State& state) {
  const int members = static_cast<int>(state.range(0));
  const bool faulty = state.range(1) != 0;
  const auto path =
      std::filesystem::temp_directory_path() / ("tidywarden-bench-check-" + std::to_string(::getpid()) + ".json");
  const std::string text = Configuration(members, faulty);
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
  }
  const std::size_t expected = faulty ? 3 * static_cast<std::size_t>(members) : 0;
  const std::size_t found = check::CheckFile(path.string()).size();
  if (found != expected) {
    std::filesystem::remove(path);
    return state.SkipWithError(fmt::format("{} findings, expected {}", found, expected).c_str());
  }
  for (auto _ : state) benchmark::DoNotOptimize(check::CheckFile(path.string()));
  state.counters["file_MB"] = static_cast<double>(text.size()) / 1e6;
  std::filesystem::remove(path);
}
BENCHMARK(BM_CheckFile)
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->ArgNames({"members", "faulty"})
    ->UseRealTime()  // the places are read on a second thread: the time the administrator waits is the wall's
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
