#include "runtime/value.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <sys/random.h>

#include "runtime/native.h"
#include "runtime/operators.h"
#include "runtime/text.h"
#include "runtime/walk.h"

namespace veltro {

namespace {

std::size_t process_seed() {
  static const std::size_t seed = [] {
    std::size_t s = 0;
    if (getrandom(&s, sizeof s, 0) != static_cast<ssize_t>(sizeof s)) {
      s = reinterpret_cast<std::size_t>(&s) ^ 0x9e3779b97f4a7c15ull;
    }
    return s;
  }();
  return seed;
}

// Payloads of containers are destroyed through a work list instead of
// recursion, so that freeing a deeply nested array cannot exhaust the stack.
struct Graveyard {
  std::vector<RcObject*> arrays;
  std::vector<RcObject*> dicts;
  bool draining = false;
};

Graveyard& graveyard() {
  static thread_local Graveyard g;
  return g;
}

void drain(Graveyard& g) {
  g.draining = true;
  while (!g.arrays.empty() || !g.dicts.empty()) {
    if (!g.arrays.empty()) {
      auto* obj = static_cast<ArrayObj*>(g.arrays.back());
      g.arrays.pop_back();
      delete obj;
    } else {
      auto* obj = static_cast<DictObj*>(g.dicts.back());
      g.dicts.pop_back();
      delete obj;
    }
  }
  g.draining = false;
}

ShapeObj* new_shape(std::initializer_list<std::int32_t> values) {
  auto* obj = new ShapeObj();
  std::size_t i = 0;
  for (auto v : values) obj->v[i++] = v;
  return obj;
}

// Text of arrays and dictionaries, in the display or the debug form.
void append_text(std::string& out, const Value& root, bool debug) {
  struct Writer {
    std::string& out;
    bool debug;
    void scalar(const Value& v) {
      if (debug) {
        v.append_debug(out);
      } else {
        v.append_display(out);
      }
    }
    void open_array(const Value&) { out += debug ? "Array([" : "["; }
    void close_array() { out += debug ? "])" : "]"; }
    void open_dict(const Value&) { out += debug ? "Dict({" : "{"; }
    void close_dict() { out += debug ? "})" : "}"; }
    void separator() { out += ", "; }
    void key(const std::string& k) {
      if (debug) {
        text::append_quoted(out, k);
      } else {
        out += k;
      }
      out += ": ";
    }
  } writer{out, debug};
  walk_containers(root, writer);
}

}  // namespace

namespace {

// The 128-bit product of two words, its halves folded into one.
std::uint64_t fold_multiply(std::uint64_t a, std::uint64_t b) noexcept {
  __uint128_t product = static_cast<__uint128_t>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

}  // namespace

// Eight bytes at a time, each word mixed into the state by a folded
// multiplication with an odd constant; the length and the seed start it.
std::size_t hash_key(std::string_view key) noexcept {
  constexpr std::uint64_t kWord = 0x9e3779b97f4a7c15ull;
  constexpr std::uint64_t kTail = 0xbf58476d1ce4e5b9ull;
  constexpr std::uint64_t kFinal = 0x94d049bb133111ebull;
  const char* p = key.data();
  std::size_t n = key.size();
  std::uint64_t h = process_seed() ^ (n * kWord);
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    h = fold_multiply(h ^ word, kWord);
  }
  std::uint64_t tail = 0;
  if (n) std::memcpy(&tail, p, n);
  h = fold_multiply(h ^ tail, kTail);
  h = fold_multiply(h, kFinal);
  return h == 0 ? 1 : static_cast<std::size_t>(h);
}

Value Value::string(std::string v) {
  Value r;
  r.type_ = ValueType::String;
  r.u_.obj = new StringObj(std::move(v));
  r.u_.obj->refs = 1;
  return r;
}

Value Value::error(std::string message) {
  Value r = string(std::move(message));
  r.type_ = ValueType::Error;
  return r;
}

Value Value::array(std::vector<Value> items) {
  Value r;
  r.type_ = ValueType::Array;
  r.u_.obj = new ArrayObj(std::move(items));
  r.u_.obj->refs = 1;
  return r;
}

Value Value::dict(DictMap map) {
  Value r;
  r.type_ = ValueType::Dict;
  r.u_.obj = new DictObj(std::move(map));
  r.u_.obj->refs = 1;
  return r;
}

Value Value::function(const FunctionObj* def) {
  Value r;
  r.type_ = ValueType::Function;
  r.u_.obj = const_cast<FunctionObj*>(def);
  ++r.u_.obj->refs;
  return r;
}

Value Value::rect(RectShape s) {
  Value r;
  r.type_ = ValueType::Rect;
  r.u_.obj = new_shape({s.x, s.y, static_cast<std::int32_t>(s.w), static_cast<std::int32_t>(s.h)});
  r.u_.obj->refs = 1;
  return r;
}

Value Value::circle(CircleShape s) {
  Value r;
  r.type_ = ValueType::Circle;
  r.u_.obj = new_shape({s.x, s.y, static_cast<std::int32_t>(s.radius)});
  r.u_.obj->refs = 1;
  return r;
}

Value Value::triangle(TriangleShape s) {
  Value r;
  r.type_ = ValueType::Triangle;
  r.u_.obj = new_shape({s.x1, s.y1, s.x2, s.y2, s.x3, s.y3});
  r.u_.obj->refs = 1;
  return r;
}

RectShape Value::as_rect() const noexcept {
  const auto* s = static_cast<const ShapeObj*>(u_.obj);
  return {s->v[0], s->v[1], static_cast<std::uint32_t>(s->v[2]), static_cast<std::uint32_t>(s->v[3])};
}

CircleShape Value::as_circle() const noexcept {
  const auto* s = static_cast<const ShapeObj*>(u_.obj);
  return {s->v[0], s->v[1], static_cast<std::uint32_t>(s->v[2])};
}

TriangleShape Value::as_triangle() const noexcept {
  const auto* s = static_cast<const ShapeObj*>(u_.obj);
  return {s->v[0], s->v[1], s->v[2], s->v[3], s->v[4], s->v[5]};
}

std::string& Value::mutable_string() {
  if (!unique()) *this = string(as_string());
  auto* obj = static_cast<StringObj*>(u_.obj);
  obj->hash = 0;
  return obj->text;
}

std::size_t Value::compute_key_hash() const noexcept {
  const auto* obj = static_cast<const StringObj*>(u_.obj);
  obj->hash = hash_key(obj->text);
  return obj->hash;
}

std::vector<Value>& Value::mutable_array() {
  if (!unique()) *this = array(as_array());
  return static_cast<ArrayObj*>(u_.obj)->items;
}

DictMap& Value::mutable_dict() {
  if (!unique()) *this = dict(as_dict());
  return static_cast<DictObj*>(u_.obj)->map;
}

void Value::destroy_payload(ValueType type, Payload payload) noexcept {
  Value dying;
  dying.type_ = type;
  dying.u_ = payload;
  dying.destroy();
  dying.type_ = ValueType::Null;
}

void Value::destroy() noexcept {
  switch (type_) {
    case ValueType::String:
    case ValueType::Error:
      delete static_cast<StringObj*>(u_.obj);
      return;
    case ValueType::Array:
    case ValueType::Dict: {
      auto& g = graveyard();
      (type_ == ValueType::Array ? g.arrays : g.dicts).push_back(u_.obj);
      if (!g.draining) drain(g);
      return;
    }
    case ValueType::Function:
      delete &static_cast<FunctionObj&>(*u_.obj);
      return;
    case ValueType::Rect:
    case ValueType::Circle:
    case ValueType::Triangle:
      delete static_cast<ShapeObj*>(u_.obj);
      return;
    case ValueType::Number:
    case ValueType::Float:
    case ValueType::Boolean:
    case ValueType::BuiltinFunction:
    case ValueType::Color:
    case ValueType::Null:
      return;
  }
}

// ------------------------------------------------------------------ text forms

void Value::append_display(std::string& out) const {
  switch (type_) {
    case ValueType::Number: {
      char buffer[24];
      auto r = std::to_chars(buffer, buffer + sizeof buffer, u_.bits);
      out.append(buffer, r.ptr);
      return;
    }
    case ValueType::Float:
      text::append_float_display(out, as_float());
      return;
    case ValueType::String:
      out += as_string();
      return;
    case ValueType::Boolean:
      out += as_bool() ? "true" : "false";
      return;
    case ValueType::Array:
    case ValueType::Dict:
      append_text(out, *this, false);
      return;
    case ValueType::Function:
      out += "<function>";
      return;
    case ValueType::BuiltinFunction:
      out += "<builtin: ";
      out += natives::at(as_builtin()).name;
      out += '>';
      return;
    case ValueType::Rect: {
      auto r = as_rect();
      out += "Rect(" + std::to_string(r.x) + ", " + std::to_string(r.y) + ", " + std::to_string(r.w) + ", " +
             std::to_string(r.h) + ")";
      return;
    }
    case ValueType::Color: {
      auto c = as_color();
      out += "Color(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
      return;
    }
    case ValueType::Circle: {
      auto c = as_circle();
      out += "Circle(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " + std::to_string(c.radius) + ")";
      return;
    }
    case ValueType::Triangle: {
      auto t = as_triangle();
      out += "Triangle(" + std::to_string(t.x1) + ", " + std::to_string(t.y1) + ", " + std::to_string(t.x2) + ", " +
             std::to_string(t.y2) + ", " + std::to_string(t.x3) + ", " + std::to_string(t.y3) + ")";
      return;
    }
    case ValueType::Null:
      out += "null";
      return;
    case ValueType::Error:
      out += "Error: ";
      out += as_string();
      return;
  }
}

std::string Value::display() const {
  if (type_ == ValueType::String) return as_string();
  std::string out;
  append_display(out);
  return out;
}

void Value::append_debug(std::string& out) const {
  switch (type_) {
    case ValueType::Number:
      out += "Number(" + std::to_string(u_.bits) + ")";
      return;
    case ValueType::Float:
      out += "Float(";
      text::append_float_debug(out, as_float());
      out += ')';
      return;
    case ValueType::String:
      out += "String(";
      text::append_quoted(out, as_string());
      out += ')';
      return;
    case ValueType::Boolean:
      out += as_bool() ? "Boolean(true)" : "Boolean(false)";
      return;
    case ValueType::Array:
    case ValueType::Dict:
      append_text(out, *this, true);
      return;
    case ValueType::Function:
      as_function().append_debug(out);
      return;
    case ValueType::BuiltinFunction:
      out += "BuiltinFunction { name: ";
      text::append_quoted(out, natives::at(as_builtin()).name);
      out += " }";
      return;
    case ValueType::Rect: {
      auto r = as_rect();
      out += "Rect { x: " + std::to_string(r.x) + ", y: " + std::to_string(r.y) + ", w: " + std::to_string(r.w) +
             ", h: " + std::to_string(r.h) + " }";
      return;
    }
    case ValueType::Color: {
      auto c = as_color();
      out += "Color { r: " + std::to_string(c.r) + ", g: " + std::to_string(c.g) + ", b: " + std::to_string(c.b) +
             " }";
      return;
    }
    case ValueType::Circle: {
      auto c = as_circle();
      out += "Circle { x: " + std::to_string(c.x) + ", y: " + std::to_string(c.y) +
             ", radius: " + std::to_string(c.radius) + " }";
      return;
    }
    case ValueType::Triangle: {
      auto t = as_triangle();
      out += "Triangle { x1: " + std::to_string(t.x1) + ", y1: " + std::to_string(t.y1) +
             ", x2: " + std::to_string(t.x2) + ", y2: " + std::to_string(t.y2) + ", x3: " + std::to_string(t.x3) +
             ", y3: " + std::to_string(t.y3) + " }";
      return;
    }
    case ValueType::Null:
      out += "Null";
      return;
    case ValueType::Error:
      out += "Error(";
      text::append_quoted(out, as_string());
      out += ')';
      return;
  }
}

std::string Value::debug() const {
  std::string out;
  append_debug(out);
  return out;
}

bool Value::truthy_other() const noexcept {
  switch (type_) {
    case ValueType::Number:
      return u_.bits != 0;
    case ValueType::Float:
      return as_float() != 0.0;  // NaN is truthy, -0.0 is not
    case ValueType::Boolean:
      return u_.bits != 0;
    case ValueType::Null:
      return false;
    case ValueType::String:
    case ValueType::Array:
    case ValueType::Dict:
    case ValueType::Function:
    case ValueType::BuiltinFunction:
    case ValueType::Rect:
    case ValueType::Color:
    case ValueType::Circle:
    case ValueType::Triangle:
    case ValueType::Error:
      return true;
  }
  return true;
}

std::string_view Value::type_name() const noexcept {
  switch (type_) {
    case ValueType::Number: return "number";
    case ValueType::Float: return "float";
    case ValueType::String: return "string";
    case ValueType::Boolean: return "boolean";
    case ValueType::Array: return "array";
    case ValueType::Dict: return "dict";
    case ValueType::Function: return "function";
    case ValueType::BuiltinFunction: return "builtin function";
    case ValueType::Rect: return "rect";
    case ValueType::Color: return "color";
    case ValueType::Circle: return "circle";
    case ValueType::Triangle: return "triangle";
    case ValueType::Null: return "null";
    case ValueType::Error: return "error";
  }
  return "unknown";
}

std::string_view Value::typeof_name() const noexcept {
  switch (type_) {
    case ValueType::Number: return "number";
    case ValueType::Float: return "float";
    case ValueType::String: return "string";
    case ValueType::Boolean: return "boolean";
    case ValueType::Array: return "array";
    case ValueType::Dict: return "dict";
    case ValueType::Null: return "null";
    case ValueType::Function:
    case ValueType::BuiltinFunction:
    case ValueType::Rect:
    case ValueType::Color:
    case ValueType::Circle:
    case ValueType::Triangle:
    case ValueType::Error:
      return "unknown";
  }
  return "unknown";
}

std::optional<std::int64_t> Value::to_integer() const noexcept {
  if (is_integer()) return as_number();
  if (is_float()) return text::saturating_trunc(as_float());
  return std::nullopt;
}

bool pattern_equal(const Value& a, const Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case ValueType::Number: return a.as_number() == b.as_number();
    case ValueType::Float: return ops::floats_equal(a.as_float(), b.as_float());
    case ValueType::String: return a.as_string() == b.as_string();
    case ValueType::Boolean: return a.as_bool() == b.as_bool();
    case ValueType::Null: return true;
    case ValueType::Array:
    case ValueType::Dict:
    case ValueType::Function:
    case ValueType::BuiltinFunction:
    case ValueType::Rect:
    case ValueType::Color:
    case ValueType::Circle:
    case ValueType::Triangle:
    case ValueType::Error:
      return false;
  }
  return false;
}

}  // namespace veltro
