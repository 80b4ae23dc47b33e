// The instruction loop of the compiled core, and the entries that compile
// and run a statement, an expression or a function body.
#include <bit>

#include "interpreter/compiler.h"
#include "interpreter/interpreter.h"
#include "interpreter/messages.h"
#include "runtime/console.h"
#include "runtime/limits.h"

// Lambdas of the loop that must not cost a call.
#define VELTRO_INLINE __attribute__((always_inline))

namespace veltro {

template <class Make>
const Code& Interpreter::code_of(std::shared_ptr<CodeSet>& set, Make&& make) {
  if (!set) set = std::make_shared<CodeSet>(CodeSet{make(false), nullptr});
  if (signals_ == 0) [[likely]] return set->usual;
  if (!set->checked) set->checked = std::make_unique<Code>(make(true));
  return *set->checked;
}

namespace {

// A frame of registers for one run of some code, given back on every path.
class Frame {
 public:
  Frame(RegisterStack& stack, std::uint32_t n) : stack_(stack), registers_(stack.push(n)) {}
  ~Frame() { stack_.pop(registers_); }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
  [[nodiscard]] Value* registers() const { return registers_; }

 private:
  RegisterStack& stack_;
  Value* registers_;
};

}  // namespace

void Interpreter::run_statement(const Stmt& stmt) {
  const Code& code = code_of(stmt.code, [&](bool checked) { return compile_statement(stmt, checked); });
  Frame frame(registers_, code.registers);
  run(code, frame.registers());
}

Value Interpreter::run_shown(const ExprStmt& stmt) {
  const Code& code = code_of(stmt.code, [&](bool checked) { return compile_shown(stmt, checked); });
  Frame frame(registers_, code.registers);
  run(code, frame.registers());
  return std::move(frame.registers()[0]);
}

Value Interpreter::run_expression(const Expr& expr) {
  Code code = compile_expression(expr);
  Frame frame(registers_, code.registers);
  run(code, frame.registers());
  return std::move(frame.registers()[0]);
}

void Interpreter::run_body(const FunctionDef& def) {
  if (!harness::step()) return;
  const Code& code = code_of(def.code, [&](bool checked) { return compile_body(def.body, checked); });
  Frame frame(registers_, code.registers);
  run(code, frame.registers());
}

namespace {

// The operator of an arithmetic or comparison opcode.
constexpr ops::Op operator_of(Opcode op) {
  return static_cast<ops::Op>(static_cast<int>(op) - static_cast<int>(Opcode::Add));
}
constexpr ops::Op comparison_of(Opcode op) {
  return static_cast<ops::Op>(static_cast<int>(op) - static_cast<int>(Opcode::TestEqual) +
                              static_cast<int>(ops::Op::Equal));
}

// How an operand is read: from its tag, or as a kind the instruction settles.
enum class Kind { Any, Register, Constant, Name };
// Whether an operand of that kind is always there (a name may be unbound).
constexpr bool always_there(Kind k) { return k == Kind::Register || k == Kind::Constant; }
// A typed form's bare operand index of that kind, tagged again for the
// general paths.
template <Kind K>
constexpr Operand tagged(std::uint32_t o) {
  if constexpr (K == Kind::Register) return reg(o);
  if constexpr (K == Kind::Constant) return constant(o);
  if constexpr (K == Kind::Name) return name(o);
  return o;
}
template <Kind L, Kind R, Kind D>
constexpr Instruction tagged(const Instruction& i) {
  Instruction t = i;
  t.a = tagged<D>(i.a);
  t.b = tagged<L>(i.b);
  t.c = tagged<R>(i.c);
  return t;
}

}  // namespace

// The instructions' rare and heavy paths, kept out of the loop so that its
// frame stays small (it is one per active call) and its hot paths tight.
struct Vm {
  [[gnu::noinline]] [[gnu::cold]] static Value undefined(Symbol symbol) {
    return raise(msg::undefined_variable(symbol_name(symbol)));
  }

  [[gnu::noinline]] static void trace(const CallExpr& call) { log_debug_call(msg::trace_calling(call.name)); }

  [[gnu::noinline]] static Value negate(const Instruction& in, const Value& v) {
    auto op = static_cast<TokenType>(in.x);
    Value result = op == TokenType::Minus ? ops::negate(v) : Value::error(msg::unsupported_unary(token_type_name(op)));
    if (result.is_error()) log_error(result.as_string());
    return result;
  }

  [[gnu::noinline]] static Value array(const Instruction& in, Value* R) {
    std::vector<Value> items;
    items.reserve(in.c);
    for (std::uint32_t i = 0; i < in.c; ++i) items.push_back(std::move(R[in.b + i]));
    return Value::array(std::move(items));
  }

  [[gnu::noinline]] static Value dict(const Instruction& in, Value* R, const void* node) {
    const auto& d = *static_cast<const DictExpr*>(node);
    DictMap map;
    for (std::size_t i = 0; i < d.entries.size(); ++i) map.insert_or_assign(d.entries[i].first, std::move(R[in.b + i]));
    return Value::dict(std::move(map));
  }

