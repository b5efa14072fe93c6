// The RCON listener under load: 16 logged-in clients pipelining commands, every reply checked for order and text.
#include <benchmark/benchmark.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "RconPacket.h"
#include "RconServer.h"

namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kClients = 16;
constexpr int kCommandsPerClient = 1000;
// Commands a client keeps in flight: pipelined, yet below the listener's bound of 64 queued per connection.
constexpr int kWindow = 32;
constexpr int kSplitEvery = 50;  // with split replies on, every 50th command answers with three packets
const std::string kPassword = "bench-secret";

std::string Encode(std::int32_t id, std::int32_t type, const std::string& body) {
  return sandbox::rcon::EncodePacket(id, type, body);
}

// The command lines stand in for the plug-in's (short Chinese answers) and the sandbox's (listings, log tails).
// The tag makes every line, and so every reply, unique.
std::string CommandLine(int client, int sequence, bool splitReplies) {
  const std::string tag = " #" + std::to_string(client) + "." + std::to_string(sequence);
  if (splitReplies && sequence % kSplitEvery == kSplitEvery - 1) return "sandbox.log 200" + tag;
  if (sequence % 10 == 3) return "sandbox.creatures" + tag;
  if (sequence % 2 == 0) return "Tidywarden.reload" + tag;
  return "Tidywarden.DestroySpecifydino Blueprint'/Game/Demo/Dinos/Raptor.Raptor' 0" + tag;
}

// The game thread's executor; clients call it too, to know the reply each line must get.
std::string ReplyFor(const std::string& line) {
  const std::string tag = line.substr(line.rfind('#'));
  std::string text;
  if (line.starts_with("sandbox.log")) {
    for (int i = 0; i < 200; ++i) text += "[2024-05-01 12:00:00] [Tidywarden] 重新加载配置 " + std::to_string(i) + "\n";
  } else if (line.starts_with("sandbox.creatures")) {
    for (int i = 0; i < 40; ++i) text += "Creature_" + std::to_string(i) + " [Raptor_C] level 30 team 0\n";
  } else if (line.starts_with("Tidywarden.reload")) {
    text = "重新加载配置";
  } else {
    text = "清理指定恐龙2条，执行完毕！";
  }
  return text + tag;
}

class LoadClient {
 public:
  LoadClient(asio::io_context& io, std::uint16_t port, int index) : socket_(io), index_(index) {
    socket_.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
  }

  void SendLogin() { asio::write(socket_, asio::buffer(Encode(1, 3, kPassword))); }

  void AwaitLogin() {
    const auto [id, type, body] = ReadPacket();
    if (id != 1 || type != 2) throw std::runtime_error("login refused");
  }

  // Pipelines `commands` lines, reading as it goes. Returns the latency of each reply in milliseconds;
  // throws when a reply is missing, out of order or not the one its command must get.
  std::vector<double> Run(int commands, bool splitReplies) {
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(commands));
    std::vector<Clock::time_point> sent(static_cast<std::size_t>(commands));
    int next = 0;
    std::string joined;
    for (int done = 0; done < commands;) {
      if (next < commands && next - done < kWindow) {
        std::string batch;
        for (; next < commands && next - done < kWindow; ++next) {
          batch += Encode(next + 1, 2, CommandLine(index_, next, splitReplies));
          sent[static_cast<std::size_t>(next)] = Clock::now();
        }
        asio::write(socket_, asio::buffer(batch));
      }
      const auto [id, type, body] = ReadPacket();
      if (id != done + 1 || type != 0) {
        throw std::runtime_error("client " + std::to_string(index_) + ": expected reply " + std::to_string(done + 1) +
                                 ", got id " + std::to_string(id));
      }
      joined += body;
      const std::string expected = ReplyFor(CommandLine(index_, done, splitReplies));
      if (joined.size() < expected.size()) continue;  // more packets of a split reply to come
      if (joined != expected) throw std::runtime_error("client " + std::to_string(index_) + ": wrong reply text");
      latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent[done]).count());
      joined.clear();
      ++done;
    }
    return latencies;
  }

 private:
  struct Packet {
    std::int32_t id;
    std::int32_t type;
    std::string body;
  };

  Packet ReadPacket() {
    while (true) {
      const auto decoded = sandbox::rcon::DecodePacket(input_);
      if (decoded.framing == sandbox::rcon::Framing::Malformed) throw std::runtime_error("malformed packet");
      if (decoded.framing == sandbox::rcon::Framing::Complete) {
        Packet packet{decoded.packet.id, decoded.packet.type, std::string(decoded.packet.body)};
        input_.erase(0, decoded.length);
        return packet;
      }
      const std::size_t got = socket_.read_some(asio::buffer(chunk_));  // throws on a closed connection
      input_.append(chunk_.data(), got);
    }
  }

  tcp::socket socket_;
  int index_;
  std::string input_;
  std::array<char, 65536> chunk_{};
};

