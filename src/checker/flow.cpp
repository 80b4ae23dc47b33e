// Control flow within functions and blocks.
#include <fmt/format.h>

#include <string>
#include <unordered_map>

#include "checker/rules.h"
#include "checker/walk.h"

namespace veltro::check {

bool has_call(const Expr& e) {
  bool found = false;
  auto visit = [&](const Expr& x) { found = found || x.kind == ExprKind::Call; };
  each_expr(e, visit);
  return found;
}

namespace {

bool contains_return(const Block& block) {
  bool found = false;
  auto visit = [&](const Stmt& s) { found = found || s.kind == StmtKind::Return; };
  each_stmt(block, visit, false);
  return found;
}

class FlowPass {
 public:
  FlowPass(const Unit& unit, std::vector<Finding>& out) : unit_(unit), out_(out) {
    for (const DropEvent& d : unit.drops()) {
      if (d.what == ParseListener::Drop::ArmPattern) dropped_patterns_[d.first] = d.at;
    }
  }

  void run() { block(unit_.program(), Context{0, true}); }

 private:
  struct Context {
    int loops;
    bool top_level;
  };

  const Unit& unit_;
  std::vector<Finding>& out_;
  std::unordered_map<std::size_t, std::size_t> dropped_patterns_;  // first token -> end

  void emit(Code code, std::size_t first, std::size_t end, std::string message) {
    add(unit_, first, unit_.finding(code, first, end, std::move(message)), out_);
  }

  static bool runs_before_main(const Stmt& s) {
    return s.kind == StmtKind::Function || s.kind == StmtKind::Use || s.kind == StmtKind::Let;
  }

  // A top-level `break` or `continue` stays pending without stopping the script's next statements
  // (it cuts short the next loop instead); a top-level `return` ends the run.
  static bool ends_block(const Stmt& s, Context context) {
    if (s.kind == StmtKind::Return) return true;
    return (s.kind == StmtKind::Break || s.kind == StmtKind::Continue) && !context.top_level;
  }

  void block(const Block& statements, Context context) {
    if (stack_low()) return;
    const Stmt* ended_by = nullptr;
    bool reported = false;
    for (const auto& s : statements) {
      if (ended_by && !reported && !(context.top_level && runs_before_main(*s))) {
        reported = true;
        NodeSpan span = unit_.span(*s);
        NodeSpan end = unit_.span(*ended_by);
        emit(Code::Unreachable, span.first, span.end,
             fmt::format("this statement never runs: the {} on line {} ends the block before it",
                         quote(unit_.source(end.first, end.first + 1)), unit_.place(end.first).line));
      }
      statement(*s, context);
      if (!ended_by && ends_block(*s, context)) ended_by = s.get();
    }
  }

  void statement(const Stmt& s, Context context) {
    NodeSpan span = unit_.span(s);
    Context inner{context.loops, false};
    switch (s.kind) {
      case StmtKind::Return: {
        const auto& r = static_cast<const ReturnStmt&>(s);
        if (!r.value) return;
        NodeSpan value = unit_.span(*r.value);
        if (unit_.place(value.first).line > unit_.place(span.first).line) {
          emit(Code::ReturnNextLine, span.first, span.first + 1,
               fmt::format("`return` at the end of a line takes {} on line {} as its value: that runs and its "
                           "value is returned; write `return;` to return nothing, or put the value on this line",
                           quote(unit_.source(value.first, value.end)), unit_.place(value.first).line));
        }
        return;
      }
      case StmtKind::Break:
      case StmtKind::Continue:
        if (context.loops == 0) {
          emit(Code::BreakOutsideLoop, span.first, span.first + 1,
               fmt::format("{} is not inside a loop: it stays pending and cuts short every block that runs until "
                           "some loop ends (a caller's loop too)",
                           quote(unit_.source(span.first, span.first + 1))));
        }
        return;
      case StmtKind::Expr: expression_statement(static_cast<const ExprStmt&>(s), span); return;
      case StmtKind::Try: {
        const auto& t = static_cast<const TryStmt&>(s);
        if (!contains_return(t.body)) {
          emit(Code::TryWithoutReturn, span.first, span.first + 1,
               "the `catch` block never runs: `catch` sees only an error that a `return` in the `try` body makes "
               "pending, and this body has no `return`; return the expression that can fail");
        }
        block(t.body, inner);
        block(t.catch_body, inner);
        return;
      }
      case StmtKind::Match:
        for (const auto& arm : static_cast<const MatchStmt&>(s).arms) {
          if (!arm_without_braces(arm.second)) block(arm.second, inner);
        }
        return;
      case StmtKind::Function: block(static_cast<const FunctionStmt&>(s).def->body, Context{0, false}); return;
      case StmtKind::While: block(static_cast<const WhileStmt&>(s).body, Context{context.loops + 1, false}); return;
      case StmtKind::For: block(static_cast<const ForStmt&>(s).body, Context{context.loops + 1, false}); return;
      case StmtKind::If: stmt_blocks(s, [&](const Block& b) { block(b, inner); }); return;
      case StmtKind::Let:
      case StmtKind::Assign:
      case StmtKind::CompoundAssign:
      case StmtKind::Global:
      case StmtKind::Use: return;
    }
  }

