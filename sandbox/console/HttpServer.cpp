// The console's HTTP core: accepts on loopback, dispatches by the route table, and fans events out to pages.
#include <utility>

#include "sandbox/console/HttpServer.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <random>
#include <stdexcept>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include "sandbox/console/Admission.h"
#include "sandbox/console/EventStream.h"
#include "sandbox/console/HttpSession.h"

namespace sandbox::console {
namespace {

namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr std::size_t kBacklogLines = 200;
constexpr auto kKeepalive = std::chrono::seconds(15);

std::string RandomToken() {
  std::random_device device;
  std::string token;
  constexpr char kDigits[] = "0123456789abcdef";
  for (int word = 0; word < 4; ++word) {
    const std::uint32_t bits = device();
    for (int shift = 28; shift >= 0; shift -= 4) token += kDigits[(bits >> shift) & 0xF];
  }
  return token;
}

// "use GET or PUT": the methods a path takes, in the table's order.
std::string MethodsOf(const std::vector<Route>& routes, std::string_view path) {
  std::string methods;
  for (const Route& route : routes) {
    if (route.path == path) methods += (methods.empty() ? "" : " or ") + route.method;
  }
  return methods;
}

}  // namespace

struct HttpServer::Impl final : SessionHost, std::enable_shared_from_this<HttpServer::Impl> {
  Impl(net::io_context& context, HttpOptions o, std::vector<Route> r)
      : io(context), options(std::move(o)), routes(std::move(r)) {
    token = options.token.empty() ? RandomToken() : options.token;
  }

  std::uint16_t Port() const override { return port; }
  std::string_view Token() const override { return token; }
  void Dispatch(const HttpRequest& request, const Respond& respond) override;
  void OpenEventStream(tcp::socket socket, unsigned version) override;
  void Accept();
  void Tick();
  void Track(std::weak_ptr<Closable> connection);
  void Deliver(const std::string& text, bool keep);

  net::io_context& io;
  const HttpOptions options;
  const std::vector<Route> routes;
  std::string token;
  std::uint16_t port = 0;
  std::optional<tcp::acceptor> acceptor;
  std::optional<net::steady_timer> keepalive;
  std::vector<std::weak_ptr<Closable>> connections;  // closed when the server stops
  std::vector<std::weak_ptr<EventStream>> streams;
  std::deque<std::string> backlog;
};

void HttpServer::Impl::Dispatch(const HttpRequest& request, const Respond& respond) {
  const std::string_view path = PathOf(request.target);
  if (!path.starts_with("/api/")) {
    if (request.method != "GET" && request.method != "HEAD") return respond(ErrorResponse(405, "use GET"));
    if (path == "/mode.js") {
      return respond({200, std::string(ContentTypeOf(path)), "window.consoleMode = '" + options.mode + "';\n"});
    }
    if (auto page = PageFileResponse(path)) return respond(std::move(*page));
    return respond({404, "text/plain; charset=utf-8", "not found\n"});
  }
  const auto route = std::find_if(routes.begin(), routes.end(), [&](const Route& candidate) {
    return candidate.path == path && candidate.method == request.method;
  });
  if (route != routes.end()) return route->handler(request, respond);
  const std::string methods = MethodsOf(routes, path);
  if (!methods.empty()) return respond(ErrorResponse(405, "use " + methods));
  respond(ErrorResponse(404, "no such API: " + std::string(path)));
}

void HttpServer::Impl::OpenEventStream(tcp::socket socket, unsigned version) {
  auto stream = std::make_shared<EventStream>(std::move(socket));
  streams.push_back(stream);
  Track(stream);
  stream->Start(version);
  for (const auto& line : backlog) stream->Send(line);
}

void HttpServer::Impl::Accept() {
  acceptor->async_accept([self = shared_from_this()](boost::system::error_code error, tcp::socket socket) {
    if (error == net::error::operation_aborted || !self->acceptor) return;
    if (!error) self->Track(StartSession(self, std::move(socket)));
    self->Accept();
  });
}

void HttpServer::Impl::Tick() {
  keepalive->expires_after(kKeepalive);
  keepalive->async_wait([self = shared_from_this()](boost::system::error_code error) {
    if (error || !self->keepalive) return;
    self->Deliver(": keepalive\n\n", false);
    self->Tick();
  });
}

void HttpServer::Impl::Track(std::weak_ptr<Closable> connection) {
  std::erase_if(connections, [](const std::weak_ptr<Closable>& weak) { return weak.expired(); });
  connections.push_back(std::move(connection));
}

void HttpServer::Impl::Deliver(const std::string& text, bool keep) {
  if (keep) {
    backlog.push_back(text);
    if (backlog.size() > kBacklogLines) backlog.pop_front();
  }
  std::erase_if(streams, [](const std::weak_ptr<EventStream>& weak) {
    const auto stream = weak.lock();
    return stream == nullptr || stream->Closed();
  });
  for (const auto& weak : streams) {
    if (const auto stream = weak.lock()) stream->Send(text);
  }
}

HttpServer::HttpServer(net::io_context& io, HttpOptions options, std::vector<Route> routes)
    : impl_(std::make_shared<Impl>(io, std::move(options), std::move(routes))) {}

HttpServer::~HttpServer() { Stop(); }

void HttpServer::Start() {
  Impl& impl = *impl_;
  if (impl.acceptor) throw std::runtime_error("the console is already running");
  try {
    impl.acceptor.emplace(impl.io);
    const tcp::endpoint endpoint(net::ip::make_address_v4("127.0.0.1"), impl.options.port);
    impl.acceptor->open(endpoint.protocol());
#if !defined(_WIN32)
    // On Windows this option would let a second program take the same port.
    impl.acceptor->set_option(net::socket_base::reuse_address(true));
#endif
    impl.acceptor->bind(endpoint);
    impl.acceptor->listen();
  } catch (const boost::system::system_error& error) {
    impl.acceptor.reset();
    throw std::runtime_error("console: cannot listen on 127.0.0.1:" + std::to_string(impl.options.port) + ": " +
                             error.code().message());
  }
  impl.port = impl.acceptor->local_endpoint().port();
  impl.keepalive.emplace(impl.io);
  impl.Accept();
  impl.Tick();
}

void HttpServer::Stop() {
  Impl& impl = *impl_;
  if (!impl.acceptor) return;
  impl.acceptor.reset();
  impl.keepalive.reset();
  for (const auto& weak : impl.connections) {
    if (const auto connection = weak.lock()) connection->Close();
  }
  impl.connections.clear();
  impl.streams.clear();
}

std::uint16_t HttpServer::Port() const { return impl_->port; }

const std::string& HttpServer::Token() const { return impl_->token; }

std::string HttpServer::Address() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/#token=" + impl_->token;
}

void HttpServer::Broadcast(std::string eventText, bool keep) {
  net::post(impl_->io, [impl = impl_, text = std::move(eventText), keep] { impl->Deliver(text, keep); });
}

}  // namespace sandbox::console
