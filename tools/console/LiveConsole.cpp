// The live console's routes on the shared HTTP core: each server's configuration, its commands over RCON, its
// password typed into the page, and its log lines and RCON state carried to the pages as events.
// Boost 1.74's Asio needs <utility> before its own headers under C++20 with GCC 12.
#include <utility>

#include "LiveConsole.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "Check.h"
#include "LogFollower.h"
#include "sandbox/console/Admission.h"
#include "sandbox/console/ConfigRoutes.h"
#include "sandbox/console/HttpServer.h"
#include "sandbox/rcon/RconServer.h"

namespace live {
namespace {

namespace asio = boost::asio;
namespace console = sandbox::console;
using console::HttpRequest;
using console::HttpResponse;
using console::Respond;
using console::Route;
using nlohmann::json;

std::string LogFolderOf(const LiveServer& server) { return server.serverDir + "/ArkApi"; }

std::string ServerNameOf(const HttpRequest& request) {
  return console::QueryText(request.target, "server");
}

}  // namespace

struct LiveConsole::Impl : std::enable_shared_from_this<LiveConsole::Impl> {
  struct Running {
    LiveServer server;
    std::string configPath;
    std::shared_ptr<RconClient> client;
    LogFollower follower;
  };

  Impl(asio::io_context& context, LiveOptions o, std::vector<LiveServer> servers)
      : io(context),
        options(std::move(o)),
        http(context, {options.port, options.token, "live"}, Routes()),
        pollTimer(context) {
    for (auto& server : servers) {
      const std::string configPath = check::ConfigPathInServerDir(server.serverDir);
      LogFollower follower(server.log, LogFolderOf(server));
      running.push_back({std::move(server), configPath, nullptr, std::move(follower)});
    }
  }

  std::vector<Route> Routes();
  // The server a request names with ?server=NAME; the first when it names none; null for an unknown name.
  Running* ServerOf(const HttpRequest& request);
  Route ForServer(Route route);
  json ServerJson(const Running& entry) const;
  void Poll();

  asio::io_context& io;
  LiveOptions options;
  std::vector<Running> running;
  console::HttpServer http;
  asio::steady_timer pollTimer;
  bool stopped = false;
};

LiveConsole::Impl::Running* LiveConsole::Impl::ServerOf(const HttpRequest& request) {
  const std::string name = ServerNameOf(request);
  if (name.empty()) return running.empty() ? nullptr : &running.front();
  for (auto& entry : running) {
    if (entry.server.name == name) return &entry;
  }
  return nullptr;
}

// Every route is about one server: a request naming none the console serves is refused before the route runs.
Route LiveConsole::Impl::ForServer(Route route) {
  route.handler = [this, inner = std::move(route.handler)](const HttpRequest& request, const Respond& respond) {
    if (ServerOf(request) == nullptr) {
      return respond(console::ErrorResponse(404, "no such server: " + ServerNameOf(request)));
    }
    inner(request, respond);
  };
  return route;
}

json LiveConsole::Impl::ServerJson(const Running& entry) const {
  const RconState state = entry.client ? entry.client->State() : RconState::Connecting;
  return {{"name", entry.server.name},      {"rcon", AddressText(entry.server.rcon)},
          {"state", StateName(state)},      {"reason", entry.client ? entry.client->Reason() : std::string()},
          {"configPath", entry.configPath}, {"log", entry.follower.File()}};
}

std::vector<Route> LiveConsole::Impl::Routes() {
  std::vector<Route> routes = console::ConfigRoutes(
      [this](const HttpRequest& request) { return ServerOf(request)->configPath; },
      [this](const HttpRequest& request) {
        http.Broadcast(console::EventText("config", {{"server", ServerOf(request)->server.name}}), false);
      });
  routes.push_back(console::CommandRoute(
      [this](const HttpRequest& request, const std::string& line, std::function<void(console::LineAnswer)> answer) {
        ServerOf(request)->client->Run(line, std::move(answer));
      }));
  routes.push_back({"POST", "/api/password", console::AnswerAtOnce([this](const HttpRequest& request) {
                      console::JsonBody body = console::ReadJsonBody(request);
                      if (body.refusal) return *body.refusal;
                      const auto password = body.value.is_object() ? body.value.find("password") : body.value.end();
                      if (!body.value.is_object() || password == body.value.end() || !password->is_string()) {
                        return console::ErrorResponse(400, "the body must be {\"password\": \"...\"}");
                      }
                      if (const std::string problem = sandbox::rcon::PasswordProblem(password->get<std::string>());
                          !problem.empty()) {
                        return console::ErrorResponse(400, problem);
                      }
                      Running& entry = *ServerOf(request);
                      entry.client->SetPassword(password->get<std::string>());
                      // The password itself is never sent back.
                      return console::JsonResponse(200, ServerJson(entry));
                    })});
  for (Route& route : routes) route = ForServer(std::move(route));
  routes.push_back({"GET", "/api/servers", console::AnswerAtOnce([this](const HttpRequest&) {
                      json list = json::array();
                      for (const auto& entry : running) list.push_back(ServerJson(entry));
                      return console::JsonResponse(200, {{"mode", "live"}, {"servers", list}});
                    })});
  return routes;
}

void LiveConsole::Impl::Poll() {
  for (auto& entry : running) {
    for (auto& line : entry.follower.Poll()) {
      const bool plugin = IsPluginLine(line);
      http.Broadcast(console::EventText("log", {{"server", entry.server.name}, {"line", line}, {"plugin", plugin}}),
                     true);
    }
  }
  pollTimer.expires_after(options.logPoll);
  pollTimer.async_wait([weak = weak_from_this()](const boost::system::error_code& error) {
    const auto self = weak.lock();
    if (error || !self || self->stopped) return;
    self->Poll();
  });
}

LiveConsole::LiveConsole(asio::io_context& io, LiveOptions options, std::vector<LiveServer> servers)
    : impl_(std::make_shared<Impl>(io, std::move(options), std::move(servers))) {}

LiveConsole::~LiveConsole() { Stop(); }

void LiveConsole::Start() {
  Impl& impl = *impl_;
  impl.http.Start();
  for (auto& entry : impl.running) {
    const std::string name = entry.server.name;
    entry.client = RconClient::Create(
        impl.io, entry.server.rcon, entry.server.password, impl.options.limits,
        [weak = std::weak_ptr<Impl>(impl_), name](RconState state, const std::string& reason) {
          const auto self = weak.lock();
          if (!self) return;
          self->http.Broadcast(
              console::EventText("rcon", {{"server", name}, {"state", StateName(state)}, {"reason", reason}}), false);
        });
    entry.client->Start();
  }
  impl.Poll();
}

void LiveConsole::Stop() {
  Impl& impl = *impl_;
  if (impl.stopped) return;
  impl.stopped = true;
  impl.pollTimer.cancel();
  for (auto& entry : impl.running) {
    if (entry.client) entry.client->Stop();
  }
  impl.http.Stop();
}


std::string LiveConsole::Address() const { return impl_->http.Address(); }

}  // namespace live
