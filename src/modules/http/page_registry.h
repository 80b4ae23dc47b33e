#pragma once
// The process-wide list of pages the server answers, shared by every
// interpreter of the process. Pages are never removed or replaced: the first
// registration of a path is the one served, so later ones are not kept.
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace veltro::http {

class PageRegistry {
 public:
  [[nodiscard]] static PageRegistry& instance();

  void add(std::string_view path, std::string_view content);

  // The complete 200 response of the page registered first for `path`
  // (compared byte for byte), or null. Pages are never removed, so the text
  // stays where it is, unchanged, until the process ends.
  [[nodiscard]] const std::string* find(std::string_view path) const;

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
  };

  mutable std::mutex mutex_;
  // Path to the response bytes, built once at registration. The map's
  // elements never move, whatever is added later.
  std::unordered_map<std::string, const std::string, Hash, std::equal_to<>> pages_;
};

// The bytes the server sends for a page.
[[nodiscard]] std::string page_response(std::string_view content);

}  // namespace veltro::http
