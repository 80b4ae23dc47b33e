// The compiler: one pass over the syntax tree, emitting instructions into a
// Code. Temporaries take registers in stack order; leaves (literals and
// names) are read where they are as operands, when nothing runs between
// reading them and the instruction that uses them, so that the order in
// which operands are read, and their failures reported, stays left to right.
#include "interpreter/compiler.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <limits>

#include "interpreter/interpreter.h"
#include "runtime/console.h"
#include "runtime/native.h"

namespace veltro {

namespace {

constexpr std::uint32_t kUnbound = std::numeric_limits<std::uint32_t>::max();

// A number written with a minus, -5 or -0.5: a constant like the number.
bool is_negative_literal(const Expr& e) {
  if (e.kind != ExprKind::UnaryOp) return false;
  const auto& u = static_cast<const UnaryExpr&>(e);
  return u.op == TokenType::Minus && (u.operand->kind == ExprKind::Number || u.operand->kind == ExprKind::Float);
}

bool is_leaf(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Number: case ExprKind::Float: case ExprKind::String: case ExprKind::Boolean:
    case ExprKind::Identifier:
      return true;
    default:
      return is_negative_literal(e);
  }
}

bool is_constant(const Expr& e) { return is_leaf(e) && e.kind != ExprKind::Identifier; }

// Whether evaluating the expression may run a call that can leave a
// return, break or continue pending, or bind names: a user function, a
// module's function, or a builtin that waits (Ctrl-C ends the wait by
// unwinding). Other builtins see no variables and leave no signal.
bool has_call(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Number: case ExprKind::Float: case ExprKind::String: case ExprKind::Boolean:
    case ExprKind::Identifier:
      return false;
    case ExprKind::Call: {
      const auto& c = static_cast<const CallExpr&>(e);
      if (c.dotted || native_of(c) < 0 || natives::at(static_cast<NativeIndex>(c.native)).waits) return true;
      return std::any_of(c.args.begin(), c.args.end(), [](const ExprPtr& x) { return has_call(*x); });
    }
    case ExprKind::BinaryOp: {
      const auto& b = static_cast<const BinaryExpr&>(e);
      return has_call(*b.left) || has_call(*b.right);
    }
    case ExprKind::UnaryOp:
      return has_call(*static_cast<const UnaryExpr&>(e).operand);
    case ExprKind::Array:
      return std::any_of(static_cast<const ArrayExpr&>(e).elements.begin(),
                         static_cast<const ArrayExpr&>(e).elements.end(), [](const ExprPtr& x) { return has_call(*x); });
    case ExprKind::Dict:
      for (const auto& [key, x] : static_cast<const DictExpr&>(e).entries) {
        if (has_call(*x)) return true;
      }
      return false;
    case ExprKind::Index: {
      const auto& x = static_cast<const IndexExpr&>(e);
      return has_call(*x.object) || has_call(*x.index);
    }
    case ExprKind::Range: {
      const auto& r = static_cast<const RangeExpr&>(e);
      return has_call(*r.start) || has_call(*r.end);
    }
  }
  return true;
}

// Whether it is an element of an element, b[c][e], whose outer index is a
// leaf (nothing runs between the two reads) and whose inner read is no
// name.member (which may reach a module).
bool is_chain(const IndexExpr& x) {
  if (x.object->kind != ExprKind::Index || !is_leaf(*x.index)) return false;
  const auto& inner = static_cast<const IndexExpr&>(*x.object);
  return !(inner.object->kind == ExprKind::Identifier && inner.index->kind == ExprKind::String);
}

// Whether the expression compiles to instructions that can each be tried
// without effect: element reads and arithmetic or comparison in their typed
// forms, which either finish on their quick path or stop without a word
// (see speculate).
bool speculable(const Expr& e) {
  if (is_leaf(e)) return true;
  switch (e.kind) {
    case ExprKind::BinaryOp: {
      const auto& b = static_cast<const BinaryExpr&>(e);
      ops::Op op = binary_operator(b.op);
      return op != ops::Op::And && op != ops::Op::Or && !(is_constant(*b.left) && is_constant(*b.right)) &&
             speculable(*b.left) && speculable(*b.right);
    }
    case ExprKind::Index: {
      const auto& x = static_cast<const IndexExpr&>(e);
      if (x.object->kind == ExprKind::Identifier && x.index->kind == ExprKind::String) return false;
      return speculable(*x.object) && speculable(*x.index);
    }
    default:
      return false;
  }
}