  void expression_statement(const ExprStmt& s, NodeSpan span) {
    if (unit_.token(span.first).type == TokenType::Semicolon) return;  // a lone `;`
    if (is_assignment_token(unit_.token(span.end).type)) return;       // an element assignment, reported as such
    if (s.expr->kind == ExprKind::Dict && unit_.token(span.first).type == TokenType::LBrace) return;
    if (has_call(*s.expr)) return;
    NodeSpan expr = unit_.span(*s.expr);
    std::string_view written = unit_.source(expr.first, expr.end);
    if (s.expr->kind == ExprKind::BinaryOp) {
      const auto& b = static_cast<const BinaryExpr&>(*s.expr);
      if (b.op == TokenType::Equal && b.left->kind == ExprKind::Identifier) {
        NodeSpan right = unit_.span(*b.right);
        emit(Code::ExpressionWithoutEffect, expr.first, expr.end,
             fmt::format("{} compares and throws the result away; to assign, write `{} = {}`", quote(written),
                         static_cast<const IdentifierExpr&>(*b.left).name, unit_.source(right.first, right.end)));
        return;
      }
    }
    emit(Code::ExpressionWithoutEffect, expr.first, expr.end,
         fmt::format("{} is computed and thrown away: this statement has no effect", quote(written)));
  }

  // A match arm written `pattern => expression`: one expression statement
  // right after the `=>`. Reports it when it can have no effect.
  bool arm_without_braces(const Block& body) {
    if (body.size() != 1 || body[0]->kind != StmtKind::Expr) return false;
    NodeSpan span = unit_.span(*body[0]);
    if (span.first == 0 || unit_.token(span.first - 1).type != TokenType::FatArrow) return false;
    const auto& e = static_cast<const ExprStmt&>(*body[0]);
    TokenType after = unit_.token(span.end).type;
    if (is_assignment_token(after)) {
      // The parser skips the operator and drops what follows as a pattern.
      std::size_t end = span.end + 1;
      if (auto dropped = dropped_patterns_.find(end); dropped != dropped_patterns_.end()) end = dropped->second;
      std::string_view written = unit_.source(span.first, end);
      emit(Code::ArmWithoutEffect, span.first, end,
           fmt::format("a match arm without braces takes one expression: {} is not an assignment here, only {} is "
                       "read and the rest is dropped; write `=> {{ {} }}`",
                       quote(written), quote(unit_.source(span.first, span.end)), written));
      return true;
    }
    if (!has_call(*e.expr)) {
      NodeSpan expr = unit_.span(*e.expr);
      emit(Code::ArmWithoutEffect, expr.first, expr.end,
           fmt::format("this arm body {} has no effect: a match arm runs statements and gives no value",
                       quote(unit_.source(expr.first, expr.end))));
    }
    return true;
  }
};

}  // namespace

void check_flow(const Unit& unit, std::vector<Finding>& out) { FlowPass(unit, out).run(); }

}  // namespace veltro::check
