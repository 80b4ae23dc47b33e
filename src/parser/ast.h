#pragma once
// The syntax tree: expressions, statements and match patterns. Nodes own their
// children; a function's parameters and body live in a shared FunctionDef so
// that function values can keep them without copying.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lexer/token.h"
#include "parser/symbols.h"
#include "runtime/refcount.h"
#include "runtime/shared_string.h"
#include "runtime/value.h"

namespace veltro {

class Interpreter;
struct CodeSet;
struct Expr;
struct Stmt;

// How the interpreter runs a node. Every node starts with the preparing
// entry, which picks the routine suited to the node's shape on first use and
// stores it here; the tree is otherwise unchanged after parsing.
using EvalFn = Value (*)(Interpreter&, const Expr&);
using ExecFn = void (*)(Interpreter&, const Stmt&);
// The numeric routine of a node of an arithmetic tree (see numeric_tree.h).
struct Num;
using NumFn = Num (*)(Interpreter&, const Expr&);
Value prepare_expr(Interpreter& interpreter, const Expr& expr);
void prepare_stmt(Interpreter& interpreter, const Stmt& stmt);

enum class ExprKind : std::uint8_t {
  Number, Float, String, Boolean, Identifier, BinaryOp, UnaryOp, Call, Array, Dict, Index, Range,
};

struct Expr {
  explicit Expr(ExprKind k) : kind(k) {}
  virtual ~Expr() = default;
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;
  const ExprKind kind;
  // Height of the subtree (a leaf is 1); the parser bounds it so that every
  // recursive walk over the tree stays within the stack.
  std::uint32_t depth = 1;
  // Made only of number and float literals, names, reads of a name's
  // elements, arithmetic and comparisons (an arithmetic tree, see
  // numeric_tree.h).
  bool arithmetic = false;
  mutable EvalFn eval = &prepare_expr;
  mutable NumFn num = nullptr;
};
using ExprPtr = std::unique_ptr<Expr>;

[[nodiscard]] bool is_arithmetic_operator(TokenType op);

struct NumberExpr : Expr {
  explicit NumberExpr(std::int64_t v) : Expr(ExprKind::Number), value(v) { arithmetic = true; }
  std::int64_t value;
};

struct FloatExpr : Expr {
  explicit FloatExpr(double v) : Expr(ExprKind::Float), value(v) { arithmetic = true; }
  double value;
};

struct StringExpr : Expr {
  explicit StringExpr(std::string v) : Expr(ExprKind::String), literal(make_rc<StringObj>(std::move(v))), value(literal->text) {}
  Rc<StringObj> literal;
  const std::string& value;
};

struct BooleanExpr : Expr {
  explicit BooleanExpr(bool v) : Expr(ExprKind::Boolean), value(v) {}
  bool value;
};

struct IdentifierExpr : Expr {
  explicit IdentifierExpr(std::string n) : Expr(ExprKind::Identifier), name(std::move(n)), symbol(intern(name)) {
    arithmetic = true;
  }
  std::string name;
  Symbol symbol;
};

struct BinaryExpr : Expr {
  BinaryExpr(ExprPtr l, TokenType o, ExprPtr r)
      : Expr(ExprKind::BinaryOp), left(std::move(l)), op(o), right(std::move(r)) {
    arithmetic = left && right && left->arithmetic && right->arithmetic && is_arithmetic_operator(op);
  }
  ExprPtr left;
  TokenType op;
  ExprPtr right;
};

struct UnaryExpr : Expr {
  UnaryExpr(TokenType o, ExprPtr e) : Expr(ExprKind::UnaryOp), op(o), operand(std::move(e)) {
    arithmetic = operand && operand->arithmetic && op == TokenType::Minus;
  }
  TokenType op;
  ExprPtr operand;
};

struct CallExpr : Expr {
  CallExpr(std::string n, std::vector<ExprPtr> a);
  std::string name;
  std::vector<ExprPtr> args;
  std::uint32_t arg_count;  // args.size(), kept at hand
  // How the name reads: a plain name (symbol), or module and function parts
  // split at the first dot.
  bool dotted = false;
  Symbol symbol = kNoSymbol;
  std::string module_part;
  std::string function_part;
  // Bound by the interpreter at the first call: the index of the native
  // function the name names (a global builtin for a plain name, a module
  // function for a dotted one), -1 for none, kUnresolved before.
  static constexpr int kUnresolved = -2;
  mutable int native = kUnresolved;
};

struct ArrayExpr : Expr {
  explicit ArrayExpr(std::vector<ExprPtr> e) : Expr(ExprKind::Array), elements(std::move(e)) {}
  std::vector<ExprPtr> elements;
};

struct DictExpr : Expr {
  using Entry = std::pair<std::string, ExprPtr>;
  explicit DictExpr(std::vector<Entry> e) : Expr(ExprKind::Dict), entries(std::move(e)) {}
  std::vector<Entry> entries;
};

struct IndexExpr : Expr {
  IndexExpr(ExprPtr o, ExprPtr i) : Expr(ExprKind::Index), object(std::move(o)), index(std::move(i)) {
    // name[arithmetic], name[name[...]] and name.member read a stored value
    // and can take part in arithmetic trees.
    arithmetic = object && index && object->kind == ExprKind::Identifier &&
                 (index->arithmetic || index->kind == ExprKind::String);
  }
  ExprPtr object;
  ExprPtr index;
};

struct RangeExpr : Expr {
  RangeExpr(ExprPtr s, ExprPtr e) : Expr(ExprKind::Range), start(std::move(s)), end(std::move(e)) {}
  ExprPtr start;
  ExprPtr end;
};

enum class StmtKind : std::uint8_t {
  Let, Assign, CompoundAssign, Function, If, While, For, Match, Try, Return, Break, Continue,
  Global, Use, Expr,
};

struct Stmt {
  explicit Stmt(StmtKind k) : kind(k) {}
  virtual ~Stmt() = default;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  const StmtKind kind;
  mutable ExecFn exec = &prepare_stmt;
  // Its compiled form when it runs on its own (a top-level statement),
  // made at its first run.
  mutable std::shared_ptr<CodeSet> code;
};
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

// Parameters and body of a function, shared by the tree and function values.
struct FunctionDef final : FunctionObj {
  std::vector<std::string> params;
  std::vector<Symbol> param_symbols;
  std::uint32_t arity = 0;      // how many parameters
  bool distinct_params = true;  // no name repeats among the parameters
  Block body;
  mutable std::shared_ptr<CodeSet> code;  // the body compiled, at the first call

