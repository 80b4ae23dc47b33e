// Statement execution. Control transfer is not done by unwinding: return,
// break and continue set pending signals that every statement list checks.
#include "runtime/console.h"
#include "interpreter/interpreter.h"
#include "interpreter/messages.h"
#include "interpreter/numeric_tree.h"

namespace veltro {

namespace {

// The operator of +=, -=, *= and /=.
ops::Op arithmetic_of(TokenType compound) {
  switch (compound) {
    case TokenType::PlusAssign: return ops::Op::Add;
    case TokenType::MinusAssign: return ops::Op::Subtract;
    case TokenType::StarAssign: return ops::Op::Multiply;
    default: return ops::Op::Divide;
  }
}

bool is_name(const Expr& e, Symbol symbol) {
  return e.kind == ExprKind::Identifier && static_cast<const IdentifierExpr&>(e).symbol == symbol;
}

}  // namespace

// The routine of each statement shape.
struct Exec {
  using Op = ops::Op;

  // A failure met while Ctrl-C unwinds the entry: nothing is bound or
  // reported, and the statement list stops.
  static bool unwinding(Interpreter& in) {
    if (!interrupt::requested()) return false;
    in.stop_for_interrupt();
    return true;
  }

  static void let(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const LetStmt&>(stmt);
    Value value = s.value->eval(in, *s.value);
    if (value.is_error()) {
      if (unwinding(in)) return;
      log_error(msg::let_failed(s.name, value.as_string()));
    }
    in.env_.define(s.symbol, std::move(value));
  }

  static void assign(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const AssignStmt&>(stmt);
    bind_assigned(in, s, s.value->eval(in, *s.value));
  }

  // let and assignment of an arithmetic tree: computed on raw numbers and
  // stored in place when it can be; the general way otherwise.
  template <ExecFn General, Symbol Stmt_symbol(const Stmt&), const Expr& Stmt_value(const Stmt&)>
  static void bind_numeric(Interpreter& in, const Stmt& stmt) {
    const Expr& value = Stmt_value(stmt);
    Num r = value.num(in, value);
    if (!r.ok()) return General(in, stmt);
    in.env_.define_inline(Stmt_symbol(stmt), r.type(), r.bits);
  }
  // let and assignment of name[literal number] or name[name]: the element
  // is copied straight into the existing binding; the general way when the
  // read would fail or the binding is new.
  template <ExecFn General, Symbol Stmt_symbol(const Stmt&), const Expr& Stmt_value(const Stmt&)>
  static void bind_element(Interpreter& in, const Stmt& stmt) {
    const auto& x = static_cast<const IndexExpr&>(Stmt_value(stmt));
    const Value* element = in.leaf_element(x);
    if (!element || element->is_error()) return General(in, stmt);
    Value* existing = in.env_.binding_to_replace(Stmt_symbol(stmt));
    if (!existing) return General(in, stmt);
    *existing = *element;  // copies before it releases: the element may belong to the old value
  }
  // x = x + arithmetic tree, x a number or a float that the assignment
  // replaces where it is read: the sum is stored in place. Reading x after
  // the right operand changes nothing, as the tree changes nothing. Any
  // other case takes the numeric way of the whole tree, then the general one.
  // A literal number as the right operand is read in place.
  template <bool LiteralNumber>
  static void accumulate(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const AssignStmt&>(stmt);
    const Expr& right = *static_cast<const BinaryExpr&>(*s.value).right;
    Value* target = in.env_.define_target_if_visible(s.symbol);
    if (target && target->is_numeric()) {
      Num r = LiteralNumber ? Num{static_cast<const NumberExpr&>(right).value, NumKind::Int} : right.num(in, right);
      if (r.kind == NumKind::Int && target->is_integer()) {
        return target->set_inline(ValueType::Number, ops::integer_arithmetic<Op::Add>(target->as_number(), r.bits));
      }
      if (r.kind == NumKind::Int || r.kind == NumKind::Real) {
        double sum = ops::float_arithmetic<Op::Add>(target->to_double(),
                                                    r.kind == NumKind::Int ? static_cast<double>(r.bits) : r.real());
        return target->set_inline(ValueType::Float, std::bit_cast<std::int64_t>(sum));
      }
    }
    bind_numeric<&assign_append, &symbol_of<AssignStmt>, &value_of<AssignStmt>>(in, stmt);
  }

