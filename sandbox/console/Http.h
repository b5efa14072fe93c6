// The console's HTTP core as its routes see it: requests, responses and the route table, free of the HTTP library.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sandbox::console {

struct HttpRequest {
  std::string method;  // "GET", "PUT", ...
  std::string target;  // "/api/config?lang=zh-CN"
  std::string body;
};

struct HttpResponse {
  unsigned status = 200;
  std::string contentType;
  std::string body;
};

// Hands a route's answer back to its connection; call it once, on the thread running the console's executor.
using Respond = std::function<void(HttpResponse response)>;
// A route's handler: answers through `respond`, at once or later. An exception it throws becomes a 500.
using Handler = std::function<void(const HttpRequest& request, const Respond& respond)>;

struct Route {
  std::string method;
  std::string path;  // "/api/world": matched without the query
  Handler handler;
};

// A handler that answers at once.
Handler AnswerAtOnce(std::function<HttpResponse(const HttpRequest& request)> answer);

// Headers every answer carries, pages and events alike.
inline constexpr std::pair<std::string_view, std::string_view> kCommonHeaders[] = {
    {"Content-Security-Policy", "default-src 'self'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Cache-Control", "no-store"},
    {"Referrer-Policy", "no-referrer"},
};

inline constexpr std::string_view kJsonType = "application/json; charset=utf-8";

// {"error": message}, written without the JSON library, which the core does not otherwise need.
HttpResponse ErrorResponse(unsigned status, const std::string& message);

// The page's file a GET of `path` asks for ("/" is index.html); nothing when there is none.
std::optional<HttpResponse> PageFileResponse(std::string_view path);
// By the file name's extension; text types say they are UTF-8.
std::string_view ContentTypeOf(std::string_view name);

}  // namespace sandbox::console