Opcode binary_opcode(ops::Op op) {
  return static_cast<Opcode>(static_cast<int>(Opcode::Add) + static_cast<int>(op));
}

Opcode test_opcode(ops::Op op) {
  return static_cast<Opcode>(static_cast<int>(Opcode::TestEqual) + static_cast<int>(op) - static_cast<int>(ops::Op::Equal));
}

class Compiler {
 public:
  Compiler(Code& code, bool checked) : code_(code), checked_(checked) {}

  void body(const Block& block) {
    begin(0);
    statements(block);
    finish();
  }

  void statement_unit(const Stmt& stmt) {
    begin(0);
    statement(stmt);
    finish();
  }

  // An expression statement whose value, or failure, stays in register 0.
  void shown_unit(const ExprStmt& stmt) {
    result_unit(*stmt.expr, {Opcode::Fail, static_cast<std::uint8_t>(FailKind::ShownExpression)},
                checked_ || has_call(*stmt.expr));
  }

  // An expression whose value, a failure included, stays in register 0.
  void expression_unit(const Expr& expr) { result_unit(expr, {Opcode::TakeError, 0, 0}, false); }

 private:
  using Label = std::uint32_t;
  struct LabelState {
    std::uint32_t pc = kUnbound;
    std::vector<std::pair<std::uint32_t, char>> uses;
  };
  struct Cold {
    Label at;
    Instruction instruction;
    std::vector<std::pair<char, Label>> targets;
  };
  // A right side tried before its left name was checked (see speculate).
  struct Replay {
    Label at;    // where the tried code goes when an instruction leaves its quick path
    Label back;  // where the tried code ends
    const Expr* right;
    Operand dest;
    Operand name;
    Label fail;
    std::uint32_t top;  // the registers taken as the right side began
  };
  // How expressions compile: in the usual way; tried (see speculate); or
  // in a replay, which checks names and tries nothing.
  enum class Mode { Usual, Tried, Replay };
  struct LoopContext {
    Label exit;
    Label next;  // the round's end
  };

  // --- emission ------------------------------------------------------------

  std::uint32_t pc() const { return static_cast<std::uint32_t>(code_.instructions.size()); }

  std::uint32_t emit(Instruction i) {
    if (mode_ == Mode::Tried) {
      // Only instructions that know the tried form (x set: leave the quick
      // path for @d, without a word).
      assert(i.op == Opcode::Index || i.op == Opcode::IndexChain || (i.op >= Opcode::Add_RRR && i.op < Opcode::Move_KR));
      i.x = 1;
    }
    code_.instructions.push_back(i);
    return pc() - 1;
  }

  Label new_label() {
    labels_.emplace_back();
    return static_cast<Label>(labels_.size() - 1);
  }

  static std::uint32_t& field(Instruction& i, char f) {
    switch (f) {
      case 'a': return i.a;
      case 'b': return i.b;
      case 'c': return i.c;
      default: return i.d;
    }
  }

  void use(Label label, std::uint32_t at, char f) {
    LabelState& s = labels_[label];
    if (s.pc != kUnbound) {
      field(code_.instructions[at], f) = s.pc;
    } else {
      s.uses.emplace_back(at, f);
    }
  }

  void bind(Label label) {
    LabelState& s = labels_[label];
    s.pc = pc();
    for (auto [at, f] : s.uses) field(code_.instructions[at], f) = s.pc;
    s.uses.clear();
  }

  std::uint32_t emit_to(Instruction i, char f, Label target) {
    std::uint32_t at = emit(i);
    use(target, at, f);
    return at;
  }

  std::uint32_t emit_to(Instruction i, std::initializer_list<std::pair<char, Label>> targets) {
    std::uint32_t at = emit(i);
    for (auto [f, target] : targets) use(target, at, f);
    return at;
  }

  // A failure handler, placed after the code so that the usual path runs
  // straight on.
  void cold(Label at, Instruction i, std::vector<std::pair<char, Label>> targets) {
    colds_.push_back({at, i, std::move(targets)});
  }

