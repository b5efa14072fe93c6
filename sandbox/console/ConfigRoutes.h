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

// GET and PUT /api/config on the file `configPath()` names, POST /api/check on a text not saved yet. A save is
// told to `saved` (the pages hear of it).
std::vector<Route> ConfigRoutes(std::function<std::string()> configPath, std::function<void()> saved);

// Runs a command line however the console reaches its server; hands the reply text (UTF-8) to `reply`.
using RunLine = std::function<void(const std::string& line, std::function<void(std::string reply)> reply)>;
// POST /api/command: {"line": ...} answered {"line": ..., "reply": ...}.
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
