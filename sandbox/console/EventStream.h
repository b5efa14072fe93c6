// One page's event stream: the response's header, then events as they happen, until the page goes away.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include <boost/asio/ip/tcp.hpp>

#include "sandbox/console/HttpSession.h"

namespace sandbox::console {

class EventStream final : public Closable, public std::enable_shared_from_this<EventStream> {
 public:
  explicit EventStream(boost::asio::ip::tcp::socket socket);

  void Start(unsigned version);
  // Queues one event; a page that reads this far behind is dropped, and reconnects to start afresh.
  void Send(const std::string& text);
  bool Closed() const { return closed_; }
  void Close() override;

 private:
  void Next();
  void WatchForClose();

  boost::asio::ip::tcp::socket socket_;
  std::deque<std::string> queue_;  // the header first
  std::size_t unsentBytes_ = 0;
  bool writing_ = false;
  bool closed_ = false;
  char scratch_[512];
};

}  // namespace sandbox::console
