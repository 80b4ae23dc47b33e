#include "parser/ast.h"

#include "runtime/text.h"

namespace veltro {

bool is_arithmetic_operator(TokenType op) {
  switch (op) {
    case TokenType::Plus: case TokenType::Minus: case TokenType::Star: case TokenType::Slash:
    case TokenType::Percent: case TokenType::Power: case TokenType::Equal: case TokenType::NotEqual:
    case TokenType::Less: case TokenType::Greater: case TokenType::LessEqual: case TokenType::GreaterEqual:
      return true;
    default:
      return false;
  }
}

CallExpr::CallExpr(std::string n, std::vector<ExprPtr> a) : Expr(ExprKind::Call), name(std::move(n)), args(std::move(a)),
      arg_count(static_cast<std::uint32_t>(args.size())) {
  if (auto dot = name.find('.'); dot != std::string::npos) {
    dotted = true;
    module_part = name.substr(0, dot);
    function_part = name.substr(dot + 1);
  } else {
    symbol = intern(name);
  }
}

namespace {

void append_expr_list(std::string& out, const std::vector<ExprPtr>& list) {
  out += '[';
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) out += ", ";
    append_debug(out, *list[i]);
  }
  out += ']';
}

void append_names(std::string& out, const std::vector<std::string>& names) {
  out += '[';
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i) out += ", ";
    text::append_quoted(out, names[i]);
  }
  out += ']';
}

}  // namespace

void append_debug(std::string& out, const Expr& expr) {
  switch (expr.kind) {
    case ExprKind::Number:
      out += "Number(" + std::to_string(static_cast<const NumberExpr&>(expr).value) + ")";
      return;
    case ExprKind::Float:
      out += "Float(";
      text::append_float_debug(out, static_cast<const FloatExpr&>(expr).value);
      out += ')';
      return;
    case ExprKind::String:
      out += "String(";
      text::append_quoted(out, static_cast<const StringExpr&>(expr).value);
      out += ')';
      return;
    case ExprKind::Boolean:
      out += static_cast<const BooleanExpr&>(expr).value ? "Boolean(true)" : "Boolean(false)";
      return;
    case ExprKind::Identifier:
      out += "Identifier(";
      text::append_quoted(out, static_cast<const IdentifierExpr&>(expr).name);
      out += ')';
      return;
    case ExprKind::BinaryOp: {
      const auto& e = static_cast<const BinaryExpr&>(expr);
      out += "BinaryOp { left: ";
      append_debug(out, *e.left);
      out += ", op: ";
      out += token_type_name(e.op);
      out += ", right: ";
      append_debug(out, *e.right);
      out += " }";
      return;
    }
    case ExprKind::UnaryOp: {
      const auto& e = static_cast<const UnaryExpr&>(expr);
      out += "UnaryOp { op: ";
      out += token_type_name(e.op);
      out += ", operand: ";
      append_debug(out, *e.operand);
      out += " }";
      return;
    }
    case ExprKind::Call: {
      const auto& e = static_cast<const CallExpr&>(expr);
      out += "Call { name: ";
      text::append_quoted(out, e.name);
      out += ", args: ";
      append_expr_list(out, e.args);
      out += " }";
      return;
    }
    case ExprKind::Array:
      out += "Array(";
      append_expr_list(out, static_cast<const ArrayExpr&>(expr).elements);
      out += ')';
      return;
    case ExprKind::Dict: {
      const auto& e = static_cast<const DictExpr&>(expr);
      out += "Dict([";
      for (std::size_t i = 0; i < e.entries.size(); ++i) {
        if (i) out += ", ";
        out += '(';
        text::append_quoted(out, e.entries[i].first);
        out += ", ";
        append_debug(out, *e.entries[i].second);
        out += ')';
      }
      out += "])";
      return;
    }
    case ExprKind::Index: {
      const auto& e = static_cast<const IndexExpr&>(expr);
      out += "Index { object: ";
      append_debug(out, *e.object);
      out += ", index: ";
      append_debug(out, *e.index);
      out += " }";
      return;
    }
    case ExprKind::Range: {
      const auto& e = static_cast<const RangeExpr&>(expr);
      out += "Range { start: ";
      append_debug(out, *e.start);
      out += ", end: ";
      append_debug(out, *e.end);
      out += " }";
      return;
    }
  }
}

void append_debug(std::string& out, const Block& block) {
  out += '[';
  for (std::size_t i = 0; i < block.size(); ++i) {
    if (i) out += ", ";
    append_debug(out, *block[i]);
  }
  out += ']';
}

void append_debug(std::string& out, const Pattern& pattern) {
  if (pattern.wildcard) {
    out += "Wildcard";
    return;
  }
  out += "Value(";
  append_debug(out, *pattern.value);
  out += ')';
}

