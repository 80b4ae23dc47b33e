#pragma once
// The compiler from the syntax tree to the instruction form of bytecode.h.
#include "interpreter/bytecode.h"
#include "parser/ast.h"

namespace veltro {

// A function body; `checked` gives the form that tests the pending signals
// after every statement (see CodeSet).
[[nodiscard]] Code compile_body(const Block& body, bool checked);
// One statement run on its own (top level, the prompt, a module being loaded).
[[nodiscard]] Code compile_statement(const Stmt& stmt, bool checked);
// An expression statement whose value stays in register 0 (the prompt shows it).
[[nodiscard]] Code compile_shown(const ExprStmt& stmt, bool checked);
// An expression whose value, an Error included, stays in register 0.
[[nodiscard]] Code compile_expression(const Expr& expr);

}  // namespace veltro