  void finish() {
    bind(handler_);
    emit({Opcode::Exit});
    // The names the code holds were interned when its source was read.
    code_.symbols = static_cast<std::uint32_t>(symbol_count());
    // Replays first: their code may add handlers.
    mode_ = Mode::Replay;
    for (const Replay& r : replays_) {
      bind(r.at);
      emit_to({Opcode::Check, 0, 0, r.name}, 'd', r.fail);
      top_ = r.top;
      into(*r.right, r.dest, r.fail);
      emit_to({Opcode::Jump}, 'd', r.back);
    }
    // Handlers may add more handlers (none do today), so index, not iterate.
    for (std::size_t k = 0; k < colds_.size(); ++k) {
      Cold c = colds_[k];
      bind(c.at);
      std::uint32_t at = emit(c.instruction);
      for (auto [f, target] : c.targets) use(target, at, f);
    }
  }

  // A unit starts with `reserved` registers taken and signals going to its end.
  void begin(std::uint32_t reserved) {
    handler_ = new_label();
    returns_to_ = handler_;
    end_ = handler_;
    top_ = reserved;
    code_.registers = reserved;
  }

  void result_unit(const Expr& expr, Instruction on_failure, bool check) {
    begin(1);
    Label done = new_label();
    Label failed = new_label();
    into(expr, reg(0), failed);
    cold(failed, on_failure, {{'c', handler_}, {'d', done}});
    bind(done);
    if (check) emit_to({Opcode::CheckSignals}, 'c', handler_);
    finish();
  }

  std::uint32_t alloc(std::uint32_t n = 1) {
    std::uint32_t first = top_;
    top_ += n;
    code_.registers = std::max(code_.registers, top_);
    return first;
  }

  std::uint32_t add_constant(Value v) {
    code_.constants.push_back(std::move(v));
    return static_cast<std::uint32_t>(code_.constants.size() - 1);
  }

  std::uint32_t add_node(const void* node) {
    code_.nodes.push_back(node);
    return static_cast<std::uint32_t>(code_.nodes.size() - 1);
  }

  // --- expressions -----------------------------------------------------------

  Operand leaf(const Expr& e) {
    switch (e.kind) {
      case ExprKind::Number: return constant(add_constant(Value::number(static_cast<const NumberExpr&>(e).value)));
      case ExprKind::Float: return constant(add_constant(Value::real(static_cast<const FloatExpr&>(e).value)));
      case ExprKind::String:
        return constant(add_constant(Value::shared_string(static_cast<const StringExpr&>(e).literal.get())));
      case ExprKind::Boolean: return constant(add_constant(Value::boolean(static_cast<const BooleanExpr&>(e).value)));
      case ExprKind::Identifier: return name(static_cast<const IdentifierExpr&>(e).symbol);
      case ExprKind::UnaryOp: {
        if (!is_negative_literal(e)) return kNone;
        const Expr& x = *static_cast<const UnaryExpr&>(e).operand;
        if (x.kind == ExprKind::Number) {
          return constant(add_constant(Value::number(ops::wrap_negate(static_cast<const NumberExpr&>(x).value))));
        }
        return constant(add_constant(Value::real(-static_cast<const FloatExpr&>(x).value)));
      }
      default: return kNone;
    }
  }

  // The value as an operand: a leaf where it is, anything else computed
  // into a new register.
  Operand operand(const Expr& e, Label fail) {
    if (is_leaf(e)) return leaf(e);
    Operand r = reg(alloc());
    into(e, r, fail);
    return r;
  }

  // The same, but a name is copied into a register: code runs after it.
  Operand held(const Expr& e, Label fail) {
    if (is_constant(e)) return leaf(e);
    Operand r = reg(alloc());
    into(e, r, fail);
    return r;
  }