void append_debug(std::string& out, const Stmt& stmt) {
  switch (stmt.kind) {
    case StmtKind::Let:
    case StmtKind::Assign: {
      bool let = stmt.kind == StmtKind::Let;
      const std::string& name = let ? static_cast<const LetStmt&>(stmt).name : static_cast<const AssignStmt&>(stmt).name;
      const Expr& value = let ? *static_cast<const LetStmt&>(stmt).value : *static_cast<const AssignStmt&>(stmt).value;
      out += let ? "Let { name: " : "Assign { name: ";
      text::append_quoted(out, name);
      out += ", value: ";
      append_debug(out, value);
      out += " }";
      return;
    }
    case StmtKind::CompoundAssign: {
      const auto& s = static_cast<const CompoundAssignStmt&>(stmt);
      out += "CompoundAssign { name: ";
      text::append_quoted(out, s.name);
      out += ", op: ";
      out += token_type_name(s.op);
      out += ", value: ";
      append_debug(out, *s.value);
      out += " }";
      return;
    }
    case StmtKind::Function: {
      const auto& s = static_cast<const FunctionStmt&>(stmt);
      out += "Function { name: ";
      text::append_quoted(out, s.name);
      out += ", params: ";
      append_names(out, s.def->params);
      out += ", body: ";
      append_debug(out, s.def->body);
      out += " }";
      return;
    }
    case StmtKind::If: {
      const auto& s = static_cast<const IfStmt&>(stmt);
      out += "If { condition: ";
      append_debug(out, *s.condition);
      out += ", then_body: ";
      append_debug(out, s.then_body);
      out += ", else_body: ";
      if (s.else_body) {
        out += "Some(";
        append_debug(out, *s.else_body);
        out += ')';
      } else {
        out += "None";
      }
      out += " }";
      return;
    }
    case StmtKind::While: {
      const auto& s = static_cast<const WhileStmt&>(stmt);
      out += "While { condition: ";
      append_debug(out, *s.condition);
      out += ", body: ";
      append_debug(out, s.body);
      out += " }";
      return;
    }
    case StmtKind::For: {
      const auto& s = static_cast<const ForStmt&>(stmt);
      out += "For { var: ";
      text::append_quoted(out, s.var);
      out += ", iter: ";
      append_debug(out, *s.iter);
      out += ", body: ";
      append_debug(out, s.body);
      out += " }";
      return;
    }
    case StmtKind::Match: {
      const auto& s = static_cast<const MatchStmt&>(stmt);
      out += "Match { expr: ";
      append_debug(out, *s.expr);
      out += ", arms: [";
      for (std::size_t i = 0; i < s.arms.size(); ++i) {
        if (i) out += ", ";
        out += '(';
        append_debug(out, s.arms[i].first);
        out += ", ";
        append_debug(out, s.arms[i].second);
        out += ')';
      }
      out += "] }";
      return;
    }
    case StmtKind::Try: {
      const auto& s = static_cast<const TryStmt&>(stmt);
      out += "Try { body: ";
      append_debug(out, s.body);
      out += ", catch_var: ";
      text::append_quoted(out, s.catch_var);
      out += ", catch_body: ";
      append_debug(out, s.catch_body);
      out += " }";
      return;
    }
    case StmtKind::Return: {
      const auto& s = static_cast<const ReturnStmt&>(stmt);
      if (s.value) {
        out += "Return(Some(";
        append_debug(out, *s.value);
        out += "))";
      } else {
        out += "Return(None)";
      }
      return;
    }
    case StmtKind::Break:
      out += "Break";
      return;
    case StmtKind::Continue:
      out += "Continue";
      return;
    case StmtKind::Global:
      out += "Global(";
      text::append_quoted(out, static_cast<const GlobalStmt&>(stmt).name);
      out += ')';
      return;
    case StmtKind::Use: {
      const auto& s = static_cast<const UseStmt&>(stmt);
      out += "Use { module: ";
      text::append_quoted(out, s.module);
      out += ", alias: ";
      if (s.alias) {
        out += "Some(";
        text::append_quoted(out, *s.alias);
        out += ')';
      } else {
        out += "None";
      }
      out += ", items: ";
      if (s.items) {
        out += "Some(";
        append_names(out, *s.items);
        out += ')';
      } else {
        out += "None";
      }
      out += " }";
      return;
    }
    case StmtKind::Expr:
      out += "Expr(";
      append_debug(out, *static_cast<const ExprStmt&>(stmt).expr);
      out += ')';
      return;
  }
}

// The debug form of a function value: Function { params: ["a"], body: [...] }.
void FunctionDef::append_debug(std::string& out) const {
  out += "Function { params: ";
  append_names(out, params);
  out += ", body: ";
  veltro::append_debug(out, body);
  out += " }";
}

std::string debug_text(const Expr& expr) {
  std::string out;
  append_debug(out, expr);
  return out;
}

std::string debug_text(const Stmt& stmt) {
  std::string out;
  append_debug(out, stmt);
  return out;
}

std::string debug_text(const Pattern& pattern) {
  std::string out;
  append_debug(out, pattern);
  return out;
}

}  // namespace veltro
