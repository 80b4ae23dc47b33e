#include "runtime/text_file.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>

#include "runtime/text.h"
#include "runtime/limits.h"
#include "runtime/unique_fd.h"

namespace veltro {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

TextFile failed(std::string error) {
  TextFile result;
  result.error = std::move(error);
  return result;
}

TextFile too_large() { return failed(fmt::format("file is larger than {} bytes", limits::kMaxFileBytes)); }

}  // namespace

TextFile read_text_file(const std::string& path) {
  // The system takes the path as a C string, which ends at a NUL byte.
  if (path.find('\0') != std::string::npos) return failed(text::os_error(EINVAL));
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.fd() < 0) return failed(text::os_error(errno));
  TextFile result;
  try {
    // A regular file is read into one block of its size (and a byte more, to
    // see the end); other files come in blocks, so that nothing read is copied
    // until the end is reached and an endless source costs the cap only once.
    std::size_t block_bytes = kBlockBytes;
    struct stat st {};
    if (::fstat(fd.fd(), &st) == 0 && S_ISREG(st.st_mode)) {
      auto size = static_cast<std::uint64_t>(st.st_size);
      if (size > limits::kMaxFileBytes) return too_large();  // refused before anything is read
      block_bytes = static_cast<std::size_t>(size) + 1;
    }
    std::vector<std::string> blocks;
    std::size_t total = 0;
    bool at_end = false;
    while (!at_end) {
      std::string& block = blocks.emplace_back(block_bytes, '\0');
      block_bytes = kBlockBytes;
      std::size_t filled = 0;
      while (filled < block.size()) {
        ssize_t n = ::read(fd.fd(), block.data() + filled, block.size() - filled);
        if (n < 0) {
          if (errno == EINTR) continue;
          return failed(text::os_error(errno));
        }
        if (n == 0) {
          at_end = true;
          break;
        }
        filled += static_cast<std::size_t>(n);
        total += static_cast<std::size_t>(n);
        if (total > limits::kMaxFileBytes) return too_large();
      }
      block.resize(filled);
    }
    if (blocks.size() == 1 && blocks.front().capacity() <= total + 1) {
      result.text = std::move(blocks.front());
    } else {
      result.text.reserve(total);
      for (const std::string& block : blocks) result.text += block;
    }
  } catch (const std::bad_alloc&) {
    return failed(text::os_error(ENOMEM));
  }
  if (!text::is_valid_utf8(result.text)) return failed(std::string(text::kInvalidUtf8));
  result.ok = true;
  return result;
}

}  // namespace veltro
