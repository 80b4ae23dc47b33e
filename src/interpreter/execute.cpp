// Statement execution. Control transfer is not done by unwinding: return,
// break and continue set pending signals that every statement list checks.
#include "console.h"
#include "interpreter/interpreter.h"
#include "interpreter/messages.h"

namespace veltro {

namespace {

TokenType arithmetic_of(TokenType compound) {
  switch (compound) {
    case TokenType::PlusAssign: return TokenType::Plus;
    case TokenType::MinusAssign: return TokenType::Minus;
    case TokenType::StarAssign: return TokenType::Star;
    default: return TokenType::Slash;
  }
}

}  // namespace

void Interpreter::execute_block(const Block& block) {
  for (const auto& stmt : block) {
    if (!harness::step()) return;
    execute(*stmt);
    if (signal_pending()) return;
  }
}

void Interpreter::execute(const Stmt& stmt) {
  switch (stmt.kind) {
    case StmtKind::Let: {
      const auto& s = static_cast<const LetStmt&>(stmt);
      Value value = evaluate(*s.value);
      if (value.is_error()) log_error(msg::let_failed(s.name, value.as_string()));
      env_.define(s.symbol, std::move(value));
      return;
    }
    case StmtKind::Assign: {
      const auto& s = static_cast<const AssignStmt&>(stmt);
      Value value = evaluate(*s.value);
      if (value.is_error()) log_error(msg::assignment_failed(s.name, value.as_string()));
      env_.define(s.symbol, std::move(value));
      return;
    }
    case StmtKind::CompoundAssign:
      run_compound(static_cast<const CompoundAssignStmt&>(stmt));
      return;
    case StmtKind::Function: {
      const auto& s = static_cast<const FunctionStmt&>(stmt);
      env_.define(s.symbol, Value::function(s.def));
      return;
    }
    case StmtKind::If: {
      const auto& s = static_cast<const IfStmt&>(stmt);
      Value condition = evaluate(*s.condition);
      if (condition.is_error()) {
        log_error(msg::if_failed(condition.as_string()));
        return;
      }
      if (condition.truthy()) {
        execute_block(s.then_body);
      } else if (s.else_body) {
        execute_block(*s.else_body);
      }
      return;
    }
    case StmtKind::While:
      run_while(static_cast<const WhileStmt&>(stmt));
      return;
    case StmtKind::For:
      run_for(static_cast<const ForStmt&>(stmt));
      return;
    case StmtKind::Match:
      run_match(static_cast<const MatchStmt&>(stmt));
      return;
    case StmtKind::Try:
      run_try(static_cast<const TryStmt&>(stmt));
      return;
    case StmtKind::Return: {
      const auto& s = static_cast<const ReturnStmt&>(stmt);
      return_value_ = s.value ? evaluate(*s.value) : Value();
      has_return_ = true;
      return;
    }
    case StmtKind::Break:
      break_flag_ = true;
      return;
    case StmtKind::Continue:
      continue_flag_ = true;
      return;
    case StmtKind::Global:
      env_.declare_global(static_cast<const GlobalStmt&>(stmt).symbol);
      return;
    case StmtKind::Use:
      execute_use(static_cast<const UseStmt&>(stmt));
      return;
    case StmtKind::Expr: {
      Value value = evaluate(*static_cast<const ExprStmt&>(stmt).expr);
      if (value.is_error()) log_error(msg::expression_failed(value.as_string()));
      return;
    }
  }
}

void Interpreter::run_compound(const CompoundAssignStmt& s) {
  Value current = lookup(s.symbol);
  Value value = evaluate(*s.value);
  if (value.is_error()) log_error(msg::compound_failed(s.name, value.as_string()));
  env_.define(s.symbol, apply_binary(current, arithmetic_of(s.op), value));
}

void Interpreter::run_while(const WhileStmt& s) {
  for (;;) {
    Value condition = evaluate(*s.condition);
    if (condition.is_error()) {
      log_error(msg::while_failed(condition.as_string()));
      break;
    }
    if (!condition.truthy() || !harness::step()) break;
    execute_block(s.body);
    if (has_return_ || break_flag_) break;
    continue_flag_ = false;
  }
  break_flag_ = false;
}

void Interpreter::run_for(const ForStmt& s) {
  Value iter = evaluate(*s.iter);
  if (iter.is_array()) {
    // `iter` keeps its own reference: the body cannot change what is iterated.
    for (const Value& element : iter.as_array()) {
      if (!harness::step()) break;
      env_.define(s.symbol, element);
      execute_block(s.body);
      if (has_return_ || break_flag_) break;
      continue_flag_ = false;
    }
    break_flag_ = false;
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

void Interpreter::run_match(const MatchStmt& s) {
  Value subject = evaluate(*s.expr);
  if (subject.is_error()) {
    log_error(msg::match_failed(subject.as_string()));
    return;
  }
  for (const auto& [pattern, body] : s.arms) {
    if (!pattern.wildcard) {
      Value candidate = evaluate(*pattern.value);
      if (candidate.is_error()) {
        log_error(msg::pattern_failed(candidate.as_string()));
        continue;
      }
      if (!pattern_equal(candidate, subject)) continue;
    }
    execute_block(body);
    return;
  }
  log_debug(msg::kNoMatch);
}

void Interpreter::run_try(const TryStmt& s) {
  execute_block(s.body);
  // Only an error made pending by a return is caught.
  if (has_return_ && return_value_.is_error()) {
    std::string message = return_value_.as_string();
    return_value_ = Value();
    has_return_ = false;
    env_.define(s.symbol, Value::string(std::move(message)));
    execute_block(s.catch_body);
  }
}

}  // namespace veltro
