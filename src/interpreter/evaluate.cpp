// Expression evaluation and the operators.
#include "runtime/console.h"
#include "interpreter/interpreter.h"
#include "interpreter/messages.h"
#include "interpreter/numeric_tree.h"
#include "runtime/text.h"
#include "runtime/limits.h"

namespace veltro {

RangeBounds range_bounds(const Value& start, const Value& end) {
  RangeBounds r;
  std::optional<std::int64_t> from = start.to_integer();
  std::optional<std::int64_t> to = end.to_integer();
  if (!from || !to) {
    r.failure = std::string(msg::kRangeBounds);
    return r;
  }
  r.from = *from;
  r.to = *to;
  if (r.to <= r.from) return r;
  auto count = static_cast<std::uint64_t>(r.to) - static_cast<std::uint64_t>(r.from);
  if (count > static_cast<std::uint64_t>(harness::g_settings.max_range)) r.failure = msg::range_too_large(count);
  return r;
}

Value range_value(const Value& start, const Value& end) {
  RangeBounds bounds = range_bounds(start, end);
  if (!bounds.failure.empty()) return raise(std::move(bounds.failure));
  if (bounds.to <= bounds.from) return Value::array({});
  auto count = static_cast<std::uint64_t>(bounds.to) - static_cast<std::uint64_t>(bounds.from);
  if (!harness::charge(static_cast<std::int64_t>(count / 64))) return Value();
  std::vector<Value> items;
  items.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = bounds.from; i < bounds.to; ++i) items.push_back(Value::number(i));
  return Value::array(std::move(items));
}

Value raise(std::string message) {
  log_error(message);
  return Value::error(std::move(message));
}

Value Interpreter::apply_binary(const Value& left, ops::Op op, const Value& right) {
  Value result = ops::apply(left, op, right);
  if (result.is_error()) log_error(result.as_string());
  return result;
}

Value Interpreter::lookup(Symbol symbol) const {
  const Value* v = env_.find(symbol);
  return v ? *v : Value();
}

namespace {

// True when evaluating the expression runs no call: then it cannot rebind
// any variable, and reading a variable in place around it is safe.
bool calls_nothing(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Number: case ExprKind::Float: case ExprKind::String: case ExprKind::Boolean:
    case ExprKind::Identifier:
      return true;
    case ExprKind::BinaryOp: {
      const auto& b = static_cast<const BinaryExpr&>(e);
      return calls_nothing(*b.left) && calls_nothing(*b.right);
    }
    case ExprKind::UnaryOp:
      return calls_nothing(*static_cast<const UnaryExpr&>(e).operand);
    case ExprKind::Call:
      return false;
    case ExprKind::Array:
      for (const auto& x : static_cast<const ArrayExpr&>(e).elements) {
        if (!calls_nothing(*x)) return false;
      }
      return true;
    case ExprKind::Dict:
      for (const auto& [key, x] : static_cast<const DictExpr&>(e).entries) {
        if (!calls_nothing(*x)) return false;
      }
      return true;
    case ExprKind::Index: {
      const auto& x = static_cast<const IndexExpr&>(e);
      return calls_nothing(*x.object) && calls_nothing(*x.index);
    }
    case ExprKind::Range: {
      const auto& r = static_cast<const RangeExpr&>(e);
      return calls_nothing(*r.start) && calls_nothing(*r.end);
    }
  }
  return false;
}

}  // namespace

// The routine of each expression shape. Operators that have a cheap integer
// form try it first (runtime/operators.h) and fall back to the general rules.
struct Eval {
  using Op = ops::Op;

  static Value number(Interpreter&, const Expr& e) { return Value::number(static_cast<const NumberExpr&>(e).value); }
  static Value real(Interpreter&, const Expr& e) { return Value::real(static_cast<const FloatExpr&>(e).value); }
  static Value string(Interpreter&, const Expr& e) {
    return Value::shared_string(static_cast<const StringExpr&>(e).literal.get());
  }
  static Value boolean(Interpreter&, const Expr& e) { return Value::boolean(static_cast<const BooleanExpr&>(e).value); }

  static Value identifier(Interpreter& in, const Expr& e) {
    const auto& id = static_cast<const IdentifierExpr&>(e);
    if (const Value* v = in.env_.find(id.symbol)) return *v;
    return raise(msg::undefined_variable(id.name));
  }