// The listener with the default options, a game thread answering through ReplyFor, and the clients logged in.
class LoadRig {
 public:
  LoadRig() : server_(game_, MakeOptions(), ReplyFor) {
    server_.Start();
    gameThread_ = std::jthread([this] { game_.run(); });
    // All connected before any logs in, as clients opening their connections together do.
    for (int i = 0; i < kClients; ++i) clients_.push_back(std::make_unique<LoadClient>(io_, server_.Port(), i));
    for (auto& client : clients_) client->SendLogin();
    for (auto& client : clients_) client->AwaitLogin();
  }

  std::vector<std::unique_ptr<LoadClient>>& Clients() { return clients_; }
  ~LoadRig() {
    clients_.clear();
    asio::post(game_, [this] { server_.Stop(); });
    work_.reset();
    gameThread_.join();
  }

 private:
  static sandbox::rcon::Options MakeOptions() {
    sandbox::rcon::Options options;
    options.password = kPassword;
    return options;
  }

  asio::io_context game_{1};
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(game_);
  sandbox::rcon::Server server_;
  std::jthread gameThread_;
  asio::io_context io_;
  std::vector<std::unique_ptr<LoadClient>> clients_;
};

double Percentile(std::vector<double>& values, double fraction) {
  const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
}

void RconLoad(benchmark::State& state) {
  const bool splitReplies = state.range(0) != 0;
  std::unique_ptr<LoadRig> rig;
  try {
    rig = std::make_unique<LoadRig>();
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  std::vector<double> latencies;
  double seconds = 0;
  std::int64_t replies = 0;
  std::string failure;
  for (auto _ : state) {
    std::vector<std::vector<double>> perClient(kClients);
    std::vector<std::string> errors(kClients);
    const auto start = Clock::now();
    {
      std::vector<std::jthread> threads;
      for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
          try {
            perClient[i] = rig->Clients()[i]->Run(kCommandsPerClient, splitReplies);
          } catch (const std::exception& error) {
            errors[i] = error.what();
          }
        });
      }
    }
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
    for (int i = 0; i < kClients && failure.empty(); ++i) {
      if (!errors[i].empty()) failure = errors[i];
      if (failure.empty() && perClient[i].size() != kCommandsPerClient) failure = "replies lost";
      latencies.insert(latencies.end(), perClient[i].begin(), perClient[i].end());
      replies += static_cast<std::int64_t>(perClient[i].size());
    }
    if (!failure.empty()) {
      state.SkipWithError(failure.c_str());
      break;
    }
  }
  if (!failure.empty() || latencies.empty()) return;
  state.counters["replies_per_s"] = static_cast<double>(replies) / seconds;
  state.counters["p50_ms"] = Percentile(latencies, 0.50);
  state.counters["p99_ms"] = Percentile(latencies, 0.99);
}

BENCHMARK(RconLoad)->ArgName("split")->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
