// What the benchmark programs share: heap and game-allocator meters, a configured-string copy probe, worlds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <benchmark/benchmark.h>

#include "sandbox/game/GameWorld.h"

namespace bench {

// Heap allocations made through the global operator new (replaced in BenchSupport.cpp), from any module.
std::uint64_t HeapAllocations();

// Every configured text a benchmark writes, except the one path an item or creature is meant to match, starts
// with one of these, and so does every label. A heap block that starts with one of them when it is freed was a
// copy of configured text: the parsed document itself is never freed while a probe runs.
inline constexpr std::string_view kFillerPath = "Blueprint'/Game/BenchFiller/";
inline constexpr std::string_view kFillerLabel = "BenchFillerLabel_";

// Counts freed heap blocks that start with kFillerPath or kFillerLabel between the two calls.
void StartCopyProbe();
std::uint64_t StopCopyProbe();

// Per-iteration counters over the timed part of a benchmark loop: game-allocator and heap allocations made
// while paused (refilling an inventory, clearing records) are left out.
class Meter {
 public:
  explicit Meter(benchmark::State& state);
  void Pause();
  void Resume();
  // Sets "game_allocs" and "heap_allocs" per iteration.
  void Report();

 private:
  benchmark::State& state_;
  std::uint64_t gameStart_;
  std::uint64_t heapStart_;
  std::uint64_t gamePaused_ = 0;
  std::uint64_t heapPaused_ = 0;
  std::uint64_t gamePauseStart_ = 0;
  std::uint64_t heapPauseStart_ = 0;
};

// Runs `operation` a few times under the copy probe, reports "config_copies" per call, and marks the
// benchmark failed when the hot path copied configured text. True when it did not.
template <typename Operation>
bool CheckNoConfigCopy(benchmark::State& state, Operation&& operation) {
  constexpr int kRuns = 8;
  StartCopyProbe();
  for (int i = 0; i < kRuns; ++i) operation();
  const std::uint64_t copies = StopCopyProbe();
  state.counters["config_copies"] = static_cast<double>(copies) / kRuns;
  if (copies == 0) return true;
  state.SkipWithError("the hot path copied the configuration or its strings");
  return false;
}

// ---- Worlds and configurations ------------------------------------------------------------------------------

// A configured blueprint path that matches nothing in the world.
std::string FillerPath(std::string_view kind, int index);
std::string FillerLabel(int index);

// The item every inventory benchmark uses, and the blueprint path an administrator lists it by.
sandbox::game::GameObject* DefineListedItemClass();
sandbox::game::GameObject* DefineCleanItemClass();
std::string ItemPath(const sandbox::game::GameObject* itemClass);

// The creature class of the spawn benchmarks and its path as the spawn filter derives it.
sandbox::game::GameObject* DefineCreatureClass();
std::string CreaturePath(const sandbox::game::GameObject* creatureClass);

// "Destroylist" with `entries` members; the last one lists `listedPath` unless it is empty.
std::string ItemConfig(int entries, const std::string& listedPath);
// "DestroyDinolist" with `members` members, the last one listing `listedPath` unless it is empty, and
// "DestroyDinoLevel" holding ten filler thresholds and one for `levelPath` at `threshold`.
std::string CreatureConfig(int members, const std::string& listedPath, const std::string& levelPath, int threshold);

}  // namespace bench