  // An operand of the fast paths: a value, or the value of a number or
  // float literal, whose kind is then known when the routine is compiled.
  static bool is_number(const Value& v) { return v.is_integer(); }
  static bool is_number(std::int64_t) { return true; }
  static bool is_number(double) { return false; }
  static bool is_numeric(const Value& v) { return v.is_numeric(); }
  static bool is_numeric(std::int64_t) { return true; }
  static bool is_numeric(double) { return true; }
  static std::int64_t number_of(const Value& v) { return v.as_number(); }
  static std::int64_t number_of(std::int64_t n) { return n; }
  static std::int64_t number_of(double) { return 0; }
  static double double_of(const Value& v) { return v.to_double(); }
  static double double_of(std::int64_t n) { return static_cast<double>(n); }
  static double double_of(double f) { return f; }
  static Value value_of(std::int64_t n) { return Value::number(n); }
  static Value value_of(double f) { return Value::real(f); }
  static std::int64_t literal(const NumberExpr& e) { return e.value; }
  static double literal(const FloatExpr& e) { return e.value; }

  // Whether Op on two numbers, or on a number and a float, has a result that
  // needs none of the general rules (no failure, no other kind of operand);
  // numeric_result gives it.
  template <Op O, class Right>
  [[gnu::always_inline]] static bool has_numeric_form(const Value& left, const Right& right) {
    if constexpr (ops::is_logical(O)) {
      return false;
    } else {
      if (left.is_integer() && is_number(right)) return ops::integer_form<O>(number_of(right));
      return left.is_numeric() && is_numeric(right) && ops::float_form<O>(double_of(right));
    }
  }

  template <Op O, class Right>
  [[gnu::always_inline]] static Value numeric_result(const Value& left, const Right& right) {
    if constexpr (ops::is_logical(O)) {
      return Value();
    } else {
      if (left.is_integer() && is_number(right)) return ops::integer_result<O>(left.as_number(), number_of(right));
      return ops::float_result<O>(left.to_double(), double_of(right));
    }
  }

