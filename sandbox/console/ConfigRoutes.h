// The routes any console of a server directory serves (its configuration, command lines) and their JSON answers.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Check.h"
#include "sandbox/console/Http.h"

namespace sandbox::console {

// A JSON answer; text that is not UTF-8 is replaced, never refused.
HttpResponse JsonResponse(unsigned status, const nlohmann::json& body);
// One server-sent event: its name and its data as JSON.
std::string EventText(std::string_view name, const nlohmann::json& data);

// The file a request is about; a console of several servers picks it by the request's query.
using ConfigPathOf = std::function<std::string(const HttpRequest& request)>;
// GET and PUT /api/config on the file `configPath` names, POST /api/check on a text not saved yet. A save is
// told to `saved` (the pages hear of it).
std::vector<Route> ConfigRoutes(ConfigPathOf configPath, std::function<void(const HttpRequest& request)> saved);

// What came of a command line: the reply text (UTF-8, empty when the server answered with nothing), or why there
// was none, answered with `status`.
struct LineAnswer {
  std::string reply;
  std::string error;  // empty: answered
  unsigned status = 503;
};
// Runs a command line however the console reaches its server; hands what came of it to `answer`, once.
using RunLine = std::function<void(const HttpRequest& request, const std::string& line,
                                   std::function<void(LineAnswer answer)> answer)>;
// POST /api/command: {"line": ...} answered {"line": ..., "reply": ...}, or the error status and its reason.
Route CommandRoute(RunLine run);

// The language a request asks the checker's texts in (`?lang=zh-CN`); English unless it names another.
check::Language LanguageOf(const HttpRequest& request);

// The request's body as a JSON object, or the 400 that refuses it.
struct JsonBody {
  nlohmann::json value;
  std::optional<HttpResponse> refusal;
};
JsonBody ReadJsonBody(const HttpRequest& request);

}  // namespace sandbox::console
