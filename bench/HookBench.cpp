// The hooks' hot paths called directly, with the replaced game functions stubbed out, and the derivations alone.
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "config/Config.h"
#include "host/Blueprint.h"
#include "inventory/Inventory.h"
#include "purge/Purge.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"

namespace {

using sandbox::game::GameObject;

// The stubs stand for the game's own functions, so that only the detour's work is timed.
int gOriginalCalls = 0;

void AddOriginal(UPrimalItem*, UPrimalInventoryComponent*, std::uint8_t, std::uint8_t, std::uint64_t, std::uint8_t,
                 std::uint8_t, std::uint8_t) {
  ++gOriginalCalls;
}
void ViewOriginal(AShooterPlayerController*, UPrimalInventoryComponent*) { ++gOriginalCalls; }
void BeginPlayOriginal(APrimalDinoCharacter*) { ++gOriginalCalls; }

template <typename T>
T* As(GameObject* object) {
  return reinterpret_cast<T*>(object);
}

void FreshGame() {
  sandbox::game::ResetGame();
  sandbox::LogRecorder()->Clear();
  AddToInventoryOriginal = &AddOriginal;
  ViewRemoteInventoryOriginal = &ViewOriginal;
  DinoBeginPlayOriginal = &BeginPlayOriginal;
  gOriginalCalls = 0;
}

void Configure(const std::string& text) { PluginConfig = nlohmann::json::parse(text); }

// A detour that failed logs its error; a benchmark of a failing path would measure the wrong thing.
bool NothingLogged(benchmark::State& state) {
  if (sandbox::LogRecorder()->Lines().empty()) return true;
  state.SkipWithError(("the hook logged: " + sandbox::LogRecorder()->Lines().front()).c_str());
  return false;
}

void BM_AddHook(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const bool listed = state.range(1) != 0;
  FreshGame();
  GameObject* itemClass = bench::DefineListedItemClass();
  Configure(bench::ItemConfig(entries, listed ? bench::ItemPath(itemClass) : ""));
  GameObject* item = sandbox::game::NewItem(itemClass);
  GameObject* inventory = sandbox::game::NewInventory();
  const auto add = [&] {
    OnAddToInventory(As<UPrimalItem>(item), As<UPrimalInventoryComponent>(inventory), false, false, 0, false, false,
                     false);
  };

  add();
  if (!NothingLogged(state)) return;
  if (gOriginalCalls != (listed ? 0 : 1)) return state.SkipWithError("the add hook decided wrongly");
  if (!bench::CheckNoConfigCopy(state, add)) return;

  bench::Meter meter(state);
  for (auto _ : state) add();
  meter.Report();
}
BENCHMARK(BM_AddHook)->ArgsProduct({{1, 10, 100}, {0, 1}})->ArgNames({"entries", "listed"});

// Destroylist of ten entries; with `listed`, every tenth item is listed and is put back after each purge.
void BM_ViewPurgeHook(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const bool withListed = state.range(1) != 0;
  FreshGame();
  GameObject* listedClass = bench::DefineListedItemClass();
  Configure(bench::ItemConfig(10, bench::ItemPath(listedClass)));
  GameObject* cleanClass = bench::DefineCleanItemClass();
  GameObject* controller = sandbox::game::NewController();
  GameObject* inventory = sandbox::game::NewInventory();
  std::vector<GameObject*> listedItems;
  for (int i = 0; i < count; ++i) {
    const bool listed = withListed && i % 10 == 9;
    GameObject* item = sandbox::game::NewItem(listed ? listedClass : cleanClass);
    sandbox::game::PutItem(inventory, item);
    if (listed) listedItems.push_back(item);
  }
  const auto view = [&] {
    OnViewRemoteInventory(As<AShooterPlayerController>(controller), As<UPrimalInventoryComponent>(inventory));
  };
  const auto refill = [&] {
    for (GameObject* item : listedItems) sandbox::game::PutItem(inventory, item);
    sandbox::game::Record().removeItemCalls.clear();
  };

  view();
  if (!NothingLogged(state)) return;
  const auto left = sandbox::game::Items(inventory).size();
  if (gOriginalCalls != 1 || left != static_cast<std::size_t>(count) - listedItems.size()) {
    return state.SkipWithError("the view hook purged the wrong items");
  }
  refill();
  if (!bench::CheckNoConfigCopy(state, [&] {
        view();
        refill();
      })) {
    return;
  }

  bench::Meter meter(state);
  for (auto _ : state) {
    view();
    if (listedItems.empty()) continue;
    meter.Pause();
    refill();
    meter.Resume();
  }
  meter.Report();
}
BENCHMARK(BM_ViewPurgeHook)->ArgsProduct({{10, 100}, {0, 1}})->ArgNames({"items", "listed"});

// DestroyDinolist of `members` members (the last one listing the creature when `listed`), and a
// DestroyDinoLevel entry for the creature whose threshold it stays below.
void BM_SpawnFilterHook(benchmark::State& state) {
  const int members = static_cast<int>(state.range(0));
  const bool listed = state.range(1) != 0;
  FreshGame();
  GameObject* creatureClass = bench::DefineCreatureClass();
  const std::string path = bench::CreaturePath(creatureClass);
  Configure(bench::CreatureConfig(members, listed ? path : "", path, 150));
  GameObject* creature = sandbox::game::NewCreature(creatureClass, 100, 0);
  const auto spawn = [&] { OnDinoBeginPlay(As<APrimalDinoCharacter>(creature)); };

  spawn();
  if (!NothingLogged(state)) return;
  if (gOriginalCalls != 1 || sandbox::game::ForceDestroyCalls(creature) != (listed ? 1 : 0)) {
    return state.SkipWithError("the spawn filter decided wrongly");
  }
  if (!bench::CheckNoConfigCopy(state, spawn)) return;

  bench::Meter meter(state);
  for (auto _ : state) spawn();
  meter.Report();
}
BENCHMARK(BM_SpawnFilterHook)->ArgsProduct({{1, 10, 100}, {0, 1}})->ArgNames({"members", "listed"});

void BM_DefaultObjectBlueprint(benchmark::State& state) {
  sandbox::game::ResetGame();
  auto* cls = reinterpret_cast<UClass*>(bench::DefineListedItemClass());
  bench::Meter meter(state);
  for (auto _ : state) {
    const auto path = DefaultObjectBlueprint(cls);
    benchmark::DoNotOptimize(path.data);
  }
  meter.Report();
}
BENCHMARK(BM_DefaultObjectBlueprint);

void BM_ObjectBlueprint(benchmark::State& state) {
  sandbox::game::ResetGame();
  GameObject* item = sandbox::game::NewItem(bench::DefineListedItemClass());
  bench::Meter meter(state);
  for (auto _ : state) {
    const auto path = ObjectBlueprint(item);
    benchmark::DoNotOptimize(path.data);
  }
  meter.Report();
}
BENCHMARK(BM_ObjectBlueprint);

void BM_ClassBlueprint(benchmark::State& state) {
  sandbox::game::ResetGame();
  auto* cls = reinterpret_cast<UClass*>(bench::DefineCreatureClass());
  bench::Meter meter(state);
  for (auto _ : state) {
    const auto path = ClassBlueprint(cls);
    benchmark::DoNotOptimize(path.data);
  }
  meter.Report();
}
BENCHMARK(BM_ClassBlueprint);

// A creature purge command line, then one of `words` words with runs of spaces between them.
void BM_SplitCommandWords(benchmark::State& state) {
  const int words = static_cast<int>(state.range(0));
  std::string line =
      "Tidywarden.DestroySpecifydino Blueprint'/Game/Bench/Dinos/Raptor/Raptor_Character_BP.Raptor_Character_BP' 1";
  if (words > 3) {
    line.clear();
    for (int i = 0; i < words; ++i) line += (i % 4 == 0 ? "   word" : " word") + std::to_string(i);
  }
  const auto text = host::OwnedString::FromNarrow(line);
  if (SplitCommandWords(text).Num() != words) return state.SkipWithError("the line split into the wrong words");
  bench::Meter meter(state);
  for (auto _ : state) {
    const auto split = SplitCommandWords(text);
    benchmark::DoNotOptimize(split.data);
  }
  meter.Report();
}
BENCHMARK(BM_SplitCommandWords)->Arg(3)->Arg(64)->ArgName("words");

}  // namespace

BENCHMARK_MAIN();