  // The bounds of a counted loop into registers a, a+1; false after
  // reporting why there are none.
  [[gnu::noinline]] static bool range_prepare(const Instruction& in, Value* R, Value from, Value to) {
    RangeBounds bounds = range_bounds(from, to);
    if (!bounds.failure.empty()) {
      log_error(bounds.failure);
      log_error(msg::for_failed(bounds.failure));
      return false;
    }
    R[in.a].set_inline(ValueType::Number, bounds.from);
    R[in.a + 1].set_inline(ValueType::Number, bounds.to);
    return true;
  }

  // What a for loop cannot iterate, reported.
  [[gnu::noinline]] static void not_iterable(const Value* v, Operand operand) {
    if (!v) {
      Value failed = undefined(index(operand));
      log_error(msg::for_failed(failed.as_string()));
    } else if (v->is_null()) {
      log_error(msg::kIterateNull);
    } else if (v->is_error()) {
      log_error(msg::for_failed(v->as_string()));
    } else {
      log_error(msg::cannot_iterate(v->type_name()));
    }
  }

  [[gnu::noinline]] static void compound(Interpreter& in, const Instruction& i, Value* R) {
    Symbol symbol = index(i.a);
    Value& current = R[i.b];
    Value& value = R[i.c];
    auto op = static_cast<ops::Op>(i.x);
    if (op == ops::Op::Add && current.is_string() && value.is_string()) {
      if (ops::concatenation_fits(current.as_string(), value.as_string())) {
        in.env_.release_if_holds(symbol, current);
        current.mutable_string().append(value.as_string());
        in.env_.define(symbol, std::move(current));
      }
    } else {
      in.env_.define(symbol, in.apply_binary(current, op, value));
    }
    current = Value();
    value = Value();
  }

  // A statement's failure reported; false when Ctrl-C unwinds instead.
  [[gnu::noinline]] static bool fail(Interpreter& in, const Instruction& i, Value* R, Value& failure) {
    auto kind = static_cast<FailKind>(i.x);
    bool unwinds = kind == FailKind::Let || kind == FailKind::Assign || kind == FailKind::Compound ||
                   kind == FailKind::Pattern || kind == FailKind::Expression || kind == FailKind::ShownExpression;
    if (unwinds && interrupt::requested()) {
      failure = Value();
      in.stop_for_interrupt();
      return false;
    }
    const std::string& message = failure.as_string();
    switch (kind) {
      case FailKind::Let:
        log_error(msg::let_failed(symbol_name(i.b), message));
        in.env_.define(i.b, std::move(failure));
        break;
      case FailKind::Assign:
        log_error(msg::assignment_failed(symbol_name(i.b), message));
        in.env_.define(i.b, std::move(failure));
        break;
      case FailKind::Compound:
        log_error(msg::compound_failed(symbol_name(i.b), message));
        R[i.a] = std::move(failure);
        break;
      case FailKind::If: log_error(msg::if_failed(message)); break;
      case FailKind::While: log_error(msg::while_failed(message)); break;
      case FailKind::For: log_error(msg::for_failed(message)); break;
      case FailKind::Match: log_error(msg::match_failed(message)); break;
      case FailKind::Pattern: log_error(msg::pattern_failed(message)); break;
      case FailKind::Expression: log_error(msg::expression_failed(message)); break;
      case FailKind::ShownExpression:
        log_error(msg::expression_failed(message));
        R[0] = std::move(failure);
        break;
    }
    failure = Value();
    return true;
  }

  // An Error returned and pending is caught into the name; false otherwise.
  [[gnu::noinline]] static bool catches(Interpreter& in, Symbol name) {
    if ((in.signals_ & (kReturn | kInterrupt)) != kReturn || !in.return_value_.is_error()) return false;
    std::string message = in.return_value_.as_string();
    in.return_value_ = Value();
    in.signals_ &= static_cast<std::uint8_t>(~kReturn);
    in.env_.define(name, Value::string(std::move(message)));
    return true;
  }

  // An operand's value where it is stored; nullptr for an unbound name.
  [[gnu::always_inline]] static const Value* peek(const Interpreter& in, Operand o, const Value* R, const Value* K) {
    if (tag(o) == kName) return in.env_.find_covered(index(o));
    return tag(o) == kRegister ? R + index(o) : K + index(o);
  }
  // The same, setting the failure aside for an unbound name or a name that
  // holds an Error.
  [[gnu::always_inline]] static const Value* fetch(const Interpreter& in, Operand o, const Value* R, const Value* K,
                                                   Value& failure) {
    const Value* v = peek(in, o, R, K);
    if (!v) [[unlikely]] {
      failure = undefined(index(o));
      return nullptr;
    }
    if (v->is_error()) [[unlikely]] {
      failure = *v;
      return nullptr;
    }
    return v;
  }

  // A result stored in dest, or set aside when it is a failure (false).
  static bool deliver(Interpreter& in, Operand dest, Value&& result, Value* R, Value& failure) {
    if (result.is_error()) {
      failure = std::move(result);
      return false;
    }
    if (tag(dest) == kRegister) {
      R[index(dest)] = std::move(result);
    } else if (tag(dest) == kName) {
      in.env_.define(index(dest), std::move(result));
    }
    return true;
  }

