// The console's answers as routes build them: JSON bodies, errors, events and the page's files.
#include "sandbox/console/Http.h"

#include <nlohmann/json.hpp>

#include "sandbox/console/PageFiles.h"

namespace sandbox::console {
namespace {

std::string Dump(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

Handler AnswerAtOnce(std::function<HttpResponse(const HttpRequest& request)> answer) {
  return [answer = std::move(answer)](const HttpRequest& request, const Respond& respond) { respond(answer(request)); };
}

HttpResponse JsonResponse(unsigned status, const nlohmann::json& body) {
  return {status, std::string(kJsonType), Dump(body)};
}

HttpResponse ErrorResponse(unsigned status, const std::string& message) {
  return JsonResponse(status, {{"error", message}});
}

std::string EventText(std::string_view name, const nlohmann::json& data) {
  return "event: " + std::string(name) + "\ndata: " + Dump(data) + "\n\n";
}

std::optional<HttpResponse> PageFileResponse(std::string_view path) {
  std::string_view name = path.substr(path.empty() ? 0 : 1);
  if (name.empty()) name = "index.html";
  for (const auto& file : PageFiles()) {
    if (file.name == name) return HttpResponse{200, std::string(ContentTypeOf(file.name)), std::string(file.bytes)};
  }
  return std::nullopt;
}

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

}  // namespace sandbox::console
