#pragma once
// The page server: listens on the IPv4 loopback address and answers one
// connection at a time from the page registry.
#include <chrono>
#include <cstdint>
#include <variant>
#include <vector>

#include <poll.h>

#include "modules/http/socket.h"

namespace veltro::http {

class Server {
 public:
  // Binds and listens on 127.0.0.1:port (0 lets the system choose). On
  // failure, the errno.
  [[nodiscard]] static std::variant<Server, int> listen(std::uint16_t port);

  // The port actually listened on.
  [[nodiscard]] std::uint16_t port() const noexcept { return port_; }

  // Waits at most `timeout` for connections and serves every one that is
  // waiting, strictly one after another; also finishes closing the
  // connections already answered. Never fails.
  void poll_once(std::chrono::milliseconds timeout);

  [[noreturn]] void run();

 private:
  using Clock = std::chrono::steady_clock;

  // An answered connection whose write side is shut down, read until the
  // client closes so that closing it cannot reset the response away.
  struct Lingering {
    Socket socket;
    Clock::time_point deadline;
    std::size_t drained = 0;
  };

  Server(Socket listener, std::uint16_t port) : listener_(std::move(listener)), port_(port) {}

  void accept_waiting();
  void serve(Socket connection);
  void linger(Socket connection);
  void drain(Lingering& entry);

  Socket listener_;
  std::uint16_t port_;
  std::vector<Lingering> lingering_;  // oldest first
  std::vector<pollfd> poll_set_;
  Clock::time_point accept_resumes_{};  // accepting pauses until then after a failure
};

}  // namespace veltro::http
