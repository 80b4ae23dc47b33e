#include "runtime/unique_fd.h"

#include <cerrno>
#include <unistd.h>

namespace veltro {

int UniqueFd::close() noexcept {
  int fd = std::exchange(fd_, -1);
  if (fd < 0 || ::close(fd) == 0 || errno == EINTR) return 0;
  return errno;
}

}  // namespace veltro