  // Two operands read in order. The left one stays a name when no code runs
  // between the two reads (the right one is a leaf), or when the code that
  // runs makes no call, so that nothing can rebind the name: then it is
  // checked where it would have been read, so that its failure still comes
  // first, and read by the instruction. Otherwise it is held in a register.
  std::pair<Operand, Operand> operands(const Expr& left, const Expr& right, Label fail) {
    Operand l;
    if (is_leaf(right)) {
      l = operand(left, fail);
    } else if (left.kind == ExprKind::Identifier && !has_call(right)) {
      l = leaf(left);
      // A tried right side reads the name by itself (see speculate).
      if (mode_ == Mode::Tried) return {l, operand(right, fail)};
      if (mode_ == Mode::Usual && speculable(right)) return {l, speculate(right, l, fail)};
      emit_to({Opcode::Check, 0, 0, l}, 'd', fail);
    } else {
      l = held(left, fail);
    }
    Operand r = operand(right, fail);
    return {l, r};
  }

  // The right side of `name OP right`, run before the name is checked: when
  // every instruction of it takes its quick path, nothing can have failed,
  // and the operation reads the name itself (the common case: the check is
  // saved). The first instruction that would leave its quick path instead
  // goes to a replay, placed after the code, which checks the name and runs
  // the right side again in the usual way, so that any failure is reported
  // in the order the operands are read. Trying has no effect but on the
  // right side's registers.
  Operand speculate(const Expr& right, Operand left, Label fail) {
    Operand r = reg(alloc());
    Label replay = new_label();
    Label done = new_label();
    std::uint32_t top = top_;
    mode_ = Mode::Tried;
    into(right, r, replay);
    mode_ = Mode::Usual;
    bind(done);
    replays_.push_back({replay, done, &right, r, left, fail, top});
    return r;
  }

  // A range bound: a failure is not passed on but becomes the bound's value.
  Operand bound(const Expr& e, bool as_operand) {
    if (is_constant(e) || (as_operand && is_leaf(e))) return leaf(e);
    Operand r = reg(alloc());
    Label failed = new_label();
    Label done = new_label();
    into(e, r, failed);
    cold(failed, {Opcode::TakeError, 0, index(r)}, {{'d', done}});
    bind(done);
    return r;
  }

  void into(const Expr& e, Operand dest, Label fail) {
    std::uint32_t mark = top_;
    switch (e.kind) {
      case ExprKind::Number: case ExprKind::Float: case ExprKind::String: case ExprKind::Boolean:
      case ExprKind::Identifier:
        emit_to(move(dest, leaf(e)), 'd', fail);
        break;
      case ExprKind::BinaryOp: {
        const auto& b = static_cast<const BinaryExpr&>(e);
        auto [l, r] = operands(*b.left, *b.right, fail);
        emit_to(operation(binary_opcode(binary_operator(b.op)), dest, l, r), 'd', fail);
        break;
      }
      case ExprKind::UnaryOp: {
        if (is_negative_literal(e)) {
          emit_to(move(dest, leaf(e)), 'd', fail);
          break;
        }
        const auto& u = static_cast<const UnaryExpr&>(e);
        Operand x = operand(*u.operand, fail);
        if (u.op == TokenType::Not) {
          emit_to({Opcode::Not, 0, dest, x}, 'd', fail);
        } else {
          emit_to({Opcode::Negate, static_cast<std::uint8_t>(u.op), dest, x}, 'd', fail);
        }
        break;
      }
      case ExprKind::Call:
        call(static_cast<const CallExpr&>(e), dest, fail, Opcode::Call);
        break;
      case ExprKind::Array: {
        const auto& a = static_cast<const ArrayExpr&>(e);
        auto n = static_cast<std::uint32_t>(a.elements.size());
        std::uint32_t base = alloc(n);
        for (std::uint32_t i = 0; i < n; ++i) into(*a.elements[i], reg(base + i), fail);
        emit({Opcode::Array, 0, dest, base, n});
        break;
      }
      case ExprKind::Dict: {
        const auto& d = static_cast<const DictExpr&>(e);
        auto n = static_cast<std::uint32_t>(d.entries.size());
        std::uint32_t base = alloc(n);
        for (std::uint32_t i = 0; i < n; ++i) into(*d.entries[i].second, reg(base + i), fail);
        emit({Opcode::Dict, 0, dest, base, add_node(&d)});
        break;
      }
      case ExprKind::Index: {
        const auto& x = static_cast<const IndexExpr&>(e);
        if (x.object->kind == ExprKind::Identifier && x.index->kind == ExprKind::String) {
          const auto& object = static_cast<const IdentifierExpr&>(*x.object);
          emit_to({Opcode::Member, 0, dest, object.symbol, add_node(&x)}, 'd', fail);
          break;
        }
        if (is_chain(x)) {
          // b[c][e]: the inner element goes to a register of its own, which
          // the outer read takes, as the usual two reads would do it.
          const auto& inner = static_cast<const IndexExpr&>(*x.object);
          Operand held = reg(alloc());
          auto [o, i] = operands(*inner.object, *inner.index, fail);
          emit_to({Opcode::IndexChain, 0, held, o, i}, 'd', fail);
          emit_to({Opcode::Index, 0, dest, held, leaf(*x.index)}, 'd', fail);
          break;
        }
        auto [o, i] = operands(*x.object, *x.index, fail);
        emit_to(element(dest, o, i), 'd', fail);
        break;
      }
      case ExprKind::Range: {
        const auto& r = static_cast<const RangeExpr&>(e);
        Operand s = bound(*r.start, is_leaf(*r.end));
        Operand t = bound(*r.end, true);
        emit_to({Opcode::Range, 0, dest, s, t}, 'd', fail);
        break;
      }
    }
    top_ = mark;
  }

