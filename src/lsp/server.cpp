#include "lsp/server.h"

#include <fmt/format.h>

#include <filesystem>
#include <initializer_list>
#include <limits>
#include <new>
#include <stdexcept>

#include "checker/checker.h"
#include "lsp/features.h"
#include "lsp/uri.h"
#include "parser/symbols.h"
#include "runtime/limits.h"

namespace veltro::lsp {

using nlohmann::json;

namespace {

// A request that cannot be answered: its error code and message.
class RequestError : public std::runtime_error {
 public:
  RequestError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  [[nodiscard]] int code() const { return code_; }

 private:
  int code_;
};

[[noreturn]] void invalid(const std::string& message) { throw RequestError(kInvalidParams, message); }

const json& member(const json& object, const char* name, const char* where) {
  if (!object.is_object()) invalid(fmt::format("{} is not an object", where));
  auto it = object.find(name);
  if (it == object.end()) invalid(fmt::format("{} has no {}", where, name));
  return *it;
}

const std::string& string_member(const json& object, const char* name, const char* where) {
  const json& value = member(object, name, where);
  if (!value.is_string()) invalid(fmt::format("{}.{} is not a string", where, name));
  return value.get_ref<const std::string&>();
}

std::uint32_t unsigned_member(const json& object, const char* name, const char* where) {
  const json& value = member(object, name, where);
  if (value.is_number_unsigned()) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value.get<std::uint64_t>(),
                                                               std::numeric_limits<std::uint32_t>::max()));
  }
  if (value.is_number_integer() && value.get<std::int64_t>() >= 0) {
    return static_cast<std::uint32_t>(std::min<std::int64_t>(value.get<std::int64_t>(),
                                                              std::numeric_limits<std::uint32_t>::max()));
  }
  invalid(fmt::format("{}.{} is not a non-negative integer", where, name));
}

const std::string& document_uri(const json& params) {
  return string_member(member(params, "textDocument", "params"), "uri", "textDocument");
}

json response(const json& id, json result) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

