// Heap meter (a replaced global operator new), copy probe, meters and the benchmark worlds and configurations.
#include "BenchSupport.h"

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <nlohmann/json.hpp>

#include "sandbox/host/Sandbox.h"

namespace {

std::atomic<std::uint64_t> gHeapAllocations{0};
std::atomic<bool> gProbing{false};
std::atomic<std::uint64_t> gCopies{0};

void* Allocate(std::size_t size) noexcept {
  gHeapAllocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

bool StartsWith(const void* block, std::size_t size, std::string_view prefix) {
  return size >= prefix.size() && std::memcmp(block, prefix.data(), prefix.size()) == 0;
}

void Release(void* block) noexcept {
  if (block == nullptr) return;
  if (gProbing.load(std::memory_order_relaxed)) {
    const std::size_t size = malloc_usable_size(block);
    if (StartsWith(block, size, bench::kFillerPath) || StartsWith(block, size, bench::kFillerLabel)) {
      gCopies.fetch_add(1, std::memory_order_relaxed);
    }
  }
  std::free(block);
}

}  // namespace

// The module's code reaches these too: the program defines them, so the loader binds every image's calls here.
void* operator new(std::size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }

namespace bench {

std::uint64_t HeapAllocations() { return gHeapAllocations.load(std::memory_order_relaxed); }

void StartCopyProbe() {
  gCopies.store(0, std::memory_order_relaxed);
  gProbing.store(true, std::memory_order_relaxed);
}

std::uint64_t StopCopyProbe() {
  gProbing.store(false, std::memory_order_relaxed);
  return gCopies.load(std::memory_order_relaxed);
}

Meter::Meter(benchmark::State& state)
    : state_(state), gameStart_(sandbox::TotalAllocations()), heapStart_(HeapAllocations()) {}

void Meter::Pause() {
  state_.PauseTiming();
  gamePauseStart_ = sandbox::TotalAllocations();
  heapPauseStart_ = HeapAllocations();
}

void Meter::Resume() {
  gamePaused_ += sandbox::TotalAllocations() - gamePauseStart_;
  heapPaused_ += HeapAllocations() - heapPauseStart_;
  state_.ResumeTiming();
}

void Meter::Report() {
  const auto game = sandbox::TotalAllocations() - gameStart_ - gamePaused_;
  const auto heap = HeapAllocations() - heapStart_ - heapPaused_;
  state_.counters["game_allocs"] = benchmark::Counter(static_cast<double>(game), benchmark::Counter::kAvgIterations);
  state_.counters["heap_allocs"] = benchmark::Counter(static_cast<double>(heap), benchmark::Counter::kAvgIterations);
}

std::string FillerPath(std::string_view kind, int index) {
  char number[16];
  std::snprintf(number, sizeof number, "%03d", index);
  return std::string(kFillerPath) + std::string(kind) + "_" + number + "." + std::string(kind) + "_" + number + "'";
}

std::string FillerLabel(int index) {
  char number[16];
  std::snprintf(number, sizeof number, "%03d", index);
  return std::string(kFillerLabel) + number;
}

sandbox::game::GameObject* DefineListedItemClass() {
  sandbox::game::ClassDefinition definition;
  definition.name = "Contraband_C";
  definition.package = "/Game/Bench/Items/Contraband";
  definition.kind = sandbox::game::Kind::Item;
  return sandbox::game::DefineClass(definition);
}

sandbox::game::GameObject* DefineCleanItemClass() {
  sandbox::game::ClassDefinition definition;
  definition.name = "Berry_C";
  definition.package = "/Game/Bench/Items/Berry";
  definition.kind = sandbox::game::Kind::Item;
  return sandbox::game::DefineClass(definition);
}

std::string ItemPath(const sandbox::game::GameObject* itemClass) { return sandbox::game::BlueprintPathOf(itemClass); }

sandbox::game::GameObject* DefineCreatureClass() {
  sandbox::game::ClassDefinition definition;
  definition.name = "Raptor_Character_BP_C";
  definition.package = "/Game/Bench/Dinos/Raptor/Raptor_Character_BP";
  definition.kind = sandbox::game::Kind::Creature;
  return sandbox::game::DefineClass(definition);
}

std::string CreaturePath(const sandbox::game::GameObject* creatureClass) {
  const std::string reference = sandbox::game::ReferenceOf(creatureClass);
  return "Blueprint'" + reference.substr(0, reference.size() > 2 ? reference.size() - 2 : 0) + "'";
}

std::string ItemConfig(int entries, const std::string& listedPath) {
  nlohmann::json list = nlohmann::json::object();
  for (int i = 0; i < entries; ++i) {
    const bool listed = i == entries - 1 && !listedPath.empty();
    list[FillerLabel(i)] = {{"Blueprint", listed ? listedPath : FillerPath("Item", i)}};
  }
  return nlohmann::json{{"Destroylist", list}}.dump(2);
}

std::string CreatureConfig(int members, const std::string& listedPath, const std::string& levelPath, int threshold) {
  nlohmann::json list = nlohmann::json::object();
  for (int i = 0; i < members; ++i) {
    const bool listed = i == members - 1 && !listedPath.empty();
    list[FillerLabel(i)] = {{"Blueprint", listed ? listedPath : FillerPath("Dino", i)}};
  }
  nlohmann::json levels = nlohmann::json::object();
  for (int i = 0; i < 10; ++i) levels[FillerPath("Dino", 500 + i)] = {{"ExceedSestructionLevel", 1}};
  levels[levelPath] = {{"ExceedSestructionLevel", threshold}};
  return nlohmann::json{{"DestroyDinolist", list}, {"DestroyDinoLevel", levels}}.dump(2);
}

}  // namespace bench
