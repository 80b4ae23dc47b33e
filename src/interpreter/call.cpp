// The call dispatcher: module functions, builtins, user functions.
#include "interpreter/arg_buffer.h"
#include "interpreter/interpreter.h"
#include "interpreter/messages.h"
#include "runtime/console.h"
#include "runtime/limits.h"
#include "runtime/stack_guard.h"

namespace veltro {

int native_of(const CallExpr& call) {
  if (call.native == CallExpr::kUnresolved) {
    std::optional<NativeIndex> index = natives::find(call.name);
    call.native = index ? static_cast<int>(*index) : -1;
  }
  return call.native;
}

// Evaluates a call's arguments, left to right, into `args`. The first that
// fails ends it: that Error value is returned, null otherwise.
[[gnu::always_inline]] inline Value Interpreter::evaluate_arguments(const CallExpr& call, ArgBuffer& args) {
  for (const auto& arg : call.args) {
    Value v = evaluate(*arg);
    if (v.is_error()) return v;
    args.push_back(std::move(v));
  }
  return Value();
}

Value Interpreter::call_function(const CallExpr& call) {
  if (debug_enabled()) return call_traced(call);

  ArgBuffer args;
  if (Value failed = evaluate_arguments(call, args); failed.is_error()) return failed;
  return call_with(call, args);
}

Value Interpreter::call_with(const CallExpr& call, ArgBuffer& args) {
  if (call.dotted) return call_module_function(call, args.view());
  return call_evaluated(call, args);
}

Value Interpreter::call_updating(const CallExpr& call, Symbol variable) {
  ArgBuffer args;
  if (Value failed = evaluate_arguments(call, args); failed.is_error()) return failed;
  NativeUpdateFn update = update_of(call);
  if (!update) return call_with(call, args);
  std::span<Value> taken = args.take_all();
  env_.release_if_holds(variable, taken[0]);
  return update(states_, taken);
}

NativeUpdateFn Interpreter::update_of(const CallExpr& call) {
  int native = -1;
  if (call.dotted) {
    const ExportTablePtr* bound = nullptr;
    native = dotted_native(call, bound);
  } else if (native = native_of(call); native < 0) {
    // A module's function imported by name, as call_failed reaches it.
    const Value* found = env_.find(call.symbol);
    if (found && found->is_builtin() && natives::module_of(found->as_builtin()).called_through_values) {
      native = static_cast<int>(found->as_builtin());
    }
  }
  return native >= 0 ? natives::at(static_cast<NativeIndex>(native)).update : nullptr;
}

// A plain call whose arguments are evaluated: a builtin, a user function of
// the right arity, or a failure.
template <class Args>
[[gnu::always_inline]] inline Value Interpreter::call_evaluated(const CallExpr& call, Args& args) {
  if (int native = native_of(call); native >= 0) {
    return run_native(static_cast<NativeIndex>(native), args.view());
  }
  return call_variable(call, args);
}

// The same once the name is known to be no builtin: a user function of the
// right arity, or a failure.
template <class Args>
[[gnu::always_inline]] inline Value Interpreter::call_variable(const CallExpr& call, Args& args) {
  const Value* found = env_.find(call.symbol);
  if (found && found->is_function()) {
    const FunctionDef& def = function_def(*found);
    if (def.params.size() == args.size()) {
      Rc<const FunctionDef> hold(&def);  // the body may rebind the name; keep the function alive
      return run_user_function(def, args.take_all());
    }
  }
  return call_failed(call, found, args.view());
}

template <std::size_t N, bool Builtin>
Value Interpreter::call_plain(Interpreter& in, const Expr& e) {
  const auto& call = static_cast<const CallExpr&>(e);
  if (debug_enabled()) return in.call_traced(call);
  FixedArgs<N> args;
  for (std::size_t i = 0; i < N; ++i) {
    const Expr& arg = *call.args[i];
    new (args.next()) Value(arg.eval(in, arg));
    Value& v = args.constructed();
    if (v.is_error()) return v;
  }
  if constexpr (Builtin) {
    return in.run_native(static_cast<NativeIndex>(call.native), args.view());
  } else {
    return in.call_variable(call, args);
  }
}

EvalFn Interpreter::plain_call_routine(const CallExpr& call) {
  bool builtin = native_of(call) >= 0;
  switch (call.args.size()) {
    case 0: return builtin ? &call_plain<0, true> : &call_plain<0, false>;
    case 1: return builtin ? &call_plain<1, true> : &call_plain<1, false>;
    case 2: return builtin ? &call_plain<2, true> : &call_plain<2, false>;
    case 3: return builtin ? &call_plain<3, true> : &call_plain<3, false>;
    default: return nullptr;
  }
}

// What is left of a plain call: wrong arity, a builtin value, or nothing callable.
Value Interpreter::call_failed(const CallExpr& call, const Value* found, std::span<const Value> args) {
  if (found && found->is_function()) {
    return raise(msg::wrong_arity(call.name, function_def(*found).params.size(), args.size()));
  }
  if (found && found->is_builtin()) return call_by_value(*found, args);
  return raise(msg::no_such_function(call.name));
}

// The same dispatch, writing the trace lines of the debug switch.
Value Interpreter::call_traced(const CallExpr& call) {
  log_debug_call(msg::trace_calling(call.name));
  ArgBuffer args;
  if (Value failed = evaluate_arguments(call, args); failed.is_error()) return failed;
  return call_traced_with(call, args.take_all());
}

// The trace lines that follow the evaluation of the arguments.
Value Interpreter::call_traced_with(const CallExpr& call, std::span<Value> args) {
  if (call.dotted) return call_module_function(call, args);
  if (int native = native_of(call); native >= 0) {
    Value result = run_native(static_cast<NativeIndex>(native), args);
    log_debug_call(msg::trace_builtin(call.name));
    return result;
  }
  log_debug_call(msg::trace_not_builtin(call.name));
  const Value* found = env_.find(call.symbol);
  log_debug_call(msg::trace_lookup(call.name, found ? found->debug() : Value().debug()));
  if (found && found->is_function()) {
    Value callee = *found;
    const FunctionDef& def = function_def(callee);
    log_debug_call(msg::trace_found(def.params.size()));
    if (def.params.size() == args.size()) return call_user_function(def, args);
  }
  return call_failed(call, found, args);
}

// The compiled core's call, its arguments evaluated.
Value Interpreter::call_prepared(const CallExpr& call, std::span<Value> args) {
  if (debug_enabled()) return call_traced_with(call, args);
  if (call.dotted) return call_module_function(call, args);
  if (int native = native_of(call); native >= 0) return run_native(static_cast<NativeIndex>(native), args);
  const Value* found = env_.find(call.symbol);
  if (found && found->is_function()) {
    const FunctionDef& def = function_def(*found);
    if (def.params.size() == args.size()) {
      Rc<const FunctionDef> hold(&def);  // the body may rebind the name; keep the function alive
      return run_user_function(def, args);
    }
  }
  return call_failed(call, found, args);
}

Value Interpreter::call_updating_prepared(const CallExpr& call, Symbol variable, std::span<Value> args) {
  NativeUpdateFn update = debug_enabled() ? nullptr : update_of(call);
  if (!update) return call_prepared(call, args);
  env_.release_if_holds(variable, args[0]);
  return update(states_, args);
}

Value Interpreter::call_refused() {
  bool too_deep = call_depth_ >= limits::kMaxCallDepth || stack_low();
  if (!too_deep || interrupt::requested()) {
    stop_for_interrupt();
    return return_value_;
  }
  return raise(msg::call_depth_exceeded(limits::kMaxCallDepth));
}

Value Interpreter::after_wait(Value result) {
  if (!interrupt::requested()) return result;
  stop_for_interrupt();
  return return_value_;
}

// A variable holding a module's builtin function. Only some modules run
// their functions this way; the others answer null.
Value Interpreter::call_by_value(Value callee, std::span<const Value> args) {
  NativeIndex index = callee.as_builtin();
  if (!natives::module_of(index).called_through_values) return Value();
  return run_native(index, args);
}

// A module that owns its name is reached through it whatever `use` bound to
// it; a library module through the table `use` bound, under its own name or
// an alias.
int Interpreter::dotted_native(const CallExpr& call, const ExportTablePtr*& bound) {
  auto it = modules_.find(call.module_part);
  if (it == modules_.end()) {
    bound = nullptr;
    return -1;
  }
  bound = &it->second;
  const ExportTable& table = *it->second;
  if (int native = native_of(call); native >= 0) {
    const NativeModule& owner = natives::module_of(static_cast<NativeIndex>(native));
    if (owner.owns_name || table.native == &owner) return native;
  }
  if (table.native && !table.native->owns_name) {
    auto entry = table.find(call.function_part);
    if (entry != table.end()) return static_cast<int>(entry->second.as_builtin());
  }
  return -1;
}

// A dotted call: a built-in module's function (see dotted_native), or
// otherwise a user function exported by a script module.
Value Interpreter::call_module_function(const CallExpr& call, std::span<const Value> args) {
  const ExportTablePtr* bound = nullptr;
  if (int native = dotted_native(call, bound); native >= 0) {
    return run_native(static_cast<NativeIndex>(native), args);
  }
  if (!bound) return raise(msg::module_not_imported(call.module_part));
  if (const NativeModule* module = natives::find_module(call.module_part); module && module->owns_name) {
    return raise(module->unknown_function(call.function_part));
  }
  if (const NativeModule* library = (*bound)->native; library && !library->owns_name) {
    return raise(library->unknown_function(call.function_part));
  }

  ExportTablePtr table = *bound;  // a later `use` may replace the entry while the body runs
  auto entry = table->find(call.function_part);
  if (entry == table->end() || !entry->second.is_function()) {
    return raise(msg::module_no_function(call.module_part, call.function_part));
  }
  Value callee = entry->second;
  return call_user_function(function_def(callee), args);
}

template <class Args>
Value Interpreter::run_user_function(const FunctionDef& def, Args args) {
  // The limit drops to 0 when Ctrl-C is pressed, so this one test also stops
  // an interrupted entry at its next call.
  if (call_depth_ >= interrupt::call_limit() || stack_low()) return call_refused();
  ++call_depth_;
  Environment::Mark scope = env_.enter_scope();
  env_.bind_parameters(def.param_symbols, args, def.distinct_params);
  if (compiled_) {
    run_body(def);
  } else {
    execute_block(def.body);
  }
  Value result;
  if (signals_ & kReturn) {
    result.swap(return_value_);  // leaves no return value pending
    signals_ &= static_cast<std::uint8_t>(~kReturn);
  }
  env_.leave_scope(scope);
  --call_depth_;
  return result;
}

Value Interpreter::call_user_function(const FunctionDef& def, std::span<const Value> args) {
  return run_user_function(def, args);
}

Value Interpreter::call_user_function(const FunctionDef& def, std::span<Value> args) {
  return run_user_function(def, args);
}

}  // namespace veltro