  void call(const CallExpr& c, Operand dest, Label fail, Opcode op) {
    std::uint32_t node = add_node(&c);
    if (debug_enabled()) emit({Opcode::TraceCall, 0, 0, 0, node});
    auto n = static_cast<std::uint32_t>(c.args.size());
    // The arguments start in the destination when it is the newest
    // register: a call has taken them over, or let them go, before its
    // result is stored.
    bool in_dest = n > 0 && tag(dest) == kRegister && index(dest) + 1 == top_;
    std::uint32_t base = in_dest ? index(dest) : top_;
    alloc(in_dest ? n - 1 : n);
    for (std::uint32_t i = 0; i < n; ++i) into(*c.args[i], reg(base + i), fail);
    // A plain name's callee kind is settled now (no trace lines to write).
    if (op == Opcode::Call && !c.dotted && !debug_enabled()) {
      op = native_of(c) >= 0 ? Opcode::CallBuiltin : Opcode::CallUser;
    }
    emit_to({op, 0, dest, base, node}, 'd', fail);
  }

  // A condition: falls through when truthy, goes to `otherwise` when not,
  // and to `fail` when it fails.
  void test(const Expr& condition, Label otherwise, Label fail) {
    if (condition.kind == ExprKind::BinaryOp) {
      const auto& b = static_cast<const BinaryExpr&>(condition);
      ops::Op op = binary_operator(b.op);
      if (ops::is_comparison(op)) {
        auto [l, r] = operands(*b.left, *b.right, fail);
        emit_to(operation(test_opcode(op), 0, l, r), {{'a', otherwise}, {'d', fail}});
        return;
      }
    }
    Operand x = operand(condition, fail);
    emit_to({Opcode::JumpIfNot, 0, 0, x}, {{'a', otherwise}, {'d', fail}});
  }

  // --- statements ------------------------------------------------------------

  void statements(const Block& block) {
    for (const auto& s : block) statement(*s);
  }

  // A statement list that may start while a signal is pending, because the
  // statement's own expressions ran a call: then the checked form runs it
  // (the first statement runs, and the signal acts after it). `after` emits
  // what follows the list, once for each form.
  void guarded(const Block& block, bool pending, const std::function<void()>& after) {
    if (!pending || checked_) {
      statements(block);
      after();
      return;
    }
    Label checked = new_label();
    emit_to({Opcode::CheckSignals}, 'c', checked);
    statements(block);
    after();
    bind(checked);
    bool saved = checked_;
    checked_ = true;
    statements(block);
    after();
    checked_ = saved;
  }

