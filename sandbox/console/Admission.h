// Which API requests the console refuses before anything runs: DNS rebinding, other origins, missing tokens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sandbox::console {

struct RequestFacts {
  std::string_view method;         // "GET", "PUT", ...
  std::string_view target;         // "/api/world?lang=en"
  std::string_view host;           // the Host header
  std::string_view origin;         // the Origin header; empty when absent
  std::string_view authorization;  // the Authorization header; empty when absent
  bool hasOrigin = false;
};

struct Refusal {
  unsigned status = 0;  // 0: admitted
  std::string message;
};

// The largest request body the console reads.
inline constexpr std::size_t kMostBodyBytes = 1 << 20;

// Host must name this console by loopback address or localhost; API requests carry the token; requests that
// write or run carry no foreign Origin. Page files need no token.
Refusal Admit(const RequestFacts& request, std::uint16_t port, std::string_view token);

// Whether two texts are equal, in a time that does not depend on where they first differ.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

// The path of a request target, without its query.
std::string_view PathOf(std::string_view target);
// A query parameter's raw value; empty when absent. Numbers and language tags are read raw, so an escaped digit is
// no digit.
std::string QueryValue(std::string_view target, std::string_view name);
// A query parameter as text (a server's name): its %XX escapes and '+' decoded.
std::string QueryText(std::string_view target, std::string_view name);

}  // namespace sandbox::console
