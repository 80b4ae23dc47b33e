#pragma once
// Value: the one runtime type. A 16-byte tagged value; numbers, floats,
// booleans, colours, builtin functions and null are inline, everything else
// is an immutable, reference-counted payload, so copying a value never copies
// its contents. A payload is changed in place only while its count is 1
// (mutable_*()).
#include <bit>
#include <cstdint>
#include <optional>
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

struct ArrayObj;
struct DictObj;
struct ShapeObj;

// The payload of a Function value. The runtime knows it only as an immutable
// object with a debug text; the syntax tree defines what it holds (the
// parameters and the body).
struct FunctionObj : RcObject {
  FunctionObj() = default;
  FunctionObj(const FunctionObj&) = delete;
  FunctionObj& operator=(const FunctionObj&) = delete;
  virtual ~FunctionObj() = default;
  // "Function { params: [...], body: [...] }".
  virtual void append_debug(std::string& out) const = 0;
};

// Index of a native function in the registry (runtime/native.h).
using NativeIndex = std::uint32_t;

class Value {
 public:
  Value() noexcept : type_(ValueType::Null) { u_.bits = 0; }
  [[gnu::always_inline]] Value(const Value& other) noexcept : type_(other.type_), u_(other.u_) { retain(); }
  [[gnu::always_inline]] Value(Value&& other) noexcept : type_(other.type_), u_(other.u_) { other.type_ = ValueType::Null; }
  Value& operator=(const Value& other) noexcept {
    Value copy(other);
    swap(copy);
    return *this;
  }
  [[gnu::always_inline]] Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      // The old payload is released after the new value is in place.
      ValueType old_type = type_;
      Payload old_payload = u_;
      type_ = other.type_;
      u_ = other.u_;
      other.type_ = ValueType::Null;
      if (is_heap(old_type)) release_payload(old_type, old_payload);
    }
    return *this;
  }
  [[gnu::always_inline]] ~Value() {
    if (is_heap()) release();
  }
  // Becomes null, as Value() is.
  [[gnu::always_inline]] void reset() noexcept {
    if (is_heap()) release();
    type_ = ValueType::Null;
    u_.bits = 0;
  }
  // Replaces the value with a number, float or boolean given by its bits
  // (see bits()).
  [[gnu::always_inline]] void set_inline(ValueType type, std::int64_t bits) noexcept {
    ValueType old_type = type_;
    Payload old_payload = u_;
    type_ = type;
    u_.bits = bits;
    if (is_heap(old_type)) release_payload(old_type, old_payload);
  }
  void swap(Value& other) noexcept {
    std::swap(type_, other.type_);
    std::swap(u_, other.u_);
  }

  // Constructors.
  static Value number(std::int64_t v) noexcept { return from_bits(ValueType::Number, v); }
  static Value real(double v) noexcept { return from_bits(ValueType::Float, std::bit_cast<std::int64_t>(v)); }
  static Value boolean(bool v) noexcept { return from_bits(ValueType::Boolean, v ? 1 : 0); }
  static Value null() noexcept { return Value(); }
  // A number, float or boolean from its bits (see bits()).
  static Value from_bits(ValueType type, std::int64_t bits) noexcept {
    Value r;
    r.type_ = type;
    r.u_.bits = bits;
    return r;
  }
  static Value string(std::string v);
  static Value string(std::string_view v) { return string(std::string(v)); }
  static Value string(const char* v) { return string(std::string(v)); }
  static Value array(std::vector<Value> items);
  static Value dict(DictMap map);
  static Value function(const FunctionObj* def);  // adds a reference
  // A string value sharing an existing payload (a literal of the syntax tree).
  static Value shared_string(StringObj* text) noexcept {
    Value r;
    r.type_ = ValueType::String;
    r.u_.obj = text;
    ++text->refs;
    return r;
  }
  static Value builtin(NativeIndex function) noexcept { return from_bits(ValueType::BuiltinFunction, function); }
  static Value error(std::string message);
  static Value rect(RectShape r);
  static Value circle(CircleShape c);
  static Value triangle(TriangleShape t);
  static Value color(ColorValue c) noexcept {
    return from_bits(ValueType::Color, c.r | (std::int64_t{c.g} << 8) | (std::int64_t{c.b} << 16));
  }

  // Kind tests. A Number is an integer; is_numeric() is what scripts call a
  // number (is_number accepts floats too).
  [[nodiscard]] ValueType type() const noexcept { return type_; }
  [[nodiscard]] bool is(ValueType t) const noexcept { return type_ == t; }
  [[nodiscard]] bool is_integer() const noexcept { return type_ == ValueType::Number; }
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
  [[nodiscard]] std::int64_t as_number() const noexcept { return u_.bits; }
  [[nodiscard]] double as_float() const noexcept { return std::bit_cast<double>(u_.bits); }
  [[nodiscard]] bool as_bool() const noexcept { return u_.bits != 0; }
  // A Number, Float or Boolean as set_inline and from_bits take it: the
  // integer, the double's bits, or 0/1.
  [[nodiscard]] std::int64_t bits() const noexcept { return u_.bits; }
  // The text of a String, the message of an Error.
  [[nodiscard]] const std::string& as_string() const noexcept { return static_cast<const StringObj*>(u_.obj)->text; }
  // The dictionary hash of a String, cached in its payload.
  [[nodiscard]] std::size_t key_hash() const noexcept {
    const auto* obj = static_cast<const StringObj*>(u_.obj);
    return obj->hash != 0 ? obj->hash : compute_key_hash();
  }
  [[nodiscard]] const std::vector<Value>& as_array() const noexcept;
  [[nodiscard]] const DictMap& as_dict() const noexcept;
  [[nodiscard]] const FunctionObj& as_function() const noexcept { return static_cast<const FunctionObj&>(*u_.obj); }
  [[nodiscard]] NativeIndex as_builtin() const noexcept { return static_cast<NativeIndex>(u_.bits); }
  [[nodiscard]] RectShape as_rect() const noexcept;
  [[nodiscard]] CircleShape as_circle() const noexcept;
  [[nodiscard]] TriangleShape as_triangle() const noexcept;
  [[nodiscard]] ColorValue as_color() const noexcept {
    return {static_cast<std::uint8_t>(u_.bits), static_cast<std::uint8_t>(u_.bits >> 8),
            static_cast<std::uint8_t>(u_.bits >> 16)};
  }

  // A Number as it is, a Float truncated toward zero (saturating at the
  // 64-bit limits, NaN giving 0); nothing for any other kind.
  [[nodiscard]] std::optional<std::int64_t> to_integer() const noexcept;

  // A Number or Float as a double.
  [[nodiscard]] double to_double() const noexcept {
    return type_ == ValueType::Number ? static_cast<double>(u_.bits) : as_float();
  }

  // True when both hold the same payload object (never for inline kinds).
  [[nodiscard]] bool shares_payload(const Value& other) const noexcept {
    return type_ == other.type_ && is_heap() && u_.obj == other.u_.obj;
  }

  // True when this value is the only owner of its payload.
  [[nodiscard]] bool unique() const noexcept { return is_heap() && u_.obj->refs == 1; }
  // In-place access to a String, Array or Dict payload, copying it first unless unique.
  std::string& mutable_string();
  std::vector<Value>& mutable_array();
  DictMap& mutable_dict();

  // Text forms.
  [[nodiscard]] std::string display() const;
  void append_display(std::string& out) const;
  [[nodiscard]] std::string debug() const;
  void append_debug(std::string& out) const;

  [[nodiscard]] bool truthy() const noexcept {
    return type_ == ValueType::Boolean ? u_.bits != 0 : truthy_other();
  }
  // Names used in messages ("number", "builtin function") and by typeof.
  [[nodiscard]] std::string_view type_name() const noexcept;
  [[nodiscard]] std::string_view typeof_name() const noexcept;

 private:
  // The kinds whose payload is a reference-counted object.
  static constexpr std::uint32_t kHeapMask =
      (1u << static_cast<int>(ValueType::String)) | (1u << static_cast<int>(ValueType::Array)) |
      (1u << static_cast<int>(ValueType::Dict)) | (1u << static_cast<int>(ValueType::Function)) |
      (1u << static_cast<int>(ValueType::Rect)) | (1u << static_cast<int>(ValueType::Circle)) |
      (1u << static_cast<int>(ValueType::Triangle)) | (1u << static_cast<int>(ValueType::Error));

  [[nodiscard]] static bool is_heap(ValueType type) noexcept { return (kHeapMask >> static_cast<int>(type)) & 1u; }
  [[nodiscard]] bool is_heap() const noexcept { return is_heap(type_); }
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
  // Drops a reference to a heap payload; the last one destroys it.
  static void release_payload(ValueType type, Payload payload) noexcept;
  static void destroy_payload(ValueType type, Payload payload) noexcept;

  ValueType type_;
  // Inline kinds (Number, Float, Boolean, Color, BuiltinFunction, Null) are
  // written and read only through `bits`, heap kinds only through `obj`.
  union Payload {
    std::int64_t bits;
    RcObject* obj;
  } u_;
};

static_assert(sizeof(Value) == 16);

inline void Value::release_payload(ValueType type, Payload payload) noexcept {
  if (--payload.obj->refs == 0) destroy_payload(type, payload);
}

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

// Equality of match patterns: same kind, numbers exactly, floats as ==
// compares them (ops::floats_equal), strings by bytes, booleans, null with null.
[[nodiscard]] bool pattern_equal(const Value& a, const Value& b);

}  // namespace veltro