  template <class S>
  static Symbol symbol_of(const Stmt& stmt) { return static_cast<const S&>(stmt).symbol; }
  template <class S>
  static const Expr& value_of(const Stmt& stmt) { return *static_cast<const S&>(stmt).value; }

  static void bind_assigned(Interpreter& in, const AssignStmt& s, Value value) {
    if (value.is_error()) {
      if (unwinding(in)) return;
      log_error(msg::assignment_failed(s.name, value.as_string()));
    }
    in.env_.define(s.symbol, std::move(value));
  }


  // x = x + y. For strings it appends in place, which makes building a
  // string in a loop linear.
  static void assign_append(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const AssignStmt&>(stmt);
    const auto& sum = static_cast<const BinaryExpr&>(*s.value);
    const Value* current = in.env_.find(s.symbol);
    if (current && current->is_integer()) {
      std::int64_t left = current->as_number();
      Value right = sum.right->eval(in, *sum.right);
      if (right.is_integer()) {
        in.env_.define(s.symbol, ops::integer_result<Op::Add>(left, right.as_number()));
        return;
      }
      return append_number_other(in, s, left, std::move(right));
    }
    return append_other(in, stmt);
  }

  [[gnu::noinline]] static void append_number_other(Interpreter& in, const AssignStmt& s, std::int64_t left,
                                                    Value right) {
    if (right.is_error()) return bind_assigned(in, s, std::move(right));
    bind_assigned(in, s, in.apply_binary(Value::number(left), Op::Add, right));
  }

  [[gnu::noinline]] static void append_other(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const AssignStmt&>(stmt);
    const auto& sum = static_cast<const BinaryExpr&>(*s.value);
    const Value* current = in.env_.find(s.symbol);
    if (!current || !current->is_string()) return assign(in, stmt);
    Value left = *current;
    Value right = sum.right->eval(in, *sum.right);
    if (right.is_error() || !right.is_string()) {
      bind_assigned(in, s, right.is_error() ? std::move(right) : in.apply_binary(left, Op::Add, right));
      return;
    }
    if (!ops::concatenation_fits(left.as_string(), right.as_string())) return;
    in.env_.release_if_holds(s.symbol, left);
    left.mutable_string().append(right.as_string());
    in.env_.define(s.symbol, std::move(left));
  }

  // x = f(x, ...) where f returns its first argument changed (push,
  // data.set): see Interpreter::call_updating.
  static void assign_update(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const AssignStmt&>(stmt);
    if (debug_enabled()) return assign(in, stmt);
    bind_assigned(in, s, in.call_updating(static_cast<const CallExpr&>(*s.value), s.symbol));
  }

  static void compound(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const CompoundAssignStmt&>(stmt);
    Value current = in.lookup(s.symbol);
    Value value = s.value->eval(in, *s.value);
    if (value.is_error()) {
      if (unwinding(in)) return;
      log_error(msg::compound_failed(s.name, value.as_string()));
    }
    Op op = arithmetic_of(s.op);
    if (op == Op::Add && current.is_string() && value.is_string()) {
      if (!ops::concatenation_fits(current.as_string(), value.as_string())) return;
      in.env_.release_if_holds(s.symbol, current);
      current.mutable_string().append(value.as_string());
      in.env_.define(s.symbol, std::move(current));
      return;
    }
    in.env_.define(s.symbol, in.apply_binary(current, op, value));
  }

  static void function(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const FunctionStmt&>(stmt);
    in.env_.define(s.symbol, Value::function(s.def.get()));
  }

  // Conditions that compare a name with a literal number or with another
  // name are decided without building a Boolean; Test answers false when the
  // operands are anything but two numbers, and the condition is then
  // evaluated the general way.
  using Test = bool (*)(Interpreter&, const Expr&, bool& truth);

