#pragma once
// The language server's message handler: each incoming message, with the
// state the earlier ones left, gives the messages to send back. Nothing here
// reads or writes the standard streams (see main.cpp); the only other thing
// it touches is the module files it reads, so it can be driven message by
// message from tests and a fuzzer.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/positions.h"
#include "lsp/source.h"
#include "runtime/limits.h"

namespace veltro::lsp {

// JSON-RPC and protocol error codes.
enum ErrorCode : int {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kInternalError = -32603,
  kServerNotInitialized = -32002,
};

struct ServerOptions {
  // Read the module files a document uses (for findings, definitions and
  // completion). Off: no file is read, only the documents sent.
  bool follow_modules = true;
  // The URI of the guide to the checks (docs/checks.md) that diagnostics
  // link to, one anchor per code; empty: no links.
  std::string checks_guide;
  // Past this many interned names the server forgets them all and reads its
  // documents again.
  std::size_t max_interned_names = limits::kMaxLspInternedNames;
};

class Server {
 public:
  explicit Server(ServerOptions options = {});

  // One message, as the JSON text the framing delivered, or parsed.
  [[nodiscard]] std::vector<nlohmann::json> handle(std::string_view message);
  [[nodiscard]] std::vector<nlohmann::json> handle_message(const nlohmann::json& message);

  // The answer to bytes that were not a message at all.
  [[nodiscard]] static nlohmann::json parse_error(std::string_view why);

  // After `exit`: the process ends with exit_status(), 0 when `shutdown`
  // came first and 1 otherwise.
  [[nodiscard]] bool exited() const { return phase_ == Phase::Exited; }
  [[nodiscard]] bool shut_down() const { return shut_down_; }
  [[nodiscard]] int exit_status() const { return shut_down_ ? 0 : 1; }

 private:
  enum class Phase : std::uint8_t { Waiting, Running, ShuttingDown, Exited };
  struct Document {
    std::int64_t version = 0;
    SourcePtr source;
  };

  ServerOptions options_;
  Phase phase_ = Phase::Waiting;
  bool shut_down_ = false;
  Encoding encoding_ = Encoding::Utf16;
  bool hierarchical_symbols_ = false;
  Workspace workspace_;
  std::map<std::string, Document> documents_;  // by URI

  nlohmann::json request(const std::string& method, const nlohmann::json& params);
  void notification(const std::string& method, const nlohmann::json& params, std::vector<nlohmann::json>& out);

  nlohmann::json initialize(const nlohmann::json& params);
  void open(const nlohmann::json& params, std::vector<nlohmann::json>& out);
  void change(const nlohmann::json& params, std::vector<nlohmann::json>& out);
  void close(const nlohmann::json& params, std::vector<nlohmann::json>& out);
  void recheck_all(std::vector<nlohmann::json>& out);

  // Reads a document's new text (a document whose source is null after a
  // failure counts as never opened).
  void read(const std::string& uri, Document& document, std::string text);
  void forget_names();
  void publish(const std::string& uri, const Document& document, std::vector<nlohmann::json>& out);
  SourcePtr open_at_path(const std::string& path) const;
};

}  // namespace veltro::lsp
