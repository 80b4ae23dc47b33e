#pragma once
// What the server takes from the bytes of a request: only the path.
#include <string>
#include <string_view>

namespace veltro::http {

// The second whitespace-separated word of the bytes read as UTF-8 (invalid
// sequences read as U+FFFD, words split at Unicode White_Space), or "/" when
// there are fewer than two words. A query string stays part of the path.
[[nodiscard]] std::string request_path(std::string_view bytes);

}  // namespace veltro::http