  // Both operands are always evaluated, left first: and/or do not short-circuit.
  template <Op O>
  static Value binary(Interpreter& in, const Expr& e) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    Value left = b.left->eval(in, *b.left);
    if (left.is_error()) return left;
    Value right = b.right->eval(in, *b.right);
    if (right.is_error()) return right;
    if (has_numeric_form<O>(left, right)) return numeric_result<O>(left, right);
    return operate<O>(in, left, right);
  }

  template <Op O>
  [[gnu::noinline]] static Value operate(Interpreter& in, const Value& left, const Value& right) {
    return in.apply_binary(left, O, right);
  }

  // name op literal, the shape of most loop counters and tests, and name op name.
  template <Op O, class Literal>
  static Value binary_name_literal(Interpreter& in, const Expr& e) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    const Value* left = in.env_.find(static_cast<const IdentifierExpr&>(*b.left).symbol);
    auto right = literal(static_cast<const Literal&>(*b.right));
    if (left && has_numeric_form<O>(*left, right)) return numeric_result<O>(*left, right);
    return binary_slow<O>(in, e);
  }

  template <Op O>
  static Value binary_names(Interpreter& in, const Expr& e) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    const Value* left = in.env_.find(static_cast<const IdentifierExpr&>(*b.left).symbol);
    const Value* right = in.env_.find(static_cast<const IdentifierExpr&>(*b.right).symbol);
    if (left && right && has_numeric_form<O>(*left, *right)) return numeric_result<O>(*left, *right);
    return binary_slow<O>(in, e);
  }

  // expression op literal, and expression op name.
  template <Op O, class Literal>
  static Value binary_any_literal(Interpreter& in, const Expr& e) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    Value left = b.left->eval(in, *b.left);
    auto right = literal(static_cast<const Literal&>(*b.right));
    if (has_numeric_form<O>(left, right)) return numeric_result<O>(left, right);
    if (left.is_error()) return left;
    return operate<O>(in, left, value_of(right));
  }

  template <Op O>
  static Value binary_any_name(Interpreter& in, const Expr& e) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    Value left = b.left->eval(in, *b.left);
    if (left.is_numeric()) {
      const Value* right = in.env_.find(static_cast<const IdentifierExpr&>(*b.right).symbol);
      if (right && has_numeric_form<O>(left, *right)) return numeric_result<O>(left, *right);
    }
    if (left.is_error()) return left;
    Value right = b.right->eval(in, *b.right);
    if (right.is_error()) return right;
    return operate<O>(in, left, right);
  }

  template <Op O>
  [[gnu::noinline]] static Value binary_slow(Interpreter& in, const Expr& e) {
    return binary<O>(in, e);
  }

  template <Op O>
  static EvalFn pick_binary(const BinaryExpr& b) {
    bool left_name = b.left->kind == ExprKind::Identifier;
    bool number = b.right->kind == ExprKind::Number;
    bool real = b.right->kind == ExprKind::Float;
    if (left_name && number) return &binary_name_literal<O, NumberExpr>;
    if (left_name && real) return &binary_name_literal<O, FloatExpr>;
    if (left_name && b.right->kind == ExprKind::Identifier) return &binary_names<O>;
    if (number) return &binary_any_literal<O, NumberExpr>;
    if (real) return &binary_any_literal<O, FloatExpr>;
    if (b.right->kind == ExprKind::Identifier) return &binary_any_name<O>;
    return &binary<O>;
  }

  static EvalFn choose_binary(const BinaryExpr& b) {
    return ops::with_op(binary_operator(b.op), [&]<Op O>() -> EvalFn {
      if constexpr (O == Op::Power || ops::is_logical(O)) {
        return &binary<O>;
      } else {
        return pick_binary<O>(b);
      }
    });
  }

  static Value unary(Interpreter& in, const Expr& e) {
    const auto& u = static_cast<const UnaryExpr&>(e);
    Value operand = u.operand->eval(in, *u.operand);
    if (operand.is_error()) return operand;
    switch (u.op) {
      case TokenType::Not:
        return Value::boolean(!operand.truthy());
      case TokenType::Minus: {
        Value result = ops::negate(operand);
        if (result.is_error()) log_error(result.as_string());
        return result;
      }
      default:
        return raise(msg::unsupported_unary(token_type_name(u.op)));
    }
  }

  static Value call(Interpreter& in, const Expr& e) { return in.call_function(static_cast<const CallExpr&>(e)); }
  static EvalFn choose_call(const CallExpr& c) {
    if (c.dotted) return &call;
    if (EvalFn plain = Interpreter::plain_call_routine(c)) return plain;
    return &call;
  }

  static Value array(Interpreter& in, const Expr& e) {
    const auto& a = static_cast<const ArrayExpr&>(e);
    std::vector<Value> items;
    items.reserve(a.elements.size());
    for (const auto& element : a.elements) {
      Value v = element->eval(in, *element);
      if (v.is_error()) return v;
      items.push_back(std::move(v));
    }
    return Value::array(std::move(items));
  }

  static Value dict(Interpreter& in, const Expr& e) {
    const auto& d = static_cast<const DictExpr&>(e);
    DictMap map;
    for (const auto& [key, value_expr] : d.entries) {
      Value v = value_expr->eval(in, *value_expr);
      if (v.is_error()) return v;
      map.insert_or_assign(key, std::move(v));
    }
    return Value::dict(std::move(map));
  }

  static Value index(Interpreter& in, const Expr& e) {
    const auto& x = static_cast<const IndexExpr&>(e);
    Value object = x.object->eval(in, *x.object);
    if (object.is_error()) return object;
    Value index = x.index->eval(in, *x.index);
    if (index.is_error()) return index;
    return in.index_value(object, index);
  }

  // name[expression without calls]: the index cannot rebind the name, so
  // the indexed value is read where it is stored, without copying it.
  static Value index_in_place(Interpreter& in, const Expr& e) {
    const auto& x = static_cast<const IndexExpr&>(e);
    Symbol name = static_cast<const IdentifierExpr&>(*x.object).symbol;
    const Value* held = in.env_.find(name);
    if (!held) return Eval::index(in, e);  // reports the undefined name first
    if (held->is_error()) return *held;    // the index is not evaluated then
    Value index = x.index->eval(in, *x.index);
    if (index.is_error()) return index;
    return in.index_value(*in.env_.find(name), index);
  }

  // name[literal number] and name[name]: evaluating such an index cannot
  // change any variable, so the array can be read where it is stored.
  static Value index_leaf(Interpreter& in, const Expr& e) {
    if (const Value* element = in.leaf_element(static_cast<const IndexExpr&>(e))) return *element;
    return Eval::index(in, e);
  }

  static Value member(Interpreter& in, const Expr& e) { return in.member_value(static_cast<const IndexExpr&>(e)); }

  static Value range(Interpreter& in, const Expr& e) {
    const auto& r = static_cast<const RangeExpr&>(e);
    Value start = r.start->eval(in, *r.start);
    Value end = r.end->eval(in, *r.end);
    return range_value(start, end);
  }

  // The numeric routines of arithmetic trees: each gives up (Num::none)
  // before anything observable happens when an operand is not a number or a
  // float, or when the general tables would report an error.
  static Num num_number(Interpreter&, const Expr& e) {
    return {static_cast<const NumberExpr&>(e).value, NumKind::Int};
  }
  static Num num_real(Interpreter&, const Expr& e) {
    return {std::bit_cast<std::int64_t>(static_cast<const FloatExpr&>(e).value), NumKind::Real};
  }
  // Only ever the whole value of a let or an assignment: no operator takes
  // a boolean operand the numeric way.
  static Num num_boolean(Interpreter&, const Expr& e) {
    return {static_cast<const BooleanExpr&>(e).value ? 1 : 0, NumKind::Bool};
  }
  // A name of anything but a number or a float gives a Ref: a key for an
  // enclosing element read, a reason to give up for an operator.
  static Num num_name(Interpreter& in, const Expr& e) {
    const Value* v = in.env_.find(static_cast<const IdentifierExpr&>(e).symbol);
    if (!v) return Num::none();
    if (v->is_integer()) return {v->as_number(), NumKind::Int};
    if (v->is_float()) return {std::bit_cast<std::int64_t>(v->as_float()), NumKind::Real};
    return {static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(v)), NumKind::Ref};
  }
  static Num num_negate(Interpreter& in, const Expr& e) {
    const Expr& operand = *static_cast<const UnaryExpr&>(e).operand;
    Num v = operand.num(in, operand);
    if (v.kind == NumKind::Int) return {ops::wrap_negate(v.bits), NumKind::Int};
    if (v.kind == NumKind::Real) return {std::bit_cast<std::int64_t>(-v.real()), NumKind::Real};
    return Num::none();
  }
  // name[index] and name.member: the element, when it exists; the general
  // way reports every failure.
  static Num num_element(const Value& v) {
    if (v.is_integer()) return {v.as_number(), NumKind::Int};
    if (v.is_float()) return {std::bit_cast<std::int64_t>(v.as_float()), NumKind::Real};
    return {static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(&v)), NumKind::Ref};
  }
  static const Value* dict_entry(const Value& dict, const std::string& key, std::size_t hash) {
    const auto& map = dict.as_dict();
    auto it = map.find(key, hash);
    return it == map.end() ? nullptr : &it->second;
  }
  static Num num_index(Interpreter& in, const Expr& e) {
    const auto& x = static_cast<const IndexExpr&>(e);
    const auto& name = static_cast<const IdentifierExpr&>(*x.object);
    const Value* object = in.env_.find(name.symbol);
    if (!object) return Num::none();
    const Value* element = nullptr;
    if (x.index->kind == ExprKind::String) {
      // name.member may name a module's export instead
      if (!object->is_dict() || (!in.modules_.empty() && in.modules_.count(name.name))) return Num::none();
      element = field_entry(*object, *static_cast<const StringExpr&>(*x.index).literal);
    } else {
      Num i = x.index->num(in, *x.index);
      if (i.kind == NumKind::Int && object->is_array()) {
        const auto& items = object->as_array();
        if (i.bits >= 0 && static_cast<std::uint64_t>(i.bits) < items.size()) element = &items[static_cast<std::size_t>(i.bits)];
      } else if (i.kind == NumKind::Ref && object->is_dict()) {
        const auto* key = reinterpret_cast<const Value*>(i.bits);
        if (key->is_string()) element = dict_entry(*object, key->as_string(), key->key_hash());
      }
    }
    return element ? num_element(*element) : Num::none();
  }

  static Num num_of(const Value& v) {
    if (v.is_integer()) return {v.as_number(), NumKind::Int};
    if (v.is_float()) return {std::bit_cast<std::int64_t>(v.as_float()), NumKind::Real};
    return {v.as_bool() ? 1 : 0, NumKind::Bool};
  }
  // Operands of the numeric routines: a node, or a leaf read in place.
  enum class Leaf { Node, Name, Int, Real };
  template <Leaf L>
  [[gnu::always_inline]] static Num operand(Interpreter& in, const Expr& e) {
    if constexpr (L == Leaf::Node) return e.num(in, e);
    if constexpr (L == Leaf::Name) return num_name(in, e);
    if constexpr (L == Leaf::Int) return num_number(in, e);
    if constexpr (L == Leaf::Real) return num_real(in, e);
  }
  template <Op O, Leaf L, Leaf R>
  static Num num_binary(Interpreter& in, const Expr& e) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    Num l = operand<L>(in, *b.left);
    if (l.kind > NumKind::Real) return Num::none();
    Num r = operand<R>(in, *b.right);
    if (r.kind > NumKind::Real) return Num::none();
    if (l.kind == NumKind::Int && r.kind == NumKind::Int) {
      if (!ops::integer_form<O>(r.bits)) return Num::none();
      return num_of(ops::integer_result<O>(l.bits, r.bits));
    }
    double ld = l.kind == NumKind::Int ? static_cast<double>(l.bits) : l.real();
    double rd = r.kind == NumKind::Int ? static_cast<double>(r.bits) : r.real();
    if (!ops::float_form<O>(rd)) return Num::none();
    return num_of(ops::float_result<O>(ld, rd));
  }

  static Leaf leaf_of(const Expr& e) {
    switch (e.kind) {
      case ExprKind::Identifier: return Leaf::Name;
      case ExprKind::Number: return Leaf::Int;
      case ExprKind::Float: return Leaf::Real;
      default: return Leaf::Node;
    }
  }

  template <Op O, Leaf L>
  static NumFn pick_num_right(const BinaryExpr& b) {
    switch (leaf_of(*b.right)) {
      case Leaf::Node: return &num_binary<O, L, Leaf::Node>;
      case Leaf::Name: return &num_binary<O, L, Leaf::Name>;
      case Leaf::Int: return &num_binary<O, L, Leaf::Int>;
      case Leaf::Real: return &num_binary<O, L, Leaf::Real>;
    }
    return nullptr;
  }
  // A literal on the left is rare enough to go through its own node.
  template <Op O>
  static NumFn pick_num(const BinaryExpr& b) {
    if (b.left->kind == ExprKind::Identifier) return pick_num_right<O, Leaf::Name>(b);
    return pick_num_right<O, Leaf::Node>(b);
  }

  static NumFn choose_num(const Expr& e) {
    switch (e.kind) {
      case ExprKind::Number: return &num_number;
      case ExprKind::Float: return &num_real;
      case ExprKind::Boolean: return &num_boolean;
      case ExprKind::Identifier: return &num_name;
      case ExprKind::UnaryOp: return &num_negate;
      case ExprKind::Index: return &num_index;
      case ExprKind::BinaryOp: {
        const auto& b = static_cast<const BinaryExpr&>(e);
        return ops::with_op(binary_operator(b.op), [&]<Op O>() -> NumFn {
          if constexpr (ops::is_logical(O)) {
            return nullptr;
          } else {
            return pick_num<O>(b);
          }
        });
      }
      default: return nullptr;
    }
  }

  // The root of a nested arithmetic tree: raw numbers first, the general
  // routines (which never retry the numeric way) when that gives up.
  static Value numeric_root(Interpreter& in, const Expr& e) {
    Num r = e.num(in, e);
    if (r.ok()) return r.value();
    return choose_plain(e)(in, e);
  }

  // Every node of the tree gets its numeric routine and its general one.
  static void prepare_tree(const Expr& e) {
    e.num = choose_num(e);
    e.eval = choose_plain(e);
    if (e.kind == ExprKind::BinaryOp) {
      const auto& b = static_cast<const BinaryExpr&>(e);
      prepare_tree(*b.left);
      prepare_tree(*b.right);
    } else if (e.kind == ExprKind::UnaryOp) {
      prepare_tree(*static_cast<const UnaryExpr&>(e).operand);
    } else if (e.kind == ExprKind::Index) {
      const auto& x = static_cast<const IndexExpr&>(e);
      if (x.index->kind != ExprKind::String) prepare_tree(*x.index);
    }
  }

  static EvalFn choose(const Expr& e) {
    if (is_nested_numeric_tree(e)) {
      prepare_tree(e);
      return &numeric_root;
    }
    return choose_plain(e);
  }

  static EvalFn choose_plain(const Expr& e) {
    switch (e.kind) {
      case ExprKind::Number: return &number;
      case ExprKind::Float: return &real;
      case ExprKind::String: return &string;
      case ExprKind::Boolean: return &boolean;
      case ExprKind::Identifier: return &identifier;
      case ExprKind::BinaryOp: return choose_binary(static_cast<const BinaryExpr&>(e));
      case ExprKind::UnaryOp: return &unary;
      case ExprKind::Call: return choose_call(static_cast<const CallExpr&>(e));
      case ExprKind::Array: return &array;
      case ExprKind::Dict: return &dict;
      case ExprKind::Index: {
        const auto& x = static_cast<const IndexExpr&>(e);
        if (x.object->kind == ExprKind::Identifier && x.index->kind == ExprKind::String) return &member;
        if (is_leaf_element(e)) return &index_leaf;
        if (x.object->kind == ExprKind::Identifier && calls_nothing(*x.index)) return &index_in_place;
        return &index;
      }
      case ExprKind::Range: return &range;
    }
    return &number;
  }
};

