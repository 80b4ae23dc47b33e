#include "modules/http/server.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

#include "console.h"
#include "modules/http/http_limits.h"
#include "modules/http/messages.h"
#include "modules/http/page_registry.h"
#include "modules/http/request.h"
#include "text.h"

namespace veltro::http {

std::variant<Server, int> Server::listen(std::uint16_t port) {
  Socket listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!listener.valid()) return errno;
  // A restarted server must not wait for the previous run's closed connections.
  int on = 1;
  ::setsockopt(listener.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return errno;
  if (::listen(listener.fd(), limits::kListenBacklog) != 0) return errno;
  socklen_t length = sizeof address;
  if (::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return errno;
  return Server(std::move(listener), ntohs(address.sin_port));
}

void Server::run() {
  for (;;) poll_once(std::chrono::hours(1));
}

void Server::poll_once(std::chrono::milliseconds timeout) {
  auto now = Clock::now();
  auto until = now + timeout;
  bool accepting = now >= accept_resumes_;
  if (!accepting) until = std::min(until, accept_resumes_);
  if (!lingering_.empty()) until = std::min(until, lingering_.front().deadline);

  poll_set_.clear();
  poll_set_.push_back({accepting ? listener_.fd() : -1, POLLIN, 0});
  for (const auto& entry : lingering_) poll_set_.push_back({entry.socket.fd(), POLLIN, 0});
  int ready = ::poll(poll_set_.data(), poll_set_.size(), poll_timeout(until));
  if (ready < 0) {
    // Anything but a signal (the kernel short of memory) would fail again at once.
    if (errno != EINTR) std::this_thread::sleep_for(limits::kAcceptBackoff);
    return;
  }

  // Lingering entries first: serving new connections below may take a while.
  now = Clock::now();
  for (std::size_t i = 0; i < lingering_.size(); ++i) {
    if (poll_set_[i + 1].revents != 0) drain(lingering_[i]);
    if (now >= lingering_[i].deadline) lingering_[i].socket.close();
  }
  std::erase_if(lingering_, [](const Lingering& entry) { return !entry.socket.valid(); });

  if (accepting && poll_set_[0].revents != 0) accept_waiting();
}

void Server::accept_waiting() {
  for (int i = 0; i < limits::kAcceptBatch; ++i) {
    Socket connection(::accept4(listener_.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!connection.valid()) {
      int error = errno;
      if (error == EAGAIN || error == EWOULDBLOCK) return;
      if (error == EINTR) continue;
      err_write(fmt::format(msg::kAcceptFailed, text::os_error(error)));
      if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
        accept_resumes_ = Clock::now() + limits::kAcceptBackoff;
        return;
      }
      continue;
    }
    serve(std::move(connection));
  }
}

void Server::serve(Socket connection) {
  // Read until the request line is complete, the peer closes, the buffer is
  // full or the deadline passes; then judge what has arrived.
  std::array<char, limits::kRequestBytes> buffer;
  std::size_t received = 0;
  bool peer_closed = false;
  auto deadline = Clock::now() + limits::kRequestTimeout;
  while (received < buffer.size()) {
    ssize_t n = ::recv(connection.fd(), buffer.data() + received, buffer.size() - received, 0);
    if (n > 0) {
      bool line_done = std::memchr(buffer.data() + received, '\n', static_cast<std::size_t>(n)) != nullptr;
      received += static_cast<std::size_t>(n);
      if (line_done) break;
      continue;
    }
    if (n == 0) {
      peer_closed = true;
      break;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return;  // a failed read drops the connection
    pollfd pfd{connection.fd(), POLLIN, 0};
    int ready = ::poll(&pfd, 1, poll_timeout(deadline));
    if (ready == 0) break;  // time is up: answer what has arrived
    if (ready < 0 && errno != EINTR) return;
  }

  std::string path = request_path(std::string_view(buffer.data(), received));
  auto page = PageRegistry::instance().find(path);
  std::string_view response = page ? std::string_view(*page) : msg::kNotFoundResponse;
  // A client that has gone away is not an error worth reporting.
  if (send_all_nonblocking(connection.fd(), response, limits::kSendStallTimeout) != 0) return;

  if (peer_closed) return;  // nothing more can arrive, so closing is clean
  linger(std::move(connection));
}

void Server::linger(Socket connection) {
  if (::shutdown(connection.fd(), SHUT_WR) != 0) return;
  if (lingering_.size() >= limits::kMaxLingering) lingering_.erase(lingering_.begin());
  lingering_.push_back({std::move(connection), Clock::now() + limits::kLingerTimeout, 0});
}

void Server::drain(Lingering& entry) {
  char sink[16 * 1024];
  for (;;) {
    ssize_t n = ::recv(entry.socket.fd(), sink, sizeof sink, 0);
    if (n > 0) {
      entry.drained += static_cast<std::size_t>(n);
      if (entry.drained >= limits::kLingerBytes) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // still open: keep waiting
    break;                                                           // closed by the client, or failed
  }
  entry.socket.close();
}

}  // namespace veltro::http
