#include "modules/http/request.h"

#include "text.h"

namespace veltro::http {

char32_t decode_lossy(std::string_view bytes, std::size_t pos, std::size_t& length) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(pos);
  length = 1;
  if (lead < 0x80) return lead;
  std::size_t need;
  unsigned char low = 0x80, high = 0xbf;  // allowed range of the first continuation byte
  char32_t cp;
  if (lead >= 0xc2 && lead <= 0xdf) {
    need = 1, cp = lead & 0x1f;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    need = 2, cp = lead & 0x0f;
    if (lead == 0xe0) low = 0xa0;   // overlong
    if (lead == 0xed) high = 0x9f;  // surrogates
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    need = 3, cp = lead & 0x07;
    if (lead == 0xf0) low = 0x90;   // overlong
    if (lead == 0xf4) high = 0x8f;  // beyond U+10FFFF
  } else {
    return 0xfffd;
  }
  for (std::size_t i = 1; i <= need; ++i) {
    if (pos + i >= bytes.size()) return 0xfffd;
    unsigned char c = byte(pos + i);
    if (c < low || c > high) return 0xfffd;
    low = 0x80, high = 0xbf;
    cp = (cp << 6) | (c & 0x3f);
    length = i + 1;
  }
  return cp;
}

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
    char32_t cp = decode_lossy(bytes, pos, length);
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
