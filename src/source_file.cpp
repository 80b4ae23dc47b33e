#include "source_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "text.h"

namespace veltro {

SourceFile read_source_file(const std::string& path) {
  SourceFile result;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.error = text::os_error(errno);
    return result;
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.error = text::os_error(errno);
      ::close(fd);
      return result;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!text::is_valid_utf8(data)) {
    result.error = "stream did not contain valid UTF-8";
    return result;
  }
  result.ok = true;
  result.text = std::move(data);
  return result;
}

}  // namespace veltro
