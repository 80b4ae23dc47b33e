#pragma once
// The tree-walking interpreter: all run-time state of one run (or of one
// module being loaded) and the operations that execute statements, evaluate
// expressions and dispatch calls.
#include <memory>
#include <span>
#include <string>
#include <unordered_map>

#include "interpreter/bytecode.h"
#include "interpreter/core.h"
#include "interpreter/environment.h"
#include "interpreter/registers.h"
#include "runtime/interrupt.h"
#include "parser/ast.h"
#include "runtime/harness.h"
#include "runtime/native.h"
#include "runtime/operators.h"
#include "runtime/value.h"

namespace veltro {

class ArgBuffer;

// A module's exported names. Values are immutable, so one table can be shared
// by every importer and by the cache.
struct ExportTable : std::unordered_map<std::string, Value> {
  // The built-in module whose functions these are; nullptr for a script module.
  const NativeModule* native = nullptr;
};
using ExportTablePtr = std::shared_ptr<const ExportTable>;

// The parameters and body a Function value holds (the syntax tree makes
// every function payload).
[[nodiscard]] inline const FunctionDef& function_def(const Value& function) {
  return static_cast<const FunctionDef&>(function.as_function());
}

// The native function a call's name names, bound at its first call: a
// global builtin for a plain name, a module function for a dotted one; -1
// for none. A plain name's is fixed once the natives are registered.
int native_of(const CallExpr& call);

// Native functions must be registered (runtime/native.h) before an
// interpreter runs anything.
class Interpreter {
 public:
  Interpreter() = default;
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  void execute(const Stmt& stmt) {
    if (compiled_) return run_statement(stmt);
    stmt.exec(*this, stmt);
  }
  void execute_block(const Block& block) {
    for (const auto& stmt : block) {
      if (!harness::step()) return;
      stmt->exec(*this, *stmt);
      if (signal_pending()) return;
    }
  }
  [[nodiscard]] Value evaluate(const Expr& expr) {
    if (compiled_) return run_expression(expr);
    return expr.eval(*this, expr);
  }
  // The operator rules applied to two values; a failure is reported.
  [[nodiscard]] Value apply_binary(const Value& left, ops::Op op, const Value& right);
  [[nodiscard]] Value call_function(const CallExpr& call);
  [[nodiscard]] Value call_user_function(const FunctionDef& def, std::span<const Value> args);
  // The same, moving the arguments into the parameters.
  [[nodiscard]] Value call_user_function(const FunctionDef& def, std::span<Value> args);

  // A plain name's value, or Null when it is bound nowhere.
  [[nodiscard]] Value lookup(Symbol symbol) const;

  // The element name[literal number] or name[name] reads, when the name
  // holds an array and the index is a number within it; nullptr otherwise
  // (the general way then reports whatever is wrong). Reading it changes
  // nothing.
  [[nodiscard]] const Value* leaf_element(const IndexExpr& x) const noexcept {
    const Value* object = env_.find(static_cast<const IdentifierExpr&>(*x.object).symbol);
    if (!object || !object->is_array()) return nullptr;
    std::int64_t i = 0;
    if (x.index->kind == ExprKind::Number) {
      i = static_cast<const NumberExpr&>(*x.index).value;
    } else {
      const Value* v = env_.find(static_cast<const IdentifierExpr&>(*x.index).symbol);
      if (!v || !v->is_integer()) return nullptr;
      i = v->as_number();
    }
    const auto& items = object->as_array();
    if (i < 0 || static_cast<std::uint64_t>(i) >= items.size()) return nullptr;
    return &items[static_cast<std::size_t>(i)];
  }

  [[nodiscard]] bool signal_pending() const noexcept {
    return signals_ != 0 || harness::halted();
  }
  [[nodiscard]] bool has_return() const noexcept { return (signals_ & kReturn) != 0; }

  // Runs an expression statement, reporting a failure as executing it does,
  // and hands back the value (the interactive prompt shows it).
  [[nodiscard]] Value execute_expression(const ExprStmt& stmt);

  // The result of a builtin that waits (console input, the page server) and
  // returns early when Ctrl-C is pressed: then the interrupt's error instead,
  // and the entry unwinds from here.
  [[nodiscard]] Value after_wait(Value result);

  // Runs a native function with this interpreter's module states; one that
  // waits has its result passed through after_wait.
  [[gnu::always_inline]] Value run_native(NativeIndex index, std::span<const Value> args) {
    const NativeFunction& f = natives::at(index);
    if (!f.waits) return f.fn(states_, args);
    return after_wait(f.fn(states_, args));
  }

  // After an entry that Ctrl-C stopped: drops the interrupt's pending return,
  // so the next entry starts afresh. Definitions made before stay.
  void end_interrupt() noexcept;

