#include "modules/core/random_source.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "runtime/unique_fd.h"

namespace veltro {

namespace {

// Fills `buffer` from getrandom(2), or from /dev/urandom on kernels that lack
// the system call. False when neither source delivers.
bool fill_from_os(unsigned char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::getrandom(buffer + done, size - done, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  if (done == size) return true;

  UniqueFd urandom(::open("/dev/urandom", O_RDONLY | O_CLOEXEC));
  if (!urandom.valid()) return false;
  while (done < size) {
    ssize_t n = ::read(urandom.fd(), buffer + done, size - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  return done == size;
}

// Each thread keeps its own block of random bytes, so no locking is needed
// and no two threads ever hand out the same word.
struct RandomBlock {
  static constexpr std::size_t kWords = 64;
  std::array<std::uint64_t, kWords> words{};
  std::size_t next = kWords;
};

thread_local RandomBlock t_block;

}  // namespace

std::optional<std::uint64_t> random_word() {
  RandomBlock& block = t_block;
  if (block.next == RandomBlock::kWords) {
    if (!fill_from_os(reinterpret_cast<unsigned char*>(block.words.data()), sizeof block.words)) {
      return std::nullopt;
    }
    block.next = 0;
  }
  std::uint64_t word = block.words[block.next];
  // A word is handed out once only.
  block.words[block.next++] = 0;
  return word;
}

}  // namespace veltro
