// Refusals decided from a request's headers alone, so a refused body is never read, written or run.
#include "sandbox/console/Admission.h"

namespace sandbox::console {

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
  // Every byte of the longer text is visited whatever the contents; a length difference counts as a difference.
  const std::size_t length = a.size() > b.size() ? a.size() : b.size();
  unsigned difference = a.size() == b.size() ? 0U : 1U;
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    difference |= static_cast<unsigned>(x ^ y);
  }
  return difference == 0;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A query value as the page's URLSearchParams writes it: %XX escapes and '+' for a space.
std::string Unescaped(std::string_view value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '+') {
      text += ' ';
    } else if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
               HexDigit(value[i + 2]) >= 0) {
      text += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
      i += 2;
    } else {
      text += value[i];
    }
  }
  return text;
}

}  // namespace

std::string_view PathOf(std::string_view target) { return target.substr(0, target.find('?')); }

std::string QueryValue(std::string_view target, std::string_view name) {
  const auto mark = target.find('?');
  if (mark == std::string_view::npos) return {};
  std::string_view query = target.substr(mark + 1);
  while (!query.empty()) {
    const auto end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    const auto equals = pair.find('=');
    if (pair.substr(0, equals) == name)
      return std::string(equals == std::string_view::npos ? "" : pair.substr(equals + 1));
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return {};
}

std::string QueryText(std::string_view target, std::string_view name) {
  return Unescaped(QueryValue(target, name));
}

Refusal Admit(const RequestFacts& request, std::uint16_t port, std::string_view token) {
  const std::string portText = std::to_string(port);
  // A page of another site whose name an attacker points at 127.0.0.1 sends its own name as Host.
  if (request.host != "127.0.0.1:" + portText && request.host != "localhost:" + portText) {
    return {403, "this console answers only to 127.0.0.1:" + portText + " or localhost:" + portText};
  }
  const bool api = PathOf(request.target).rfind("/api/", 0) == 0;
  if (!api) return {};
  if (!ConstantTimeEquals(request.authorization, "Bearer " + std::string(token))) {
    return {401, "the console's token is missing or wrong: open the address the server printed"};
  }
  const bool writes = request.method != "GET" && request.method != "HEAD";
  if (writes && request.hasOrigin && request.origin != "http://127.0.0.1:" + portText &&
      request.origin != "http://localhost:" + portText) {
    return {403, "requests from another origin are refused"};
  }
  return {};
}

}  // namespace sandbox::console
