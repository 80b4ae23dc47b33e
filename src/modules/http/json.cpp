#include "modules/http/json.h"

#include <cmath>

#include "runtime/walk.h"

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

void append_json(std::string& out, const Value& value) {
  struct Writer {
    std::string& out;
    void scalar(const Value& v) {
      switch (v.type()) {
        case ValueType::Number:
          v.append_display(out);
          return;
        case ValueType::Float:
          // JSON has no NaN or infinity.
          if (std::isfinite(v.as_float())) {
            v.append_display(out);
          } else {
            out += "null";
          }
          return;
        case ValueType::String:
          append_json_string(out, v.as_string());
          return;
        case ValueType::Boolean:
          out += v.as_bool() ? "true" : "false";
          return;
        case ValueType::Array:  // walked as containers
        case ValueType::Dict:
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
    void open_array(const Value&) { out += '['; }
    void close_array() { out += ']'; }
    void open_dict(const Value&) { out += '{'; }
    void close_dict() { out += '}'; }
    void separator() { out += ','; }
    void key(const std::string& k) {
      append_json_string(out, k);
      out += ':';
    }
  } writer{out};
  walk_containers(value, writer);
}

std::string json_text(const Value& value) {
  std::string out;
  append_json(out, value);
  return out;
}

}  // namespace veltro::http