bool is_nested_numeric_tree(const Expr& e) {
  auto is_operator = [](const Expr& x) {
    return x.kind == ExprKind::BinaryOp || x.kind == ExprKind::UnaryOp || x.kind == ExprKind::Index;
  };
  if (!e.arithmetic) return false;
  if (e.kind == ExprKind::BinaryOp) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    return is_operator(*b.left) || is_operator(*b.right);
  }
  return e.kind == ExprKind::UnaryOp && is_operator(*static_cast<const UnaryExpr&>(e).operand);
}

void prepare_numeric_tree(const Expr& e) { Eval::prepare_tree(e); }

Value prepare_expr(Interpreter& interpreter, const Expr& expr) {
  expr.eval = Eval::choose(expr);
  return expr.eval(interpreter, expr);
}

Value Interpreter::index_value(const Value& object, const Value& index) {
  if (const Value* element = element_of(object, index)) return *element;
  return index_failure(object, index);
}

// Every way indexing can fail, each with its message.
Value Interpreter::index_failure(const Value& object, const Value& index) {
  if (object.is_array()) {
    if (!index.is_integer()) return raise(msg::array_index_type(index.type_name()));
    return raise(msg::index_out_of_bounds(index.as_number(), object.as_array().size()));
  }
  if (object.is_dict()) {
    if (!index.is_string()) return raise(msg::dict_key_type(index.type_name()));
    return raise(msg::key_not_found(index.as_string()));
  }
  return raise(msg::cannot_index(object.type_name(), index.type_name()));
}

// name.member and name["member"]: a module's export when the name is an
// imported module; otherwise the variable is indexed, and an unknown name is
// taken for a module that was not imported.
Value Interpreter::member_value(const IndexExpr& x) {
  const auto& object = static_cast<const IdentifierExpr&>(*x.object);
  const auto& member = static_cast<const StringExpr&>(*x.index);
  if (!modules_.empty() && modules_.count(object.name)) return lookup_member(object.name, member.value);
  const Value* bound = env_.find(object.symbol);
  if (!bound) return raise(msg::module_not_imported(object.name));
  if (bound->is_error()) return *bound;
  if (bound->is_dict()) {
    if (const Value* entry = field_entry(*bound, *member.literal)) return *entry;
  }
  Value copy = *bound;
  return index_value(copy, Value::shared_string(member.literal.get()));
}

}  // namespace veltro