  void statement(const Stmt& s) {
    std::uint32_t mark = top_;
    bool calls = false;
    switch (s.kind) {
      case StmtKind::Let: {
        const auto& b = static_cast<const LetStmt&>(s);
        calls = bind_statement(b.symbol, *b.value, FailKind::Let);
        break;
      }
      case StmtKind::Assign: {
        const auto& b = static_cast<const AssignStmt&>(s);
        calls = bind_statement(b.symbol, *b.value, FailKind::Assign);
        break;
      }
      case StmtKind::CompoundAssign: {
        const auto& b = static_cast<const CompoundAssignStmt&>(s);
        calls = has_call(*b.value);
        std::uint32_t current = alloc();
        std::uint32_t value = alloc();
        emit({Opcode::LoadOrNull, 0, current, name(b.symbol)});
        Label failed = new_label();
        Label apply = new_label();
        into(*b.value, reg(value), failed);
        bind(apply);
        emit({Opcode::CompoundSet, static_cast<std::uint8_t>(compound_operator(b.op)), name(b.symbol), current, value});
        cold(failed, {Opcode::Fail, static_cast<std::uint8_t>(FailKind::Compound), value, b.symbol},
             {{'c', handler_}, {'d', apply}});
        break;
      }
      case StmtKind::Function: {
        const auto& f = static_cast<const FunctionStmt&>(s);
        emit({Opcode::Function, 0, f.symbol, 0, add_node(&f)});
        break;
      }
      case StmtKind::If:
        calls = if_statement(static_cast<const IfStmt&>(s));
        break;
      case StmtKind::While:
        calls = while_statement(static_cast<const WhileStmt&>(s));
        break;
      case StmtKind::For:
        calls = for_statement(static_cast<const ForStmt&>(s));
        break;
      case StmtKind::Match:
        calls = match_statement(static_cast<const MatchStmt&>(s));
        break;
      case StmtKind::Try:
        calls = try_statement(static_cast<const TryStmt&>(s));
        break;
      case StmtKind::Return: {
        const auto& r = static_cast<const ReturnStmt&>(s);
        Operand value = kNone;
        if (r.value) {
          calls = has_call(*r.value);
          // A failed value is what is returned.
          value = is_leaf(*r.value) ? leaf(*r.value) : bound(*r.value, false);
        }
        Label to = checked_ ? handler_ : returns_to_;
        emit_to({Opcode::Return, static_cast<std::uint8_t>(to == end_), 0, value}, 'c', to);
        break;
      }
      case StmtKind::Break:
        if (!loops_.empty() && !checked_) {
          emit_to({Opcode::Jump}, 'd', loops_.back().exit);
        } else {
          emit_to({Opcode::Break}, 'c', handler_);
        }
        break;
      case StmtKind::Continue:
        if (!loops_.empty() && !checked_) {
          emit_to({Opcode::Jump}, 'd', loops_.back().next);
        } else {
          emit_to({Opcode::Continue}, 'c', handler_);
        }
        break;
      case StmtKind::Global:
        emit({Opcode::Global, 0, static_cast<const GlobalStmt&>(s).symbol});
        break;
      case StmtKind::Use:
        emit({Opcode::Use, 0, 0, 0, add_node(&s)});
        calls = true;
        break;
      case StmtKind::Expr: {
        const auto& e = static_cast<const ExprStmt&>(s);
        calls = has_call(*e.expr);
        Label failed = new_label();
        Label done = new_label();
        into(*e.expr, kNone, failed);
        bind(done);
        cold(failed, {Opcode::Fail, static_cast<std::uint8_t>(FailKind::Expression)}, {{'c', handler_}, {'d', done}});
        break;
      }
    }
    top_ = mark;
    if (calls) ++call_statements_;
    if (checked_ || calls) emit_to({Opcode::CheckSignals}, 'c', handler_);
  }

  static ops::Op compound_operator(TokenType op) {
    switch (op) {
      case TokenType::PlusAssign: return ops::Op::Add;
      case TokenType::MinusAssign: return ops::Op::Subtract;
      case TokenType::StarAssign: return ops::Op::Multiply;
      default: return ops::Op::Divide;
    }
  }

  // let and assignment: the value goes straight into the name; a failure
  // is reported and the Error value bound.
  bool bind_statement(Symbol symbol, const Expr& value, FailKind kind) {
    Label failed = new_label();
    Label done = new_label();
    if (value.kind == ExprKind::Call && updates_first_argument(static_cast<const CallExpr&>(value), symbol)) {
      call(static_cast<const CallExpr&>(value), name(symbol), failed, Opcode::CallUpdate);
    } else {
      into(value, name(symbol), failed);
    }
    bind(done);
    cold(failed, {Opcode::Fail, static_cast<std::uint8_t>(kind), 0, symbol}, {{'c', handler_}, {'d', done}});
    return has_call(value);
  }

