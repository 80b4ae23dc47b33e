#pragma once
// A file descriptor (socket or file) owned by exactly one object: closed when
// the owner goes.
#include <chrono>
#include <string_view>
#include <utility>

namespace veltro::http {

class UniqueFd {
 public:
  UniqueFd() noexcept = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { close(); }

  [[nodiscard]] int fd() const noexcept { return fd_; }
  [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
  void close() noexcept;

 private:
  int fd_ = -1;
};

using Socket = UniqueFd;

// Writes all of `data` to a blocking socket. 0 on success, else the errno.
// Never raises SIGPIPE.
[[nodiscard]] int send_all(int fd, std::string_view data);

// Writes all of `data` to a non-blocking socket, giving up when no byte could
// be written for `stall`. 0 on success, else the errno (ETIMEDOUT on a stall).
[[nodiscard]] int send_all_nonblocking(int fd, std::string_view data, std::chrono::milliseconds stall);

// Milliseconds from now until `deadline`, at least 0, for poll().
[[nodiscard]] int poll_timeout(std::chrono::steady_clock::time_point deadline);

}  // namespace veltro::http