  template <Op O>
  static bool test_name_number(Interpreter& in, const Expr& e, bool& truth) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    const Value* left = in.env_.find(static_cast<const IdentifierExpr&>(*b.left).symbol);
    if (!left || !left->is_integer()) return false;
    truth = ops::compare<O>(left->as_number(), static_cast<const NumberExpr&>(*b.right).value);
    return true;
  }

  template <Op O>
  static bool test_names(Interpreter& in, const Expr& e, bool& truth) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    const Value* left = in.env_.find(static_cast<const IdentifierExpr&>(*b.left).symbol);
    const Value* right = in.env_.find(static_cast<const IdentifierExpr&>(*b.right).symbol);
    if (!left || !right || !left->is_integer() || !right->is_integer()) return false;
    truth = ops::compare<O>(left->as_number(), right->as_number());
    return true;
  }

  // A bare name: its truthiness read where the value is stored.
  static bool test_name(Interpreter& in, const Expr& e, bool& truth) {
    const Value* v = in.env_.find(static_cast<const IdentifierExpr&>(e).symbol);
    if (!v || v->is_error()) return false;
    truth = v->truthy();
    return true;
  }

  static bool test_general(Interpreter&, const Expr&, bool&) { return false; }

  // An arithmetic tree with a comparison at its root.
  static bool test_numeric(Interpreter& in, const Expr& e, bool& truth) {
    Num r = e.num(in, e);
    if (r.kind != NumKind::Bool) return false;
    truth = r.bits != 0;
    return true;
  }

  // Decides a condition into `truth`; false after reporting its error with `context`.
  template <Test T>
  static bool decide(Interpreter& in, const Expr& condition, bool& truth, std::string (*context)(std::string_view)) {
    if (T(in, condition, truth)) return true;
    Value value = condition.eval(in, condition);
    if (value.is_error()) {
      log_error(context(value.as_string()));
      return false;
    }
    truth = value.truthy();
    return true;
  }

  template <Test T>
  static void if_(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const IfStmt&>(stmt);
    bool truth = false;
    if (!decide<T>(in, *s.condition, truth, &msg::if_failed)) return;
    if (truth) {
      in.execute_block(s.then_body);
    } else if (s.else_body) {
      in.execute_block(*s.else_body);
    }
  }

  template <Test T>
  static void while_(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const WhileStmt&>(stmt);
    for (;;) {
      bool truth = false;
      if (!decide<T>(in, *s.condition, truth, &msg::while_failed)) break;
      if (!truth || !harness::step()) break;
      in.execute_block(s.body);
      if (in.round_ends()) break;
    }
    in.signals_ &= static_cast<std::uint8_t>(~Interpreter::kBreak);
  }

  template <template <Test> class Routine>
  static ExecFn with_test(const Expr& condition) {
    if (condition.kind == ExprKind::Identifier) return Routine<&test_name>::fn;
    if (condition.kind == ExprKind::BinaryOp) {
      const auto& b = static_cast<const BinaryExpr&>(condition);
      bool name_number = b.left->kind == ExprKind::Identifier && b.right->kind == ExprKind::Number;
      bool names = b.left->kind == ExprKind::Identifier && b.right->kind == ExprKind::Identifier;
      if (name_number || names) {
        ExecFn fn = ops::with_op(binary_operator(b.op), [&]<Op O>() -> ExecFn {
          if constexpr (ops::is_comparison(O)) {
            return name_number ? Routine<&test_name_number<O>>::fn : Routine<&test_names<O>>::fn;
          } else {
            return nullptr;
          }
        });
        if (fn) return fn;
      }
      if (is_nested_numeric_tree(condition)) {
        prepare_numeric_tree(condition);
        return Routine<&test_numeric>::fn;
      }
    }
    return Routine<&test_general>::fn;
  }

  template <Test T>
  struct IfRoutine {
    static constexpr ExecFn fn = &if_<T>;
  };
  template <Test T>
  struct WhileRoutine {
    static constexpr ExecFn fn = &while_<T>;
  };

  static void for_(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const ForStmt&>(stmt);
    Value iter = s.iter->eval(in, *s.iter);
    if (iter.is_array()) {
      // `iter` keeps its own reference: the body cannot change what is iterated.
      for (const Value& element : iter.as_array()) {
        if (!harness::step()) break;
        in.env_.define(s.symbol, element);
        in.execute_block(s.body);
        if (in.round_ends()) break;
      }
      in.signals_ &= static_cast<std::uint8_t>(~Interpreter::kBreak);
      return;
    }
    if (iter.is_null()) {
      log_error(msg::kIterateNull);
    } else if (iter.is_error()) {
      log_error(msg::for_failed(iter.as_string()));
    } else {
      log_error(msg::cannot_iterate(iter.type_name()));
    }
  }

  // for v in a..b: the numbers are produced one by one instead of building
  // the array first; what the loop sees, and every message, is the same.
  static void for_range(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const ForStmt&>(stmt);
    const auto& range = static_cast<const RangeExpr&>(*s.iter);
    Value start = range.start->eval(in, *range.start);
    Value end = range.end->eval(in, *range.end);
    RangeBounds bounds = range_bounds(start, end);
    if (!bounds.failure.empty()) {
      log_error(bounds.failure);
      log_error(msg::for_failed(bounds.failure));
      return;
    }
    for (std::int64_t i = bounds.from; i < bounds.to; ++i) {
      if (!harness::step()) break;
      in.env_.define_inline(s.symbol, ValueType::Number, i);
      in.execute_block(s.body);
      if (in.round_ends()) break;
    }
    in.signals_ &= static_cast<std::uint8_t>(~Interpreter::kBreak);
  }

  static void match(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const MatchStmt&>(stmt);
    Value subject = s.expr->eval(in, *s.expr);
    if (subject.is_error()) {
      log_error(msg::match_failed(subject.as_string()));
      return;
    }
    for (const auto& [pattern, body] : s.arms) {
      if (!pattern.wildcard) {
        Value candidate = pattern.value->eval(in, *pattern.value);
        if (candidate.is_error()) {
          if (unwinding(in)) return;
          log_error(msg::pattern_failed(candidate.as_string()));
          continue;
        }
        if (!pattern_equal(candidate, subject)) continue;
      }
      in.execute_block(body);
      return;
    }
    log_debug(msg::kNoMatch);
  }

  // Only an error made pending by a return is caught; never an interrupt.
  static void try_(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const TryStmt&>(stmt);
    in.execute_block(s.body);
    if ((in.signals_ & (Interpreter::kReturn | Interpreter::kInterrupt)) == Interpreter::kReturn &&
        in.return_value_.is_error()) {
      std::string message = in.return_value_.as_string();
      in.return_value_ = Value();
      in.signals_ &= static_cast<std::uint8_t>(~Interpreter::kReturn);
      in.env_.define(s.symbol, Value::string(std::move(message)));
      in.execute_block(s.catch_body);
    }
  }

  static void return_(Interpreter& in, const Stmt& stmt) {
    const auto& s = static_cast<const ReturnStmt&>(stmt);
    Value value = s.value ? s.value->eval(in, *s.value) : Value();
    in.return_value_.swap(value);
    in.signals_ |= Interpreter::kReturn;
  }

  static void break_(Interpreter& in, const Stmt&) { in.signals_ |= Interpreter::kBreak; }
  static void continue_(Interpreter& in, const Stmt&) { in.signals_ |= Interpreter::kContinue; }

  static void global(Interpreter& in, const Stmt& stmt) {
    in.env_.declare_global(static_cast<const GlobalStmt&>(stmt).symbol);
  }

  static void use(Interpreter& in, const Stmt& stmt) { in.execute_use(static_cast<const UseStmt&>(stmt)); }

  static Value expression_value(Interpreter& in, const ExprStmt& stmt) {
    const auto& e = *stmt.expr;
    Value value = e.eval(in, e);
    if (value.is_error() && !unwinding(in)) log_error(msg::expression_failed(value.as_string()));
    return value;
  }

  static void expression(Interpreter& in, const Stmt& stmt) {
    (void)expression_value(in, static_cast<const ExprStmt&>(stmt));
  }

  // Arithmetic trees with an operator, and number, float and boolean
  // literals, which are then stored in place.
  static bool worth_numeric(const Expr& value) {
    return is_nested_numeric_tree(value) || (value.arithmetic && value.kind == ExprKind::BinaryOp) ||
           value.kind == ExprKind::Number || value.kind == ExprKind::Float || value.kind == ExprKind::Boolean;
  }

  static ExecFn choose_assign(const AssignStmt& s) {
    const Expr& value = *s.value;
    if (value.kind == ExprKind::BinaryOp) {
      const auto& sum = static_cast<const BinaryExpr&>(value);
      if (sum.op == TokenType::Plus && is_name(*sum.left, s.symbol)) {
        if (!worth_numeric(value)) return &assign_append;
        prepare_numeric_tree(value);
        return sum.right->kind == ExprKind::Number ? &accumulate<true> : &accumulate<false>;
      }
    }
    if (value.kind == ExprKind::Call) {
      const auto& call = static_cast<const CallExpr&>(value);
      if (!call.args.empty() && is_name(*call.args[0], s.symbol) &&
          natives::any_update_named(call.dotted ? call.function_part : call.name)) {
        return &assign_update;
      }
    }
    if (worth_numeric(value)) {
      prepare_numeric_tree(value);
      return &bind_numeric<&assign, &symbol_of<AssignStmt>, &value_of<AssignStmt>>;
    }
    if (is_leaf_element(value)) return &bind_element<&assign, &symbol_of<AssignStmt>, &value_of<AssignStmt>>;
    return &assign;
  }

  static ExecFn choose_let(const LetStmt& s) {
    const Expr& value = *s.value;
    if (worth_numeric(value)) {
      prepare_numeric_tree(value);
      return &bind_numeric<&let, &symbol_of<LetStmt>, &value_of<LetStmt>>;
    }
    if (is_leaf_element(value)) return &bind_element<&let, &symbol_of<LetStmt>, &value_of<LetStmt>>;
    return &let;
  }

  static ExecFn choose(const Stmt& stmt) {
    switch (stmt.kind) {
      case StmtKind::Let: return choose_let(static_cast<const LetStmt&>(stmt));
      case StmtKind::Assign: return choose_assign(static_cast<const AssignStmt&>(stmt));
      case StmtKind::CompoundAssign: return &compound;
      case StmtKind::Function: return &function;
      case StmtKind::If: return with_test<IfRoutine>(*static_cast<const IfStmt&>(stmt).condition);
      case StmtKind::While: return with_test<WhileRoutine>(*static_cast<const WhileStmt&>(stmt).condition);
      case StmtKind::For:
        return static_cast<const ForStmt&>(stmt).iter->kind == ExprKind::Range ? &for_range : &for_;
      case StmtKind::Match: return &match;
      case StmtKind::Try: return &try_;
      case StmtKind::Return: return &return_;
      case StmtKind::Break: return &break_;
      case StmtKind::Continue: return &continue_;
      case StmtKind::Global: return &global;
      case StmtKind::Use: return &use;
      case StmtKind::Expr: return &expression;
    }
    return &expression;
  }
};

Value Interpreter::execute_expression(const ExprStmt& stmt) {
  if (compiled_) return run_shown(stmt);
  return Exec::expression_value(*this, stmt);
}

bool Interpreter::round_ends_pending() {
  if (interrupt::requested()) {
    stop_for_interrupt();
    return true;
  }
  if (signals_ & (kReturn | kBreak)) return true;
  signals_ &= static_cast<std::uint8_t>(~kContinue);
  return false;
}

void Interpreter::stop_for_interrupt() {
  return_value_ = Value::error(std::string(interrupt::kMessage));
  signals_ |= kReturn | kInterrupt;
}

void Interpreter::end_interrupt() noexcept {
  if (!(signals_ & kInterrupt)) return;
  return_value_ = Value();
  signals_ &= static_cast<std::uint8_t>(~(kReturn | kInterrupt));
}

void prepare_stmt(Interpreter& interpreter, const Stmt& stmt) {
  stmt.exec = Exec::choose(stmt);
  stmt.exec(interpreter, stmt);
}

}  // namespace veltro
