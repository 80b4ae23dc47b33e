#pragma once
// A file descriptor (file or socket) owned by exactly one object: closed
// when the owner goes, or earlier by close().
#include <utility>

namespace veltro {

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

  // Closes the descriptor now: 0, or the errno of a failed close (of a
  // written file on a network file system, say), which a writer reports.
  // The descriptor is released either way; after EINTR it is already gone
  // on Linux, so a close is never retried (that could close a descriptor
  // opened meanwhile) and EINTR counts as success.
  int close() noexcept;

 private:
  int fd_ = -1;
};

}  // namespace veltro
