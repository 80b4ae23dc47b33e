#include "modules/http/request.h"

#include "runtime/text.h"

namespace veltro::http {

namespace {

bool is_space(char32_t cp) {
  if (cp < 0x80) return cp == ' ' || (cp >= '\t' && cp <= '\r');
  return text::is_white_space(cp);
}

}  // namespace

std::string request_path(std::string_view bytes) {
  int word = 0;  // words started so far
  bool in_word = false;
  std::string path;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t length = 0;
    char32_t cp = text::decode_utf8_lossy(bytes, pos, length);
    if (is_space(cp)) {
      if (in_word && word == 2) return path;
      in_word = false;
    } else {
      if (!in_word) {
        in_word = true;
        ++word;
      }
      if (word == 2) {
        if (cp == 0xfffd) {
          text::append_utf8(path, cp);  // the replacement, whatever the bytes were
        } else {
          path.append(bytes.substr(pos, length));
        }
      }
    }
    pos += length;
  }
  return word >= 2 ? path : std::string("/");
}

}  // namespace veltro::http
