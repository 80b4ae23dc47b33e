#include "lsp/uri.h"

#include <fmt/format.h>

namespace veltro::lsp {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ascii_iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> path_of_uri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (uri.size() < kScheme.size() || !ascii_iequal(uri.substr(0, kScheme.size()), kScheme)) return std::nullopt;
  uri.remove_prefix(kScheme.size());
  std::size_t slash = uri.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view host = uri.substr(0, slash);
  if (!host.empty() && !ascii_iequal(host, "localhost")) return std::nullopt;
  uri.remove_prefix(slash);
  uri = uri.substr(0, uri.find_first_of("?#"));
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && hex_value(uri[i + 1]) >= 0 && hex_value(uri[i + 2]) >= 0) {
      path += static_cast<char>(hex_value(uri[i + 1]) * 16 + hex_value(uri[i + 2]));
      i += 2;
    } else {
      path += uri[i];
    }
  }
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

std::string uri_of_path(std::string_view path) {
  std::string uri = "file://";
  for (char c : path) {
    auto byte = static_cast<unsigned char>(c);
    bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                 c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      uri += c;
    } else {
      uri += fmt::format("%{:02X}", byte);
    }
  }
  return uri;
}

}  // namespace veltro::lsp
