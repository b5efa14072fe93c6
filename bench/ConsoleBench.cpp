// The console's GET /api/world on a large generated world: the HTTP round trip through the game thread (the whole
// world and the page's quick first answer), and the snapshot alone.
#include <utility>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "sandbox/console/Console.h"
#include "sandbox/console/WorldJson.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace game = sandbox::game;

constexpr int kCreatures = 10'000;
constexpr int kStructures = 10'000;
constexpr int kInventories = 1'000;
constexpr int kItemsPerInventory = 10;

void BuildLargeWorld() {
  sandbox::ResetHost();
  game::GameObject* creatures[] = {game::DefineClass("Raptor_C", "/Game/Bench/Dinos/Raptor", game::Kind::Creature),
                                   game::DefineClass("Rex_C", "/Game/Bench/Dinos/Rex", game::Kind::Creature)};
  game::GameObject* wall = game::DefineClass("Wall_C", "/Game/Bench/Structures/Wall", game::Kind::Structure);
  game::GameObject* items[] = {game::DefineClass("Berry_C", "/Game/Bench/Items/Berry", game::Kind::Item),
                               game::DefineClass("WallItem_C", "/Game/Bench/Items/WallItem", game::Kind::Item, wall)};
  for (int i = 0; i < kCreatures; ++i) game::NewCreature(creatures[i % 2], 1 + i % 150, i % 3 == 0 ? 50000 : 0);
  for (int i = 0; i < kStructures; ++i) game::NewStructure(wall);
  for (int i = 0; i < kInventories; ++i) {
    game::GameObject* inventory = game::NewInventory("Chest" + std::to_string(i));
    for (int j = 0; j < kItemsPerInventory; ++j) game::PutItem(inventory, game::NewItem(items[j % 2]));
  }
}

// The console with its game thread, which does nothing but serve it.
class RunningConsole {
 public:
  RunningConsole() {
    BuildLargeWorld();
    sandbox::console::Services services;
    services.execute = [](const std::string&) { return std::string(); };
    services.configPath = [] { return std::string("config.json"); };
    services.replaceWorld = [](const std::string&) {};
    services.pluginLoaded = [] { return true; };
    services.commandWords = [] { return std::vector<std::string>(); };
    console_.emplace(game_, sandbox::console::Options{0, {}}, std::move(services));
    console_->Start();
    gameThread_ = std::thread([this] { game_.run(); });
  }
  ~RunningConsole() {
    net::post(game_, [this] { console_->Stop(); });
    work_.reset();
    gameThread_.join();
  }

  sandbox::console::Console& Console() { return *console_; }

 private:
  net::io_context game_{1};
  net::executor_work_guard<net::io_context::executor_type> work_ = net::make_work_guard(game_);
  std::optional<sandbox::console::Console> console_;
  std::thread gameThread_;
};

void GetOverHttp(benchmark::State& state, const char* target) {
  RunningConsole running;
  net::io_context io;
  net::ip::tcp::socket socket(io);
  socket.connect({net::ip::make_address_v4("127.0.0.1"), running.Console().Port()});
  const std::string host = "127.0.0.1:" + std::to_string(running.Console().Port());
  beast::flat_buffer buffer;
  std::size_t bytes = 0;
  for (auto _ : state) {
    http::request<http::empty_body> request(http::verb::get, target, 11);
    request.set(http::field::host, host);
    request.set(http::field::authorization, "Bearer " + running.Console().Token());
    http::write(socket, request);
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 << 20);
    http::read(socket, buffer, parser);
    if (parser.get().result() != http::status::ok) state.SkipWithError("the world was not served");
    bytes = parser.get().body().size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_GetWorldOverHttp(benchmark::State& state) { GetOverHttp(state, "/api/world"); }
BENCHMARK(BM_GetWorldOverHttp)->Unit(benchmark::kMillisecond)->UseRealTime();

// The page's quick first answer: counts and the first rows of each kind.
void BM_GetWorldFirstRowsOverHttp(benchmark::State& state) { GetOverHttp(state, "/api/world?rows=100"); }
BENCHMARK(BM_GetWorldFirstRowsOverHttp)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WorldSnapshotJson(benchmark::State& state) {
  BuildLargeWorld();
  sandbox::console::ObjectIds ids;
  for (auto _ : state) benchmark::DoNotOptimize(sandbox::console::WorldSnapshotJson(ids, 1, true));
}
BENCHMARK(BM_WorldSnapshotJson)->Unit(benchmark::kMillisecond);

void BM_WorldFingerprint(benchmark::State& state) {
  BuildLargeWorld();
  for (auto _ : state) benchmark::DoNotOptimize(sandbox::console::WorldFingerprint());
}
BENCHMARK(BM_WorldFingerprint)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
