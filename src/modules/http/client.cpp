#include "modules/http/client.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <variant>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <fmt/format.h>

#include "runtime/console.h"
#include "runtime/limits.h"
#include "modules/http/messages.h"
#include "modules/http/socket.h"
#include "runtime/text.h"

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

using Clock = std::chrono::steady_clock;

// Waits until `fd` is ready for `events` or `deadline` passes: poll's revents,
// 0 once the deadline passed, or -errno.
int wait_for(int fd, short events, Clock::time_point deadline) {
  pollfd pfd{fd, events, 0};
  for (;;) {
    int ready = ::poll(&pfd, 1, poll_timeout(deadline));
    if (ready > 0) return pfd.revents;
    if (ready == 0) return 0;
    if (errno != EINTR) return -errno;
  }
}

// Connects the non-blocking `socket` to `address`, waiting at most `timeout`
// for the handshake. Empty on success, else why not.
std::string connect_one(const Socket& socket, const addrinfo& address, std::chrono::milliseconds timeout) {
  if (::connect(socket.fd(), address.ai_addr, address.ai_addrlen) == 0) return {};
  // Cut short by a signal or not, the handshake goes on in the background.
  if (errno != EINPROGRESS && errno != EINTR) return text::os_error(errno);
  int ready = wait_for(socket.fd(), POLLOUT, Clock::now() + timeout);
  if (ready == 0) return std::string(msg::kTimedOut);
  if (ready < 0) return text::os_error(-ready);
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return error == 0 ? std::string() : text::os_error(error);
}

// Connects to the first address of `host` that accepts in time. The socket
// stays non-blocking, so that no later step can wait without a limit. On
// failure the reason of the last address tried.
std::variant<Socket, std::string> connect_to(const std::string& host, std::uint16_t port,
                                             std::chrono::milliseconds timeout) {
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
    Socket socket(
        ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address->ai_protocol));
    if (!socket.valid()) {
      last_error = text::os_error(errno);
      continue;
    }
    last_error = connect_one(socket, *address, timeout);
    if (last_error.empty()) return socket;
  }
  return last_error;
}

Value read_failure(std::string_view reason) { return Value::error(fmt::format(msg::kReadFailed, reason)); }

// Reads the non-blocking `socket` until the peer closes. Gives up when no
// byte arrives for the read timeout (not on a slow but steady sender) and
// when the response outgrows the size limit.
Value read_response(const Socket& socket, const ClientLimits& limits) {
  std::string response;
  char chunk[64 * 1024];
  for (;;) {
    ssize_t n = ::recv(socket.fd(), chunk, sizeof chunk, 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return read_failure(text::os_error(errno));
      int ready = wait_for(socket.fd(), POLLIN, Clock::now() + limits.read_timeout);
      if (ready == 0) return read_failure(msg::kTimedOut);
      if (ready < 0) return read_failure(text::os_error(-ready));
      continue;  // readable, closed or failed: the next recv says which
    }
    if (response.size() + static_cast<std::size_t>(n) > limits.max_response_bytes) {
      return read_failure(fmt::format(msg::kResponseTooLarge, limits.max_response_bytes));
    }
    response.append(chunk, static_cast<std::size_t>(n));
  }
  if (!text::is_valid_utf8(response)) return read_failure(text::kInvalidUtf8);
  return Value::string(std::move(response));
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
  std::string request = fmt::format(msg::kRequestHead, method, url.path, url.host, body.size());
  request.append(body);
  return request;
}

ClientLimits& client_limits() {
  static ClientLimits limits;
  return limits;
}

Value fetch(std::string_view url_text, std::string_view method, std::string_view body) {
  auto url = parse_url(url_text);
  if (!url) return Value::error(std::string(msg::kHttpsRefused));
  std::string request = request_text(*url, method, body);
  const ClientLimits& limits = client_limits();

  out_flush();  // the script's output so far is visible while the call blocks
  auto connected = connect_to(url->host, url->port, limits.connect_timeout);
  if (auto* reason = std::get_if<std::string>(&connected)) {
    return Value::error(fmt::format(msg::kConnectFailed, fmt::format("{}:{}", url->host, url->port), *reason));
  }
  Socket socket = std::move(std::get<Socket>(connected));

  if (int error = send_all_nonblocking(socket.fd(), request, limits.read_timeout); error != 0) {
    // A peer that takes nothing for that long is as good as gone.
    return Value::error(
        fmt::format(msg::kWriteFailed, error == ETIMEDOUT ? std::string(msg::kTimedOut) : text::os_error(error)));
  }
  return read_response(socket, limits);
}

}  // namespace veltro::http
