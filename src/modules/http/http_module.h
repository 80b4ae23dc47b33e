#pragma once
// The http module: page server, client, JSON and status-line text.
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/native.h"
#include "runtime/value.h"

namespace veltro {

// The module's table, in export-table order: page, serve, template, json,
// status, send, get, post. Failures come back as Error values with the
// exact message, not written here.
[[nodiscard]] const NativeModule& http_module();

namespace http {

// "HTTP/1.1 {code} {reason}".
[[nodiscard]] std::string status_line(std::int64_t code, std::string_view reason);
// The standard reason of a status code, "Unknown" for codes without one.
[[nodiscard]] std::string_view reason_phrase(std::int64_t code);

// The whole file as UTF-8 text, or an Error value.
[[nodiscard]] Value read_template(const std::string& path);

}  // namespace http

}  // namespace veltro