  // name = f(name, ...) where f may return its first argument changed.
  static bool updates_first_argument(const CallExpr& c, Symbol symbol) {
    if (c.args.empty() || c.args[0]->kind != ExprKind::Identifier) return false;
    if (static_cast<const IdentifierExpr&>(*c.args[0]).symbol != symbol) return false;
    return natives::any_update_named(c.dotted ? c.function_part : c.name);
  }

  bool if_statement(const IfStmt& s) {
    bool calls = has_call(*s.condition);
    Label otherwise = new_label();
    Label end = new_label();
    Label failed = new_label();
    test(*s.condition, otherwise, failed);
    cold(failed, {Opcode::Fail, static_cast<std::uint8_t>(FailKind::If)}, {{'d', end}});
    if (s.else_body) {
      guarded(s.then_body, calls, [&] { emit_to({Opcode::Jump}, 'd', end); });
      bind(otherwise);
      guarded_before(*s.else_body, calls, end);
    } else {
      guarded_before(s.then_body, calls, end);
      bind(otherwise);
    }
    bind(end);
    return calls;
  }

  // A guarded statement list that `end` follows: only a first copy of two
  // jumps there, over the second.
  void guarded_before(const Block& block, bool pending, Label end) {
    bool first = pending && !checked_;
    guarded(block, pending, [&] {
      if (first) emit_to({Opcode::Jump}, 'd', end);
      first = false;
    });
  }

  // The body of a loop, with its own handler for the signals that reach it.
  // `next` is where a round ends (continue goes there); `top` where the next
  // round starts.
  // `round_end` emits what ends a round, given the handler: it goes back
  // for the next round or on to `exit`.
  void loop_body(const Block& body, bool pending, Label exit, const std::function<void(Label)>& round_end) {
    Label next = new_label();
    Label handler = new_label();
    Label outer = handler_;
    handler_ = handler;
    loops_.push_back({exit, next});
    guarded(body, pending, [&] {
      bind(next);
      round_end(handler);
    });
    loops_.pop_back();
    handler_ = outer;
    cold(handler, {Opcode::LoopHandler}, {{'a', exit}, {'b', next}, {'c', outer}});
  }

  // However a loop ends, a break is spent: one that was pending as it
  // began, or that a call in its condition or its array left, as well.
  // Nothing else is: a continue that a call in the body left pending beside
  // the break outlives the loop, so a loop whose body runs a call counts as
  // a statement that ran one, and what follows it checks the signals.
  void loop_end(bool calls) {
    if (checked_ || calls) emit({Opcode::LoopEnd});
  }

  bool while_statement(const WhileStmt& s) {
    bool calls = has_call(*s.condition);
    Label top = new_label();
    Label exit = new_label();
    Label failed = new_label();
    bind(top);
    std::uint32_t mark = top_;
    test(*s.condition, exit, failed);
    top_ = mark;
    cold(failed, {Opcode::Fail, static_cast<std::uint8_t>(FailKind::While)}, {{'d', exit}});
    std::size_t before = call_statements_;
    loop_body(s.body, calls, exit, [&](Label handler) { emit_to({Opcode::Loop}, {{'d', top}, {'c', handler}}); });
    bind(exit);
    loop_end(calls);
    return calls || call_statements_ != before;
  }

  bool for_statement(const ForStmt& s) {
    bool calls = has_call(*s.iter);
    Label exit = new_label();
    Label after = new_label();
    Label top = new_label();
    std::uint32_t state = alloc(2);
    // The first round starts with Next; each later one with Round, which
    // also ends the round before.
    Opcode round;
    if (s.iter->kind == ExprKind::Range) {
      const auto& r = static_cast<const RangeExpr&>(*s.iter);
      Operand from = bound(*r.start, is_leaf(*r.end));
      Operand to = bound(*r.end, true);
      emit_to({Opcode::RangePrepare, 0, state, from, to}, 'd', after);
      emit_to({Opcode::RangeNext, 0, state, 0, s.symbol}, 'd', exit);
      round = Opcode::RangeRound;
    } else {
      Label failed = new_label();
      Operand iter = operand(*s.iter, failed);
      cold(failed, {Opcode::Fail, static_cast<std::uint8_t>(FailKind::For)}, {{'d', after}});
      emit_to({Opcode::ForPrepare, 0, state, iter}, 'd', after);
      emit_to({Opcode::ForNext, 0, state, 0, s.symbol}, 'd', exit);
      round = Opcode::ForRound;
    }
    bind(top);
    std::size_t before = call_statements_;
    loop_body(s.body, calls, exit,
              [&](Label handler) {
                emit_to({round, 0, state, s.symbol}, {{'c', handler}, {'d', top}});
                emit_to({Opcode::Jump}, 'd', exit);
              });
    bind(exit);
    loop_end(calls);
    emit({Opcode::Clear, 0, state});
    bind(after);
    return calls || call_statements_ != before;
  }

