// What the game pays: the built module loaded into the simulated host, driven through the game's entry points.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"

namespace {

using sandbox::game::GameObject;

// Bounds the game's own records of calls, which grow with every call it sees.
constexpr std::int64_t kRecordBatch = 1024;

class LoadedPlugin {
 public:
  LoadedPlugin()
      : directory_(std::filesystem::temp_directory_path() / ("tidywarden-bench-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(ConfigPath().parent_path());
    sandbox::SetCurrentDir(directory_.generic_string());
    WriteConfig("{}");
    module_.Load(TIDYWARDEN_PLUGIN_PATH);
  }
  ~LoadedPlugin() {
    module_.Unload();
    std::filesystem::remove_all(directory_);
  }
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // Writes the file and reloads it the way an administrator does; false when the plug-in did not confirm.
  bool Configure(const std::string& text) {
    WriteConfig(text);
    sandbox::Connection connection;
    sandbox::ExecuteRcon(connection, "Tidywarden.reload");
    sandbox::LogRecorder()->Clear();
    return connection.replies.size() == 1;
  }

 private:
  std::filesystem::path ConfigPath() const { return directory_ / "ArkApi/Plugins/Tidywarden/config.json"; }
  void WriteConfig(const std::string& text) {
    std::ofstream file(ConfigPath(), std::ios::binary | std::ios::trunc);
    file << text;
  }

  std::filesystem::path directory_;
  sandbox::PluginModule module_;
};

LoadedPlugin* gPlugin = nullptr;

bool Configure(benchmark::State& state, const std::string& text) {
  if (gPlugin->Configure(text)) return true;
  state.SkipWithError("the plug-in did not reload the configuration");
  return false;
}

bool NothingLogged(benchmark::State& state) {
  if (sandbox::LogRecorder()->Lines().empty()) return true;
  state.SkipWithError(("the hook logged: " + sandbox::LogRecorder()->Lines().front()).c_str());
  return false;
}

struct AddWorld {
  GameObject* item = nullptr;
  GameObject* inventory = nullptr;
};

// The game keeps every added item; a fresh world now and then keeps the inventory from growing without bound.
AddWorld NewAddWorld() {
  sandbox::game::ResetGame();
  AddWorld world;
  world.item = sandbox::game::NewItem(bench::DefineListedItemClass());
  world.inventory = sandbox::game::NewInventory();
  return world;
}

void BM_GameAddToInventory(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  const bool listed = state.range(1) != 0;
  sandbox::game::ResetGame();
  if (!Configure(state, bench::ItemConfig(entries, listed ? bench::ItemPath(bench::DefineListedItemClass()) : ""))) {
    return;
  }
  AddWorld world = NewAddWorld();
  const auto add = [&] { sandbox::game::AddToInventory(world.item, world.inventory); };

  add();
  if (!NothingLogged(state)) return;
  if (sandbox::game::Record().addCalls.size() != (listed ? 0U : 1U)) {
    return state.SkipWithError("the add hook decided wrongly");
  }
  if (!bench::CheckNoConfigCopy(state, add)) return;

  bench::Meter meter(state);
  std::int64_t sinceReset = 0;
  for (auto _ : state) {
    add();
    if (listed || ++sinceReset < 64 * kRecordBatch) continue;
    meter.Pause();
    world = NewAddWorld();
    sinceReset = 0;
    meter.Resume();
  }
  meter.Report();
}
BENCHMARK(BM_GameAddToInventory)->ArgsProduct({{1, 10, 100}, {0, 1}})->ArgNames({"entries", "listed"});

// Destroylist of ten entries; with `listed`, every tenth item is listed and is put back after each purge.
void BM_GameViewRemoteInventory(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const bool withListed = state.range(1) != 0;
  sandbox::game::ResetGame();
  GameObject* listedClass = bench::DefineListedItemClass();
  GameObject* cleanClass = bench::DefineCleanItemClass();
  if (!Configure(state, bench::ItemConfig(10, bench::ItemPath(listedClass)))) return;
  GameObject* controller = sandbox::game::NewController();
  GameObject* inventory = sandbox::game::NewInventory();
  std::vector<GameObject*> listedItems;
  for (int i = 0; i < count; ++i) {
    const bool listed = withListed && i % 10 == 9;
    GameObject* item = sandbox::game::NewItem(listed ? listedClass : cleanClass);
    sandbox::game::PutItem(inventory, item);
    if (listed) listedItems.push_back(item);
  }
  const auto view = [&] { sandbox::game::ViewRemoteInventory(controller, inventory); };
  const auto refill = [&] {
    for (GameObject* item : listedItems) sandbox::game::PutItem(inventory, item);
    sandbox::game::Record().removeItemCalls.clear();
    sandbox::game::Record().viewCalls.clear();
  };

  view();
  if (!NothingLogged(state)) return;
  const auto& calls = sandbox::game::Record().viewCalls;
  if (calls.size() != 1 || calls[0].itemsSeen.size() != static_cast<std::size_t>(count) - listedItems.size()) {
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
  std::int64_t sinceClear = 0;
  for (auto _ : state) {
    view();
    if (listedItems.empty() && ++sinceClear < kRecordBatch) continue;
    meter.Pause();
    refill();
    sinceClear = 0;
    meter.Resume();
  }
  meter.Report();
}
BENCHMARK(BM_GameViewRemoteInventory)->ArgsProduct({{10, 100}, {0, 1}})->ArgNames({"items", "listed"});

// A creature enters play: DestroyDinolist of `members` members (the last one listing it when `listed`), and a
// DestroyDinoLevel entry for it whose threshold it stays below.
void BM_GameSpawnCreature(benchmark::State& state) {
  const int members = static_cast<int>(state.range(0));
  const bool listed = state.range(1) != 0;
  sandbox::game::ResetGame();
  GameObject* creatureClass = bench::DefineCreatureClass();
  const std::string path = bench::CreaturePath(creatureClass);
  if (!Configure(state, bench::CreatureConfig(members, listed ? path : "", path, 150))) return;
  GameObject* creature = sandbox::game::NewCreature(creatureClass, 100, 0);
  const auto spawn = [&] { sandbox::game::DinoBeginPlay(creature); };

  spawn();
  if (!NothingLogged(state)) return;
  if (sandbox::game::Record().dinoBeginPlayCalls.size() != 1 ||
      sandbox::game::ForceDestroyCalls(creature) != (listed ? 1 : 0)) {
    return state.SkipWithError("the spawn filter decided wrongly");
  }
  if (!bench::CheckNoConfigCopy(state, spawn)) return;

  bench::Meter meter(state);
  std::int64_t sinceClear = 0;
  for (auto _ : state) {
    spawn();
    if (++sinceClear < kRecordBatch) continue;
    meter.Pause();
    sandbox::game::Record().dinoBeginPlayCalls.clear();
    sinceClear = 0;
    meter.Resume();
  }
  meter.Report();
}
BENCHMARK(BM_GameSpawnCreature)->ArgsProduct({{1, 10, 100}, {0, 1}})->ArgNames({"members", "listed"});

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    LoadedPlugin plugin;
    gPlugin = &plugin;
    benchmark::RunSpecifiedBenchmarks();
    gPlugin = nullptr;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}
