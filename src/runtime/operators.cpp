#include "runtime/operators.h"

#include <string>

#include "runtime/messages.h"

namespace veltro::ops {

namespace {

Value failure(std::string message) { return Value::error(std::move(message)); }

Value strings(const std::string& l, Op op, const std::string& r) {
  switch (op) {
    case Op::Add: {
      if (!concatenation_fits(l, r)) return Value();
      std::string joined;
      joined.reserve(l.size() + r.size());
      joined.append(l).append(r);
      return Value::string(std::move(joined));
    }
    case Op::Equal: return Value::boolean(l == r);
    case Op::NotEqual: return Value::boolean(l != r);
    default: return failure(msg::unsupported_strings(name(op)));
  }
}

Value booleans(bool l, Op op, bool r) {
  switch (op) {
    case Op::And: return Value::boolean(l && r);
    case Op::Or: return Value::boolean(l || r);
    case Op::Equal: return Value::boolean(l == r);
    case Op::NotEqual: return Value::boolean(l != r);
    default: return failure(msg::unsupported_booleans(name(op)));
  }
}

}  // namespace

Value integers(std::int64_t l, Op op, std::int64_t r) {
  return with_op(op, [&]<Op O>() -> Value {
    if constexpr (is_logical(O)) {
      return failure(msg::unsupported_numbers(name(O)));
    } else {
      if (integer_form<O>(r)) return integer_result<O>(l, r);
      return failure(std::string(O == Op::Divide ? msg::kDivisionByZero : msg::kModuloByZero));
    }
  });
}

Value floats(double l, Op op, double r, bool mixed) {
  return with_op(op, [&]<Op O>() -> Value {
    if constexpr (is_logical(O)) {
      return failure(mixed ? msg::unsupported_mixed(name(O)) : msg::unsupported_floats(name(O)));
    } else {
      if (float_form<O>(r)) return float_result<O>(l, r);
      return failure(std::string(msg::kDivisionByZero));
    }
  });
}

Value apply(const Value& left, Op op, const Value& right) {
  ValueType lt = left.type();
  ValueType rt = right.type();
  if (lt == ValueType::Number && rt == ValueType::Number) return integers(left.as_number(), op, right.as_number());
  if (lt == ValueType::Float && rt == ValueType::Float) return floats(left.as_float(), op, right.as_float(), false);
  if (left.is_numeric() && right.is_numeric()) return floats(left.to_double(), op, right.to_double(), true);
  if (lt == ValueType::String && rt == ValueType::String) return strings(left.as_string(), op, right.as_string());
  if (lt == ValueType::Boolean && rt == ValueType::Boolean) return booleans(left.as_bool(), op, right.as_bool());
  return failure(msg::cannot_apply(name(op), left.type_name(), right.type_name()));
}

Value negate(const Value& operand) {
  if (operand.is_integer()) return Value::number(wrap_negate(operand.as_number()));
  if (operand.is_float()) return Value::real(-operand.as_float());
  return failure(msg::cannot_negate(operand.type_name()));
}

}  // namespace veltro::ops
