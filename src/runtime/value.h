#pragma once
// Value: the one runtime type. A 16-byte tagged value; numbers, floats,
// booleans, colours and null are inline, everything else is an immutable,
// reference-counted payload, so copying a value never copies its contents.
// A payload is changed in place only while its count is 1 (mutable_*()).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/dict_map.h"
#include "runtime/refcount.h"
#include "runtime/shared_string.h"

namespace veltro {

enum class ValueType : std::uint8_t {
  Number, Float, String, Boolean, Array, Dict, Function, BuiltinFunction, Rect, Color, Circle,
  Triangle, Null, Error,
};

class Value;

using DictMap = BasicDictMap<Value>;

struct RectShape {
  std::int32_t x, y;
  std::uint32_t w, h;
};
struct CircleShape {
  std::int32_t x, y;
  std::uint32_t radius;
};
struct TriangleShape {
  std::int32_t x1, y1, x2, y2, x3, y3;
};
struct ColorValue {
  std::uint8_t r, g, b;
};

struct FunctionDef;
struct ArrayObj;
struct DictObj;
struct ShapeObj;

class Value {
 public:
  Value() noexcept : type_(ValueType::Null) { u_.i = 0; }
  Value(const Value& other) noexcept : type_(other.type_), u_(other.u_) { retain(); }
  Value(Value&& other) noexcept : type_(other.type_), u_(other.u_) { other.type_ = ValueType::Null; }
  Value& operator=(const Value& other) noexcept {
    Value copy(other);
    swap(copy);
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      // The old payload is released after the new value is in place.
      ValueType old_type = type_;
      Payload old_payload = u_;
      type_ = other.type_;
      u_ = other.u_;
      other.type_ = ValueType::Null;
      if ((kHeapMask >> static_cast<int>(old_type)) & 1u) release_payload(old_type, old_payload);
    }
    return *this;
  }
  ~Value() {
    if (is_heap()) release();
  }
  // Replaces the value with a number, float or boolean given by its bits
  // (the integer, the double's bits, or 0/1: a boolean's byte followed by
  // zeros, as boolean() stores it).
  void set_inline(ValueType type, std::int64_t bits) noexcept {
    ValueType old_type = type_;
    Payload old_payload = u_;
    type_ = type;
    u_.i = bits;
    if ((kHeapMask >> static_cast<int>(old_type)) & 1u) release_payload(old_type, old_payload);
  }
  void swap(Value& other) noexcept {
    std::swap(type_, other.type_);
    std::swap(u_, other.u_);
  }

  // Constructors.
  static Value number(std::int64_t v) noexcept { Value r; r.type_ = ValueType::Number; r.u_.i = v; return r; }
  static Value real(double v) noexcept { Value r; r.type_ = ValueType::Float; r.u_.f = v; return r; }
  static Value boolean(bool v) noexcept { Value r; r.type_ = ValueType::Boolean; r.u_.b = v; return r; }
  static Value null() noexcept { return Value(); }
  // A number, float or boolean from its bits, as set_inline takes them.
  static Value from_bits(ValueType type, std::int64_t bits) noexcept {
    Value r;
    r.type_ = type;
    r.u_.i = bits;
    return r;
  }
  static Value string(std::string v);
  static Value string(std::string_view v) { return string(std::string(v)); }
  static Value string(const char* v) { return string(std::string(v)); }
  static Value array(std::vector<Value> items);
  static Value dict(DictMap map);
  static Value function(FunctionDef* def);  // adds a reference
  // A string value sharing an existing payload (a literal of the syntax tree).
  static Value shared_string(StringObj* text) noexcept {
    Value r;
    r.type_ = ValueType::String;
    r.u_.obj = text;
    ++text->refs;
    return r;
  }
  static Value builtin(std::string qualified_name);
  static Value error(std::string message);
  static Value rect(RectShape r);
  static Value circle(CircleShape c);
  static Value triangle(TriangleShape t);
  static Value color(ColorValue c) noexcept {
    Value r;
    r.type_ = ValueType::Color;
    r.u_.rgb[0] = c.r, r.u_.rgb[1] = c.g, r.u_.rgb[2] = c.b;
    return r;
  }

  // Kind tests.
  [[nodiscard]] ValueType type() const noexcept { return type_; }
  [[nodiscard]] bool is(ValueType t) const noexcept { return type_ == t; }
  [[nodiscard]] bool is_number() const noexcept { return type_ == ValueType::Number; }
  [[nodiscard]] bool is_float() const noexcept { return type_ == ValueType::Float; }
  [[nodiscard]] bool is_numeric() const noexcept { return type_ == ValueType::Number || type_ == ValueType::Float; }
  [[nodiscard]] bool is_string() const noexcept { return type_ == ValueType::String; }
  [[nodiscard]] bool is_boolean() const noexcept { return type_ == ValueType::Boolean; }
  [[nodiscard]] bool is_array() const noexcept { return type_ == ValueType::Array; }
  [[nodiscard]] bool is_dict() const noexcept { return type_ == ValueType::Dict; }
  [[nodiscard]] bool is_function() const noexcept { return type_ == ValueType::Function; }
  [[nodiscard]] bool is_builtin() const noexcept { return type_ == ValueType::BuiltinFunction; }
  [[nodiscard]] bool is_null() const noexcept { return type_ == ValueType::Null; }
  [[nodiscard]] bool is_error() const noexcept { return type_ == ValueType::Error; }