  Environment& environment() { return env_; }

  // Loads a module's export table: nullptr when it cannot be loaded.
  [[nodiscard]] ExportTablePtr load_module(const std::string& name);
  [[nodiscard]] ExportTablePtr export_globals() const;

 private:
  // The routines behind each node kind (evaluate.cpp, execute.cpp).
  friend struct Eval;
  friend struct Exec;
  friend struct Vm;

  // The compiled core (vm.cpp): runs code in a frame of its registers.
  void run(const Code& code, Value* frame);
  // The form of a piece of code to run now: the checked one when a signal is
  // already pending (see CodeSet). `make` compiles a form.
  template <class Make>
  const Code& code_of(std::shared_ptr<CodeSet>& set, Make&& make);
  void run_statement(const Stmt& stmt);
  [[nodiscard]] Value run_expression(const Expr& expr);
  [[nodiscard]] Value run_shown(const ExprStmt& stmt);
  void run_body(const FunctionDef& def);
  // A call whose arguments are in `args` (the compiled core's calls).
  [[nodiscard]] Value call_prepared(const CallExpr& call, std::span<Value> args);
  [[nodiscard]] Value call_updating_prepared(const CallExpr& call, Symbol variable, std::span<Value> args);
  [[nodiscard]] Value call_traced_with(const CallExpr& call, std::span<Value> args);

  void execute_use(const UseStmt& stmt);
  // Ctrl-C was pressed: unwinds like a pending return of an error that no
  // try catches, and every statement list stops.
  [[gnu::cold]] void stop_for_interrupt();
  // After a loop's body: whether the loop ends, on a pending return or break
  // or on Ctrl-C; a pending continue is done with. Tested apart, so that the
  // compiler folds the test of the signals into the one the block made after
  // its last statement, and noticing Ctrl-C costs a round one more test.
  [[nodiscard]] bool round_ends() {
    if (signals_ == 0 && !interrupt::requested()) [[likely]] return false;
    return round_ends_pending();
  }
  [[nodiscard]] bool round_ends_pending();
  [[nodiscard]] Value lookup_member(const std::string& module, const std::string& member);
  [[nodiscard]] Value index_value(const Value& object, const Value& index);
  // name.member and name["member"].
  [[nodiscard]] Value member_value(const IndexExpr& x);
  [[gnu::noinline]] [[nodiscard]] Value index_failure(const Value& object, const Value& index);
  [[nodiscard]] Value call_module_function(const CallExpr& call, std::span<const Value> args);
  // The native function a dotted call reaches, or -1; `bound` is set to the
  // table `use` bound to the module part (nullptr for none).
  [[nodiscard]] int dotted_native(const CallExpr& call, const ExportTablePtr*& bound);
  // A call whose arguments are evaluated, dotted or plain.
  [[nodiscard]] Value call_with(const CallExpr& call, ArgBuffer& args);
  // The in-place form of the native function a call reaches, when it is one
  // that returns its first argument changed; nullptr otherwise.
  [[nodiscard]] NativeUpdateFn update_of(const CallExpr& call);
  // The call of `variable = f(variable, ...)`: when f returns its first
  // argument changed, the variable gives up its own reference before f runs,
  // so that f changes a value nothing else holds in place, which makes
  // building an array or dictionary in a loop linear.
  [[nodiscard]] Value call_updating(const CallExpr& call, Symbol variable);
  [[nodiscard]] Value call_by_value(Value callee, std::span<const Value> args);
  [[nodiscard]] Value call_traced(const CallExpr& call);
  [[nodiscard]] Value evaluate_arguments(const CallExpr& call, ArgBuffer& args);
  [[nodiscard]] Value call_failed(const CallExpr& call, const Value* found, std::span<const Value> args);
  // A user call over the depth limit, or one that Ctrl-C stopped.
  [[gnu::cold]] [[nodiscard]] Value call_refused();
  // A plain (undotted) call with N arguments, N and whether the name is a
  // builtin's known when the node is prepared; it is the node's evaluation
  // routine.
  template <std::size_t N, bool Builtin>
  [[nodiscard]] static Value call_plain(Interpreter& in, const Expr& e);
  // That routine for a plain call of up to 3 arguments; nullptr for more.
  [[nodiscard]] static EvalFn plain_call_routine(const CallExpr& call);
  template <class Args>
  [[nodiscard]] Value call_evaluated(const CallExpr& call, Args& args);
  template <class Args>
  [[nodiscard]] Value call_variable(const CallExpr& call, Args& args);
  template <class Args>
  [[nodiscard]] Value run_user_function(const FunctionDef& def, Args args);

  Environment env_;