  // The general rules for an operator whose operands are not two numbers;
  // a string joined onto the variable the result replaces is appended in
  // place, which makes building a string in a loop linear. False when it
  // fails.
  [[gnu::noinline]] static bool general(Interpreter& in, const Instruction& i, ops::Op op, Value* R, const Value* K,
                                        Value& failure) {
    const Value* l = fetch(in, i.b, R, K, failure);
    if (!l) return false;
    const Value* r = fetch(in, i.c, R, K, failure);
    if (!r) return false;
    if (op == ops::Op::Add && tag(i.a) == kName && l->is_string() && r->is_string()) {
      Symbol symbol = index(i.a);
      bool right_is_target = tag(i.c) == kName && index(i.c) == symbol;
      if (tag(i.b) == kName && index(i.b) == symbol) {
        Value* t = in.env_.define_target_if_visible(symbol);
        if (t == l) {
          if (!ops::concatenation_fits(l->as_string(), r->as_string())) return true;
          t->mutable_string().append(r->as_string());
          return true;
        }
      } else if (tag(i.b) == kRegister && !right_is_target) {
        Value& left = R[index(i.b)];
        if (!ops::concatenation_fits(left.as_string(), r->as_string())) return true;
        in.env_.release_if_holds(symbol, left);
        left.mutable_string().append(r->as_string());
        in.env_.define(symbol, std::move(left));
        return true;
      }
    }
    Value result = in.apply_binary(*l, op, *r);
    if (tag(i.b) == kRegister) R[index(i.b)].reset();
    if (tag(i.c) == kRegister) R[index(i.c)].reset();
    return deliver(in, i.a, std::move(result), R, failure);
  }

  // An element read under the general rules, for Index with tagged
  // operands; false when it fails.
  [[gnu::noinline]] static bool element(Interpreter& in, const Instruction& i, Value* R, const Value* K,
                                        Value& failure) {
    const Value* object = fetch(in, i.b, R, K, failure);
    if (!object) return false;
    const Value* at = fetch(in, i.c, R, K, failure);
    if (!at) return false;
    Value result = in.index_value(*object, *at);
    if (tag(i.b) == kRegister) R[index(i.b)].reset();
    return deliver(in, i.a, std::move(result), R, failure);
  }

  // The user function a CallUser reaches, when the loop may enter it
  // itself: the arity right and the depth within its limit. A call the loop
  // enters runs on the loop's own C++ frame, so only the general way, which
  // recurses, checks the stack. nullptr sends the call the general way,
  // which also reports what is wrong.
  [[gnu::always_inline]] static const FunctionDef* enterable(Interpreter& in, const CallExpr& call) {
    const Value* found = in.env_.find_covered(call.symbol);
    if (!found || !found->is_function()) return nullptr;
    const FunctionDef& def = function_def(*found);
    if (def.arity != call.arg_count) return nullptr;
    if (in.call_depth_ >= interrupt::call_limit()) return nullptr;
    return &def;
  }
  // Parameters of which some name repeats, bound in the call scope just
  // entered.
  [[gnu::noinline]] static void bind_repeated(Interpreter& in, const FunctionDef& def, std::span<Value> args) {
    in.env_.bind_parameters<true>(def.param_symbols.data(), args, false);
  }

