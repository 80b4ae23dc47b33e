#include "lsp/framing.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

#include "runtime/limits.h"

namespace veltro::lsp {

namespace {

bool is_length_field(std::string_view name) {
  constexpr std::string_view kName = "content-length";
  if (name.size() != kName.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
    if (c != kName[i]) return false;
  }
  return true;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The length a header block gives, or nothing.
std::optional<std::size_t> content_length(std::string_view header) {
  std::optional<std::size_t> length;
  while (!header.empty()) {
    std::size_t eol = header.find('\n');
    std::string_view line = header.substr(0, eol);
    header = eol == std::string_view::npos ? std::string_view{} : header.substr(eol + 1);
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !is_length_field(trim_blanks(line.substr(0, colon)))) continue;
    std::string_view value = trim_blanks(line.substr(colon + 1));
    std::size_t n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc{} || end != value.data() + value.size()) return std::nullopt;
    length = n;
  }
  return length;
}

}  // namespace

void FrameReader::feed(std::string_view bytes) {
  std::size_t dropped = std::min(discard_, bytes.size());
  discard_ -= dropped;
  bytes.remove_prefix(dropped);
  compact();
  buffer_.append(bytes);
}

void FrameReader::compact() {
  if (start_ > 0 && (start_ == buffer_.size() || start_ >= buffer_.size() / 2)) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
}

std::optional<Frame> FrameReader::next() {
  if (discard_ > 0) return std::nullopt;
  // Line breaks between messages are not part of any header.
  while (start_ < buffer_.size() && (buffer_[start_] == '\r' || buffer_[start_] == '\n')) ++start_;
  std::string_view rest = std::string_view(buffer_).substr(start_);
  // The blank line ending the header block: "\r\n\r\n", or "\n\n" from a lenient writer.
  std::size_t blank = std::string_view::npos;
  std::size_t body = 0;
  for (std::size_t i = rest.find('\n'); i != std::string_view::npos; i = rest.find('\n', i + 1)) {
    std::size_t next = i + 1;
    if (next < rest.size() && rest[next] == '\r') ++next;
    if (next < rest.size() && rest[next] == '\n') {
      blank = i;
      body = next + 1;
      break;
    }
  }
  if (blank == std::string_view::npos) {
    if (rest.size() <= limits::kMaxLspHeaderBytes) return std::nullopt;
    start_ = buffer_.size();  // no header is that long: drop what came
    compact();
    return Frame{false, {}, "a header block longer than any message has"};
  }
  std::optional<std::size_t> length = content_length(rest.substr(0, blank));
  if (!length) {
    start_ += body;
    compact();
    return Frame{false, {}, "a header block without a valid Content-Length"};
  }
  if (*length > limits::kMaxLspMessageBytes) {
    std::size_t here = std::min(*length, rest.size() - body);
    discard_ = *length - here;
    start_ += body + here;
    compact();
    return Frame{false, {}, fmt::format("a message of {} bytes, more than the {} accepted", *length,
                                        limits::kMaxLspMessageBytes)};
  }
  if (rest.size() - body < *length) return std::nullopt;
  Frame frame{true, std::string(rest.substr(body, *length)), {}};
  start_ += body + *length;
  compact();
  return frame;
}

std::string frame(std::string_view body) {
  return fmt::format("Content-Length: {}\r\n\r\n{}", body.size(), body);
}

}  // namespace veltro::lsp
