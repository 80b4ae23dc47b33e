#include "modules/http/json.h"

#include <cmath>
#include <vector>

#include "runtime/text.h"

namespace veltro::http {

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain_from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text.substr(plain_from, i - plain_from));
    plain_from = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xf];
    }
  }
  out.append(text.substr(plain_from));
  out += '"';
}

namespace {

// One open array or dictionary; `index` counts the members written so far.
struct Frame {
  const Value* container;
  std::size_t index;
  DictMap::const_iterator next;
};

// Writes a scalar completely, or the opening bracket of a container and
// pushes it. Containers are walked with an explicit stack, so nesting depth
// is bounded by memory rather than by the C++ stack.
void open_value(std::string& out, const Value& value, std::vector<Frame>& stack) {
  switch (value.type()) {
    case ValueType::Number:
      value.append_display(out);
      return;
    case ValueType::Float:
      // JSON has no NaN or infinity.
      if (std::isfinite(value.as_float())) {
        value.append_display(out);
      } else {
        out += "null";
      }
      return;
    case ValueType::String:
      append_json_string(out, value.as_string());
      return;
    case ValueType::Boolean:
      out += value.as_bool() ? "true" : "false";
      return;
    case ValueType::Array:
      out += '[';
      stack.push_back({&value, 0, {}});
      return;
    case ValueType::Dict:
      out += '{';
      stack.push_back({&value, 0, value.as_dict().begin()});
      return;
    case ValueType::Function:
    case ValueType::BuiltinFunction:
    case ValueType::Rect:
    case ValueType::Color:
    case ValueType::Circle:
    case ValueType::Triangle:
    case ValueType::Null:
    case ValueType::Error:
      out += "null";
      return;
  }
}

}  // namespace

void append_json(std::string& out, const Value& value) {
  std::vector<Frame> stack;
  open_value(out, value, stack);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const Value* member = nullptr;
    if (frame.container->is_array()) {
      const auto& items = frame.container->as_array();
      if (frame.index == items.size()) {
        out += ']';
        stack.pop_back();
        continue;
      }
      if (frame.index > 0) out += ',';
      member = &items[frame.index];
    } else {
      if (frame.next == frame.container->as_dict().end()) {
        out += '}';
        stack.pop_back();
        continue;
      }
      if (frame.index > 0) out += ',';
      append_json_string(out, frame.next->first);
      out += ':';
      member = &frame.next->second;
      ++frame.next;
    }
    ++frame.index;
    // May grow the stack, so `frame` is not touched after this.
    open_value(out, *member, stack);
  }
}

std::string json_text(const Value& value) {
  std::string out;
  append_json(out, value);
  return out;
}

}  // namespace veltro::http
