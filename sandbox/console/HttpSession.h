// One HTTP connection of the console, and what it asks of the server that accepted it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include <boost/asio/ip/tcp.hpp>

#include "sandbox/console/Http.h"

namespace sandbox::console {

// A connection the server closes when it stops.
class Closable {
 public:
  virtual void Close() = 0;

 protected:
  ~Closable() = default;
};

class SessionHost {
 public:
  virtual std::uint16_t Port() const = 0;
  virtual std::string_view Token() const = 0;
  // Answers a request that passed admission: the routes, else the page's files.
  virtual void Dispatch(const HttpRequest& request, const Respond& respond) = 0;
  // Takes the connection over as an event stream, after GET /api/events.
  virtual void OpenEventStream(boost::asio::ip::tcp::socket socket, unsigned version) = 0;

 protected:
  ~SessionHost() = default;
};

// Serves the connection until it closes: requests one at a time, refusals decided from the header alone.
std::shared_ptr<Closable> StartSession(std::shared_ptr<SessionHost> host, boost::asio::ip::tcp::socket socket);

}  // namespace sandbox::console
