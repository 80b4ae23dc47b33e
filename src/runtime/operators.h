#pragma once
// The operator rules: what each binary operator and negation gives for each
// kind of operand, and the texts of its failures. Every place that applies an
// operator calls these. The general rules (apply) take any two values; the
// fast paths of the interpreter, which know an operand's kind or the
// operator in advance, first ask whether a form applies (integer_form,
// float_form: the operands need no failure) and then take the result from
// the same templates the general rules are built from.
//
// Failures are Error values, reported by whoever applied the operator.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "runtime/harness.h"
#include "runtime/value.h"

namespace veltro::ops {

enum class Op : std::uint8_t {
  Add, Subtract, Multiply, Divide, Remainder, Power,
  Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual,
  And, Or,
};
inline constexpr std::size_t kOpCount = static_cast<std::size_t>(Op::Or) + 1;

// The operator's name in messages: the name of its token.
[[nodiscard]] constexpr std::string_view name(Op op) {
  constexpr std::array<std::string_view, kOpCount> kNames = {
      "Plus", "Minus", "Star", "Slash", "Percent", "Power", "Equal",
      "NotEqual", "Less", "Greater", "LessEqual", "GreaterEqual", "And", "Or",
  };
  return kNames[static_cast<std::size_t>(op)];
}

[[nodiscard]] constexpr bool is_comparison(Op op) { return op >= Op::Equal && op <= Op::GreaterEqual; }
[[nodiscard]] constexpr bool is_logical(Op op) { return op == Op::And || op == Op::Or; }

// 64-bit integer arithmetic wraps around instead of overflowing.
[[nodiscard]] constexpr std::int64_t wrap_add(std::int64_t a, std::int64_t b) noexcept {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
[[nodiscard]] constexpr std::int64_t wrap_sub(std::int64_t a, std::int64_t b) noexcept {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
[[nodiscard]] constexpr std::int64_t wrap_mul(std::int64_t a, std::int64_t b) noexcept {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}
[[nodiscard]] constexpr std::int64_t wrap_negate(std::int64_t a) noexcept { return wrap_sub(0, a); }
// The exponent is the low 32 bits of the right operand read as an unsigned
// count, so a negative exponent is a huge count, never a fraction.
[[nodiscard]] constexpr std::int64_t wrap_pow(std::int64_t base, std::int64_t exponent) noexcept {
  auto e = static_cast<std::uint32_t>(static_cast<std::uint64_t>(exponent));
  std::uint64_t result = 1;
  auto b = static_cast<std::uint64_t>(base);
  while (e) {
    if (e & 1u) result *= b;
    b *= b;
    e >>= 1;
  }
  return static_cast<std::int64_t>(result);
}

// Floats are equal when they differ by less than the machine epsilon of
// doubles (== and match patterns), and unequal when they differ by at least
// that (!=): NaN is neither.
inline constexpr double kFloatTolerance = 2.220446049250313e-16;
[[nodiscard]] inline bool floats_equal(double l, double r) noexcept { return std::fabs(l - r) < kFloatTolerance; }
[[nodiscard]] inline bool floats_unequal(double l, double r) noexcept { return std::fabs(l - r) >= kFloatTolerance; }

// A comparison of two integers or of two floats.
template <Op O, class T>
[[nodiscard]] inline bool compare(T l, T r) noexcept {
  static_assert(is_comparison(O));
  if constexpr (O == Op::Equal) {
    if constexpr (std::is_floating_point_v<T>) return floats_equal(l, r);
    return l == r;
  } else if constexpr (O == Op::NotEqual) {
    if constexpr (std::is_floating_point_v<T>) return floats_unequal(l, r);
    return l != r;
  } else if constexpr (O == Op::Less) {
    return l < r;
  } else if constexpr (O == Op::Greater) {
    return l > r;
  } else if constexpr (O == Op::LessEqual) {
    return l <= r;
  } else {
    return l >= r;
  }
}

// Two integers: whether the operator gives its result without failing
// (division and remainder fail on a zero divisor; logical operators take
// booleans only).
template <Op O>
[[nodiscard]] constexpr bool integer_form(std::int64_t right) noexcept {
  if constexpr (O == Op::Divide || O == Op::Remainder) return right != 0;
  return !is_logical(O);
}

template <Op O>
[[nodiscard]] constexpr std::int64_t integer_arithmetic(std::int64_t l, std::int64_t r) noexcept {
  if constexpr (O == Op::Add) return wrap_add(l, r);
  if constexpr (O == Op::Subtract) return wrap_sub(l, r);
  if constexpr (O == Op::Multiply) return wrap_mul(l, r);
  // The one quotient that overflows wraps like the other operations.
  if constexpr (O == Op::Divide) return r == -1 ? wrap_negate(l) : l / r;
  if constexpr (O == Op::Remainder) return r == -1 ? 0 : l % r;
  if constexpr (O == Op::Power) return wrap_pow(l, r);
  static_assert(O <= Op::Power);
}

// The result where integer_form holds.
template <Op O>
[[nodiscard]] inline Value integer_result(std::int64_t l, std::int64_t r) noexcept {
  if constexpr (is_comparison(O)) {
    return Value::boolean(compare<O>(l, r));
  } else {
    return Value::number(integer_arithmetic<O>(l, r));
  }
}

// Two floats, or a float and an integer (read as a double): whether the
// operator gives its result without failing (division fails on a zero divisor,
// the remainder does not).
template <Op O>
[[nodiscard]] constexpr bool float_form(double right) noexcept {
  if constexpr (O == Op::Divide) return right != 0.0;
  return !is_logical(O);
}

template <Op O>
[[nodiscard]] inline double float_arithmetic(double l, double r) noexcept {
  if constexpr (O == Op::Add) return l + r;
  if constexpr (O == Op::Subtract) return l - r;
  if constexpr (O == Op::Multiply) return l * r;
  if constexpr (O == Op::Divide) return l / r;
  if constexpr (O == Op::Remainder) return std::fmod(l, r);
  if constexpr (O == Op::Power) return std::pow(l, r);
  static_assert(O <= Op::Power);
}

// The result where float_form holds.
template <Op O>
[[nodiscard]] inline Value float_result(double l, double r) noexcept {
  if constexpr (is_comparison(O)) {
    return Value::boolean(compare<O>(l, r));
  } else {
    return Value::real(float_arithmetic<O>(l, r));
  }
}

// Calls f.template operator()<O>() with O the operator `op` names.
template <class F>
[[gnu::always_inline]] inline decltype(auto) with_op(Op op, F&& f) {
  switch (op) {
    case Op::Add: return f.template operator()<Op::Add>();
    case Op::Subtract: return f.template operator()<Op::Subtract>();
    case Op::Multiply: return f.template operator()<Op::Multiply>();
    case Op::Divide: return f.template operator()<Op::Divide>();
    case Op::Remainder: return f.template operator()<Op::Remainder>();
    case Op::Power: return f.template operator()<Op::Power>();
    case Op::Equal: return f.template operator()<Op::Equal>();
    case Op::NotEqual: return f.template operator()<Op::NotEqual>();
    case Op::Less: return f.template operator()<Op::Less>();
    case Op::Greater: return f.template operator()<Op::Greater>();
    case Op::LessEqual: return f.template operator()<Op::LessEqual>();
    case Op::GreaterEqual: return f.template operator()<Op::GreaterEqual>();
    case Op::And: return f.template operator()<Op::And>();
    case Op::Or: return f.template operator()<Op::Or>();
  }
  return f.template operator()<Op::Or>();
}

// The general rules, failures included.
[[nodiscard]] Value integers(std::int64_t l, Op op, std::int64_t r);
// `mixed`: one operand was an integer (its failure text differs).
[[nodiscard]] Value floats(double l, Op op, double r, bool mixed);
// Any two values. Joining strings past the harness's bound gives null.
[[nodiscard]] Value apply(const Value& left, Op op, const Value& right);
// Unary minus.
[[nodiscard]] Value negate(const Value& operand);

// Whether joining the two strings stays within the harness's bound (always
// outside harnesses); past it the run halts. Appending in place checks it too.
[[nodiscard]] inline bool concatenation_fits(std::string_view left, std::string_view right) {
  return harness::string_fits(left.size() + right.size());
}

}  // namespace veltro::ops