  static constexpr std::uint8_t kReturn = Interpreter::kReturn;
  static constexpr std::uint8_t kInterrupt = Interpreter::kInterrupt;
};

void Interpreter::run(const Code& code, Value* R) {
#define VELTRO_LABEL(name) &&op_##name,
#define VELTRO_TYPED_LABEL(op, l, r, d) &&op_##op##_##l##r##d,
#define VELTRO_MOVE_LABEL(op, s, d) &&op_##op##_##s##d,
  static constexpr void* kLabels[] = {VELTRO_INSTRUCTIONS(VELTRO_LABEL) VELTRO_TYPED_INSTRUCTIONS(VELTRO_TYPED_LABEL)
                                          VELTRO_TYPED_ELEMENTS(VELTRO_TYPED_LABEL)
                                              VELTRO_TYPED_MOVES(VELTRO_MOVE_LABEL)};
#undef VELTRO_MOVE_LABEL
#undef VELTRO_TYPED_LABEL
#undef VELTRO_LABEL
  // Code runs once its instructions know their handlers.
  auto thread = [](const Code& c) VELTRO_INLINE {
    if (c.threaded) [[likely]] return;
    for (const Instruction& in : c.instructions) in.handler = kLabels[static_cast<int>(in.op)];
    c.threaded = true;
  };
  thread(code);
  // The code running now: this run's own, or that of a user function whose
  // call the loop entered itself (see Resume); those end before this run does.
  const Code* running = &code;
  const Instruction* start = code.instructions.data();
  const Instruction* pc = start;
  const Value* K = code.constants.data();
  const void* const* nodes = code.nodes.data();
  // How many of those calls are running, each with its Resume record.
  std::size_t entered = 0;
  // The names of running code are covered (see Environment::cover).
  env_.cover(code.symbols);
  // The failure set aside for its handler.
  Value failure;

  auto peek = [&](Operand o) VELTRO_INLINE { return Vm::peek(*this, o, R, K); };
  auto fetch = [&](Operand o) VELTRO_INLINE { return Vm::fetch(*this, o, R, K, failure); };
  // An operand whose failure is its value (a range bound, a returned value);
  // a temporary's register gives its value up.
  auto value_or_failure = [&](Operand o) VELTRO_INLINE -> Value {
    if (o == kNone) return Value();
    if (tag(o) == kRegister) return std::move(R[index(o)]);
    if (const Value* v = fetch(o)) return *v;
    return std::move(failure);
  };
  auto store = [&](Operand dest, Value&& v) VELTRO_INLINE {
    if (tag(dest) == kRegister) {
      R[index(dest)] = std::move(v);
    } else if (tag(dest) == kName) {
      env_.define<true>(index(dest), std::move(v));
    }
  };
  auto store_inline = [&](Operand dest, ValueType type, std::int64_t bits) VELTRO_INLINE {
    if (tag(dest) == kRegister) {
      R[index(dest)].set_inline(type, bits);
    } else if (tag(dest) == kName) {
      env_.define_inline<true>(index(dest), type, bits);
    }
  };
  // A result that may be a failure: stored, or set aside.
  auto deliver = [&](Operand dest, Value&& v) VELTRO_INLINE -> bool {
    if (v.is_error()) {
      failure = std::move(v);
      return false;
    }
    store(dest, std::move(v));
    return true;
  };
  // A call's arguments are let go of, and its result delivered to dest a.
  auto end_call = [&](std::span<Value> args, Value&& result) VELTRO_INLINE -> bool {
    for (Value& arg : args) arg.reset();
    return deliver(pc->a, std::move(result));
  };
  auto target = [&](std::uint32_t at) VELTRO_INLINE { return start + at; };
  // The newest call the loop entered ends with its result, back at the
  // call; false when the result is a failure, set aside.
  auto leave = [&](Value&& result) VELTRO_INLINE -> bool {
    registers_.pop(R);
    Resume& back = resumes_.back();
    env_.leave_scope(back.scope);
    --call_depth_;
    running = back.code;
    start = running->instructions.data();
    pc = back.pc;
    R = back.registers;
    K = running->constants.data();
    nodes = running->nodes.data();
    resumes_.pop_back();
    --entered;
    return deliver(pc->a, std::move(result));
  };

  // A loop's round ends: whether a signal or Ctrl-C stops the loop here.
  auto round_stops = [&]() VELTRO_INLINE { return !harness::step() || signals_ != 0 || interrupt::requested(); };
  // The next element of an array (registers s, s+1: the array and the
  // position), or the next number of a range (registers s, s+1: the next
  // number and the end), bound to the name; false when there is none.
  auto next_item = [&](std::uint32_t s, Symbol name) VELTRO_INLINE -> bool {
    const auto& items = R[s].as_array();
    std::int64_t i = R[s + 1].as_number();
    if (static_cast<std::size_t>(i) >= items.size() || !harness::step()) return false;
    R[s + 1].set_inline(ValueType::Number, i + 1);
    env_.define<true>(name, Value(items[static_cast<std::size_t>(i)]));
    return true;
  };
  auto next_number = [&](std::uint32_t s, Symbol name) VELTRO_INLINE -> bool {
    std::int64_t i = R[s].as_number();
    if (i >= R[s + 1].as_number() || !harness::step()) return false;
    R[s].set_inline(ValueType::Number, i + 1);
    env_.define_inline<true>(name, ValueType::Number, i);
    return true;
  };

  // An operand of a kind settled in advance, a bare index (see
  // VELTRO_TYPED_INSTRUCTIONS), or read from its tag; nullptr for an unbound
  // name.
  auto operand = [&]<Kind L>(Operand o) VELTRO_INLINE -> const Value* {
    if constexpr (L == Kind::Name) {
      return env_.find_covered(o);
    } else if constexpr (L == Kind::Register) {
      return R + o;
    } else if constexpr (L == Kind::Constant) {
      return K + o;
    } else {
      return peek(o);
    }
  };
  auto store_to = [&]<Kind D>(Operand dest, Value&& v) VELTRO_INLINE {
    if constexpr (D == Kind::Name) {
      env_.define<true>(dest, std::move(v));
    } else if constexpr (D == Kind::Register) {
      R[dest] = std::move(v);
    } else {
      store(dest, std::move(v));
    }
  };
  auto store_inline_to = [&]<Kind D>(Operand dest, ValueType type, std::int64_t bits) VELTRO_INLINE {
    if constexpr (D == Kind::Name) {
      env_.define_inline<true>(dest, type, bits);
    } else if constexpr (D == Kind::Register) {
      R[dest].set_inline(type, bits);
    } else {
      store_inline(dest, type, bits);
    }
  };

  // Two numbers, or a number and a float, under an arithmetic or comparison
  // operator that cannot fail on them: the result without the general rules.
  auto numeric = [&]<ops::Op O, Kind L = Kind::Any, Kind Rk = Kind::Any, Kind D = Kind::Any>(
                     const Instruction& in) VELTRO_INLINE -> bool {
    const Value* l = operand.template operator()<L>(in.b);
    const Value* r = operand.template operator()<Rk>(in.c);
    if (!always_there(L) && !l) return false;
    if (!always_there(Rk) && !r) return false;
    if (l->is_integer() && r->is_integer()) {
      if (!ops::integer_form<O>(r->as_number())) return false;
      if constexpr (ops::is_comparison(O)) {
        store_inline_to.template operator()<D>(in.a, ValueType::Boolean, ops::compare<O>(l->as_number(), r->as_number()));
      } else {
        store_inline_to.template operator()<D>(in.a, ValueType::Number,
                                               ops::integer_arithmetic<O>(l->as_number(), r->as_number()));
      }
      return true;
    }
    if (!l->is_numeric() || !r->is_numeric()) return false;
    double rd = r->to_double();
    if (!ops::float_form<O>(rd)) return false;
    if constexpr (ops::is_comparison(O)) {
      store_inline_to.template operator()<D>(in.a, ValueType::Boolean, ops::compare<O>(l->to_double(), rd));
    } else {
      store_inline_to.template operator()<D>(in.a, ValueType::Float,
                                             std::bit_cast<std::int64_t>(ops::float_arithmetic<O>(l->to_double(), rd)));
    }
    return true;
  };

  // A comparison deciding a branch: 1 true, 0 false, -1 failed.
  auto compare = [&]<ops::Op O, Kind L = Kind::Any, Kind Rk = Kind::Any>(const Instruction& in) VELTRO_INLINE -> int {
    const Value* l = operand.template operator()<L>(in.b);
    const Value* r = operand.template operator()<Rk>(in.c);
    if ((always_there(L) || l) && (always_there(Rk) || r)) {
      if (l->is_integer() && r->is_integer()) return ops::compare<O>(l->as_number(), r->as_number());
      if (l->is_numeric() && r->is_numeric()) return ops::compare<O>(l->to_double(), r->to_double());
    }
    l = fetch(tagged<L>(in.b));
    if (!l) return -1;
    r = fetch(tagged<Rk>(in.c));
    if (!r) return -1;
    Value result = apply_binary(*l, O, *r);
    if (result.is_error()) {
      failure = std::move(result);
      return -1;
    }
    return result.truthy() ? 1 : 0;
  };

  // An element read from the object in operand `object` goes to dest: it is
  // copied before the object's register lets go of what holds it.
  auto take_element = [&]<Kind L, Kind D>(const Value& element, Operand object, Operand dest) VELTRO_INLINE {
    Value item = element;
    if constexpr (L == Kind::Register) {
      R[object].reset();
    } else if constexpr (L == Kind::Any) {
      if (tag(object) == kRegister) R[index(object)].reset();
    }
    store_to.template operator()<D>(dest, std::move(item));
  };
  // An element that exists (see element_of) read into dest a, taken as
  // above; false otherwise (the general rules then decide).
  auto read_element = [&]<Kind L, Kind I, Kind D>(const Instruction& in) VELTRO_INLINE -> bool {
    const Value* object = operand.template operator()<L>(in.b);
    const Value* at = operand.template operator()<I>(in.c);
    if (!always_there(L) && !object) return false;
    if (!always_there(I) && !at) return false;
    const Value* element = element_of(*object, *at);
    if (!element) return false;
    take_element.template operator()<L, D>(*element, in.b, in.a);
    return true;
  };

#define DISPATCH() goto* pc->handler
#define NEXT() \
  do {         \
    ++pc;      \
    DISPATCH(); \
  } while (0)
#define JUMP(to)         \
  do {                   \
    pc = target(to);     \
    DISPATCH();          \
  } while (0)
#define FAIL() JUMP(pc->d)

  DISPATCH();

op_Move: {
  const Value* v = fetch(pc->b);
  if (!v) FAIL();
  store(pc->a, Value(*v));
  NEXT();
}


op_Check:
  if (!fetch(pc->b)) FAIL();
  NEXT();


// Arithmetic, comparison, test and element instructions: the general forms
// read their operands' kinds (A) from the tags, the typed forms have them
// settled (the kinds stand defined for every typed handler below).
#define VELTRO_KIND_A Kind::Any
#define VELTRO_KIND_R Kind::Register
#define VELTRO_KIND_K Kind::Constant
#define VELTRO_KIND_N Kind::Name
#define VELTRO_MOVE_HANDLER(op, s, d)                                                      \
  op_##op##_##s##d: {                                                                      \
    const Value* v = operand.template operator()<VELTRO_KIND_##s>(pc->b);                  \
    if (VELTRO_KIND_##s == Kind::Name && (!v || v->is_error())) [[unlikely]] {              \
      v = fetch(tagged<VELTRO_KIND_##s>(pc->b));                                           \
      FAIL();                                                                              \
    }                                                                                      \
    store_to.template operator()<VELTRO_KIND_##d>(pc->a, Value(*v));                       \
    NEXT();                                                                                \
  }
VELTRO_TYPED_MOVES(VELTRO_MOVE_HANDLER)
#undef VELTRO_MOVE_HANDLER
#define VELTRO_BINARY_HANDLER(label, op, l, r, d)                                                        \
  label: {                                                                                               \
    constexpr ops::Op kOp = operator_of(Opcode::op);                                                     \
    if (numeric.template operator()<kOp, VELTRO_KIND_##l, VELTRO_KIND_##r, VELTRO_KIND_##d>(*pc)) NEXT(); \
    if (pc->x) FAIL();  /* tried: the replay runs it */                                                   \
    if (!Vm::general(*this, tagged<VELTRO_KIND_##l, VELTRO_KIND_##r, VELTRO_KIND_##d>(*pc), kOp, R, K, failure)) \
      FAIL();                                                                                            \
    NEXT();                                                                                              \
  }
#define VELTRO_TEST_HANDLER(label, op, l, r)                                                             \
  label: {                                                                                               \
    int truth = compare.template operator()<comparison_of(Opcode::op), VELTRO_KIND_##l, VELTRO_KIND_##r>(*pc); \
    if (truth < 0) FAIL();                                                                               \
    if (truth == 0) JUMP(pc->a);                                                                         \
    NEXT();                                                                                              \
  }
#define VELTRO_BINARY(op) VELTRO_BINARY_HANDLER(op_##op, op, A, A, A)
VELTRO_BINARY(Add) VELTRO_BINARY(Subtract) VELTRO_BINARY(Multiply) VELTRO_BINARY(Divide)
VELTRO_BINARY(Remainder) VELTRO_BINARY(Power) VELTRO_BINARY(Equal) VELTRO_BINARY(NotEqual)
VELTRO_BINARY(Less) VELTRO_BINARY(Greater) VELTRO_BINARY(LessEqual) VELTRO_BINARY(GreaterEqual)
#define VELTRO_TEST(op) VELTRO_TEST_HANDLER(op_##op, op, A, A)
VELTRO_TEST(TestEqual) VELTRO_TEST(TestNotEqual) VELTRO_TEST(TestLess)
VELTRO_TEST(TestGreater) VELTRO_TEST(TestLessEqual) VELTRO_TEST(TestGreaterEqual)
#define VELTRO_TYPED_HANDLER(op, l, r, d) VELTRO_TYPED_HANDLER_##d(op, l, r, d)
#define VELTRO_TYPED_HANDLER_R(op, l, r, d) VELTRO_BINARY_HANDLER(op_##op##_##l##r##d, op, l, r, d)
#define VELTRO_TYPED_HANDLER_N(op, l, r, d) VELTRO_BINARY_HANDLER(op_##op##_##l##r##d, op, l, r, d)
#define VELTRO_TYPED_HANDLER__(op, l, r, d) VELTRO_TEST_HANDLER(op_##op##_##l##r##d, op, l, r)
VELTRO_TYPED_INSTRUCTIONS(VELTRO_TYPED_HANDLER)
#undef VELTRO_TYPED_HANDLER__
#undef VELTRO_TYPED_HANDLER_N
#undef VELTRO_TYPED_HANDLER_R
#undef VELTRO_TYPED_HANDLER
#undef VELTRO_TEST
#undef VELTRO_BINARY
#undef VELTRO_TEST_HANDLER
#undef VELTRO_BINARY_HANDLER

op_And:
op_Or: {
  if (!Vm::general(*this, *pc, operator_of(pc->op), R, K, failure)) FAIL();
  NEXT();
}


op_JumpIfNot: {
  const Value* v = fetch(pc->b);
  if (!v) FAIL();
  if (!v->truthy()) JUMP(pc->a);
  NEXT();
}

op_Not: {
  const Value* v = fetch(pc->b);
  if (!v) FAIL();
  store_inline(pc->a, ValueType::Boolean, !v->truthy());
  NEXT();
}

op_Negate: {
  const Value* v = fetch(pc->b);
  if (!v) FAIL();
  if (static_cast<TokenType>(pc->x) == TokenType::Minus) {
    if (v->is_integer()) {
      store_inline(pc->a, ValueType::Number, ops::wrap_negate(v->as_number()));
      NEXT();
    }
    if (v->is_float()) {
      store_inline(pc->a, ValueType::Float, std::bit_cast<std::int64_t>(-v->as_float()));
      NEXT();
    }
  }
  if (!deliver(pc->a, Vm::negate(*pc, *v))) FAIL();
  NEXT();
}

op_TraceCall: {
  Vm::trace(*static_cast<const CallExpr*>(nodes[pc->c]));
  NEXT();
}

op_CallUser: {
  const FunctionDef* def;
  const Code* callee = nullptr;
  {  // locals end before the jump: a computed goto runs no destructors
    const auto& call = *static_cast<const CallExpr*>(nodes[pc->c]);
    def = Vm::enterable(*this, call);
    if (def) {
      callee = &code_of(def->code, [&](bool checked) { return compile_body(def->body, checked); });
      thread(*callee);
      // The parameters' symbols were interned before the body was compiled.
      env_.cover(callee->symbols);
      resumes_.emplace_back(running, pc, R, Rc<const FunctionDef>(def), env_.enter_scope());
      ++entered;
      ++call_depth_;
      std::span<Value> args(R + pc->b, call.arg_count);
      // Binding takes each argument over, leaving its register null.
      if (def->distinct_params) [[likely]] {
        env_.bind_distinct_parameters(def->param_symbols.data(), args);
      } else {
        Vm::bind_repeated(*this, *def, args);
      }
    }
  }
  if (def) {
    if (!harness::step()) [[unlikely]] {
      // The call ends at once, with no result.
      R = registers_.push(0);
      goto op_Exit;
    }
    R = registers_.push(callee->registers);
    running = callee;
    start = pc = callee->instructions.data();
    K = callee->constants.data();
    nodes = callee->nodes.data();
    DISPATCH();
  }
  goto call_prepared;
}

// A plain call of a builtin runs it here, as the general way would.
op_CallBuiltin: {
  bool ok;
  {  // locals end before the jump: a computed goto runs no destructors
    const auto& call = *static_cast<const CallExpr*>(nodes[pc->c]);
    std::span<Value> args(R + pc->b, call.arg_count);
    ok = end_call(args, run_native(static_cast<NativeIndex>(call.native), args));
  }
  if (!ok) FAIL();
  NEXT();
}

op_Call:
op_CallUpdate:
call_prepared: {
  bool ok;
  {  // locals end before the jump: a computed goto runs no destructors
    const auto& call = *static_cast<const CallExpr*>(nodes[pc->c]);
    std::span<Value> args(R + pc->b, call.arg_count);
    ok = end_call(args, pc->op != Opcode::CallUpdate ? call_prepared(call, args)
                                                     : call_updating_prepared(call, index(pc->a), args));
  }
  if (!ok) FAIL();
  NEXT();
}

op_Array: {
  store(pc->a, Vm::array(*pc, R));
  NEXT();
}

op_Dict: {
  store(pc->a, Vm::dict(*pc, R, nodes[pc->c]));
  NEXT();
}

op_Index:
  if (read_element.template operator()<Kind::Any, Kind::Any, Kind::Any>(*pc)) NEXT();
  if (pc->x) FAIL();
  if (!Vm::element(*this, *pc, R, K, failure)) FAIL();
  NEXT();

op_IndexChain: {
  const Instruction& outer = pc[1];
  bool done = false;
  {  // locals end before the jump: a computed goto runs no destructors
    const Value* object = peek(pc->b);
    const Value* at = object ? peek(pc->c) : nullptr;
    const Value* inner = at ? element_of(*object, *at) : nullptr;
    const Value* last = inner ? peek(outer.c) : nullptr;
    if (const Value* element = last ? element_of(*inner, *last) : nullptr) {
      take_element.template operator()<Kind::Any, Kind::Any>(*element, pc->b, outer.a);
      done = true;
    }
  }
  if (done) {
    pc += 2;
    DISPATCH();
  }
  if (pc->x) FAIL();
  // Otherwise the two reads run one by one, failures and all.
  if (!Vm::element(*this, *pc, R, K, failure)) FAIL();
  NEXT();
}

#define VELTRO_ELEMENT_HANDLER(op, l, i, d)                                                          \
  op_##op##_##l##i##d:                                                                               \
  if (read_element.template operator()<VELTRO_KIND_##l, VELTRO_KIND_##i, VELTRO_KIND_##d>(*pc)) NEXT();     \
  if (pc->x) FAIL();                                                                                 \
  if (!Vm::element(*this, tagged<VELTRO_KIND_##l, VELTRO_KIND_##i, VELTRO_KIND_##d>(*pc), R, K, failure)) \
    FAIL();                                                                                          \
  NEXT();
VELTRO_TYPED_ELEMENTS(VELTRO_ELEMENT_HANDLER)
#undef VELTRO_ELEMENT_HANDLER

op_Member: {
  bool ok;
  {  // locals end before the jump: a computed goto runs no destructors
    const auto& x = *static_cast<const IndexExpr*>(nodes[pc->c]);
    // An entry of a dictionary that a variable holds, when no module could
    // take the name, is read here; everything else the general way.
    const Value* bound = modules_.empty() ? env_.find_covered(pc->b) : nullptr;
    const Value* entry =
        bound && bound->is_dict() ? field_entry(*bound, *static_cast<const StringExpr&>(*x.index).literal) : nullptr;
    ok = deliver(pc->a, entry ? Value(*entry) : member_value(x));
  }
  if (!ok) FAIL();
  NEXT();
}

op_Range: {
  bool ok;
  {  // locals end before the jump: a computed goto runs no destructors
    Value from = value_or_failure(pc->b);
    Value to = value_or_failure(pc->c);
    ok = deliver(pc->a, range_value(from, to));
  }
  if (!ok) FAIL();
  NEXT();
}

op_LoadOrNull: {
  const Value* v = env_.find_covered(index(pc->b));
  R[pc->a] = v ? *v : Value();
  NEXT();
}

op_CompoundSet: {
  Vm::compound(*this, *pc, R);
  NEXT();
}

op_TakeError: {
  R[pc->a] = std::move(failure);
  JUMP(pc->d);
}

op_Fail: {
  if (!Vm::fail(*this, *pc, R, failure)) JUMP(pc->c);
  JUMP(pc->d);
}

op_Jump:
  JUMP(pc->d);

op_Loop: {
  if (round_stops()) [[unlikely]] JUMP(pc->c);
  JUMP(pc->d);
}

op_CheckSignals: {
  if (signals_ != 0 || harness::halted()) [[unlikely]] JUMP(pc->c);
  NEXT();
}

op_LoopHandler: {
  if (harness::halted()) {
    signals_ &= static_cast<std::uint8_t>(~kBreak);
    JUMP(signals_ & kReturn ? pc->c : pc->a);
  }
  if (interrupt::requested()) stop_for_interrupt();
  if (signals_ & (kReturn | kBreak)) {
    signals_ &= static_cast<std::uint8_t>(~kBreak);
    JUMP(signals_ & kReturn ? pc->c : pc->a);
  }
  signals_ &= static_cast<std::uint8_t>(~kContinue);
  JUMP(pc->b);
}

op_LoopEnd:
  signals_ &= static_cast<std::uint8_t>(~kBreak);
  NEXT();

op_TryHandler: {
  if (Vm::catches(*this, pc->b)) JUMP(pc->a);
  JUMP(pc->c);
}

op_ForPrepare: {
  const Value* v = peek(pc->b);
  if (!v || !v->is_array()) {
    Vm::not_iterable(v, pc->b);
    JUMP(pc->d);
  }
  {  // locals end before the jump: a computed goto runs no destructors
    Value array = *v;
    if (tag(pc->b) == kRegister) R[index(pc->b)].reset();
    R[pc->a] = std::move(array);
  }
  R[pc->a + 1].set_inline(ValueType::Number, 0);
  NEXT();
}

op_ForNext:
  if (!next_item(pc->a, pc->c)) JUMP(pc->d);
  NEXT();

op_RangePrepare: {
  bool ok;
  {  // locals end before the jump: a computed goto runs no destructors
    Value from = value_or_failure(pc->b);
    Value to = value_or_failure(pc->c);
    ok = Vm::range_prepare(*pc, R, std::move(from), std::move(to));
  }
  if (!ok) JUMP(pc->d);
  NEXT();
}

op_ForRound:
  if (round_stops()) [[unlikely]] JUMP(pc->c);
  if (next_item(pc->a, pc->b)) JUMP(pc->d);
  NEXT();

op_RangeRound:
  if (round_stops()) [[unlikely]] JUMP(pc->c);
  if (next_number(pc->a, pc->b)) JUMP(pc->d);
  NEXT();

op_RangeNext:
  if (!next_number(pc->a, pc->c)) JUMP(pc->d);
  NEXT();

op_Clear: {
  R[pc->a].reset();
  NEXT();
}

op_Return: {
  bool pending = !pc->x || entered == 0;
  bool ok = true;
  {  // locals end before the jump: a computed goto runs no destructors
    Value value = value_or_failure(pc->b);
    if (pending) {
      return_value_.swap(value);
      signals_ |= kReturn;
    } else {
      // The call ends with its own return, which takes the place of one
      // left pending before it (a module's top-level return).
      signals_ &= static_cast<std::uint8_t>(~kReturn);
      ok = leave(std::move(value));
    }
  }
  if (pending) JUMP(pc->c);
  if (!ok) FAIL();
  NEXT();
}

op_Break: {
  signals_ |= kBreak;
  JUMP(pc->c);
}

op_Continue: {
  signals_ |= kContinue;
  JUMP(pc->c);
}

op_Global: {
  env_.declare_global(pc->a);
  NEXT();
}

op_Function: {
  const auto& f = *static_cast<const FunctionStmt*>(nodes[pc->c]);
  env_.define(pc->a, Value::function(f.def.get()));
  NEXT();
}

op_Use: {
  execute_use(*static_cast<const UseStmt*>(nodes[pc->c]));
  NEXT();
}

op_MatchTest: {
  const Value* pattern = fetch(pc->b);
  if (!pattern) FAIL();
  if (!pattern_equal(*pattern, *peek(pc->c))) JUMP(pc->a);
  NEXT();
}

op_NoMatch: {
  log_debug(msg::kNoMatch);
  NEXT();
}

op_Exit: {
  if (entered == 0) return;
  // A call the loop entered returns to its caller.
  bool ok;
  {  // locals end before the jump: a computed goto runs no destructors
    Value result;
    if (signals_ & kReturn) {
      result.swap(return_value_);  // leaves no return value pending
      signals_ &= static_cast<std::uint8_t>(~kReturn);
    }
    ok = leave(std::move(result));
  }
  if (!ok) FAIL();
  NEXT();
}

#undef VELTRO_KIND_N
#undef VELTRO_KIND_K
#undef VELTRO_KIND_R
#undef VELTRO_KIND_A
#undef FAIL
#undef JUMP
#undef NEXT
#undef DISPATCH
}

}  // namespace veltro
