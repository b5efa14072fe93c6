// The console's answers as routes build them: JSON bodies, errors, events and the page's files.
#include "sandbox/console/Http.h"

#include "sandbox/console/JsonText.h"
#include "sandbox/console/PageFiles.h"

namespace sandbox::console {

Handler AnswerAtOnce(std::function<HttpResponse(const HttpRequest& request)> answer) {
  return [answer = std::move(answer)](const HttpRequest& request, const Respond& respond) { respond(answer(request)); };
}

HttpResponse ErrorResponse(unsigned status, const std::string& message) {
  std::string body = "{\"error\":";
  AppendJsonString(body, message);
  return {status, std::string(kJsonType), body + "}"};
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
