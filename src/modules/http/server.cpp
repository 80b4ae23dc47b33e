#include "modules/http/server.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

#include "runtime/interrupt.h"
#include "runtime/console.h"
#include "modules/http/messages.h"
#include "modules/http/page_registry.h"
#include "modules/http/request.h"
#include "runtime/text.h"

namespace veltro::http {

namespace {

// A low soft limit (1024 is common) would make accept fail long before the
// connection cap is reached; the hard limit is the administrator's word.
void raise_descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  rlim_t wanted = limits::http::kMaxConnections + limits::http::kSpareDescriptors;
  if (limit.rlim_cur >= wanted) return;
  limit.rlim_cur = std::min(wanted, limit.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

bool is_resource_shortage(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

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
  if (::listen(listener.fd(), limits::http::kListenBacklog) != 0) return errno;
  socklen_t length = sizeof address;
  if (::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return errno;
  Socket epoll(::epoll_create1(EPOLL_CLOEXEC));
  if (!epoll.valid()) return errno;
  raise_descriptor_limit();
  return Server(std::move(listener), std::move(epoll), ntohs(address.sin_port));
}

void Server::run() {
  // Ctrl-C at the interactive prompt wakes the wait through this descriptor,
  // told apart from the listener (nullptr) and the connections by its tag.
  static char wake_tag;
  if (int wake = interrupt::wake_fd(); wake >= 0) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = &wake_tag;
    ::epoll_ctl(epoll_.fd(), EPOLL_CTL_ADD, wake, &event);
  }
  std::array<epoll_event, limits::http::kEventBatch> events;
  while (!interrupt::requested()) {
    update_accepting();
    int ready = ::epoll_wait(epoll_.fd(), events.data(), static_cast<int>(events.size()), wait_timeout());
    now_ = Clock::now();
    if (ready < 0) {
      // Anything but a signal (the kernel short of memory) would fail again at once.
      if (errno != EINTR) std::this_thread::sleep_for(limits::http::kAcceptBackoff);
      continue;
    }
    // Only the connection an event names may be closed while the batch is
    // handled: a later event of the batch may name any other one. (New
    // connections are safe to close: no event of this batch names them.)
    for (int i = 0; i < ready; ++i) {
      if (events[i].data.ptr == nullptr) {
        accept_waiting();
      } else if (events[i].data.ptr == &wake_tag) {
        (void)interrupt::drain_wake_fd();
      } else {
        on_ready(*static_cast<Connection*>(events[i].data.ptr));
      }
    }
    expire();
  }
}

Server::Queue& Server::queue(Phase phase) noexcept {
  switch (phase) {
    case Phase::Reading: return reading_;
    case Phase::Writing: return writing_;
    case Phase::Draining: return draining_;
    case Phase::Closed: return spare_;
  }
  return spare_;
}

std::size_t Server::open_connections() const noexcept {
  return reading_.size() + writing_.size() + draining_.size();
}

// Moves the connection to the end of its new phase's queue (also to restart
// the time limit of the phase it is in) with a deadline `limit` from now.
void Server::enter(Connection& c, Phase phase, Clock::duration limit) {
  Queue& to = queue(phase);
  to.splice(to.end(), queue(c.phase), c.self);
  c.phase = phase;
  c.deadline = now_ + limit;
}

// Asks epoll to report `events` for the connection. False (and the
// connection closed) when the kernel refuses.
//
// Edge-triggered: a level-triggered entry is looked at again on every wait
// while it stays ready, which costs more than it saves. Every handler reads
// or writes until the kernel says "would block", or stops after a short read,
// which leaves nothing queued; either way the next change brings a new event.
bool Server::watch(Connection& c, std::uint32_t events) {
  if (c.watched == events) return true;
  epoll_event event{};
  event.events = events | EPOLLET;
  event.data.ptr = &c;
  int op = c.watched == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
  if (::epoll_ctl(epoll_.fd(), op, c.socket.fd(), &event) != 0) {
    close(c);
    return false;
  }
  c.watched = events;
  return true;
}

void Server::close(Connection& c) {
  c.socket.close();  // also ends its epoll registration
  c.watched = 0;
  c.peer_closed = false;
  c.request.clear();
  c.unsent = {};
  c.drained = 0;
  enter(c, Phase::Closed, {});
}

void Server::accept_waiting() {
  for (int i = 0; i < limits::http::kAcceptBatch && open_connections() < limits::http::kMaxConnections; ++i) {
    Socket socket(::accept4(listener_.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!socket.valid()) {
      int error = errno;
      if (error == EAGAIN || error == EWOULDBLOCK) return;
      if (error == EINTR) continue;
      err_write(fmt::format(msg::kAcceptFailed, text::os_error(error)));
      if (is_resource_shortage(error)) {
        accept_resumes_ = now_ + limits::http::kAcceptBackoff;
        return;
      }
      continue;
    }
    if (spare_.empty()) {
      spare_.emplace_back();
      spare_.back().self = std::prev(spare_.end());
    }
    Connection& c = spare_.front();
    c.socket = std::move(socket);
    enter(c, Phase::Reading, limits::http::kRequestTimeout);
    // Most clients send the request with the connection: answer it at once.
    read_request(c);
  }
}

void Server::on_ready(Connection& c) {
  switch (c.phase) {
    case Phase::Reading: read_request(c); return;
    case Phase::Writing: write_response(c); return;
    case Phase::Draining: drain(c); return;
    case Phase::Closed: return;
  }
}

// Reads what has arrived; answers once the request line is complete, the
// client has closed or the buffer is full.
void Server::read_request(Connection& c) {
  for (;;) {
    std::size_t room = limits::http::kRequestBytes - c.request.size();
    ssize_t n = ::recv(c.socket.fd(), scratch_.data(), room, 0);
    if (n > 0) {
      std::string_view arrived(scratch_.data(), static_cast<std::size_t>(n));
      bool line_done = arrived.find('\n') != std::string_view::npos;
      if (c.request.empty() && (line_done || arrived.size() == limits::http::kRequestBytes)) {
        answer(c, arrived);
        return;
      }
      c.request.append(arrived);
      if (line_done || c.request.size() == limits::http::kRequestBytes) {
        answer(c, c.request);
        return;
      }
      break;
    }
    if (n == 0) {
      c.peer_closed = true;
      answer(c, c.request);
      return;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    close(c);  // a failed read drops the connection
    return;
  }
  (void)watch(c, EPOLLIN);
}

void Server::answer(Connection& c, std::string_view request) {
  std::string path = request_path(request);
  const std::string* page = PageRegistry::instance().find(path);
  c.unsent = page ? std::string_view(*page) : msg::kNotFoundResponse;
  c.request.clear();
  enter(c, Phase::Writing, limits::http::kSendStallTimeout);
  write_response(c);
}

void Server::write_response(Connection& c) {
  bool progress = false;
  while (!c.unsent.empty()) {
    ssize_t n = ::send(c.socket.fd(), c.unsent.data(), c.unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      c.unsent.remove_prefix(static_cast<std::size_t>(n));
      progress = true;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (progress) enter(c, Phase::Writing, limits::http::kSendStallTimeout);
      (void)watch(c, EPOLLOUT);
      return;
    }
    close(c);  // a client that has gone away is not an error worth reporting
    return;
  }
  // After the client's end of input nothing more can arrive, so closing is clean.
  if (c.peer_closed || ::shutdown(c.socket.fd(), SHUT_WR) != 0) {
    close(c);
    return;
  }
  enter(c, Phase::Draining, limits::http::kLingerTimeout);
  (void)watch(c, EPOLLIN);
}

void Server::drain(Connection& c) {
  for (;;) {
    ssize_t n = ::recv(c.socket.fd(), scratch_.data(), scratch_.size(), 0);
    if (n > 0) {
      c.drained += static_cast<std::size_t>(n);
      if (c.drained >= limits::http::kLingerBytes) break;
      // A short read emptied the queue: the loop reports the next bytes or the
      // close, so asking again now would only be told to wait.
      if (static_cast<std::size_t>(n) < scratch_.size()) return;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // still open: keep waiting
    break;                                                           // closed by the client, or failed
  }
  close(c);
}

// Deals with every connection whose time is up: a request still arriving is
// answered as it stands; a stalled response or an unfinished close is dropped.
void Server::expire() {
  now_ = Clock::now();
  while (!reading_.empty() && reading_.front().deadline <= now_) {
    Connection& c = reading_.front();
    answer(c, c.request);
  }
  while (!writing_.empty() && writing_.front().deadline <= now_) close(writing_.front());
  while (!draining_.empty() && (draining_.front().deadline <= now_ || draining_.size() > limits::http::kMaxLingering)) {
    close(draining_.front());
  }
}

// Accepting stops while the connection cap is reached or after a failure
// that needs time to pass; the listener then leaves the epoll set, so that its
// waiting connections cannot wake the loop again and again.
void Server::update_accepting() {
  bool wanted = open_connections() < limits::http::kMaxConnections && now_ >= accept_resumes_;
  if (wanted == accepting_) return;
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.ptr = nullptr;
  if (::epoll_ctl(epoll_.fd(), wanted ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, listener_.fd(), &event) != 0) {
    // Out of kernel memory: try again after the back-off.
    accept_resumes_ = now_ + limits::http::kAcceptBackoff;
    return;
  }
  accepting_ = wanted;
}

int Server::wait_timeout() const {
  auto until = Clock::time_point::max();
  for (const Queue* q : {&reading_, &writing_, &draining_}) {
    if (!q->empty()) until = std::min(until, q->front().deadline);
  }
  if (!accepting_ && open_connections() < limits::http::kMaxConnections) until = std::min(until, accept_resumes_);
  return until == Clock::time_point::max() ? -1 : poll_timeout(until);
}

}  // namespace veltro::http
