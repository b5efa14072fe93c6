// The console's event stream: written as plain text behind a header, with no HTTP library needed for either.
#include "sandbox/console/EventStream.h"

#include <utility>

#include <boost/asio/write.hpp>

namespace sandbox::console {
namespace {

namespace net = boost::asio;
constexpr std::size_t kMostUnsentEventBytes = 8 << 20;

std::string StreamHeader(unsigned version) {
  std::string header = version == 10 ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.1 200 OK\r\n";
  for (const auto& [name, value] : kCommonHeaders) header.append(name).append(": ").append(value).append("\r\n");
  header += "Content-Type: text/event-stream; charset=utf-8\r\n";
  if (version != 10) header += "Connection: close\r\n";
  return header + "\r\n";
}

}  // namespace

EventStream::EventStream(net::ip::tcp::socket socket) : socket_(std::move(socket)) {}

void EventStream::Start(unsigned version) {
  Send(StreamHeader(version));
  WatchForClose();
}

void EventStream::Send(const std::string& text) {
  if (closed_) return;
  if (unsentBytes_ + text.size() > kMostUnsentEventBytes) return Close();
  unsentBytes_ += text.size();
  queue_.push_back(text);
  Next();
}

void EventStream::Next() {
  if (writing_ || closed_ || queue_.empty()) return;
  writing_ = true;
  net::async_write(socket_, net::buffer(queue_.front()),
                   [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                     self->writing_ = false;
                     self->unsentBytes_ -= self->queue_.front().size();
                     self->queue_.pop_front();
                     if (error) return self->Close();
                     self->Next();
                   });
}

// A page sends nothing more; a read ends when it goes away.
void EventStream::WatchForClose() {
  socket_.async_read_some(net::buffer(scratch_),
                          [self = shared_from_this()](boost::system::error_code error, std::size_t) {
                            if (error) return self->Close();
                            self->WatchForClose();
                          });
}

void EventStream::Close() {
  if (closed_) return;
  closed_ = true;
  boost::system::error_code ignored;
  socket_.shutdown(net::ip::tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
}

}  // namespace sandbox::console
