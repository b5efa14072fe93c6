// The sandbox console: the sandbox's own routes (the world, worlds made from the configuration, the command words)
// on the reusable HTTP core, and the host's log lines carried to the pages.
#include "sandbox/console/Console.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "common/Messages.h"
#include "sandbox/console/Admission.h"
#include "sandbox/console/ConfigFile.h"
#include "sandbox/console/ConfigRoutes.h"
#include "sandbox/console/HttpServer.h"
#include "sandbox/console/WorldFromConfig.h"
#include "sandbox/console/WorldJson.h"

namespace sandbox::console {
namespace {

using nlohmann::json;

// A count of rows as the page writes it: decimal digits only. Counts beyond any world's size stand for "all".
std::optional<std::size_t> RowCount(std::string_view text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  constexpr std::uint64_t kMost = 1'000'000'000;
  std::uint64_t count = 0;
  for (const char digit : text) count = std::min(kMost, count * 10 + static_cast<std::uint64_t>(digit - '0'));
  return static_cast<std::size_t>(count);
}

}  // namespace

struct ConsoleImpl {
  ConsoleImpl(boost::asio::io_context& game, Options options, Services s)
      : services(std::move(s)), http(game, {options.port, std::move(options.token)}, Routes()) {}

  std::vector<Route> Routes();
  HttpResponse World(const HttpRequest& request);
  HttpResponse WorldFromConfigResponse(const HttpRequest& request);
  void NoticeWorldChanges();

  Services services;
  HttpServer http;
  ObjectIds ids;
  std::uint64_t version = 1;
  std::optional<std::uint64_t> fingerprint;
  std::shared_ptr<HostSink> sink;
};

namespace {

// Carries the host's log lines to the pages. It outlives the console in the host's list of sinks, so the console
// detaches it when it goes.
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
    const bool plugin = std::string_view(message.logger_name.data(), message.logger_name.size()) == messages::kLoggerName;
    console_->http.Broadcast(EventText("log", {{"line", line}, {"plugin", plugin}}), true);
  }
  void flush_() override {}

 private:
  ConsoleImpl* console_;
};

}  // namespace

std::vector<Route> ConsoleImpl::Routes() {
  std::vector<Route> routes =
      ConfigRoutes([this](const HttpRequest&) { return services.configPath(); },
                   [this](const HttpRequest&) { http.Broadcast(EventText("config", json::object()), false); });
  routes.push_back({"GET", "/api/world", AnswerAtOnce([this](const HttpRequest& request) { return World(request); })});
  routes.push_back(
      CommandRoute([this](const HttpRequest&, const std::string& line, const std::function<void(LineAnswer)>& answer) {
        answer({services.execute(line), {}, 200});
      }));
  routes.push_back({"POST", "/api/world-from-config", AnswerAtOnce([this](const HttpRequest& request) {
                      const JsonBody body = ReadJsonBody(request);
                      return body.refusal ? *body.refusal : WorldFromConfigResponse(request);
                    })});
  routes.push_back({"GET", "/api/commands", AnswerAtOnce([this](const HttpRequest&) {
                      return JsonResponse(200, {{"commands", services.commandWords()}});
                    })});
  // Whatever a request did, the pages hear of the world it left.
  for (Route& route : routes) {
    route.handler = [this, inner = std::move(route.handler)](const HttpRequest& request, const Respond& respond) {
      inner(request, respond);
      NoticeWorldChanges();
    };
  }
  return routes;
}

HttpResponse ConsoleImpl::World(const HttpRequest& request) {
  std::optional<std::size_t> rows;
  if (const std::string text = QueryValue(request.target, "rows"); !text.empty()) {
    rows = RowCount(text);
    if (!rows) return ErrorResponse(400, "rows must be a whole number");
  }
  NoticeWorldChanges();
  return {200, std::string(kJsonType), WorldSnapshotJson(ids, version, services.pluginLoaded(), rows)};
}

HttpResponse ConsoleImpl::WorldFromConfigResponse(const HttpRequest& request) {
  const std::string file = services.configPath();
  const ConfigText config = ReadConfig(file);
  if (!config.exists) return ErrorResponse(409, "there is no " + file);
  ConfigWorld made;
  try {
    // Why a path gets no class is the checker's finding for it, in the page's language.
    made = WorldFromConfig(config.text, FindingsJson(file, LanguageOf(request)));
  } catch (const std::runtime_error& error) {
    return ErrorResponse(409, error.what());
  }
  const std::string worldText = made.world.dump(2);
  services.replaceWorld(worldText);
  ids.Forget();
  NoticeWorldChanges();
  return JsonResponse(200, {{"world", worldText}, {"unmatched", made.unmatched}});
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
  http.Broadcast(EventText("world", {{"version", version}}), false);
}

Console::Console(boost::asio::io_context& game, Options options, Services services)
    : impl_(std::make_unique<ConsoleImpl>(game, std::move(options), std::move(services))) {
  impl_->sink = std::make_shared<LogForwarder>(impl_.get());
}

Console::~Console() {
  Stop();
  static_cast<LogForwarder&>(*impl_->sink).Detach();
}

void Console::Start() {
  impl_->http.Start();
  impl_->NoticeWorldChanges();
}

void Console::Stop() { impl_->http.Stop(); }

std::uint16_t Console::Port() const { return impl_->http.Port(); }

const std::string& Console::Token() const { return impl_->http.Token(); }

std::string Console::Address() const { return impl_->http.Address(); }

void Console::NoticeWorldChanges() { impl_->NoticeWorldChanges(); }

std::shared_ptr<HostSink> Console::LogSink() { return impl_->sink; }

}  // namespace sandbox::console
