// The console's HTTP server (Boost.Beast on its own network thread) and the API it runs on the game thread.
// Boost 1.74's Asio needs <utility> before its own headers under C++20 with GCC 12.
#include <utility>

#include "sandbox/console/Console.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

#include "sandbox/console/Admission.h"
#include "sandbox/console/ConfigFile.h"
#include "sandbox/console/PageFiles.h"
#include "sandbox/console/WorldFromConfig.h"
#include "sandbox/console/WorldJson.h"

namespace sandbox::console {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using nlohmann::json;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

constexpr std::size_t kBacklogLines = 200;
constexpr auto kKeepalive = std::chrono::seconds(15);
// A page that reads its events this far behind is dropped; it reconnects and starts afresh.
constexpr std::size_t kMostUnsentEventBytes = 8 << 20;
// Read and discarded behind a refused request, so the refusal reaches the client before the connection closes.
constexpr std::size_t kMostDrainedBytes = 16 << 20;
constexpr auto kIdleTimeout = std::chrono::seconds(60);
constexpr const char* kPluginLogger = "Sweepmark1.4.1";

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

std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

void SetCommonHeaders(http::fields& fields) {
  fields.set("Content-Security-Policy", "default-src 'self'");
  fields.set("X-Content-Type-Options", "nosniff");
  fields.set(http::field::cache_control, "no-store");
  fields.set("Referrer-Policy", "no-referrer");
}

Response MakeResponse(unsigned status, std::string_view contentType, std::string body, unsigned version) {
  Response response(static_cast<http::status>(status), version);
  SetCommonHeaders(response.base());
  response.set(http::field::content_type, contentType);
  response.body() = std::move(body);
  response.prepare_payload();
  return response;
}

Response JsonResponse(unsigned status, const json& body, unsigned version) {
  return MakeResponse(status, "application/json; charset=utf-8", Dump(body), version);
}

Response ErrorResponse(unsigned status, const std::string& message, unsigned version) {
  return JsonResponse(status, {{"error", message}}, version);
}

// A count of rows as the page writes it: decimal digits only. Counts beyond any world's size stand for "all".
std::optional<std::size_t> RowCount(std::string_view text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  constexpr std::uint64_t kMost = 1'000'000'000;
  std::uint64_t count = 0;
  for (const char digit : text) count = std::min(kMost, count * 10 + static_cast<std::uint64_t>(digit - '0'));
  return static_cast<std::size_t>(count);
}

bool IsHttpError(const beast::error_code& error) {
  return error.category() == beast::error_code(http::error::bad_target).category();
}

std::string Event(std::string_view name, const json& data) {
  return "event: " + std::string(name) + "\ndata: " + Dump(data) + "\n\n";
}

// The language a request asks the checker's texts in (`?lang=zh-CN`); English unless it names another.
check::Language LanguageOf(const Request& request) {
  return check::ParseLanguage(QueryValue(request.target(), "lang")).value_or(check::Language::English);
}

}  // namespace

std::string_view ContentTypeOf(std::string_view name) {
  const auto dot = name.rfind('.');
  const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (extension == "html") return "text/html; charset=utf-8";
  if (extension == "js" || extension == "mjs") return "text/javascript; charset=utf-8";
  if (extension == "css") return "text/css; charset=utf-8";
  if (extension == "svg") return "image/svg+xml; charset=utf-8";
  if (extension == "json") return "application/json; charset=utf-8";
  if (extension == "png") return "image/png";
  if (extension == "ico") return "image/x-icon";
  return "application/octet-stream";
}

class EventStream;

struct ConsoleImpl {
  ConsoleImpl(Options o, Services s) : options(std::move(o)), services(std::move(s)) {
    token = options.token.empty() ? RandomToken() : options.token;
  }

  void Post(std::function<void()> job) {
    {
      std::lock_guard lock(jobsMutex);
      jobs.push_back(std::move(job));
    }
    jobsReady.notify_one();
  }

