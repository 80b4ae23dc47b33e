#pragma once
// Limits of the files module (kept beside it rather than in veltro_limits.h
// so the module stays self-contained).
#include <cstddef>

namespace veltro::files_limits {

// Largest file `files.read` loads into a string. Beyond it the read fails
// with EFBIG instead of exhausting memory on an endless source (/dev/zero).
inline constexpr std::size_t kMaxReadBytes = std::size_t{1} << 30;  // 1 GiB

}  // namespace veltro::files_limits
