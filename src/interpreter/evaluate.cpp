// Expression evaluation and the operators.
#include <cmath>
#include <limits>

#include "console.h"
#include "interpreter/interpreter.h"
#include "interpreter/messages.h"
#include "text.h"
#include "veltro_limits.h"

namespace veltro {

Value raise(std::string message) {
  log_error(message);
  return Value::error(std::move(message));
}

namespace {

// 64-bit arithmetic that wraps around instead of overflowing.
std::int64_t wrap_add(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
std::int64_t wrap_sub(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}
std::int64_t wrap_mul(std::int64_t a, std::int64_t b) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(b));
}

// The exponent is the low 32 bits of the right operand read as an unsigned
// count, so a negative exponent is a huge count, never a fraction.
std::int64_t wrap_pow(std::int64_t base, std::int64_t exponent) {
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

Value numbers(std::int64_t l, TokenType op, std::int64_t r) {
  switch (op) {
    case TokenType::Plus: return Value::number(wrap_add(l, r));
    case TokenType::Minus: return Value::number(wrap_sub(l, r));
    case TokenType::Star: return Value::number(wrap_mul(l, r));
    case TokenType::Slash:
      if (r == 0) return raise(std::string(msg::kDivisionByZero));
      // The one quotient that overflows wraps like the other operations.
      if (r == -1) return Value::number(wrap_sub(0, l));
      return Value::number(l / r);
    case TokenType::Percent:
      if (r == 0) return raise(std::string(msg::kModuloByZero));
      if (r == -1) return Value::number(0);
      return Value::number(l % r);
    case TokenType::Power: return Value::number(wrap_pow(l, r));
    case TokenType::Equal: return Value::boolean(l == r);
    case TokenType::NotEqual: return Value::boolean(l != r);
    case TokenType::Less: return Value::boolean(l < r);
    case TokenType::Greater: return Value::boolean(l > r);
    case TokenType::LessEqual: return Value::boolean(l <= r);
    case TokenType::GreaterEqual: return Value::boolean(l >= r);
    default: return raise(msg::unsupported_numbers(token_type_name(op)));
  }
}

// Float arithmetic; `divisor_zero` is the zero test of the divisor in its own kind.
Value floats(double l, TokenType op, double r, bool divisor_zero, bool mixed) {
  switch (op) {
    case TokenType::Plus: return Value::real(l + r);
    case TokenType::Minus: return Value::real(l - r);
    case TokenType::Star: return Value::real(l * r);
    case TokenType::Slash:
      if (divisor_zero) return raise(std::string(msg::kDivisionByZero));
      return Value::real(l / r);
    case TokenType::Percent: return Value::real(std::fmod(l, r));
    case TokenType::Power: return Value::real(std::pow(l, r));
    case TokenType::Equal: return Value::boolean(std::fabs(l - r) < kFloatEpsilon);
    case TokenType::NotEqual: return Value::boolean(std::fabs(l - r) >= kFloatEpsilon);
    case TokenType::Less: return Value::boolean(l < r);
    case TokenType::Greater: return Value::boolean(l > r);
    case TokenType::LessEqual: return Value::boolean(l <= r);
    case TokenType::GreaterEqual: return Value::boolean(l >= r);
    default:
      return raise(mixed ? msg::unsupported_mixed(token_type_name(op)) : msg::unsupported_floats(token_type_name(op)));
  }
}

}  // namespace

Value Interpreter::apply_binary(const Value& left, TokenType op, const Value& right) {
  ValueType lt = left.type();
  ValueType rt = right.type();
  if (lt == ValueType::Number && rt == ValueType::Number) return numbers(left.as_number(), op, right.as_number());
  if (lt == ValueType::Float && rt == ValueType::Float) {
    return floats(left.as_float(), op, right.as_float(), right.as_float() == 0.0, false);
  }
  if (lt == ValueType::Number && rt == ValueType::Float) {
    return floats(static_cast<double>(left.as_number()), op, right.as_float(), right.as_float() == 0.0, true);
  }
  if (lt == ValueType::Float && rt == ValueType::Number) {
    return floats(left.as_float(), op, static_cast<double>(right.as_number()), right.as_number() == 0, true);
  }
  if (lt == ValueType::String && rt == ValueType::String) {
    switch (op) {
      case TokenType::Plus: {
        std::string joined;
        joined.reserve(left.as_string().size() + right.as_string().size());
        joined.append(left.as_string()).append(right.as_string());
        return Value::string(std::move(joined));
      }
      case TokenType::Equal: return Value::boolean(left.as_string() == right.as_string());
      case TokenType::NotEqual: return Value::boolean(left.as_string() != right.as_string());
      default: return raise(msg::unsupported_strings(token_type_name(op)));
    }
  }
  if (lt == ValueType::Boolean && rt == ValueType::Boolean) {
    bool l = left.as_bool();
    bool r = right.as_bool();
    switch (op) {
      case TokenType::And: return Value::boolean(l && r);
      case TokenType::Or: return Value::boolean(l || r);
      case TokenType::Equal: return Value::boolean(l == r);
      case TokenType::NotEqual: return Value::boolean(l != r);
      default: return raise(msg::unsupported_booleans(token_type_name(op)));
    }
  }
  return raise(msg::cannot_apply(token_type_name(op), left.type_name(), right.type_name()));
}

Value Interpreter::lookup(Symbol symbol) const {
  const Value* v = env_.find(symbol);
  return v ? *v : Value();
}

Value Interpreter::evaluate(const Expr& expr) {
  switch (expr.kind) {
    case ExprKind::Number:
      return Value::number(static_cast<const NumberExpr&>(expr).value);
    case ExprKind::Float:
      return Value::real(static_cast<const FloatExpr&>(expr).value);
    case ExprKind::String:
      return Value::string(static_cast<const StringExpr&>(expr).value);
    case ExprKind::Boolean:
      return Value::boolean(static_cast<const BooleanExpr&>(expr).value);
    case ExprKind::Identifier: {
      const auto& e = static_cast<const IdentifierExpr&>(expr);
      if (const Value* v = env_.find(e.symbol)) return *v;
      return raise(msg::undefined_variable(e.name));
    }
    case ExprKind::BinaryOp: {
      const auto& e = static_cast<const BinaryExpr&>(expr);
      Value left = evaluate(*e.left);
      if (left.is_error()) return left;
      Value right = evaluate(*e.right);
      if (right.is_error()) return right;
      return apply_binary(left, e.op, right);
    }
    case ExprKind::UnaryOp: {
      const auto& e = static_cast<const UnaryExpr&>(expr);
      Value operand = evaluate(*e.operand);
      if (operand.is_error()) return operand;
      switch (e.op) {
        case TokenType::Not:
          return Value::boolean(!operand.truthy());
        case TokenType::Minus:
          if (operand.is_number()) return Value::number(wrap_sub(0, operand.as_number()));
          if (operand.is_float()) return Value::real(-operand.as_float());
          return raise(msg::cannot_negate(operand.type_name()));
        default:
          return raise(msg::unsupported_unary(token_type_name(e.op)));
      }
    }
    case ExprKind::Call:
      return call_function(static_cast<const CallExpr&>(expr));
    case ExprKind::Array: {
      const auto& e = static_cast<const ArrayExpr&>(expr);
      std::vector<Value> items;
      items.reserve(e.elements.size());
      for (const auto& element : e.elements) {
        Value v = evaluate(*element);
        if (v.is_error()) return v;
        items.push_back(std::move(v));
      }
      return Value::array(std::move(items));
    }
    case ExprKind::Dict: {
      const auto& e = static_cast<const DictExpr&>(expr);
      DictMap map;
      for (const auto& [key, value_expr] : e.entries) {
        Value v = evaluate(*value_expr);
        if (v.is_error()) return v;
        map.insert_or_assign(key, std::move(v));
      }
      return Value::dict(std::move(map));
    }
    case ExprKind::Index:
      return evaluate_index(static_cast<const IndexExpr&>(expr));
    case ExprKind::Range:
      return evaluate_range(static_cast<const RangeExpr&>(expr));
  }
  return Value();
}

Value Interpreter::evaluate_index(const IndexExpr& expr) {
  // name.member reads a module's export when the name is an imported module;
  // otherwise it indexes the variable, and an unknown name is taken for a
  // module that was not imported.
  if (expr.object->kind == ExprKind::Identifier && expr.index->kind == ExprKind::String) {
    const auto& object = static_cast<const IdentifierExpr&>(*expr.object);
    const auto& member = static_cast<const StringExpr&>(*expr.index).value;
    if (modules_.count(object.name)) return lookup_member(object.name, member);
    const Value* bound = env_.find(object.symbol);
    if (!bound) return raise(msg::module_not_imported(object.name));
    if (bound->is_error()) return *bound;
    return index_value(*bound, Value::string(member));
  }
  Value object = evaluate(*expr.object);
  if (object.is_error()) return object;
  Value index = evaluate(*expr.index);
  if (index.is_error()) return index;
  return index_value(object, index);
}

Value Interpreter::index_value(const Value& object, const Value& index) {
  if (object.is_array()) {
    if (!index.is_number()) return raise(msg::array_index_type(index.type_name()));
    const auto& items = object.as_array();
    std::int64_t i = index.as_number();
    if (i < 0 || static_cast<std::uint64_t>(i) >= items.size()) return raise(msg::index_out_of_bounds(i, items.size()));
    return items[static_cast<std::size_t>(i)];
  }
  if (object.is_dict()) {
    if (!index.is_string()) return raise(msg::dict_key_type(index.type_name()));
    const auto& map = object.as_dict();
    auto it = map.find(std::string_view(index.as_string()));
    if (it == map.end()) return raise(msg::key_not_found(index.as_string()));
    return it->second;
  }
  return raise(msg::cannot_index(object.type_name(), index.type_name()));
}

Value Interpreter::evaluate_range(const RangeExpr& expr) {
  Value start = evaluate(*expr.start);
  Value end = evaluate(*expr.end);
  auto bound = [](const Value& v, std::int64_t& out) {
    if (v.is_number()) {
      out = v.as_number();
      return true;
    }
    if (v.is_float()) {
      out = text::saturating_trunc(v.as_float());
      return true;
    }
    return false;
  };
  std::int64_t from = 0;
  std::int64_t to = 0;
  if (!bound(start, from) || !bound(end, to)) return raise(std::string(msg::kRangeBounds));
  if (to <= from) return Value::array({});
  auto count = static_cast<std::uint64_t>(to) - static_cast<std::uint64_t>(from);
  if (count > static_cast<std::uint64_t>(harness::g_settings.max_range)) return raise(msg::range_too_large(count));
  std::vector<Value> items;
  items.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = from; i < to; ++i) items.push_back(Value::number(i));
  return Value::array(std::move(items));
}

}  // namespace veltro