  void append_debug(std::string& out) const override;
};

struct Pattern {
  bool wildcard = false;
  ExprPtr value;  // absent for the wildcard
};

struct LetStmt : Stmt {
  LetStmt(std::string n, ExprPtr v) : Stmt(StmtKind::Let), name(std::move(n)), symbol(intern(name)), value(std::move(v)) {}
  std::string name;
  Symbol symbol;
  ExprPtr value;
};

struct AssignStmt : Stmt {
  AssignStmt(std::string n, ExprPtr v) : Stmt(StmtKind::Assign), name(std::move(n)), symbol(intern(name)), value(std::move(v)) {}
  std::string name;
  Symbol symbol;
  ExprPtr value;
};

struct CompoundAssignStmt : Stmt {
  CompoundAssignStmt(std::string n, TokenType o, ExprPtr v)
      : Stmt(StmtKind::CompoundAssign), name(std::move(n)), symbol(intern(name)), op(o), value(std::move(v)) {}
  std::string name;
  Symbol symbol;
  TokenType op;  // PlusAssign, MinusAssign, StarAssign or SlashAssign
  ExprPtr value;
};

struct FunctionStmt : Stmt {
  FunctionStmt(std::string n, Rc<FunctionDef> d)
      : Stmt(StmtKind::Function), name(std::move(n)), symbol(intern(name)), def(std::move(d)) {}
  std::string name;
  Symbol symbol;
  Rc<FunctionDef> def;
};

struct IfStmt : Stmt {
  IfStmt(ExprPtr c, Block t, std::optional<Block> e)
      : Stmt(StmtKind::If), condition(std::move(c)), then_body(std::move(t)), else_body(std::move(e)) {}
  ExprPtr condition;
  Block then_body;
  std::optional<Block> else_body;
};

struct WhileStmt : Stmt {
  WhileStmt(ExprPtr c, Block b) : Stmt(StmtKind::While), condition(std::move(c)), body(std::move(b)) {}
  ExprPtr condition;
  Block body;
};

struct ForStmt : Stmt {
  ForStmt(std::string v, ExprPtr i, Block b)
      : Stmt(StmtKind::For), var(std::move(v)), symbol(intern(var)), iter(std::move(i)), body(std::move(b)) {}
  std::string var;
  Symbol symbol;
  ExprPtr iter;
  Block body;
};

struct MatchStmt : Stmt {
  using Arm = std::pair<Pattern, Block>;
  MatchStmt(ExprPtr e, std::vector<Arm> a) : Stmt(StmtKind::Match), expr(std::move(e)), arms(std::move(a)) {}
  ExprPtr expr;
  std::vector<Arm> arms;
};

struct TryStmt : Stmt {
  TryStmt(Block b, std::string v, Block c)
      : Stmt(StmtKind::Try), body(std::move(b)), catch_var(std::move(v)), symbol(intern(catch_var)), catch_body(std::move(c)) {}
  Block body;
  std::string catch_var;
  Symbol symbol;
  Block catch_body;
};

struct ReturnStmt : Stmt {
  explicit ReturnStmt(ExprPtr v) : Stmt(StmtKind::Return), value(std::move(v)) {}
  ExprPtr value;  // null for a bare return
};

struct BreakStmt : Stmt {
  BreakStmt() : Stmt(StmtKind::Break) {}
};

struct ContinueStmt : Stmt {
  ContinueStmt() : Stmt(StmtKind::Continue) {}
};

struct GlobalStmt : Stmt {
  explicit GlobalStmt(std::string n) : Stmt(StmtKind::Global), name(std::move(n)), symbol(intern(name)) {}
  std::string name;
  Symbol symbol;
};

struct UseStmt : Stmt {
  UseStmt(std::string m, std::optional<std::string> a, std::optional<std::vector<std::string>> i)
      : Stmt(StmtKind::Use), module(std::move(m)), alias(std::move(a)), items(std::move(i)) {}
  std::string module;
  std::optional<std::string> alias;
  std::optional<std::vector<std::string>> items;
};

struct ExprStmt : Stmt {
  explicit ExprStmt(ExprPtr e) : Stmt(StmtKind::Expr), expr(std::move(e)) {}
  ExprPtr expr;
};

// One-line debug text of a node, as in
// BinaryOp { left: Number(1), op: Plus, right: Number(2) }.
[[nodiscard]] std::string debug_text(const Expr& expr);
[[nodiscard]] std::string debug_text(const Stmt& stmt);
[[nodiscard]] std::string debug_text(const Pattern& pattern);
void append_debug(std::string& out, const Expr& expr);
void append_debug(std::string& out, const Stmt& stmt);
void append_debug(std::string& out, const Block& block);
void append_debug(std::string& out, const Pattern& pattern);

}  // namespace veltro
