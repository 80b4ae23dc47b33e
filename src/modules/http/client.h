#pragma once
// The client: one HTTP/1.1 request over plain TCP, the whole answer as text.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/value.h"
#include "runtime/limits.h"

namespace veltro::http {

struct Url {
  std::string host;
  std::uint16_t port = 80;
  std::string path;
};

// Splits a URL into host, port and path. Fails (nullopt) only for https://.
[[nodiscard]] std::optional<Url> parse_url(std::string_view url);

// The exact request text for `method` (sent as given) and `body`.
[[nodiscard]] std::string request_text(const Url& url, std::string_view method, std::string_view body);

// How long the client waits and how much it keeps.
struct ClientLimits {
  std::chrono::milliseconds connect_timeout = limits::http::kConnectTimeout;  // per address
  std::chrono::milliseconds read_timeout = limits::http::kReadTimeout;        // without a byte moving
  std::size_t max_response_bytes = limits::http::kMaxResponseBytes;
};

// The limits every request uses. Only test programs change them, to reach a
// limit in milliseconds instead of half a minute.
[[nodiscard]] ClientLimits& client_limits();

// Sends the request and reads until the server closes. The response text, or
// an Error value with the message of the step that failed.
[[nodiscard]] Value fetch(std::string_view url, std::string_view method, std::string_view body);

}  // namespace veltro::http
