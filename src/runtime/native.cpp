#include "runtime/native.h"

#include <atomic>
#include <unordered_map>

namespace veltro {

std::size_t ModuleStates::next_slot() noexcept {
  static std::atomic<std::size_t> next{0};
  return next++;
}

namespace natives {

namespace detail {
constinit const NativeFunction* g_functions = nullptr;
}  // namespace detail

namespace {

struct Registry {
  std::vector<const NativeModule*> modules;
  std::vector<NativeIndex> first;  // per module
  std::vector<NativeFunction> functions;
  std::vector<const NativeModule*> owner;  // per function
  std::unordered_map<std::string_view, NativeIndex> by_name;
  std::unordered_map<std::string_view, const NativeModule*> modules_by_name;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

void add(const NativeModule& module) {
  Registry& r = registry();
  const NativeModule& kept = *r.modules.emplace_back(&module);
  r.first.push_back(static_cast<NativeIndex>(r.functions.size()));
  if (!kept.name.empty()) r.modules_by_name.emplace(kept.name, &kept);
  for (const NativeFunction& f : kept.functions) {
    auto index = static_cast<NativeIndex>(r.functions.size());
    r.functions.push_back(f);
    r.owner.push_back(&kept);
    r.by_name.emplace(f.name, index);
  }
  detail::g_functions = r.functions.data();
}

bool empty() noexcept { return registry().functions.empty(); }

std::optional<NativeIndex> find(std::string_view name) {
  const Registry& r = registry();
  auto it = r.by_name.find(name);
  if (it == r.by_name.end()) return std::nullopt;
  return it->second;
}

bool any_update_named(std::string_view function) {
  for (const NativeFunction& f : registry().functions) {
    if (!f.update) continue;
    std::size_t dot = f.name.find('.');
    if ((dot == std::string_view::npos ? f.name : f.name.substr(dot + 1)) == function) return true;
  }
  return false;
}

const NativeModule& module_of(NativeIndex index) noexcept { return *registry().owner[index]; }

const NativeModule* find_module(std::string_view name) {
  const Registry& r = registry();
  auto it = r.modules_by_name.find(name);
  return it == r.modules_by_name.end() ? nullptr : it->second;
}

NativeIndex first_index(const NativeModule& module) {
  const Registry& r = registry();
  for (std::size_t i = 0; i < r.modules.size(); ++i) {
    if (r.modules[i] == &module) return r.first[i];
  }
  return static_cast<NativeIndex>(r.functions.size());
}

}  // namespace natives

}  // namespace veltro
