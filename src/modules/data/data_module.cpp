#include "modules/data/data_module.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <fmt/format.h>

#include "modules/data/messages.h"
#include "runtime/operators.h"

namespace veltro {

namespace msg = data_messages;

namespace {

std::optional<Value> check(std::span<const Value> args, std::string_view function, std::string_view kinds) {
  return check_arguments(args, function, kinds, msg::kArguments);
}

// The index argument when it is within [0, size); for insert_at, size too.
std::optional<std::size_t> index_within(const Value& index, std::size_t size, bool end_allowed) {
  std::int64_t i = index.as_number();
  if (i < 0 || static_cast<std::uint64_t>(i) > size || (!end_allowed && static_cast<std::uint64_t>(i) == size)) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(i);
}

Value out_of_range(std::string_view function, const Value& index, std::size_t size) {
  return Value::error(fmt::format(msg::kIndexOutOfRange, function, index.as_number(), size));
}

Value data_keys(std::span<const Value> args) {
  if (auto bad = check(args, "keys", "d")) return *bad;
  std::vector<Value> keys;
  keys.reserve(args[0].as_dict().size());
  for (const auto& entry : args[0].as_dict()) keys.push_back(Value::string(entry.first));
  return Value::array(std::move(keys));
}

Value data_values(std::span<const Value> args) {
  if (auto bad = check(args, "values", "d")) return *bad;
  std::vector<Value> values;
  values.reserve(args[0].as_dict().size());
  for (const auto& entry : args[0].as_dict()) values.push_back(entry.second);
  return Value::array(std::move(values));
}

Value data_has(std::span<const Value> args) {
  if (auto bad = check(args, "has", "ds")) return *bad;
  const DictMap& d = args[0].as_dict();
  return Value::boolean(d.find(args[1].as_string(), args[1].key_hash()) != d.end());
}

Value data_get(std::span<const Value> args) {
  if (auto bad = check(args, "get", "ds*")) return *bad;
  const DictMap& d = args[0].as_dict();
  auto it = d.find(args[1].as_string(), args[1].key_hash());
  return it == d.end() ? args[2] : it->second;
}

// The functions below return their first argument changed; they change it
// in place when they hold its only reference.

Value data_set(std::span<Value> args) {
  if (auto bad = check(args, "set", "ds*")) return *bad;
  Value d = std::move(args[0]);
  d.mutable_dict().insert_or_assign(args[1].as_string(), args[1].key_hash(), std::move(args[2]));
  return d;
}

Value data_remove(std::span<Value> args) {
  if (auto bad = check(args, "remove", "ds")) return *bad;
  Value d = std::move(args[0]);
  const std::string& key = args[1].as_string();
  std::size_t hash = args[1].key_hash();
  // Copied only when there is something to remove.
  if (d.as_dict().find(key, hash) != d.as_dict().end()) d.mutable_dict().erase(key, hash);
  return d;
}

Value data_set_at(std::span<Value> args) {
  if (auto bad = check(args, "set_at", "ai*")) return *bad;
  auto i = index_within(args[1], args[0].as_array().size(), false);
  if (!i) return out_of_range("set_at", args[1], args[0].as_array().size());
  Value a = std::move(args[0]);
  a.mutable_array()[*i] = std::move(args[2]);
  return a;
}

Value data_insert_at(std::span<Value> args) {
  if (auto bad = check(args, "insert_at", "ai*")) return *bad;
  auto i = index_within(args[1], args[0].as_array().size(), true);
  if (!i) return out_of_range("insert_at", args[1], args[0].as_array().size());
  Value a = std::move(args[0]);
  auto& items = a.mutable_array();
  items.insert(items.begin() + static_cast<std::ptrdiff_t>(*i), std::move(args[2]));
  return a;
}

Value data_remove_at(std::span<Value> args) {
  if (auto bad = check(args, "remove_at", "ai")) return *bad;
  auto i = index_within(args[1], args[0].as_array().size(), false);
  if (!i) return out_of_range("remove_at", args[1], args[0].as_array().size());
  Value a = std::move(args[0]);
  auto& items = a.mutable_array();
  items.erase(items.begin() + static_cast<std::ptrdiff_t>(*i));
  return a;
}

Value data_index_of(std::span<const Value> args) {
  if (auto bad = check(args, "index_of", "a*")) return *bad;
  const auto& items = args[0].as_array();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (pattern_equal(items[i], args[1])) return Value::number(static_cast<std::int64_t>(i));
  }
  return Value::number(-1);
}

Value data_slice(std::span<const Value> args) {
  if (auto bad = check(args, "slice", "aii")) return *bad;
  const auto& items = args[0].as_array();
  std::int64_t from = args[1].as_number();
  std::int64_t to = args[2].as_number();
  if (from < 0 || from > to || static_cast<std::uint64_t>(to) > items.size()) {
    return Value::error(fmt::format(msg::kSliceOutOfRange, from, to, items.size()));
  }
  return Value::array(std::vector<Value>(items.begin() + from, items.begin() + to));
}

// Below zero, zero or above zero as i is below, equal to or above d, which
// is not NaN: exactly, without rounding i to a double.
int integer_order(std::int64_t i, double d) {
  if (d >= 0x1p63) return -1;
  if (d < -0x1p63) return 1;
  double whole = std::trunc(d);
  auto w = static_cast<std::int64_t>(whole);
  if (i != w) return i < w ? -1 : 1;
  return whole < d ? -1 : whole > d ? 1 : 0;
}

// The exact order of a number and a float; NaN after every number.
bool number_less(const Value& a, const Value& b) {
  if (a.is_integer() && b.is_integer()) return a.as_number() < b.as_number();
  if (a.is_float() && std::isnan(a.as_float())) return false;
  if (b.is_float() && std::isnan(b.as_float())) return true;
  if (a.is_float() && b.is_float()) return a.as_float() < b.as_float();
  return a.is_integer() ? integer_order(a.as_number(), b.as_float()) < 0
                        : integer_order(b.as_number(), a.as_float()) > 0;
}

Value data_sort(std::span<Value> args) {
  if (auto bad = check(args, "sort", "a")) return *bad;
  const auto& items = args[0].as_array();
  if (items.empty()) return std::move(args[0]);
  bool numbers = items[0].is_numeric();
  for (std::size_t i = 0; i < items.size(); ++i) {
    bool fits = numbers ? items[i].is_numeric() : items[i].is_string();
    if (!fits) {
      return Value::error(fmt::format(msg::kSortKinds, items[i].type_name(), i));
    }
  }
  Value a = std::move(args[0]);
  auto& sorted = a.mutable_array();
  if (numbers) {
    std::stable_sort(sorted.begin(), sorted.end(), number_less);
  } else {
    // Bytes compare as unsigned, and UTF-8 keeps the order of code points.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Value& x, const Value& y) { return x.as_string() < y.as_string(); });
  }
  return a;
}

Value data_sum(std::span<const Value> args) {
  if (auto bad = check(args, "sum", "a")) return *bad;
  // As + adds: numbers wrap around, a float makes the rest float.
  std::int64_t whole = 0;
  double real = 0.0;
  bool any_float = false;
  const auto& items = args[0].as_array();
  for (std::size_t i = 0; i < items.size(); ++i) {
    const Value& v = items[i];
    if (!v.is_numeric()) return Value::error(fmt::format(msg::kSumKinds, v.type_name(), i));
    if (!any_float && v.is_integer()) {
      whole = ops::integer_arithmetic<ops::Op::Add>(whole, v.as_number());
      continue;
    }
    if (!any_float) {
      real = static_cast<double>(whole);
      any_float = true;
    }
    real = ops::float_arithmetic<ops::Op::Add>(real, v.to_double());
  }
  return any_float ? Value::real(real) : Value::number(whole);
}

std::string unknown_function(std::string_view function) { return fmt::format(msg::kNoSuchFunction, function); }

}  // namespace

const NativeModule& data_module() {
  static constexpr NativeFunction kFunctions[] = {
      {"data.keys", without_state<data_keys>},
      {"data.values", without_state<data_values>},
      {"data.has", without_state<data_has>},
      {"data.get", without_state<data_get>},
      updating<data_set>("data.set"),
      updating<data_remove>("data.remove"),
      updating<data_set_at>("data.set_at"),
      updating<data_insert_at>("data.insert_at"),
      updating<data_remove_at>("data.remove_at"),
      {"data.index_of", without_state<data_index_of>},
      {"data.slice", without_state<data_slice>},
      updating<data_sort>("data.sort"),
      {"data.sum", without_state<data_sum>},
  };
  static const NativeModule kModule{
      .name = "data", .functions = kFunctions, .unknown_function = unknown_function, .owns_name = false};
  return kModule;
}

}  // namespace veltro