  // Any thread: an event to every page, and log lines to the backlog new pages start with.
  void Broadcast(std::string text, bool logLine);
  void Accept();
  Response HandleApi(const Request& request);  // game thread
  Response WorldFromConfigResponse(const Request& request);
  void NoticeWorldChanges();

  Options options;
  Services services;
  std::string token;
  std::atomic<std::uint16_t> port{0};

  net::io_context io;
  std::optional<tcp::acceptor> acceptor;
  std::optional<net::steady_timer> keepalive;
  std::thread thread;
  bool running = false;

  std::mutex jobsMutex;
  std::condition_variable jobsReady;
  std::deque<std::function<void()>> jobs;

  // Game thread.
  ObjectIds ids;
  std::uint64_t version = 1;
  std::optional<std::uint64_t> fingerprint;

  // Network thread.
  std::vector<std::weak_ptr<EventStream>> streams;
  std::deque<std::string> backlog;

  std::shared_ptr<HostSink> sink;
};

// One page's event stream: the response's header, then events as they happen, until the page goes away.
class EventStream : public std::enable_shared_from_this<EventStream> {
 public:
  explicit EventStream(beast::tcp_stream stream) : stream_(std::move(stream)) {}

  void Start(unsigned version) {
    header_.version(version);
    header_.result(http::status::ok);
    SetCommonHeaders(header_.base());
    header_.set(http::field::content_type, "text/event-stream; charset=utf-8");
    header_.keep_alive(false);
    serializer_.emplace(header_);
    stream_.expires_never();
    writing_ = true;
    http::async_write_header(stream_, *serializer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      self->writing_ = false;
      if (error) return self->Close();
      self->Next();
    });
    WatchForClose();
  }

  void Send(const std::string& text) {
    if (closed_) return;
    if (unsentBytes_ + text.size() > kMostUnsentEventBytes) return Close();
    unsentBytes_ += text.size();
    queue_.push_back(text);
    Next();
  }

  bool Closed() const { return closed_; }

 private:
  void Next() {
    if (writing_ || closed_ || queue_.empty()) return;
    writing_ = true;
    net::async_write(stream_, net::buffer(queue_.front()),
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       self->writing_ = false;
                       self->unsentBytes_ -= self->queue_.front().size();
                       self->queue_.pop_front();
                       if (error) return self->Close();
                       self->Next();
                     });
  }

  // A page sends nothing more; a read ends when it goes away.
  void WatchForClose() {
    stream_.async_read_some(net::buffer(scratch_), [self = shared_from_this()](beast::error_code error, std::size_t) {
      if (error) return self->Close();
      self->WatchForClose();
    });
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

  beast::tcp_stream stream_;
  http::response<http::empty_body> header_;
  std::optional<http::response_serializer<http::empty_body>> serializer_;
  std::deque<std::string> queue_;
  std::size_t unsentBytes_ = 0;
  bool writing_ = false;
  bool closed_ = false;
  char scratch_[512];
};

namespace {

// One connection: requests read one at a time; refusals decided from the header, before any body is read.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(ConsoleImpl& console, tcp::socket socket) : console_(console), stream_(std::move(socket)) {}

  void Start() { ReadHeader(); }

