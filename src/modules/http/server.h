#pragma once
// The page server: listens on the IPv4 loopback address and answers every
// connection from the page registry, many at once, with one epoll loop on the
// calling thread. Each connection has its own deadlines for sending its
// request, reading the response and closing, so a slow client holds up nobody
// but itself.
#include <array>
#include <chrono>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <variant>

#include "runtime/limits.h"
#include "modules/http/socket.h"

namespace veltro::http {

class Server {
 public:
  // Binds and listens on 127.0.0.1:port (0 lets the system choose). On
  // failure, the errno.
  [[nodiscard]] static std::variant<Server, int> listen(std::uint16_t port);

  // The port actually listened on.
  [[nodiscard]] std::uint16_t port() const noexcept { return port_; }

  // Serves until Ctrl-C is pressed at the interactive prompt; never returns
  // otherwise. Nothing that happens to a connection ends it.
  void run();

 private:
  using Clock = std::chrono::steady_clock;

  // Reading: until the request line is complete. Writing: the response.
  // Draining: the write side is shut down and what the client still sends is
  // read until it closes, so that closing cannot reset the response away.
  // Closed: a spare record, kept for the next connection.
  enum class Phase { Reading, Writing, Draining, Closed };

  struct Connection;
  // The connections of one phase, ordered by deadline: every phase gives all
  // its connections the same time limit, so appending keeps the order.
  using Queue = std::list<Connection>;

  struct Connection {
    Socket socket;
    Phase phase = Phase::Closed;
    std::uint32_t watched = 0;  // the epoll events asked for; 0 while not registered
    bool peer_closed = false;
    Clock::time_point deadline{};
    std::string request;  // a request line that is arriving in pieces
    std::string_view unsent;  // of a registered page's response or the 404, which live for ever
    std::size_t drained = 0;
    Queue::iterator self;  // its place in the queue of its phase
  };

  Server(Socket listener, Socket epoll, std::uint16_t port)
      : listener_(std::move(listener)), epoll_(std::move(epoll)), port_(port) {}

  [[nodiscard]] Queue& queue(Phase phase) noexcept;
  [[nodiscard]] std::size_t open_connections() const noexcept;
  void enter(Connection& c, Phase phase, Clock::duration limit);
  [[nodiscard]] bool watch(Connection& c, std::uint32_t events);
  void close(Connection& c);

  void accept_waiting();
  void on_ready(Connection& c);
  void read_request(Connection& c);
  void answer(Connection& c, std::string_view request);
  void write_response(Connection& c);
  void drain(Connection& c);

  void expire();
  void update_accepting();
  [[nodiscard]] int wait_timeout() const;

  Socket listener_;
  Socket epoll_;
  std::uint16_t port_;
  Queue reading_, writing_, draining_, spare_;
  bool accepting_ = false;              // the listener is registered with epoll
  Clock::time_point accept_resumes_{};  // accepting pauses until then after a failure
  Clock::time_point now_{};             // when the last wait ended
  std::array<char, limits::http::kReadChunk> scratch_{};
};

}  // namespace veltro::http
