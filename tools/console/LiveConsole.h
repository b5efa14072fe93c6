// The live console: the page and the API for one server or a cluster, reaching each only through its directory,
// its RCON port and its log file.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "RconClient.h"
#include "Servers.h"

namespace boost::asio {
class io_context;
}

namespace live {

// A server as the console runs it: its entry with the password read, and its RCON address parsed.
struct LiveServer {
  std::string name;
  std::string serverDir;
  RconAddress rcon;
  std::string password;  // empty: the page asks for it
  std::string log;
};

struct LiveOptions {
  std::uint16_t port = 27081;  // 0 picks a free one; loopback only
  std::string token;           // empty: a fresh random one
  RconLimits limits;
  std::chrono::milliseconds logPoll{500};
};

class LiveConsole {
 public:
  LiveConsole(boost::asio::io_context& io, LiveOptions options, std::vector<LiveServer> servers);
  ~LiveConsole();
  LiveConsole(const LiveConsole&) = delete;
  LiveConsole& operator=(const LiveConsole&) = delete;

  // Binds (throws std::runtime_error when it cannot), then connects to every server and follows its log.
  void Start();
  void Stop();
  // http://127.0.0.1:PORT/#token=TOKEN
  std::string Address() const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace live
