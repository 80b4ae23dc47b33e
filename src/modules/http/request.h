#pragma once
// What the server takes from the bytes of a request: only the path.
#include <string>
#include <string_view>

namespace veltro::http {

// The second whitespace-separated word of the bytes read as UTF-8 (invalid
// sequences read as U+FFFD, words split at Unicode White_Space), or "/" when
// there are fewer than two words. A query string stays part of the path.
[[nodiscard]] std::string request_path(std::string_view bytes);

// Decodes the UTF-8 sequence at bytes[pos]. An invalid sequence gives U+FFFD
// and the length of its longest valid-looking prefix (at least 1), so one
// truncated character turns into one replacement character.
[[nodiscard]] char32_t decode_lossy(std::string_view bytes, std::size_t pos, std::size_t& length);

}  // namespace veltro::http
