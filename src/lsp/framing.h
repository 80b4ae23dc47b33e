#pragma once
// The base protocol's framing: a header block ("Content-Length: N", other
// fields ignored) and a blank line before each message's N bytes of JSON.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace veltro::lsp {

struct Frame {
  bool ok = true;
  std::string body;   // the message when ok
  std::string error;  // why the bytes were dropped otherwise
};

// Collects bytes as they arrive and cuts them into messages. A header block
// without a usable length is dropped; so is a message longer than
// limits::kMaxLspMessageBytes (its bytes are read and thrown away), and the
// reader goes on with the next header.
class FrameReader {
 public:
  void feed(std::string_view bytes);
  // The next message or dropped block, once all its bytes have arrived.
  [[nodiscard]] std::optional<Frame> next();

 private:
  std::string buffer_;
  std::size_t start_ = 0;    // bytes before it are consumed
  std::size_t discard_ = 0;  // bytes of a dropped message still to come
  void compact();
};

// The header block and body of one outgoing message.
[[nodiscard]] std::string frame(std::string_view body);

}  // namespace veltro::lsp
