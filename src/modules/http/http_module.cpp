#include "modules/http/http_module.h"

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include "runtime/console.h"
#include "modules/http/client.h"
#include "modules/http/json.h"
#include "modules/http/messages.h"
#include "modules/http/page_registry.h"
#include "modules/http/server.h"
#include "modules/http/socket.h"
#include "runtime/text.h"
#include "runtime/text_file.h"

namespace veltro {

namespace http {

std::string_view reason_phrase(std::int64_t code) {
  switch (code) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

std::string status_line(std::int64_t code, std::string_view reason) {
  return fmt::format("HTTP/1.1 {} {}", code, reason);
}

Value read_template(const std::string& path) {
  TextFile file = read_text_file(path);
  if (!file.ok) return Value::error(fmt::format(msg::kTemplateFailed, file.error));
  return Value::string(std::move(file.text));
}

namespace {

Value error(std::string_view message) { return Value::error(std::string(message)); }

// A Number, or a Float truncated toward zero (NaN gives 0).
std::int64_t integer_of(const Value& value) {
  return value.is_number() ? value.as_number() : text::saturating_trunc(value.as_float());
}

Value page(std::span<const Value> args) {
  if (args.size() < 2) return error(msg::kPageArgs);
  PageRegistry::instance().add(args[0].display(), args[1].display());
  return Value::null();
}

Value serve(std::span<const Value> args) {
  if (args.empty()) return error(msg::kServeArgs);
  if (!args[0].is_numeric()) return error(msg::kPortNotNumber);
  // Only the low 16 bits count: 65536 + 80 is port 80.
  auto port = static_cast<std::uint16_t>(static_cast<std::uint64_t>(integer_of(args[0])));
  out_write(fmt::format(msg::kStarting, port));
  auto listening = Server::listen(port);
  if (int* failure = std::get_if<int>(&listening)) {
    return Value::error(fmt::format(msg::kBindFailed, text::os_error(*failure)));
  }
  Server& server = std::get<Server>(listening);
  // With port 0 the system picks the port; name the one a client can reach.
  out_write(fmt::format(msg::kListening, server.port()));
  out_flush();
  server.run();
  return Value::null();  // stopped by Ctrl-C: the caller hands on the interrupt
}

Value template_(std::span<const Value> args) {
  if (args.empty()) return error(msg::kTemplateArgs);
  return read_template(args[0].display());
}

Value json(std::span<const Value> args) {
  if (args.empty()) return error(msg::kJsonArgs);
  return Value::string(json_text(args[0]));
}

Value status(std::span<const Value> args) {
  if (args.empty()) return error(msg::kStatusArgs);
  if (!args[0].is_numeric()) return error(msg::kStatusNotNumber);
  std::int64_t code = integer_of(args[0]);
  if (args.size() >= 2) return Value::string(status_line(code, args[1].display()));
  return Value::string(status_line(code, reason_phrase(code)));
}

Value send(std::span<const Value> args) {
  if (args.size() < 2) return error(msg::kSendArgs);
  std::string body = args.size() >= 3 ? args[2].display() : std::string();
  return fetch(args[0].display(), text::to_upper(args[1].display()), body);
}

Value get(std::span<const Value> args) {
  if (args.empty()) return error(msg::kGetArgs);
  return fetch(args[0].display(), "GET", "");
}

Value post(std::span<const Value> args) {
  if (args.size() < 2) return error(msg::kPostArgs);
  return fetch(args[0].display(), "POST", args[1].display());
}

using Function = Value (*)(std::span<const Value>);

struct Entry {
  std::string_view name;
  Function function;
};

constexpr std::array<Entry, 8> kFunctions{{
    {"page", page},
    {"serve", serve},
    {"template", template_},
    {"json", json},
    {"status", status},
    {"send", send},
    {"get", get},
    {"post", post},
}};

constexpr std::array<std::string_view, 8> kNames{
    kFunctions[0].name, kFunctions[1].name, kFunctions[2].name, kFunctions[3].name,
    kFunctions[4].name, kFunctions[5].name, kFunctions[6].name, kFunctions[7].name,
};

}  // namespace

}  // namespace http

std::optional<Value> call_http(std::string_view qualified_name, std::span<const Value> args) {
  std::string_view name = qualified_name;
  if (name.starts_with("http.")) name.remove_prefix(5);
  for (const auto& entry : http::kFunctions) {
    if (entry.name == name) return entry.function(args);
  }
  return std::nullopt;
}

std::span<const std::string_view> http_function_names() { return http::kNames; }

}  // namespace veltro