 private:
  void ReadHeader() {
    parser_.emplace();
    parser_->header_limit(16 * 1024);
    parser_->body_limit(kMostBodyBytes);
    stream_.expires_after(kIdleTimeout);
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnHeader(error); });
  }

  void OnHeader(beast::error_code error) {
    if (error == http::error::end_of_stream || error == net::error::eof) return Close();
    if (error == http::error::header_limit) return Refuse(431, "the request's header is too large");
    // The parser weighs a declared length against its limit as soon as the header is complete.
    if (error == http::error::body_limit) return Refuse(413, "the request's body is over 1 MiB");
    if (IsHttpError(error)) return Refuse(400, "not an HTTP request");
    if (error) return Close();
    const auto& request = parser_->get();
    const auto origin = request.find(http::field::origin);
    RequestFacts facts;
    facts.method = request.method_string();
    facts.target = request.target();
    facts.host = request[http::field::host];
    facts.authorization = request[http::field::authorization];
    facts.hasOrigin = origin != request.end();
    if (facts.hasOrigin) facts.origin = origin->value();
    if (const Refusal refusal = Admit(facts, console_.port, console_.token); refusal.status != 0) {
      return Refuse(refusal.status, refusal.message);
    }
    if (const auto length = parser_->content_length(); length && *length > kMostBodyBytes) {
      return Refuse(413, "the request's body is over 1 MiB");
    }
    if (parser_->is_done()) return OnBody({});
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnBody(error); });
  }

  void OnBody(beast::error_code error) {
    if (error == http::error::body_limit) return Refuse(413, "the request's body is over 1 MiB");
    if (IsHttpError(error)) return Refuse(400, "a malformed request");
    if (error) return Close();
    Route(parser_->release());
  }

  void Route(Request request) {
    const std::string path(PathOf(request.target()));
    const unsigned version = request.version();
    if (path.rfind("/api/", 0) != 0) return Write(PageResponse(request), request.keep_alive());
    if (path == "/api/events") {
      if (request.method() != http::verb::get) return Write(ErrorResponse(405, "use GET", version), false);
      auto stream = std::make_shared<EventStream>(std::move(stream_));
      console_.streams.push_back(stream);
      stream->Start(version);
      for (const auto& line : console_.backlog) stream->Send(line);
      return;
    }
    const bool keepAlive = request.keep_alive();
    auto shared = std::make_shared<Request>(std::move(request));
    console_.Post([self = shared_from_this(), shared, keepAlive] {
      Response response = self->console_.HandleApi(*shared);
      net::post(self->console_.io, [self, response = std::move(response), keepAlive]() mutable {
        self->Write(std::move(response), keepAlive);
      });
    });
  }

  Response PageResponse(const Request& request) {
    const unsigned version = request.version();
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
      return ErrorResponse(405, "use GET", version);
    }
    std::string_view name = PathOf(request.target());
    name.remove_prefix(1);
    if (name.empty()) name = "index.html";
    for (const auto& file : PageFiles()) {
      if (file.name != name) continue;
      Response response = MakeResponse(200, ContentTypeOf(file.name), std::string(file.bytes), version);
      if (request.method() == http::verb::head) {
        response.body().clear();
        response.content_length(file.bytes.size());
      }
      return response;
    }
    return MakeResponse(404, "text/plain; charset=utf-8", "not found\n", version);
  }

  void Write(Response response, bool keepAlive) {
    response.keep_alive(keepAlive);
    response_ = std::make_shared<Response>(std::move(response));
    http::async_write(stream_, *response_,
                      [self = shared_from_this(), keepAlive](beast::error_code error, std::size_t) {
                        self->response_.reset();
                        if (error || !keepAlive) return self->Close();
                        self->ReadHeader();
                      });
  }

  // The answer, then whatever the client still sends is read and dropped until it closes, so it is not reset
  // before it reads the answer.
  void Refuse(unsigned status, const std::string& message) {
    response_ = std::make_shared<Response>(ErrorResponse(status, message, 11));
    response_->keep_alive(false);
    http::async_write(stream_, *response_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      if (error) return self->Close();
      beast::error_code ignored;
      self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      self->stream_.expires_after(std::chrono::seconds(5));
      self->Drain();
    });
  }

  void Drain() {
    stream_.async_read_some(net::buffer(scratch_), [self = shared_from_this()](beast::error_code error, std::size_t n) {
      self->drained_ += n;
      if (error || self->drained_ > kMostDrainedBytes) return self->Close();
      self->Drain();
    });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

  ConsoleImpl& console_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::shared_ptr<Response> response_;
  char scratch_[4096];
  std::size_t drained_ = 0;
};

