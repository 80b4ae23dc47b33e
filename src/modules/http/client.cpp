#include "modules/http/client.h"

#include <cerrno>
#include <memory>
#include <variant>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <fmt/format.h>

#include "console.h"
#include "modules/http/http_limits.h"
#include "modules/http/messages.h"
#include "modules/http/socket.h"
#include "text.h"

namespace veltro::http {

namespace {

// The port after the ":" of an authority: decimal, one optional leading "+",
// at most 65535. Anything else means the default port.
std::uint16_t parse_port(std::string_view digits) {
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  if (digits.empty()) return 80;
  std::uint32_t port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 80;
    port = port * 10 + static_cast<std::uint32_t>(c - '0');
    if (port > 65535) return 80;
  }
  return static_cast<std::uint16_t>(port);
}

struct AddrInfoFree {
  void operator()(addrinfo* list) const noexcept { ::freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// A connect() cut short by a signal goes on in the background; wait for it.
int finish_interrupted_connect(int fd) {
  pollfd pfd{fd, POLLOUT, 0};
  while (::poll(&pfd, 1, -1) < 0) {
    if (errno != EINTR) return errno;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

// Connects to the first address of `host` that accepts. On failure the
// system's text for the last error.
std::variant<Socket, std::string> connect_to(const std::string& host, std::uint16_t port) {
  if (host.find('\0') != std::string::npos) return std::string(msg::kHostHasNul);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw = nullptr;
  std::string service = std::to_string(port);
  int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &raw);
  AddrInfoList list(raw);
  if (status == EAI_SYSTEM) return text::os_error(errno);
  if (status != 0) return std::string(::gai_strerror(status));
  std::string last_error(msg::kNoAddresses);
  for (addrinfo* address = list.get(); address != nullptr; address = address->ai_next) {
    Socket socket(::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
    if (!socket.valid()) {
      last_error = text::os_error(errno);
      continue;
    }
    int error = 0;
    if (::connect(socket.fd(), address->ai_addr, address->ai_addrlen) != 0) {
      error = errno == EINTR ? finish_interrupted_connect(socket.fd()) : errno;
    }
    if (error == 0) return socket;
    last_error = text::os_error(error);
  }
  return last_error;
}

Value read_failure(std::string_view reason) {
  return Value::error(fmt::format(fmt::runtime(msg::kReadFailed), reason));
}

}  // namespace

std::optional<Url> parse_url(std::string_view url) {
  url = text::trim(url);
  constexpr std::string_view kHttp = "http://";
  constexpr std::string_view kHttps = "https://";
  if (url.starts_with(kHttp)) {
    url.remove_prefix(kHttp.size());
  } else if (url.starts_with(kHttps)) {
    return std::nullopt;
  }
  Url result;
  std::string_view authority = url;
  std::size_t slash = url.find('/');
  if (slash == std::string_view::npos) {
    result.path = "/";
  } else {
    authority = url.substr(0, slash);
    result.path = url.substr(slash);
  }
  std::size_t colon = authority.find(':');
  if (colon == std::string_view::npos) {
    result.host = authority;
  } else {
    result.host = authority.substr(0, colon);
    result.port = parse_port(authority.substr(colon + 1));
  }
  return result;
}

std::string request_text(const Url& url, std::string_view method, std::string_view body) {
  std::string request = fmt::format(fmt::runtime(msg::kRequestHead), method, url.path, url.host, body.size());
  request.append(body);
  return request;
}

Value fetch(std::string_view url_text, std::string_view method, std::string_view body) {
  auto url = parse_url(url_text);
  if (!url) return Value::error(std::string(msg::kHttpsRefused));
  std::string request = request_text(*url, method, body);

  out_flush();  // the script's output so far is visible while the call blocks
  auto connected = connect_to(url->host, url->port);
  if (auto* reason = std::get_if<std::string>(&connected)) {
    return Value::error(
        fmt::format(fmt::runtime(msg::kConnectFailed), fmt::format("{}:{}", url->host, url->port), *reason));
  }
  Socket socket = std::move(std::get<Socket>(connected));

  if (int error = send_all(socket.fd(), request); error != 0) {
    return Value::error(fmt::format(fmt::runtime(msg::kWriteFailed), text::os_error(error)));
  }

  std::string response;
  char chunk[64 * 1024];
  for (;;) {
    ssize_t n = ::recv(socket.fd(), chunk, sizeof chunk, 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return read_failure(text::os_error(errno));
    }
    if (response.size() + static_cast<std::size_t>(n) > limits::kMaxResponseBytes) {
      return read_failure(fmt::format(fmt::runtime(msg::kResponseTooLarge), limits::kMaxResponseBytes));
    }
    response.append(chunk, static_cast<std::size_t>(n));
  }
  if (!text::is_valid_utf8(response)) return read_failure(msg::kInvalidUtf8);
  return Value::string(std::move(response));
}

}  // namespace veltro::http