  // Payload access; the kind must match.
  [[nodiscard]] std::int64_t as_number() const noexcept { return u_.i; }
  [[nodiscard]] double as_float() const noexcept { return u_.f; }
  [[nodiscard]] bool as_bool() const noexcept { return u_.b; }
  // The text of a String, the message of an Error, the name of a BuiltinFunction.
  [[nodiscard]] const std::string& as_string() const noexcept { return static_cast<const StringObj*>(u_.obj)->text; }
  // The dictionary hash of a String, cached in its payload.
  [[nodiscard]] std::size_t key_hash() const noexcept {
    const auto* obj = static_cast<const StringObj*>(u_.obj);
    return obj->hash != 0 ? obj->hash : compute_key_hash();
  }
  [[nodiscard]] const std::vector<Value>& as_array() const noexcept;
  [[nodiscard]] const DictMap& as_dict() const noexcept;
  [[nodiscard]] const FunctionDef& as_function() const noexcept { return *u_.fn; }
  [[nodiscard]] RectShape as_rect() const noexcept;
  [[nodiscard]] CircleShape as_circle() const noexcept;
  [[nodiscard]] TriangleShape as_triangle() const noexcept;
  [[nodiscard]] ColorValue as_color() const noexcept { return {u_.rgb[0], u_.rgb[1], u_.rgb[2]}; }

  // A Number or Float as a double.
  [[nodiscard]] double to_double() const noexcept {
    return type_ == ValueType::Number ? static_cast<double>(u_.i) : u_.f;
  }

  // The same kind and the same payload (for shared payloads, the same object).
  [[nodiscard]] bool identical(const Value& other) const noexcept {
    return type_ == other.type_ && u_.i == other.u_.i;
  }

  // True when this value is the only owner of its payload.
  [[nodiscard]] bool unique() const noexcept { return is_heap() && u_.obj->refs == 1; }
  // In-place access to a String or Array payload, copying it first unless unique.
  std::string& mutable_string();
  std::vector<Value>& mutable_array();
  DictMap& mutable_dict();

  // Text forms.
  [[nodiscard]] std::string display() const;
  void append_display(std::string& out) const;
  [[nodiscard]] std::string debug() const;
  void append_debug(std::string& out) const;

  [[nodiscard]] bool truthy() const noexcept {
    return type_ == ValueType::Boolean ? u_.b : truthy_other();
  }
  // Names used in messages ("number", "builtin function") and by typeof.
  [[nodiscard]] std::string_view type_name() const noexcept;
  [[nodiscard]] std::string_view typeof_name() const noexcept;

 private:
  static constexpr std::uint32_t kHeapMask =
      (1u << static_cast<int>(ValueType::String)) | (1u << static_cast<int>(ValueType::Array)) |
      (1u << static_cast<int>(ValueType::Dict)) | (1u << static_cast<int>(ValueType::Function)) |
      (1u << static_cast<int>(ValueType::BuiltinFunction)) | (1u << static_cast<int>(ValueType::Rect)) |
      (1u << static_cast<int>(ValueType::Circle)) | (1u << static_cast<int>(ValueType::Triangle)) |
      (1u << static_cast<int>(ValueType::Error));

  [[nodiscard]] bool is_heap() const noexcept { return (kHeapMask >> static_cast<int>(type_)) & 1u; }
  void retain() const noexcept {
    if (is_heap()) ++u_.obj->refs;
  }
  void release() noexcept {
    if (--u_.obj->refs == 0) destroy();
  }
  void destroy() noexcept;
  [[nodiscard]] bool truthy_other() const noexcept;
  [[nodiscard]] std::size_t compute_key_hash() const noexcept;
  union Payload;
  static void release_payload(ValueType type, Payload payload) noexcept;

  ValueType type_;
  union Payload {
    std::int64_t i;
    double f;
    bool b;
    std::uint8_t rgb[3];
    RcObject* obj;
    FunctionDef* fn;
  } u_;
};

static_assert(sizeof(Value) == 16);

struct ArrayObj : RcObject {
  explicit ArrayObj(std::vector<Value> v) : items(std::move(v)) {}
  std::vector<Value> items;
};
struct DictObj : RcObject {
  explicit DictObj(DictMap m) : map(std::move(m)) {}
  DictMap map;
};
inline const std::vector<Value>& Value::as_array() const noexcept { return static_cast<const ArrayObj*>(u_.obj)->items; }
inline const DictMap& Value::as_dict() const noexcept { return static_cast<const DictObj*>(u_.obj)->map; }

struct ShapeObj : RcObject {
  std::int32_t v[6] = {};
};

// Equality of match patterns: same kind, numbers exactly, floats within
// machine epsilon, strings by bytes, booleans, null with null.
[[nodiscard]] bool pattern_equal(const Value& a, const Value& b);

// Float comparison tolerance of == and !=.
inline constexpr double kFloatEpsilon = 2.220446049250313e-16;

}  // namespace veltro