  // Pending control-flow signals, tested after every statement.
  Value return_value_;
  // One bit per signal, so that "anything pending?" is one test.
  static constexpr std::uint8_t kReturn = 1;    // return_value_ holds a value
  static constexpr std::uint8_t kBreak = 2;     // break_flag
  static constexpr std::uint8_t kContinue = 4;  // continue_flag
  static constexpr std::uint8_t kInterrupt = 8; // Ctrl-C: return_value_ holds its error
  std::uint8_t signals_ = 0;

  std::unordered_map<std::string, ExportTablePtr> modules_;       // by the name used in `use`
  std::unordered_map<std::string, ExportTablePtr> module_cache_;  // loaded script modules

  int call_depth_ = 0;
  const bool compiled_ = selected_core() == Core::Compiled;
  RegisterStack registers_;
  // A user function's call entered by the loop without leaving it: where the
  // caller goes on once the callee's code exits.
  struct Resume {
    Resume(const Code* code, const Instruction* pc, Value* registers, Rc<const FunctionDef> callee,
           Environment::Mark scope)
        : code(code), pc(pc), registers(registers), callee(std::move(callee)), scope(scope) {}
    const Code* code;       // the caller's
    const Instruction* pc;  // the call
    Value* registers;
    Rc<const FunctionDef> callee;  // the body may rebind the name; keep the function alive
    Environment::Mark scope;
  };
  std::vector<Resume> resumes_;
  // Declared last, so that a window a script opened closes first.
  ModuleStates states_;
};

// The entry of a dictionary under a key whose hash is known, or nullptr.
[[nodiscard]] inline const Value* dict_entry(const Value& dict, std::string_view key, std::size_t hash) {
  const DictMap& map = dict.as_dict();
  auto it = map.find(key, hash);
  return it == map.end() ? nullptr : &it->second;
}

// The entry of a dictionary under a literal key (name.member), or nullptr;
// the key's hash is computed once and kept on the literal.
[[nodiscard]] inline const Value* field_entry(const Value& dict, const StringObj& key) {
  if (key.hash == 0) key.hash = hash_key(key.text);
  return dict_entry(dict, key.text, key.hash);
}

// The element object[index] when it exists: an array's under an integer
// within its bounds, a dictionary's under a string key it holds; nullptr
// otherwise (the indexing then fails, see Interpreter::index_failure).
[[nodiscard]] [[gnu::always_inline]] inline const Value* element_of(const Value& object, const Value& index) {
  if (object.is_array()) {
    const auto& items = object.as_array();
    if (!index.is_integer() || static_cast<std::uint64_t>(index.as_number()) >= items.size()) return nullptr;
    return &items[static_cast<std::size_t>(index.as_number())];
  }
  if (object.is_dict() && index.is_string()) return dict_entry(object, index.as_string(), index.key_hash());
  return nullptr;
}

// Whether it is name[literal number] or name[name], the element reads
// Interpreter::leaf_element serves.
[[nodiscard]] inline bool is_leaf_element(const Expr& e) {
  if (e.kind != ExprKind::Index) return false;
  const auto& x = static_cast<const IndexExpr&>(e);
  return x.object->kind == ExprKind::Identifier &&
         (x.index->kind == ExprKind::Number || x.index->kind == ExprKind::Identifier);
}

// The rule of a binary operator token. The parser builds binary expressions
// of these tokens only.
[[nodiscard]] constexpr ops::Op binary_operator(TokenType token) {
  switch (token) {
    case TokenType::Minus: return ops::Op::Subtract;
    case TokenType::Star: return ops::Op::Multiply;
    case TokenType::Slash: return ops::Op::Divide;
    case TokenType::Percent: return ops::Op::Remainder;
    case TokenType::Power: return ops::Op::Power;
    case TokenType::Equal: return ops::Op::Equal;
    case TokenType::NotEqual: return ops::Op::NotEqual;
    case TokenType::Less: return ops::Op::Less;
    case TokenType::Greater: return ops::Op::Greater;
    case TokenType::LessEqual: return ops::Op::LessEqual;
    case TokenType::GreaterEqual: return ops::Op::GreaterEqual;
    case TokenType::And: return ops::Op::And;
    case TokenType::Or: return ops::Op::Or;
    default: return ops::Op::Add;
  }
}

// The numbers a range start..end produces, from `from` up to before `to`;
// or, in `failure`, why it produces none.
struct RangeBounds {
  std::int64_t from = 0;
  std::int64_t to = 0;
  std::string failure;
};
[[nodiscard]] RangeBounds range_bounds(const Value& start, const Value& end);
// The array start..end, or the reported failure of its bounds.
[[nodiscard]] Value range_value(const Value& start, const Value& end);

// Reports an error the moment it happens and returns it as a value.
[[nodiscard]] Value raise(std::string message);


}  // namespace veltro
