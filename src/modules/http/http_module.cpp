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

Value page(std::span<const Value> args) {
  if (args.size() < 2) return error(msg::kPageArgs);
  PageRegistry::instance().add(args[0].display(), args[1].display());
  return Value::null();
}

Value serve(std::span<const Value> args) {
  if (args.empty()) return error(msg::kServeArgs);
  if (!args[0].is_numeric()) return error(msg::kPortNotNumber);
  // Only the low 16 bits count: 65536 + 80 is port 80.
  auto port = static_cast<std::uint16_t>(static_cast<std::uint64_t>(args[0].to_integer().value_or(0)));
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
  std::int64_t code = args[0].to_integer().value_or(0);
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

std::string unknown_function(std::string_view function) { return fmt::format(msg::kNoSuchFunction, function); }

}  // namespace

}  // namespace http

const NativeModule& http_module() {
  static constexpr NativeFunction kFunctions[] = {
      {"http.page", without_state<http::page>, true},
      {"http.serve", without_state<http::serve>, true},
      {"http.template", without_state<http::template_>, true},
      {"http.json", without_state<http::json>, true},
      {"http.status", without_state<http::status>, true},
      {"http.send", without_state<http::send>, true},
      {"http.get", without_state<http::get>, true},
      {"http.post", without_state<http::post>, true},
  };
  static const NativeModule kModule{
      .name = "http", .functions = kFunctions, .unknown_function = http::unknown_function};
  return kModule;
}

}  // namespace veltro
