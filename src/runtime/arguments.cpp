#include "runtime/arguments.h"

#include "runtime/harness.h"
#include "runtime/limits.h"

namespace veltro {

namespace {

bool fits(const Value& v, char kind) {
  switch (kind) {
    case 's': return v.is_string();
    case 'i': return v.is_integer();
    case 'n': return v.is_numeric();
    case 'a': return v.is_array();
    case 'd': return v.is_dict();
    default: return true;
  }
}

std::string_view kind_words(char kind) {
  switch (kind) {
    case 's': return "a string";
    case 'i': return "a whole number";
    case 'n': return "a number";
    case 'a': return "an array";
    case 'd': return "a dictionary";
    default: return "a value";
  }
}

}  // namespace

std::optional<Value> check_arguments(std::span<const Value> args, std::string_view function, std::string_view kinds,
                                     const ArgumentMessages& messages) {
  if (args.size() != kinds.size()) {
    return Value::error(fmt::format(messages.count, std::string_view{function}, kinds.size(), args.size()));
  }
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (!fits(args[i], kinds[i])) {
      return Value::error(fmt::format(messages.kind, std::string_view{function}, kind_words(kinds[i]), i + 1, args[i].type_name()));
    }
  }
  return std::nullopt;
}

bool built_string_fits(std::size_t length) {
  return length <= limits::kMaxBuiltStringBytes && harness::string_fits(length);
}

}  // namespace veltro
