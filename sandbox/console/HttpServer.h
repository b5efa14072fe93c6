// The console's reusable HTTP core: listener, admission, the page, the event stream and a table of routes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sandbox/console/Http.h"

namespace boost::asio {
class io_context;
}

namespace sandbox::console {

struct HttpOptions {
  std::uint16_t port = 27080;  // 0 picks a free one; the console listens on 127.0.0.1 only
  std::string token;           // empty: a random 128-bit token, as 32 lowercase hex digits
  // Which console the page is: "sandbox" or "live", told to it by /mode.js before its modules run.
  std::string mode = "sandbox";
};

// Serves the page to anyone on loopback who names it by address, and the routes (plus GET /api/events) to
// requests carrying the token (see Admission.h). Everything runs on whichever thread runs `io`.
class HttpServer {
 public:
  HttpServer(boost::asio::io_context& io, HttpOptions options, std::vector<Route> routes);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and starts accepting. Throws std::runtime_error when the port cannot be bound.
  void Start();
  // Closes the listener and every connection. Idempotent.
  void Stop();
  std::uint16_t Port() const;
  const std::string& Token() const;
  // http://127.0.0.1:PORT/#token=TOKEN
  std::string Address() const;

  // Any thread: an event to every page; `keep` also keeps it (up to the last 200) for pages that open later.
  void Broadcast(std::string eventText, bool keep);

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace sandbox::console
