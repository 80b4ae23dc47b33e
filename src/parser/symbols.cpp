#include "parser/symbols.h"

#include <deque>
#include <unordered_map>

namespace veltro {

namespace {

struct Table {
  std::deque<std::string> names;  // stable addresses for the map's views
  std::unordered_map<std::string_view, Symbol> ids;
};

Table& table() {
  static Table instance;
  return instance;
}

}  // namespace

Symbol intern(std::string_view name) {
  auto& t = table();
  if (auto it = t.ids.find(name); it != t.ids.end()) return it->second;
  auto id = static_cast<Symbol>(t.names.size());
  const std::string& stored = t.names.emplace_back(name);
  t.ids.emplace(stored, id);
  return id;
}

const std::string& symbol_name(Symbol symbol) { return table().names[symbol]; }

std::size_t symbol_count() { return table().names.size(); }

void clear_symbols() {
  auto& t = table();
  t.ids.clear();
  t.names.clear();
}

}  // namespace veltro