json error_response(const json& id, int code, std::string_view message) {
  return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json notice(std::string_view method, json params) {
  return {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

// A line in the client's log: a notification that had to be ignored.
json log_message(std::string_view text) {
  constexpr int kWarning = 2;
  return notice("window/logMessage", {{"type", kWarning}, {"message", fmt::format("veltro-lsp: {}", text)}});
}

std::string path_for(const std::string& uri) { return path_of_uri(uri).value_or(std::string()); }

// The value at a path of members, or nullptr where any is missing: what a
// client leaves out of its capabilities it does not have.
const json* at_path(const json& value, std::initializer_list<const char*> names) {
  const json* here = &value;
  for (const char* name : names) {
    if (!here->is_object()) return nullptr;
    auto it = here->find(name);
    if (it == here->end()) return nullptr;
    here = &*it;
  }
  return here;
}

// Messages nest a few levels; a client that nests thousands is refused
// before the parsed tree takes the memory.
constexpr int kMaxNesting = 256;

class TooDeep : public std::runtime_error {
 public:
  TooDeep() : std::runtime_error("the message nests deeper than any message of the protocol") {}
};

json parse_message(const std::string& text) {
  return json::parse(text, [](int depth, json::parse_event_t, json&) {
    if (depth > kMaxNesting) throw TooDeep();
    return true;
  });
}

// JSON text may escape half of a UTF-16 surrogate pair ("\ud800"), which a
// string of an editor can hold but UTF-8 cannot: each becomes U+FFFD.
std::string without_lone_surrogates(std::string_view text) {
  auto code_at = [&](std::size_t i) -> int {
    if (i + 6 > text.size() || text[i] != '\\' || text[i + 1] != 'u') return -1;
    int code = 0;
    for (std::size_t k = i + 2; k < i + 6; ++k) {
      char c = text[k];
      int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return -1;
      code = code * 16 + digit;
    }
    return code;
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '\\') {
      out += text[i++];
      continue;
    }
    int code = code_at(i);
    if (code >= 0xd800 && code <= 0xdbff) {
      int low = code_at(i + 6);
      if (low >= 0xdc00 && low <= 0xdfff) {
        out.append(text.substr(i, 12));
        i += 12;
        continue;
      }
    }
    if (code >= 0xd800 && code <= 0xdfff) {
      out += "\\ufffd";
      i += 6;
      continue;
    }
    // Any other escape, kept whole (so that "\\\\ud800" stays a backslash and text).
    out.append(text.substr(i, std::min<std::size_t>(2, text.size() - i)));
    i += 2;
  }
  return out;
}

}  // namespace

Server::Server(ServerOptions options) : options_(std::move(options)) {
  workspace_.read_files = options_.follow_modules;
  workspace_.open_document = [this](const std::string& path) { return open_at_path(path); };
}

json Server::parse_error(std::string_view why) { return error_response(nullptr, kParseError, why); }

std::vector<json> Server::handle(std::string_view message) {
  json parsed;
  try {
    // Bytes that are not UTF-8 (a file read in another encoding) become
    // U+FFFD rather than losing the whole message.
    std::string text = valid_utf8(message);
    try {
      parsed = parse_message(text);
    } catch (const json::parse_error&) {
      std::string repaired = without_lone_surrogates(text);
      if (repaired == text) throw;
      parsed = parse_message(repaired);
    }
  } catch (const json::exception& e) {
    return {parse_error(fmt::format("the message is not JSON: {}", e.what()))};
  } catch (const TooDeep& e) {
    return {parse_error(e.what())};
  } catch (const std::bad_alloc&) {
    return {parse_error("the message does not fit in memory")};
  }
  return handle_message(parsed);
}

std::vector<json> Server::handle_message(const json& message) {
  std::vector<json> out;
  if (phase_ == Phase::Exited) return out;
  if (!message.is_object()) {
    out.push_back(error_response(nullptr, kInvalidRequest, "a message is a JSON object"));
    return out;
  }
  auto id = message.find("id");
  auto method = message.find("method");
  bool valid_id = id != message.end() && (id->is_number_integer() || id->is_string());
  if (method == message.end() || !method->is_string()) {
    // A response to a request of ours: the server sends none, so it is ignored.
    bool response = id != message.end() && (message.contains("result") || message.contains("error"));
    if (!response) out.push_back(error_response(valid_id ? *id : json(nullptr), kInvalidRequest, "no method"));
    return out;
  }
  if (id != message.end() && !valid_id) {
    out.push_back(error_response(nullptr, kInvalidRequest, "an id is an integer or a string"));
    return out;
  }
  static const json kNoParams = json::object();
  auto params_it = message.find("params");
  const json& params = params_it == message.end() || params_it->is_null() ? kNoParams : *params_it;
  const std::string& name = method->get_ref<const std::string&>();
  if (id == message.end()) {
    try {
      notification(name, params, out);
    } catch (const std::exception& e) {
      out.push_back(log_message(fmt::format("{} ignored: {}", name, e.what())));
    }
    return out;
  }
  try {
    json result = request(name, params);
    out.push_back(response(*id, std::move(result)));
  } catch (const RequestError& e) {
    out.push_back(error_response(*id, e.code(), e.what()));
  } catch (const json::exception& e) {
    out.push_back(error_response(*id, kInvalidParams, e.what()));
  } catch (const std::bad_alloc&) {
    out.push_back(error_response(*id, kInternalError, "out of memory"));
  } catch (const std::exception& e) {
    out.push_back(error_response(*id, kInternalError, e.what()));
  }
  return out;
}

json Server::request(const std::string& method, const json& params) {
  if (method == "initialize") {
    if (phase_ != Phase::Waiting) throw RequestError(kInvalidRequest, "initialize comes once");
    return initialize(params);
  }
  if (phase_ == Phase::Waiting) throw RequestError(kServerNotInitialized, "initialize comes first");
  if (phase_ == Phase::ShuttingDown) throw RequestError(kInvalidRequest, "the server is shutting down");
  if (method == "shutdown") {
    phase_ = Phase::ShuttingDown;
    shut_down_ = true;
    documents_.clear();
    return nullptr;
  }
  bool position = method == "textDocument/hover" || method == "textDocument/definition" ||
                  method == "textDocument/completion";
  if (!position && method != "textDocument/documentSymbol") {
    throw RequestError(kMethodNotFound, fmt::format("no method {}", method));
  }
  const std::string& uri = document_uri(params);
  auto it = documents_.find(uri);
  std::size_t at = 0;
  if (position) {
    const json& where = member(params, "position", "params");
    Position p{unsigned_member(where, "line", "position"), unsigned_member(where, "character", "position")};
    if (it == documents_.end() || !it->second.source) return nullptr;  // never opened: nothing to say
    at = it->second.source->lines().offset(p, encoding_);
  }
  if (it == documents_.end() || !it->second.source) return nullptr;
  const SourcePtr& source = it->second.source;
  if (method == "textDocument/hover") return hover(workspace_, source, at, encoding_);
  if (method == "textDocument/definition") return definition(workspace_, source, at, encoding_);
  if (method == "textDocument/completion") return completion(workspace_, *source, at);
  return document_symbols(*source, encoding_, hierarchical_symbols_);
}

json Server::initialize(const json& params) {
  if (!params.is_object()) invalid("params is not an object");
  const json* encodings = at_path(params, {"capabilities", "general", "positionEncodings"});
  if (encodings && encodings->is_array()) {
    for (const json& e : *encodings) {
      if (e == "utf-8") encoding_ = Encoding::Utf8;
    }
  }
  const json* tree =
      at_path(params, {"capabilities", "textDocument", "documentSymbol", "hierarchicalDocumentSymbolSupport"});
  hierarchical_symbols_ = tree && tree->is_boolean() && tree->get<bool>();
  // Module files are looked for where veltro would run: the workspace's folder.
  std::string root;
  if (auto folders = params.find("workspaceFolders"); folders != params.end() && folders->is_array() &&
                                                       !folders->empty() && folders->front().is_object()) {
    if (auto uri = folders->front().find("uri"); uri != folders->front().end() && uri->is_string()) {
      root = path_for(uri->get<std::string>());
    }
  }
  if (auto uri = params.find("rootUri"); root.empty() && uri != params.end() && uri->is_string()) {
    root = path_for(uri->get<std::string>());
  }
  if (auto path = params.find("rootPath"); root.empty() && path != params.end() && path->is_string()) {
    root = path->get<std::string>();
  }
  workspace_.module_folder = root;
  phase_ = Phase::Running;
  return {
      {"capabilities",
       {
           {"positionEncoding", encoding_ == Encoding::Utf8 ? "utf-8" : "utf-16"},
           {"textDocumentSync", {{"openClose", true}, {"change", 1}, {"save", {{"includeText", false}}}}},
           {"hoverProvider", true},
           {"completionProvider", {{"triggerCharacters", {"."}}, {"resolveProvider", false}}},
           {"definitionProvider", true},
           {"documentSymbolProvider", true},
       }},
      {"serverInfo", {{"name", "veltro-lsp"}, {"version", VELTRO_VERSION}}},
  };
}

void Server::notification(const std::string& method, const json& params, std::vector<json>& out) {
  if (method == "exit") {
    phase_ = Phase::Exited;
    documents_.clear();
    return;
  }
  // Before initialize and after shutdown, notifications are dropped.
  if (phase_ != Phase::Running) return;
  if (method == "textDocument/didOpen") {
    open(params, out);
  } else if (method == "textDocument/didChange") {
    change(params, out);
  } else if (method == "textDocument/didClose") {
    close(params, out);
  } else if (method == "textDocument/didSave") {
    // A module file on disk may have changed: its importers' findings with it.
    recheck_all(out);
  }
  // Anything else ($/cancelRequest, initialized, configuration changes) needs
  // nothing: every request is answered before the next message is read.
}

void Server::open(const json& params, std::vector<json>& out) {
  const json& item = member(params, "textDocument", "params");
  const std::string& uri = string_member(item, "uri", "textDocument");
  const std::string& text = string_member(item, "text", "textDocument");
  Document document;
  auto version = item.find("version");
  document.version = version != item.end() && version->is_number_integer() ? version->get<std::int64_t>() : 0;
  read(uri, document, text);
  publish(uri, documents_[uri] = std::move(document), out);
}

void Server::change(const json& params, std::vector<json>& out) {
  const std::string& uri = document_uri(params);
  auto it = documents_.find(uri);
  if (it == documents_.end() || !it->second.source) return;
  const json& changes = member(params, "contentChanges", "params");
  if (!changes.is_array()) invalid("contentChanges is not an array");
  std::string text(it->second.source->text());
  for (const json& c : changes) {
    const std::string& replacement = string_member(c, "text", "a content change");
    auto range = c.find("range");
    if (range == c.end() || range->is_null()) {
      text = replacement;
      continue;
    }
    // A client that sends edits although the server asked for whole texts.
    LineIndex lines(text);
    auto offset_of = [&](const char* name) {
      const json& p = member(*range, name, "range");
      return lines.offset(Position{unsigned_member(p, "line", name), unsigned_member(p, "character", name)},
                          encoding_);
    };
    std::size_t first = offset_of("start");
    std::size_t end = std::max(first, offset_of("end"));
    text.replace(first, end - first, replacement);
  }
  const json& item = member(params, "textDocument", "params");
  auto version = item.find("version");
  if (version != item.end() && version->is_number_integer()) {
    it->second.version = version->get<std::int64_t>();
  }
  read(uri, it->second, std::move(text));
  publish(uri, it->second, out);
}

void Server::close(const json& params, std::vector<json>& out) {
  const std::string& uri = document_uri(params);
  if (documents_.erase(uri) == 0) return;
  out.push_back(notice("textDocument/publishDiagnostics", {{"uri", uri}, {"diagnostics", json::array()}}));
}

void Server::recheck_all(std::vector<json>& out) {
  for (auto& [uri, document] : documents_) {
    if (document.source) publish(uri, document, out);
  }
}

void Server::read(const std::string& uri, Document& document, std::string text) {
  if (text.size() > limits::kMaxLspMessageBytes) invalid("the text is longer than the server reads");
  if (symbol_count() > options_.max_interned_names) forget_names();
  document.source = std::make_shared<const Source>(uri, path_for(uri), std::move(text));
}

// Every name ever typed is interned; past the limit, forget them all and
// read the open documents again.
void Server::forget_names() {
  std::vector<std::pair<std::string, std::string>> texts;  // (URI, text) of every readable document
  for (auto& [uri, document] : documents_) {
    if (!document.source) continue;
    texts.emplace_back(uri, document.source->text());
    document.source.reset();
  }
  clear_symbols();
  for (auto& [uri, text] : texts) {
    documents_[uri].source = std::make_shared<const Source>(uri, path_for(uri), std::move(text));
  }
}

void Server::publish(const std::string& uri, const Document& document, std::vector<json>& out) {
  const Source& source = *document.source;
  check::Options options;
  options.follow_modules = options_.follow_modules;
  options.module_folder = workspace_.module_folder;
  auto findings = check::check_source(source.path().empty() ? std::string("-") : source.path(),
                                      std::string(source.text()), options);
  out.push_back(notice("textDocument/publishDiagnostics",
                       {{"uri", uri},
                        {"version", document.version},
                        {"diagnostics", diagnostics(source, findings, encoding_, options_.checks_guide)}}));
}

SourcePtr Server::open_at_path(const std::string& path) const {
  for (const auto& [uri, document] : documents_) {
    if (!document.source || document.source->path().empty()) continue;
    if (std::filesystem::path(document.source->path()).lexically_normal() == path) return document.source;
  }
  return nullptr;
}

}  // namespace veltro::lsp