// Carries the host's log lines to the pages. It outlives the console in the host's list of sinks, so the console
// detaches it when it stops.
class LogForwarder final : public HostSink {
 public:
  explicit LogForwarder(ConsoleImpl* console) : console_(console) {}
  void Detach() {
    std::lock_guard lock(mutex_);
    console_ = nullptr;
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    if (console_ == nullptr) return;
    spdlog::memory_buf_t formatted;
    formatter_->format(message, formatted);
    std::string_view bytes(formatted.data(), formatted.size());
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.remove_suffix(1);
    const std::string line = console_->services.logToUtf8 ? console_->services.logToUtf8(bytes) : std::string(bytes);
    const bool plugin = std::string_view(message.logger_name.data(), message.logger_name.size()) == kPluginLogger;
    console_->Broadcast(Event("log", {{"line", line}, {"plugin", plugin}}), true);
  }
  void flush_() override {}

 private:
  ConsoleImpl* console_;
};

}  // namespace

void ConsoleImpl::Broadcast(std::string text, bool logLine) {
  net::post(io, [this, text = std::move(text), logLine] {
    if (logLine) {
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
  });
}

void ConsoleImpl::Accept() {
  acceptor->async_accept([this](beast::error_code error, tcp::socket socket) {
    if (error == net::error::operation_aborted) return;
    if (!error) std::make_shared<HttpSession>(*this, std::move(socket))->Start();
    Accept();
  });
}

void ConsoleImpl::NoticeWorldChanges() {
  // The pages show whether the plug-in is loaded beside the world, and offer its commands only while it is: an RCON
  // client loading or unloading it changes what they show as much as a new creature does.
  const std::uint64_t now = WorldFingerprint() ^ static_cast<std::uint64_t>(services.pluginLoaded());
  if (fingerprint && *fingerprint == now) return;
  const bool first = !fingerprint;
  fingerprint = now;
  if (first) return;
  ++version;
  Broadcast(Event("world", {{"version", version}}), false);
}

Response ConsoleImpl::HandleApi(const Request& request) {
  const unsigned version = request.version();
  const std::string path(PathOf(request.target()));
  const http::verb method = request.method();
  try {
    if (path == "/api/world") {
      if (method != http::verb::get) return ErrorResponse(405, "use GET", version);
      std::optional<std::size_t> rows;
      if (const std::string text = QueryValue(request.target(), "rows"); !text.empty()) {
        rows = RowCount(text);
        if (!rows) return ErrorResponse(400, "rows must be a whole number", version);
      }
      NoticeWorldChanges();
      return MakeResponse(200, "application/json; charset=utf-8",
                          WorldSnapshotJson(ids, this->version, services.pluginLoaded(), rows), version);
    }
    if (path == "/api/commands") {
      if (method != http::verb::get) return ErrorResponse(405, "use GET", version);
      return JsonResponse(200, {{"commands", services.commandWords()}}, version);
    }
    if (path == "/api/config") {
      const std::string file = services.configPath();
      const check::Language language = LanguageOf(request);
      if (method == http::verb::get) {
        const ConfigText config = ReadConfig(file);
        return JsonResponse(200,
                            {{"path", file},
                             {"text", config.text},
                             {"exists", config.exists},
                             {"findings", config.exists ? FindingsJson(file, language) : json::array()}},
                            version);
      }
      if (method != http::verb::put) return ErrorResponse(405, "use GET or PUT", version);
      if (!IsValidUtf8(request.body())) return ErrorResponse(400, "the text is not valid UTF-8", version);
      try {
        SaveConfig(file, request.body());
      } catch (const std::exception& error) {
        return ErrorResponse(500, std::string("not saved: ") + error.what(), version);
      }
      Broadcast(Event("config", json::object()), false);
      return JsonResponse(200, {{"saved", true}, {"findings", FindingsJson(file, language)}}, version);
    }
    if (path == "/api/check") {
      if (method != http::verb::post) return ErrorResponse(405, "use POST", version);
      if (!IsValidUtf8(request.body())) return ErrorResponse(400, "the text is not valid UTF-8", version);
      return JsonResponse(200, {{"findings", FindingsOfText(request.body(), LanguageOf(request))}}, version);
    }
    if (path == "/api/command" || path == "/api/world-from-config") {
      if (method != http::verb::post) return ErrorResponse(405, "use POST", version);
      const json body = json::parse(request.body(), nullptr, false);
      if (body.is_discarded()) return ErrorResponse(400, "the body is not JSON", version);
      if (path == "/api/world-from-config") return WorldFromConfigResponse(request);
      const auto line = body.is_object() ? body.find("line") : body.end();
      if (!body.is_object() || line == body.end() || !line->is_string()) {
        return ErrorResponse(400, "the body must be {\"line\": \"...\"}", version);
      }
      const std::string text = line->get<std::string>();
      return JsonResponse(200, {{"line", text}, {"reply", services.execute(text)}}, version);
    }
    return ErrorResponse(404, "no such API: " + path, version);
  } catch (const std::exception& error) {
    return ErrorResponse(500, error.what(), version);
  }
}

Response ConsoleImpl::WorldFromConfigResponse(const Request& request) {
  const unsigned version = request.version();
  const std::string file = services.configPath();
  const ConfigText config = ReadConfig(file);
  if (!config.exists) return ErrorResponse(409, "there is no " + file, version);
  ConfigWorld made;
  try {
    // Why a path gets no class is the checker's finding for it, in the page's language.
    made = WorldFromConfig(config.text, FindingsJson(file, LanguageOf(request)));
  } catch (const std::runtime_error& error) {
    return ErrorResponse(409, error.what(), version);
  }
  const std::string worldText = made.world.dump(2);
  services.replaceWorld(worldText);
  ids.Forget();
  NoticeWorldChanges();
  return JsonResponse(200, {{"world", worldText}, {"unmatched", made.unmatched}}, version);
}

Console::Console(Options options, Services services)
    : impl_(std::make_unique<ConsoleImpl>(std::move(options), std::move(services))) {
  impl_->sink = std::make_shared<LogForwarder>(impl_.get());
}

Console::~Console() {
  Stop();
  static_cast<LogForwarder&>(*impl_->sink).Detach();
}

void Console::Start() {
  ConsoleImpl& impl = *impl_;
  if (impl.running) throw std::runtime_error("the console is already running");
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
  impl.NoticeWorldChanges();
  impl.Accept();
  impl.keepalive.emplace(impl.io);
  struct Ticker {
    ConsoleImpl* impl;
    void operator()(beast::error_code error) const {
      if (error) return;
      impl->Broadcast(": keepalive\n\n", false);
      impl->keepalive->expires_after(kKeepalive);
      impl->keepalive->async_wait(*this);
    }
  };
  impl.keepalive->expires_after(kKeepalive);
  impl.keepalive->async_wait(Ticker{&impl});
  impl.running = true;
  impl.thread = std::thread([&impl] {
    // A failure while serving one request drops that connection, never the console.
    for (;;) {
      try {
        impl.io.run();
        return;
      } catch (const std::exception&) {
      }
    }
  });
}

void Console::Stop() {
  ConsoleImpl& impl = *impl_;
  if (!impl.running) return;
  impl.running = false;
  impl.io.stop();
  impl.thread.join();
}

std::uint16_t Console::Port() const { return impl_->port; }

const std::string& Console::Token() const { return impl_->token; }

std::string Console::Address() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/#token=" + impl_->token;
}

std::size_t Console::RunPending(std::chrono::milliseconds timeout) {
  ConsoleImpl& impl = *impl_;
  std::deque<std::function<void()>> ready;
  {
    std::unique_lock lock(impl.jobsMutex);
    if (!impl.jobsReady.wait_for(lock, timeout, [&] { return !impl.jobs.empty(); })) return 0;
    ready.swap(impl.jobs);
  }
  for (auto& job : ready) {
    job();
    impl.NoticeWorldChanges();
  }
  return ready.size();
}

void Console::NoticeWorldChanges() { impl_->NoticeWorldChanges(); }

std::shared_ptr<HostSink> Console::LogSink() { return impl_->sink; }

}  // namespace sandbox::console
