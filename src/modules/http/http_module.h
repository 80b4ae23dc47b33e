#pragma once
// The http module: page server, client, JSON and status-line text.
#include <optional>
#include <span>
#include <string_view>

#include "runtime/value.h"

namespace veltro {

// Runs the http module function named by `qualified_name` ("http.get").
// std::nullopt when the name is none of the 8 functions (the dispatcher then reports
// "HTTP module has no function '{}'"). Failures: Value::error(exact message), not logged.
std::optional<Value> call_http(std::string_view qualified_name, std::span<const Value> args);

// The 8 exported names in export-table order: page, serve, template, json, status, send, get, post.
std::span<const std::string_view> http_function_names();

namespace http {

// "HTTP/1.1 {code} {reason}".
[[nodiscard]] std::string status_line(std::int64_t code, std::string_view reason);
// The standard reason of a status code, "Unknown" for codes without one.
[[nodiscard]] std::string_view reason_phrase(std::int64_t code);

// The whole file as UTF-8 text, or an Error value.
[[nodiscard]] Value read_template(const std::string& path);

}  // namespace http

}  // namespace veltro
