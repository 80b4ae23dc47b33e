// The language server's handler on any input, two ways. An even first byte:
// the rest is what an editor could write on the server's standard input,
// cut into pieces as a pipe might deliver it, framed or not, JSON or not.
// An odd first byte: the rest is a document's text (up to a NUL byte)
// followed by requests about places in it, five bytes each; every one of
// those is well formed and must be answered with a result.
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz_common.h"
#include "lsp/framing.h"
#include "lsp/server.h"
#include "parser/symbols.h"

namespace {

using nlohmann::json;

json initialize(bool utf8) {
  json capabilities = {{"textDocument", {{"documentSymbol", {{"hierarchicalDocumentSymbolSupport", true}}}}}};
  if (utf8) capabilities["general"] = {{"positionEncodings", {"utf-8"}}};
  return {{"jsonrpc", "2.0"}, {"id", 0}, {"method", "initialize"}, {"params", {{"capabilities", capabilities}}}};
}

// Every message must serialise, as the program writes it.
void check(const std::vector<json>& out) {
  for (const json& message : out) (void)message.dump(-1, ' ', false, json::error_handler_t::replace);
}

void stream(veltro::lsp::Server& server, std::string_view bytes) {
  veltro::lsp::FrameReader reader;
  std::size_t piece = 1;
  while (!bytes.empty() && !server.exited()) {
    std::size_t n = std::min(bytes.size(), piece);
    reader.feed(bytes.substr(0, n));
    bytes.remove_prefix(n);
    piece = piece * 3 % 4093 + 1;
    while (auto frame = reader.next()) {
      if (frame->ok) check(server.handle(frame->body));
    }
  }
}

void questions(veltro::lsp::Server& server, std::string_view bytes) {
  std::size_t nul = bytes.find('\0');
  std::string text(bytes.substr(0, nul));
  bytes = nul == std::string_view::npos ? std::string_view{} : bytes.substr(nul + 1);
  const std::string uri = "file:///fuzz/doc.vt";
  check(server.handle_message({{"jsonrpc", "2.0"},
                               {"method", "textDocument/didOpen"},
                               {"params", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", text}}}}}}));
  static const char* const kMethods[] = {"textDocument/hover", "textDocument/definition", "textDocument/completion",
                                         "textDocument/documentSymbol"};
  int id = 1;
  for (; bytes.size() >= 5; bytes.remove_prefix(5), ++id) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    json position = {{"line", byte(1) % 64}, {"character", byte(2) | byte(3) << 8}};
    if (byte(0) % 8 == 7) {
      // An edit of a range, as a client that ignores the sync kind sends it.
      json range = {{"start", position}, {"end", {{"line", byte(4) % 64}, {"character", byte(4)}}}};
      json change = {{"range", range}, {"text", std::string(1, static_cast<char>(byte(4)))}};
      json edit = {{"textDocument", {{"uri", uri}, {"version", id}}}, {"contentChanges", json::array({change})}};
      check(server.handle_message({{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"}, {"params", edit}}));
      continue;
    }
    json params = {{"textDocument", {{"uri", uri}}}, {"position", position}};
    auto out = server.handle_message({{"jsonrpc", "2.0"}, {"id", id}, {"method", kMethods[byte(0) % 4]}, {"params", params}});
    check(out);
    if (out.empty() || !out.back().contains("result")) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  auto bytes = veltro::fuzz::as_text(data, size);
  {
    veltro::lsp::ServerOptions options;
    options.follow_modules = false;  // no file is read
    veltro::lsp::Server server(options);
    bool structured = (data[0] & 1) != 0;
    check(server.handle_message(initialize((data[0] & 2) != 0)));
    if (structured) {
      questions(server, bytes.substr(1));
    } else {
      stream(server, bytes.substr(1));
    }
  }
  veltro::clear_symbols();  // the next input starts with no names, as a fresh process would
  return 0;
}
