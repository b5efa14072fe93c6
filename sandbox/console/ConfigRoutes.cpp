// The configuration's routes: the file with the checker's findings, a save that keeps the old file, and commands.
#include "sandbox/console/ConfigRoutes.h"

#include "sandbox/console/Admission.h"
#include "sandbox/console/ConfigFile.h"

namespace sandbox::console {
namespace {

std::string Dump(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

HttpResponse JsonResponse(unsigned status, const nlohmann::json& body) {
  return {status, std::string(kJsonType), Dump(body)};
}

std::string EventText(std::string_view name, const nlohmann::json& data) {
  return "event: " + std::string(name) + "\ndata: " + Dump(data) + "\n\n";
}

check::Language LanguageOf(const HttpRequest& request) {
  return check::ParseLanguage(QueryValue(request.target, "lang")).value_or(check::Language::English);
}

JsonBody ReadJsonBody(const HttpRequest& request) {
  nlohmann::json body = nlohmann::json::parse(request.body, nullptr, false);
  if (body.is_discarded()) return {{}, ErrorResponse(400, "the body is not JSON")};
  return {std::move(body), std::nullopt};
}

std::vector<Route> ConfigRoutes(ConfigPathOf configPath, std::function<void(const HttpRequest& request)> saved) {
  const auto read = [configPath](const HttpRequest& request) {
    const std::string file = configPath(request);
    const ConfigText config = ReadConfig(file);
    return JsonResponse(
        200, {{"path", file},
              {"text", config.text},
              {"exists", config.exists},
              {"findings", config.exists ? FindingsJson(file, LanguageOf(request)) : nlohmann::json::array()}});
  };
  const auto save = [configPath, saved](const HttpRequest& request) {
    if (!IsValidUtf8(request.body)) return ErrorResponse(400, "the text is not valid UTF-8");
    const std::string file = configPath(request);
    try {
      SaveConfig(file, request.body);
    } catch (const std::exception& error) {
      return ErrorResponse(500, std::string("not saved: ") + error.what());
    }
    saved(request);
    return JsonResponse(200, {{"saved", true}, {"findings", FindingsJson(file, LanguageOf(request))}});
  };
  const auto checkText = [](const HttpRequest& request) {
    if (!IsValidUtf8(request.body)) return ErrorResponse(400, "the text is not valid UTF-8");
    return JsonResponse(200, {{"findings", FindingsOfText(request.body, LanguageOf(request))}});
  };
  return {{"GET", "/api/config", AnswerAtOnce(read)},
          {"PUT", "/api/config", AnswerAtOnce(save)},
          {"POST", "/api/check", AnswerAtOnce(checkText)}};
}

Route CommandRoute(RunLine run) {
  return {"POST", "/api/command", [run = std::move(run)](const HttpRequest& request, const Respond& respond) {
            JsonBody body = ReadJsonBody(request);
            if (body.refusal) return respond(std::move(*body.refusal));
            const auto line = body.value.is_object() ? body.value.find("line") : body.value.end();
            if (!body.value.is_object() || line == body.value.end() || !line->is_string()) {
              return respond(ErrorResponse(400, "the body must be {\"line\": \"...\"}"));
            }
            const std::string text = line->get<std::string>();
            run(request, text, [respond, text](LineAnswer answer) {
              if (!answer.error.empty()) return respond(ErrorResponse(answer.status, answer.error));
              respond(JsonResponse(200, {{"line", text}, {"reply", std::move(answer.reply)}}));
            });
          }};
}

}  // namespace sandbox::console
