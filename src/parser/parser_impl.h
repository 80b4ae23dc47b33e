#pragma once
// The parser's code, compiled twice: as Parser in parser.cpp and as
// ListeningParser in listening_parser.cpp, each in a file of its own so that
// the listening build cannot change how the one that runs scripts is
// optimised. Include it only there.
#include "parser/parser.h"

#include <algorithm>

#include <fmt/format.h>

#include "runtime/stack_guard.h"
#include "runtime/limits.h"

namespace veltro {

// Internal to the two files that include it.
namespace {

const Token& eof_token() {
  static const Token token{TokenType::EOF_, 0, 0.0, {}};
  return token;
}

std::uint32_t depth_of(const ExprPtr& e) { return e ? e->depth : 0; }

template <class T, class... Args>
ExprPtr node(std::uint32_t child_depth, Args&&... args) {
  auto e = std::make_unique<T>(std::forward<Args>(args)...);
  e->depth = child_depth + 1;
  return e;
}

std::uint32_t max_depth(const std::vector<ExprPtr>& list) {
  std::uint32_t d = 0;
  for (const auto& e : list) d = std::max(d, depth_of(e));
  return d;
}

}  // namespace

template <bool Listening>
BasicParser<Listening>::BasicParser(const std::vector<Token>& tokens) requires(!Listening)
    : tokens_(tokens),
      max_nesting_(static_cast<int>(scaled_to_stack(limits::kMaxNestingDepth))),
      max_expression_depth_(scaled_to_stack(limits::kMaxExpressionDepth)) {}

template <bool Listening>
BasicParser<Listening>::BasicParser(const std::vector<Token>& tokens, ParseListener& listener) requires(Listening)
    : tokens_(tokens),
      max_nesting_(static_cast<int>(scaled_to_stack(limits::kMaxNestingDepth))),
      max_expression_depth_(scaled_to_stack(limits::kMaxExpressionDepth)),
      listener_(&listener) {}

// Once a limit is passed the parser sees only EOF, so every loop ends at once.
template <bool Listening>
const Token& BasicParser<Listening>::current() const {
  if (too_deep() || pos_ >= tokens_.size()) return eof_token();
  return tokens_[pos_];
}

template <bool Listening>
const Token& BasicParser<Listening>::ahead(std::size_t n) const {
  if (too_deep() || pos_ + n >= tokens_.size()) return eof_token();
  return tokens_[pos_ + n];
}

template <bool Listening>
bool BasicParser<Listening>::expect(TokenType type) {
  if (!check(type)) return false;
  advance();
  return true;
}

template <bool Listening>
void BasicParser<Listening>::skip_semicolon() { (void)expect(TokenType::Semicolon); }

template <bool Listening>
void BasicParser<Listening>::expect_close(TokenType close, std::size_t open) {
  if (!expect(close)) drop(Drop::Unclosed, open, pos_, close);
}

template <bool Listening>
bool BasicParser<Listening>::enter() {
  if (++nesting_ > max_nesting_ && !too_deep()) {
    limit_message_ = fmt::format("Maximum nesting depth of {} exceeded", max_nesting_);
    drop(Drop::TooDeep, pos_, pos_);
  }
  return !too_deep();
}

template <bool Listening>
ExprPtr BasicParser<Listening>::limit_tree(ExprPtr expr) {
  if (expr->depth > max_expression_depth_ && !too_deep()) {
    limit_message_ = fmt::format("Maximum expression depth of {} exceeded", max_expression_depth_);
    drop(Drop::TooDeep, pos_, pos_);
  }
  return expr;
}

// ---------------------------------------------------------------- statements

template <bool Listening>
Block BasicParser<Listening>::parse_program() {
  Block program;
  while (!check(TokenType::EOF_)) {
    std::size_t before = pos_;
    StmtPtr stmt = parse_statement();
    if (pos_ == before) {  // a token no rule can use: skip it
      drop(Drop::StatementToken, pos_, pos_);
      advance();
      continue;
    }
    if (stmt) program.push_back(std::move(stmt));
  }
  return program;
}

template <bool Listening>
Block BasicParser<Listening>::parse_block() {
  Block block;
  if (!enter()) {
    leave();
    return block;
  }
  while (!check(TokenType::RBrace) && !check(TokenType::EOF_)) {
    std::size_t before = pos_;
    StmtPtr stmt = parse_statement();
    if (pos_ == before) {
      drop(Drop::StatementToken, pos_, pos_);
      advance();
      continue;
    }
    if (stmt) block.push_back(std::move(stmt));
  }
  leave();
  return block;
}

template <bool Listening>
bool BasicParser<Listening>::parse_braced_block(Block& out) {
  std::size_t open = pos_;
  if (!expect(TokenType::LBrace)) return false;
  out = parse_block();
  expect_close(TokenType::RBrace, open);
  return true;
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_statement() {
  if constexpr (!Listening) {
    return parse_statement_here();
  } else {
    std::size_t first = pos_;
    StmtPtr stmt = parse_statement_here();
    if (!stmt && pos_ != first && !too_deep()) drop(Drop::NoStatement, first, pos_, missing_);
    if (stmt) mark(*stmt, first);
    return stmt;
  }
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_statement_here() {
  if constexpr (Listening) missing_ = TokenType::EOF_;
  switch (current().type) {
    case TokenType::Let: return parse_let();
    case TokenType::Def: return parse_def();
    case TokenType::Return: return parse_return();
    case TokenType::If: return parse_if();
    case TokenType::While: return parse_while();
    case TokenType::For: return parse_for();
    case TokenType::Break:
      advance();
      skip_semicolon();
      return std::make_unique<BreakStmt>();
    case TokenType::Continue:
      advance();
      skip_semicolon();
      return std::make_unique<ContinueStmt>();
    case TokenType::Match: return parse_match();
    case TokenType::Try: return parse_try();
    case TokenType::Global: return parse_global();
    case TokenType::Use: return parse_use();
    case TokenType::Identifier: {
      TokenType next = ahead(1).type;
      if (next == TokenType::Assign) {
        std::string name = current().text;
        pos_ += 2;
        ExprPtr value = parse_expression();
        skip_semicolon();
        return std::make_unique<AssignStmt>(std::move(name), std::move(value));
      }
      if (next == TokenType::PlusAssign || next == TokenType::MinusAssign || next == TokenType::StarAssign ||
          next == TokenType::SlashAssign) {
        std::string name = current().text;
        pos_ += 2;
        ExprPtr value = parse_expression();
        skip_semicolon();
        return std::make_unique<CompoundAssignStmt>(std::move(name), next, std::move(value));
      }
      break;
    }
    default:
      break;
  }
  std::size_t before = pos_;
  ExprPtr expr = parse_expression();
  if (pos_ == before && !check(TokenType::Semicolon)) return nullptr;  // nothing here can start a statement
  skip_semicolon();
  return std::make_unique<ExprStmt>(std::move(expr));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_let() {
  advance();
  if (!check(TokenType::Identifier)) return fail(TokenType::Identifier);
  std::string name = current().text;
  advance();
  if (!expect(TokenType::Assign)) return fail(TokenType::Assign);
  ExprPtr value = parse_expression();
  skip_semicolon();
  return std::make_unique<LetStmt>(std::move(name), std::move(value));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_def() {
  advance();
  if (!check(TokenType::Identifier)) return fail(TokenType::Identifier);
  std::string name = current().text;
  advance();
  if (!expect(TokenType::LParen)) return fail(TokenType::LParen);
  auto def = make_rc<FunctionDef>();
  while (check(TokenType::Identifier)) {
    def->params.push_back(current().text);
    Symbol symbol = intern(current().text);
    if (std::find(def->param_symbols.begin(), def->param_symbols.end(), symbol) != def->param_symbols.end()) {
      def->distinct_params = false;
    }
    def->param_symbols.push_back(symbol);
    ++def->arity;
    advance();
    (void)expect(TokenType::Comma);
  }
  if (!expect(TokenType::RParen)) return fail(TokenType::RParen);
  if (!parse_braced_block(def->body)) return fail(TokenType::LBrace);
  return std::make_unique<FunctionStmt>(std::move(name), std::move(def));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_return() {
  advance();
  ExprPtr value;
  if (!check(TokenType::RBrace) && !check(TokenType::Semicolon) && !check(TokenType::EOF_)) {
    value = parse_expression();
  }
  skip_semicolon();
  return std::make_unique<ReturnStmt>(std::move(value));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_if() {
  advance();
  ExprPtr condition = parse_expression();
  Block then_body;
  if (!parse_braced_block(then_body)) return fail(TokenType::LBrace);
  std::optional<Block> else_body;
  std::size_t else_at = pos_;
  if (expect(TokenType::Else)) {
    Block body;
    if (parse_braced_block(body)) {
      else_body = std::move(body);
    } else {
      drop(Drop::ElseBlock, else_at, pos_, TokenType::LBrace);
    }
  }
  return std::make_unique<IfStmt>(std::move(condition), std::move(then_body), std::move(else_body));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_while() {
  advance();
  ExprPtr condition = parse_expression();
  Block body;
  if (!parse_braced_block(body)) return fail(TokenType::LBrace);
  return std::make_unique<WhileStmt>(std::move(condition), std::move(body));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_for() {
  advance();
  if (!check(TokenType::Identifier)) return fail(TokenType::Identifier);
  std::string var = current().text;
  advance();
  if (!expect(TokenType::In)) return fail(TokenType::In);
  ExprPtr iter = parse_expression();
  Block body;
  if (!parse_braced_block(body)) return fail(TokenType::LBrace);
  return std::make_unique<ForStmt>(std::move(var), std::move(iter), std::move(body));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_match() {
  advance();
  ExprPtr subject = parse_expression();
  std::size_t open = pos_;
  if (!expect(TokenType::LBrace)) return fail(TokenType::LBrace);
  std::vector<MatchStmt::Arm> arms;
  for (;;) {
    if (check(TokenType::RBrace) || check(TokenType::EOF_)) {
      expect_close(TokenType::RBrace, open);
      break;
    }
    std::size_t before = pos_;
    Pattern pattern;
    if (check(TokenType::Identifier) && current().text == "_") {
      advance();
      pattern.wildcard = true;
    } else {
      pattern.value = parse_expression();
    }
    if (!expect(TokenType::FatArrow)) {
      if (pos_ == before) {  // a token no rule can use: skip it
        drop(Drop::ArmToken, pos_, pos_);
        advance();
      } else {
        drop(Drop::ArmPattern, before, pos_, TokenType::FatArrow);
      }
      continue;
    }
    Block body;
    if (check(TokenType::LBrace)) {
      std::size_t body_open = pos_;
      advance();
      body = parse_block();
      expect_close(TokenType::RBrace, body_open);
    } else {
      std::size_t first = pos_;
      ExprPtr value = parse_expression();
      auto stmt = std::make_unique<ExprStmt>(std::move(value));
      mark(*stmt, first);
      body.push_back(std::move(stmt));
    }
    skip_semicolon();
    arms.emplace_back(std::move(pattern), std::move(body));
  }
  return std::make_unique<MatchStmt>(std::move(subject), std::move(arms));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_try() {
  advance();
  Block body;
  if (!parse_braced_block(body)) return fail(TokenType::LBrace);
  if (!expect(TokenType::Catch)) return fail(TokenType::Catch);
  if (!check(TokenType::Identifier)) return fail(TokenType::Identifier);
  std::string var = current().text;
  advance();
  Block catch_body;
  if (!parse_braced_block(catch_body)) return fail(TokenType::LBrace);
  return std::make_unique<TryStmt>(std::move(body), std::move(var), std::move(catch_body));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_global() {
  advance();
  if (!check(TokenType::Identifier)) return fail(TokenType::Identifier);
  std::string name = current().text;
  advance();
  skip_semicolon();
  return std::make_unique<GlobalStmt>(std::move(name));
}

template <bool Listening>
StmtPtr BasicParser<Listening>::parse_use() {
  advance();
  if (!check(TokenType::Identifier)) return fail(TokenType::Identifier);
  std::string module = current().text;
  advance();
  switch (current().type) {
    case TokenType::LBrace: {
      std::size_t open = pos_;
      advance();
      std::vector<std::string> items;
      for (;;) {
        if (check(TokenType::Identifier)) {
          items.push_back(current().text);
          advance();
          (void)expect(TokenType::Comma);
        } else if (check(TokenType::RBrace) || check(TokenType::EOF_)) {
          expect_close(TokenType::RBrace, open);
          skip_semicolon();
          break;
        } else {
          drop(Drop::UseToken, open, pos_);
          advance();  // a token no rule can use: skip it
        }
      }
      return std::make_unique<UseStmt>(std::move(module), std::nullopt, std::move(items));
    }
    case TokenType::Semicolon:
      advance();
      return std::make_unique<UseStmt>(std::move(module), std::nullopt, std::nullopt);
    case TokenType::As: {
      advance();
      std::optional<std::string> alias;
      if (check(TokenType::Identifier)) {
        alias = current().text;
        advance();
      }
      skip_semicolon();
      return std::make_unique<UseStmt>(std::move(module), std::move(alias), std::nullopt);
    }
    default:
      return std::make_unique<UseStmt>(std::move(module), std::nullopt, std::nullopt);
  }
}

// --------------------------------------------------------------- expressions

template <bool Listening>
ExprPtr BasicParser<Listening>::parse_expression() {
  if (!enter()) {
    leave();
    ExprPtr marked = node<NumberExpr>(0, 0);
    mark(*marked, pos_);
    return marked;
  }
  ExprPtr e = parse_or();
  leave();
  return e;
}

#define VELTRO_BINARY_LEVEL(name, next, condition)                                       \
  template <bool Listening>                                                            \
  ExprPtr BasicParser<Listening>::name() {                                             \
    std::size_t first = pos_;                                                          \
    ExprPtr left = next();                                                             \
    for (;;) {                                                                         \
      TokenType op = current().type;                                                   \
      if (!(condition)) return left;                                                   \
      advance();                                                                       \
      ExprPtr right = next();                                                          \
      std::uint32_t d = std::max(depth_of(left), depth_of(right));                     \
      left = limit_tree(node<BinaryExpr>(d, std::move(left), op, std::move(right)));           \
      mark(*left, first);                                                                \
    }                                                                                  \
  }

VELTRO_BINARY_LEVEL(parse_or, parse_and, op == TokenType::Or)
VELTRO_BINARY_LEVEL(parse_and, parse_equality, op == TokenType::And)
VELTRO_BINARY_LEVEL(parse_equality, parse_comparison, op == TokenType::Equal || op == TokenType::NotEqual)
VELTRO_BINARY_LEVEL(parse_comparison, parse_range,
                    op == TokenType::Less || op == TokenType::Greater || op == TokenType::LessEqual ||
                        op == TokenType::GreaterEqual)
VELTRO_BINARY_LEVEL(parse_additive, parse_multiplicative, op == TokenType::Plus || op == TokenType::Minus)
VELTRO_BINARY_LEVEL(parse_multiplicative, parse_power,
                    op == TokenType::Star || op == TokenType::Slash || op == TokenType::Percent)
VELTRO_BINARY_LEVEL(parse_power, parse_unary, op == TokenType::Power)

#undef VELTRO_BINARY_LEVEL

template <bool Listening>
ExprPtr BasicParser<Listening>::parse_range() {
  std::size_t first = pos_;
  ExprPtr start = parse_additive();
  if (check(TokenType::Dot) && ahead(1).type == TokenType::Dot) {
    pos_ += 2;
    ExprPtr end = parse_additive();
    std::uint32_t d = std::max(depth_of(start), depth_of(end));
    ExprPtr marked = limit_tree(node<RangeExpr>(d, std::move(start), std::move(end)));
    mark(*marked, first);
    return marked;
  }
  return start;
}

template <bool Listening>
ExprPtr BasicParser<Listening>::parse_unary() {
  if (check(TokenType::Not) || check(TokenType::Minus)) {
    std::size_t first = pos_;
    TokenType op = current().type;
    advance();
    if (!enter()) {
      leave();
      ExprPtr marked = node<NumberExpr>(0, 0);
      mark(*marked, first);
      return marked;
    }
    ExprPtr operand = parse_unary();
    leave();
    std::uint32_t d = depth_of(operand);
    ExprPtr marked = limit_tree(node<UnaryExpr>(d, op, std::move(operand)));
    mark(*marked, first);
    return marked;
  }
  return parse_postfix();
}

template <bool Listening>
void BasicParser<Listening>::parse_list(std::vector<ExprPtr>& out) {
  [[maybe_unused]] std::size_t open = 0;
  if constexpr (Listening) open = list_open_;
  while (!check(TokenType::RParen) && !check(TokenType::RBrace) && !check(TokenType::RBracket) &&
         !check(TokenType::EOF_)) {
    std::size_t before = pos_;
    ExprPtr e = parse_expression();
    if (pos_ == before) {  // a token no rule can use: skip it
      drop(Drop::ListToken, open, pos_);
      advance();
      continue;
    }
    out.push_back(std::move(e));
    (void)expect(TokenType::Comma);
  }
}

template <bool Listening>
ExprPtr BasicParser<Listening>::parse_primary() {
  const Token& t = current();
  std::size_t first = pos_;
  switch (t.type) {
    case TokenType::True:
    case TokenType::False: {
      bool value = t.type == TokenType::True;
      advance();
      ExprPtr marked = node<BooleanExpr>(0, value);
      mark(*marked, first);
      return marked;
    }
    case TokenType::Number: {
      auto value = t.number;
      advance();
      ExprPtr marked = node<NumberExpr>(0, value);
      mark(*marked, first);
      return marked;
    }
    case TokenType::Float: {
      auto value = t.real;
      advance();
      ExprPtr marked = node<FloatExpr>(0, value);
      mark(*marked, first);
      return marked;
    }
    case TokenType::String: {
      std::string value = t.text;
      advance();
      ExprPtr marked = node<StringExpr>(0, std::move(value));
      mark(*marked, first);
      return marked;
    }
    case TokenType::Identifier: {
      std::string name = t.text;
      advance();
      ExprPtr marked = node<IdentifierExpr>(0, std::move(name));
      mark(*marked, first);
      return marked;
    }
    case TokenType::LParen: {
      advance();
      ExprPtr inner = parse_expression();
      expect_close(TokenType::RParen, first);
      return inner;
    }
    case TokenType::LBracket: {
      advance();
      std::vector<ExprPtr> elements;
      if constexpr (Listening) list_open_ = first;
      if (enter()) parse_list(elements);
      leave();
      expect_close(TokenType::RBracket, first);
      std::uint32_t d = max_depth(elements);
      ExprPtr marked = limit_tree(node<ArrayExpr>(d, std::move(elements)));
      mark(*marked, first);
      return marked;
    }
    case TokenType::LBrace: {
      advance();
      std::vector<DictExpr::Entry> entries;
      std::uint32_t d = 0;
      if (enter()) {
        while (!check(TokenType::RBrace) && !check(TokenType::EOF_)) {
          if (!check(TokenType::Identifier)) {
            drop(Drop::DictToken, first, pos_);
            advance();  // only bare names can be keys: skip anything else
            continue;
          }
          std::string key = current().text;
          std::size_t key_at = pos_;
          advance();
          if (!expect(TokenType::Colon)) {  // the key is dropped
            drop(Drop::DictKey, first, key_at, TokenType::Colon);
            continue;
          }
          ExprPtr value = parse_expression();
          d = std::max(d, depth_of(value));
          entries.emplace_back(std::move(key), std::move(value));
          (void)expect(TokenType::Comma);
        }
      }
      leave();
      expect_close(TokenType::RBrace, first);
      ExprPtr marked = limit_tree(node<DictExpr>(d, std::move(entries)));
      mark(*marked, first);
      return marked;
    }
    default:
      // Nothing here can begin an operand: a placeholder, consuming nothing.
      ExprPtr marked = node<NumberExpr>(0, 0);
      mark(*marked, first);
      return marked;
  }
}

template <bool Listening>
ExprPtr BasicParser<Listening>::parse_postfix() {
  std::size_t first = pos_;
  ExprPtr expr = parse_primary();
  for (;;) {
    switch (current().type) {
      case TokenType::Dot: {
        TokenType next = ahead(1).type;
        if (next == TokenType::Dot) return expr;  // a range: left to the range level
        if (next == TokenType::Identifier) {
          auto member = std::make_unique<StringExpr>(ahead(1).text);
          if constexpr (Listening) listener_->node(*member, pos_ + 1, pos_ + 2);
          pos_ += 2;
          std::uint32_t d = depth_of(expr);
          expr = limit_tree(node<IndexExpr>(d, std::move(expr), std::move(member)));
          mark(*expr, first);
        } else {
          drop(Drop::MemberDot, pos_, pos_);
          advance();  // a dot followed by anything else is dropped
        }
        break;
      }
      case TokenType::LBracket: {
        std::size_t open = pos_;
        advance();
        ExprPtr index = parse_expression();
        expect_close(TokenType::RBracket, open);
        std::uint32_t d = std::max(depth_of(expr), depth_of(index));
        expr = limit_tree(node<IndexExpr>(d, std::move(expr), std::move(index)));
        mark(*expr, first);
        break;
      }
      case TokenType::LParen: {
        std::size_t open = pos_;
        advance();
        std::vector<ExprPtr> args;
        if constexpr (Listening) list_open_ = open;
        if (enter()) parse_list(args);
        leave();
        expect_close(TokenType::RParen, open);
        expr = make_call(std::move(expr), std::move(args));
        mark(*expr, first);
        break;
      }
      default:
        return expr;
    }
    if (too_deep()) return expr;
  }
}

template <bool Listening>
ExprPtr BasicParser<Listening>::make_call(ExprPtr callee, std::vector<ExprPtr> args) {
  std::string name;
  std::vector<ExprPtr> call_args;
  if (callee->kind == ExprKind::Identifier) {
    name = static_cast<IdentifierExpr&>(*callee).name;
    call_args = std::move(args);
  } else if (callee->kind == ExprKind::Index &&
             static_cast<IndexExpr&>(*callee).index->kind == ExprKind::String) {
    auto& index = static_cast<IndexExpr&>(*callee);
    const std::string& member = static_cast<StringExpr&>(*index.index).value;
    if (index.object->kind == ExprKind::Identifier) {
      // module.function(...)
      name = static_cast<IdentifierExpr&>(*index.object).name + "." + member;
      call_args = std::move(args);
    } else {
      // Method form: the object becomes the first argument.
      name = member;
      call_args.push_back(std::move(index.object));
      for (auto& a : args) call_args.push_back(std::move(a));
    }
  } else {
    name = "call";
    call_args.push_back(std::move(callee));
    for (auto& a : args) call_args.push_back(std::move(a));
  }
  std::uint32_t d = max_depth(call_args);
  return limit_tree(node<CallExpr>(d, std::move(name), std::move(call_args)));
}

}  // namespace veltro
