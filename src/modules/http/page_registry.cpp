#include "modules/http/page_registry.h"

#include <fmt/format.h>

#include "modules/http/messages.h"

namespace veltro::http {

PageRegistry& PageRegistry::instance() {
  static PageRegistry registry;
  return registry;
}

std::string page_response(std::string_view content) {
  std::string response = fmt::format(msg::kPageResponse, content.size());
  response.append(content);
  return response;
}

void PageRegistry::add(std::string_view path, std::string_view content) {
  std::lock_guard lock(mutex_);
  if (pages_.find(path) != pages_.end()) return;
  pages_.emplace(std::string(path), page_response(content));
}

const std::string* PageRegistry::find(std::string_view path) const {
  std::lock_guard lock(mutex_);
  auto it = pages_.find(path);
  return it == pages_.end() ? nullptr : &it->second;
}

}  // namespace veltro::http
