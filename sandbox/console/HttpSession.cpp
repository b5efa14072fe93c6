// One HTTP connection of the console on Boost.Beast: admission from the header, then the route's answer.
// Boost 1.74's Asio needs <utility> before its own headers under C++20 with GCC 12.
#include <utility>

#include "sandbox/console/HttpSession.h"

#include <optional>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include "sandbox/console/Admission.h"

namespace sandbox::console {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Response = http::response<http::string_body>;

constexpr std::size_t kMostHeaderBytes = 16 * 1024;
// Read and discarded behind a refused request, so the refusal reaches the client before the connection closes.
constexpr std::size_t kMostDrainedBytes = 16 << 20;
constexpr auto kIdleTimeout = std::chrono::seconds(60);
constexpr auto kDrainTimeout = std::chrono::seconds(5);

bool IsHttpError(const beast::error_code& error) {
  return error.category() == beast::error_code(http::error::bad_target).category();
}

Response ToBeast(const HttpResponse& answer, unsigned version, bool keepAlive, bool head) {
  Response response(static_cast<http::status>(answer.status), version);
  for (const auto& [name, value] : kCommonHeaders) response.set(name, value);
  response.set(http::field::content_type, answer.contentType);
  response.body() = answer.body;
  response.prepare_payload();
  if (head) {
    // A HEAD is answered with the length its GET would have, and no body.
    response.body().clear();
    response.content_length(answer.body.size());
  }
  response.keep_alive(keepAlive);
  return response;
}

class HttpSession final : public Closable, public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(std::shared_ptr<SessionHost> host, tcp::socket socket)
      : host_(std::move(host)), socket_(std::move(socket)), deadline_(socket_.get_executor()) {}

  void Start() { ReadHeader(); }

  void Close() override {
    closed_ = true;
    deadline_.cancel();
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

 private:
  // A failure while serving one request drops that connection, never the console and the game loop it runs on.
  template <typename Work>
  void Guarded(const Work& work) {
    try {
      work();
    } catch (const std::exception&) {
      Close();
    }
  }

  // A client that takes longer than `timeout` over the rest of this request (or its drain) is closed: the timer
  // runs across the reads and the write, and a new request sets it again.
  void CloseAfter(std::chrono::seconds timeout) {
    deadline_.expires_after(timeout);
    deadline_.async_wait([weak = weak_from_this()](beast::error_code error) {
      const auto self = weak.lock();
      if (!error && self) self->Close();
    });
  }

  void ReadHeader() {
    parser_.emplace();
    parser_->header_limit(kMostHeaderBytes);
    parser_->body_limit(kMostBodyBytes);
    CloseAfter(kIdleTimeout);
    http::async_read_header(
        socket_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnHeader(error); });
  }

  void OnHeader(beast::error_code error) {
    if (error == http::error::end_of_stream || error == net::error::eof) return Close();
    if (error == http::error::header_limit) return Refuse(431, "the request's header is too large");
    // The parser weighs a declared length against its limit as soon as the header is complete.
    if (error == http::error::body_limit) return Refuse(413, "the request's body is over 1 MiB");
    if (IsHttpError(error)) return Refuse(400, "not an HTTP request");
    if (error || closed_) return Close();
    const auto& request = parser_->get();
    const auto origin = request.find(http::field::origin);
    RequestFacts facts;
    facts.method = request.method_string();
    facts.target = request.target();
    facts.host = request[http::field::host];
    facts.authorization = request[http::field::authorization];
    facts.hasOrigin = origin != request.end();
    if (facts.hasOrigin) facts.origin = origin->value();
    if (const Refusal refusal = Admit(facts, host_->Port(), host_->Token()); refusal.status != 0) {
      return Refuse(refusal.status, refusal.message);
    }
    if (const auto length = parser_->content_length(); length && *length > kMostBodyBytes) {
      return Refuse(413, "the request's body is over 1 MiB");
    }
    if (parser_->is_done()) return OnBody({});
    http::async_read(socket_, buffer_, *parser_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      self->Guarded([&] { self->OnBody(error); });
    });
  }

  void OnBody(beast::error_code error) {
    if (error == http::error::body_limit) return Refuse(413, "the request's body is over 1 MiB");
    if (IsHttpError(error)) return Refuse(400, "a malformed request");
    if (error || closed_) return Close();
    Route(parser_->release());
  }

  void Route(http::request<http::string_body> request) {
    const unsigned version = request.version();
    const bool keepAlive = request.keep_alive();
    const bool head = request.method() == http::verb::head;
    HttpRequest plain{std::string(request.method_string()), std::string(request.target()), std::move(request.body())};
    if (PathOf(plain.target) == "/api/events") {
      if (plain.method != "GET") return Write(ErrorResponse(405, "use GET"), version, false, false);
      deadline_.cancel();
      return host_->OpenEventStream(std::move(socket_), version);
    }
    // Answered through the executor, so a route that answers at once never writes from inside its own dispatch.
    const Respond respond = [self = shared_from_this(), version, keepAlive, head](HttpResponse response) {
      net::post(self->socket_.get_executor(), [self, response = std::move(response), version, keepAlive, head] {
        self->Guarded([&] { self->Write(response, version, keepAlive, head); });
      });
    };
    try {
      host_->Dispatch(plain, respond);
    } catch (const std::exception& failure) {
      respond(ErrorResponse(500, failure.what()));
    }
  }

  // What follows an answer: the next request, the close, or the drain behind a refusal.
  enum class After { ReadNext, Close, Drain };

  void Write(const HttpResponse& answer, unsigned version, bool keepAlive, bool head) {
    Send(ToBeast(answer, version, keepAlive, head), keepAlive ? After::ReadNext : After::Close);
  }

  // The answer, then whatever the client still sends is read and dropped until it closes, so it is not reset
  // before it reads the answer.
  void Refuse(unsigned status, const std::string& message) {
    Send(ToBeast(ErrorResponse(status, message), 11, false, false), After::Drain);
  }

  void Send(Response response, After after) {
    if (closed_) return;
    response_.emplace(std::move(response));
    http::async_write(socket_, *response_, [self = shared_from_this(), after](beast::error_code error, std::size_t) {
      self->response_.reset();
      if (error || after == After::Close) return self->Close();
      if (after == After::ReadNext) return self->ReadHeader();
      beast::error_code ignored;
      self->socket_.shutdown(tcp::socket::shutdown_send, ignored);
      self->CloseAfter(kDrainTimeout);
      self->Drain();
    });
  }

  void Drain() {
    socket_.async_read_some(net::buffer(scratch_), [self = shared_from_this()](beast::error_code error, std::size_t n) {
      self->drained_ += n;
      if (error || self->drained_ > kMostDrainedBytes) return self->Close();
      self->Drain();
    });
  }

  std::shared_ptr<SessionHost> host_;
  tcp::socket socket_;
  net::steady_timer deadline_;  // whatever is being read or written by then, the connection closes
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::optional<Response> response_;
  char scratch_[4096];
  std::size_t drained_ = 0;
  bool closed_ = false;
};

}  // namespace

std::shared_ptr<Closable> StartSession(std::shared_ptr<SessionHost> host, tcp::socket socket) {
  auto session = std::make_shared<HttpSession>(std::move(host), std::move(socket));
  session->Start();
  return session;
}

}  // namespace sandbox::console
