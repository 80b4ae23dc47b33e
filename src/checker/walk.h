#pragma once
// Visiting the syntax tree. The parser bounds how deep a tree can be, so the
// recursion here is bounded by the same limits; on a thread whose stack is
// too small even for that, the walks stop descending where the stack runs
// low (the interpreter's guard), and what lies deeper goes unchecked.
#include "runtime/stack_guard.h"
#include "parser/ast.h"

namespace veltro::check {

// The expressions directly below `e`.
template <class F>
void expr_children(const Expr& e, F&& f) {
  switch (e.kind) {
    case ExprKind::Number:
    case ExprKind::Float:
    case ExprKind::String:
    case ExprKind::Boolean:
    case ExprKind::Identifier: return;
    case ExprKind::BinaryOp: {
      const auto& b = static_cast<const BinaryExpr&>(e);
      f(*b.left);
      f(*b.right);
      return;
    }
    case ExprKind::UnaryOp: f(*static_cast<const UnaryExpr&>(e).operand); return;
    case ExprKind::Call:
      for (const auto& a : static_cast<const CallExpr&>(e).args) f(*a);
      return;
    case ExprKind::Array:
      for (const auto& a : static_cast<const ArrayExpr&>(e).elements) f(*a);
      return;
    case ExprKind::Dict:
      for (const auto& entry : static_cast<const DictExpr&>(e).entries) f(*entry.second);
      return;
    case ExprKind::Index: {
      const auto& x = static_cast<const IndexExpr&>(e);
      f(*x.object);
      f(*x.index);
      return;
    }
    case ExprKind::Range: {
      const auto& r = static_cast<const RangeExpr&>(e);
      f(*r.start);
      f(*r.end);
      return;
    }
  }
}

// `e` and every expression below it, outermost first.
template <class F>
void each_expr(const Expr& e, F& f) {
  f(e);
  if (stack_low()) return;
  expr_children(e, [&](const Expr& child) { each_expr(child, f); });
}

// The expressions a statement holds itself (not those inside its blocks).
template <class F>
void stmt_exprs(const Stmt& s, F&& f) {
  switch (s.kind) {
    case StmtKind::Let: f(*static_cast<const LetStmt&>(s).value); return;
    case StmtKind::Assign: f(*static_cast<const AssignStmt&>(s).value); return;
    case StmtKind::CompoundAssign: f(*static_cast<const CompoundAssignStmt&>(s).value); return;
    case StmtKind::If: f(*static_cast<const IfStmt&>(s).condition); return;
    case StmtKind::While: f(*static_cast<const WhileStmt&>(s).condition); return;
    case StmtKind::For: f(*static_cast<const ForStmt&>(s).iter); return;
    case StmtKind::Match: {
      const auto& m = static_cast<const MatchStmt&>(s);
      f(*m.expr);
      for (const auto& arm : m.arms) {
        if (arm.first.value) f(*arm.first.value);
      }
      return;
    }
    case StmtKind::Return: {
      const auto& r = static_cast<const ReturnStmt&>(s);
      if (r.value) f(*r.value);
      return;
    }
    case StmtKind::Expr: f(*static_cast<const ExprStmt&>(s).expr); return;
    case StmtKind::Function:
    case StmtKind::Try:
    case StmtKind::Break:
    case StmtKind::Continue:
    case StmtKind::Global:
    case StmtKind::Use: return;
  }
}

// The statement lists a statement holds, a function's body included.
template <class F>
void stmt_blocks(const Stmt& s, F&& f) {
  switch (s.kind) {
    case StmtKind::Function: f(static_cast<const FunctionStmt&>(s).def->body); return;
    case StmtKind::If: {
      const auto& i = static_cast<const IfStmt&>(s);
      f(i.then_body);
      if (i.else_body) f(*i.else_body);
      return;
    }
    case StmtKind::While: f(static_cast<const WhileStmt&>(s).body); return;
    case StmtKind::For: f(static_cast<const ForStmt&>(s).body); return;
    case StmtKind::Match:
      for (const auto& arm : static_cast<const MatchStmt&>(s).arms) f(arm.second);
      return;
    case StmtKind::Try: {
      const auto& t = static_cast<const TryStmt&>(s);
      f(t.body);
      f(t.catch_body);
      return;
    }
    case StmtKind::Let:
    case StmtKind::Assign:
    case StmtKind::CompoundAssign:
    case StmtKind::Return:
    case StmtKind::Break:
    case StmtKind::Continue:
    case StmtKind::Global:
    case StmtKind::Use:
    case StmtKind::Expr: return;
  }
}

// Every statement of `block` and of the blocks below it, outermost first;
// with into_functions false, function bodies are not entered (the function
// statement itself is still visited).
template <class F>
void each_stmt(const Block& block, F& f, bool into_functions = true) {
  for (const auto& s : block) {
    f(*s);
    if ((!into_functions && s->kind == StmtKind::Function) || stack_low()) continue;
    stmt_blocks(*s, [&](const Block& inner) { each_stmt(inner, f, into_functions); });
  }
}

// Does `e` contain a call anywhere?
[[nodiscard]] bool has_call(const Expr& e);

}  // namespace veltro::check
