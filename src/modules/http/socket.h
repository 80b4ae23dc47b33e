#pragma once
// Sockets: descriptors owned as UniqueFd, and writes that never raise SIGPIPE.
#include <chrono>
#include <string_view>
#include <utility>

#include "runtime/unique_fd.h"

namespace veltro::http {

using Socket = UniqueFd;

// Writes all of `data` to a non-blocking socket, giving up when no byte could
// be written for `stall`. 0 on success, else the errno (ETIMEDOUT on a stall).
[[nodiscard]] int send_all_nonblocking(int fd, std::string_view data, std::chrono::milliseconds stall);

// Milliseconds from now until `deadline`, at least 0, for poll().
[[nodiscard]] int poll_timeout(std::chrono::steady_clock::time_point deadline);

}  // namespace veltro::http
