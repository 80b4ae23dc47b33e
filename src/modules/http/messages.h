#pragma once
// Every text the http module produces: error messages, console lines and the
// fixed response bytes. Placeholders are {fmt} fields.
#include <string_view>

namespace veltro::http::msg {

// A call of a name the module lacks: the function part of the name.
inline constexpr std::string_view kNoSuchFunction = "HTTP module has no function '{}'";

// Argument errors.
inline constexpr std::string_view kPageArgs = "page requires a path and content";
inline constexpr std::string_view kServeArgs = "serve requires a port number";
inline constexpr std::string_view kPortNotNumber = "Port must be a number";
inline constexpr std::string_view kTemplateArgs = "template requires a filepath";
inline constexpr std::string_view kJsonArgs = "json requires an argument";
inline constexpr std::string_view kStatusArgs = "status requires a status code";
inline constexpr std::string_view kStatusNotNumber = "Status code must be a number";
inline constexpr std::string_view kGetArgs = "get requires a url";
inline constexpr std::string_view kPostArgs = "post requires a url and body";
inline constexpr std::string_view kSendArgs = "send requires url, method, and optionally body";

// Operation failures; {} is the system's text for the failure.
inline constexpr std::string_view kBindFailed = "Failed to bind to port: {}";
inline constexpr std::string_view kTemplateFailed = "Failed to read template: {}";
inline constexpr std::string_view kHttpsRefused = "HTTPS not supported, use HTTP";
inline constexpr std::string_view kConnectFailed = "Failed to connect to {}: {}";
inline constexpr std::string_view kWriteFailed = "Failed to write request: {}";
inline constexpr std::string_view kReadFailed = "Failed to read response: {}";

// System texts of failures that have no errno.
inline constexpr std::string_view kNoAddresses = "could not resolve to any addresses";
inline constexpr std::string_view kHostHasNul = "host name contains a NUL byte";
inline constexpr std::string_view kResponseTooLarge = "response larger than {} bytes";
inline constexpr std::string_view kTimedOut = "timed out";

// Console lines of the server (script output, then a plain standard-error line).
inline constexpr std::string_view kStarting = "Starting HTTP server on port {}\n";
inline constexpr std::string_view kListening = "Server listening on http://127.0.0.1:{}\n";
inline constexpr std::string_view kAcceptFailed = "Connection error: {}\n";

// Response bytes of the server.
inline constexpr std::string_view kPageResponse =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: {}\r\n\r\n";
inline constexpr std::string_view kNotFoundResponse =
    "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n\r\nNot Found";

// Request text of the client: method, path, host, body length, then the body.
inline constexpr std::string_view kRequestHead =
    "{} {} HTTP/1.1\r\nHost: {}\r\nConnection: close\r\nContent-Length: {}\r\n\r\n";

}  // namespace veltro::http::msg