  bool match_statement(const MatchStmt& s) {
    bool calls = has_call(*s.expr);
    for (const auto& [pattern, body] : s.arms) {
      if (!pattern.wildcard && has_call(*pattern.value)) calls = true;
    }
    Label end = new_label();
    Label failed = new_label();
    cold(failed, {Opcode::Fail, static_cast<std::uint8_t>(FailKind::Match)}, {{'d', end}});
    Operand subject = held(*s.expr, failed);
    for (const auto& [pattern, body] : s.arms) {
      Label next = new_label();
      if (!pattern.wildcard) {
        std::uint32_t mark = top_;
        Label bad = new_label();
        Operand value = operand(*pattern.value, bad);
        emit_to({Opcode::MatchTest, 0, 0, value, subject}, {{'a', next}, {'d', bad}});
        cold(bad, {Opcode::Fail, static_cast<std::uint8_t>(FailKind::Pattern)}, {{'c', handler_}, {'d', next}});
        top_ = mark;
      }
      guarded(body, calls, [&] { emit_to({Opcode::Jump}, 'd', end); });
      bind(next);
    }
    emit({Opcode::NoMatch});
    bind(end);
    if (tag(subject) == kRegister) emit({Opcode::Clear, 0, index(subject)});
    return calls;
  }

  // A failure can reach the catch right after a call in the same statement
  // left a break, continue or return pending: the catch body then runs as
  // any statement list does with a signal pending, and the signal acts
  // after the try.
  bool try_statement(const TryStmt& s) {
    Label handler = new_label();
    Label caught = new_label();
    Label end = new_label();
    Label outer = handler_;
    Label outer_returns = returns_to_;
    handler_ = handler;
    returns_to_ = handler;
    statements(s.body);
    // A return of an Error pending before the body ran is caught as well.
    if (checked_) emit_to({Opcode::CheckSignals}, 'c', handler);
    handler_ = outer;
    returns_to_ = outer_returns;
    emit_to({Opcode::Jump}, 'd', end);
    bind(handler);
    emit_to({Opcode::TryHandler, 0, 0, s.symbol}, {{'a', caught}, {'c', outer}});
    bind(caught);
    guarded_before(s.catch_body, true, end);
    bind(end);
    return true;
  }

  Code& code_;
  bool checked_;
  std::uint32_t top_ = 0;
  std::vector<LabelState> labels_;
  std::vector<Cold> colds_;
  std::vector<Replay> replays_;
  Mode mode_ = Mode::Usual;
  std::vector<LoopContext> loops_;
  Label handler_ = 0;     // where a pending signal goes: the innermost loop's or try's handler, or the end
  Label returns_to_ = 0;  // where a return goes: the innermost try's handler, or the end
  Label end_ = 0;         // the end of the code, where a call the loop entered returns
  std::size_t call_statements_ = 0;  // statements compiled so far that run a call
};

}  // namespace

Code compile_body(const Block& body, bool checked) {
  Code code;
  Compiler(code, checked).body(body);
  return code;
}

Code compile_statement(const Stmt& stmt, bool checked) {
  Code code;
  Compiler(code, checked).statement_unit(stmt);
  return code;
}

Code compile_shown(const ExprStmt& stmt, bool checked) {
  Code code;
  Compiler(code, checked).shown_unit(stmt);
  return code;
}

Code compile_expression(const Expr& expr) {
  Code code;
  Compiler(code, false).expression_unit(expr);
  return code;
}

}  // namespace veltro
