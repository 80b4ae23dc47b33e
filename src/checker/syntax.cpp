// Tokens and constructs the parser drops without a trace.
#include <fmt/format.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "checker/rules.h"
#include "checker/walk.h"

namespace veltro::check {

namespace {

using Drop = ParseListener::Drop;

std::string_view token_spelling(TokenType type) {
  switch (type) {
    case TokenType::LParen: return "(";
    case TokenType::RParen: return ")";
    case TokenType::LBrace: return "{";
    case TokenType::RBrace: return "}";
    case TokenType::LBracket: return "[";
    case TokenType::RBracket: return "]";
    case TokenType::Assign: return "=";
    case TokenType::FatArrow: return "=>";
    case TokenType::In: return "in";
    case TokenType::Catch: return "catch";
    case TokenType::Colon: return ":";
    case TokenType::Identifier: return "a name";
    default: return token_type_name(type);
  }
}

std::string expected_text(TokenType type) {
  if (type == TokenType::Identifier) return "a name";
  return fmt::format("`{}`", token_spelling(type));
}

class SyntaxPass {
 public:
  SyntaxPass(Unit& unit, std::vector<Finding>& out) : unit_(unit), out_(out) {}

  void run() {
    index_statements(unit_.program());
    for (const DropEvent& d : unit_.drops()) {
      if (d.what == Drop::Unclosed) unclosed_.insert(d.first);
      if (d.what == Drop::TooDeep) break;
    }
    statement_dictionaries();
    const auto& drops = unit_.drops();
    // Past the nesting limit the parser stops, and every construct still
    // open then ends unfinished: only the limit itself is worth a word.
    std::size_t count = drops.size();
    for (std::size_t i = 0; i < drops.size(); ++i) {
      if (drops[i].what == Drop::TooDeep) count = i + 1;
    }
    for (std::size_t i = 0; i < count;) i = one(i, count);
    // Only now are all the wrecked ranges known.
    for (auto& [first, finding] : pending_) {
      if (finding.code == Code::TooDeep) {
        out_.push_back(std::move(finding));  // the file does not run at all
      } else {
        add(unit_, first, std::move(finding), out_);
      }
    }
  }

 private:
  Unit& unit_;
  std::vector<Finding>& out_;
  std::unordered_map<std::size_t, const ExprStmt*> expr_stmt_by_end_;
  std::vector<const ExprStmt*> dict_statements_;
  std::unordered_set<std::size_t> statement_dicts_;  // `{` tokens that begin a statement
  std::unordered_set<std::size_t> unclosed_;         // openers that are never closed
  std::vector<std::pair<std::size_t, Finding>> pending_;
  std::size_t last_stray_ = 0;  // the previous unmatched `}` at top level

  const Token& token(std::size_t i) const { return unit_.token(i); }

  void emit(Code code, std::size_t first, std::size_t end, std::string message) {
    pending_.emplace_back(first, unit_.finding(code, first, end, std::move(message)));
  }

  std::size_t line_end(std::size_t i) const { return unit_.line_end(i); }

  void index_statements(const Block& program) {
    auto visit = [&](const Stmt& s) {
      if (s.kind != StmtKind::Expr) return;
      const auto& e = static_cast<const ExprStmt&>(s);
      NodeSpan span = unit_.span(s);
      expr_stmt_by_end_[span.end] = &e;
      if (e.expr->kind == ExprKind::Dict && token(span.first).type == TokenType::LBrace) dict_statements_.push_back(&e);
    };
    each_stmt(program, visit);
  }

  void statement_dictionaries() {
    for (const ExprStmt* e : dict_statements_) {
      NodeSpan span = unit_.span(*e);
      statement_dicts_.insert(span.first);
      emit(Code::BlockIsDictionary, span.first, span.first + 1,
           "a `{` where a statement begins opens a dictionary, not a block: everything up to its `}` is dropped; "
           "blocks belong to `if`, `while`, `for`, `def`, `match` and `try`");
      unit_.suppress(span.first + 1, span.end);
    }
  }

  // Handles the drop at `i` (and the ones that belong with it); returns the next.
  std::size_t one(std::size_t i, std::size_t count) {
    const auto& drops = unit_.drops();
    const DropEvent& d = drops[i];
    switch (d.what) {
      case Drop::StatementToken: statement_token(d.at); return i + 1;
      case Drop::ListToken:
      case Drop::DictToken:
      case Drop::DictKey:
      case Drop::UseToken: {
        std::size_t j = i + 1;
        while (j < count && drops[j].first == d.first && drops[j].at == drops[j - 1].at + 1 &&
               (drops[j].what == d.what || (d.what == Drop::DictKey && drops[j].what == Drop::DictToken))) {
          ++j;
        }
        skipped_group(d, drops[j - 1].at + 1);
        return j;
      }
      case Drop::ArmToken: arm_token(d.at); return i + 1;
      case Drop::ArmPattern:
        if (d.first > 0 && is_assignment_token(token(d.first - 1).type)) return i + 1;  // part of an arm assignment
        emit(Code::MatchArmToken, d.first, d.at,
             fmt::format("the pattern {} has no `=>` after it and is dropped", quote(unit_.source(d.first, d.at))));
        return i + 1;
      case Drop::MemberDot: {
        std::string message = fmt::format("a `.` followed by {} is dropped", describe_token(unit_, d.at + 1));
        if (token(d.at + 1).type == TokenType::Number) {
          message += fmt::format("; elements are read with brackets: `[{}]`", token(d.at + 1).number);
        }
        emit(Code::MemberDot, d.at, d.at + 1, std::move(message));
        return i + 1;
      }
      case Drop::Unclosed: unclosed(d); return i + 1;
      case Drop::NoStatement: no_statement(d); return i + 1;
      case Drop::ElseBlock: else_block(d); return i + 1;
      case Drop::TooDeep:
        emit(Code::TooDeep, d.at, d.at + 1, fmt::format("{}: veltro refuses to run this file", unit_.limit_message()));
        return i + 1;
    }
    return i + 1;
  }

  void statement_token(std::size_t at) {
    TokenType type = token(at).type;
    if (is_assignment_token(type)) {
      auto target = expr_stmt_by_end_.find(at);
      if (target != expr_stmt_by_end_.end() && target->second->expr->kind == ExprKind::Index) {
        NodeSpan span = unit_.span(*target->second);
        std::string_view written = unit_.source(span.first, line_end(at));
        emit(Code::ElementAssignment, span.first, at + 1,
             fmt::format("{} is not an assignment: elements and fields cannot be assigned, so this line does "
                         "nothing; build the new array or dictionary and assign the whole variable",
                         quote(written)));
        unit_.suppress(at, line_end(at));
        return;
      }
      emit(Code::StatementToken, at, at + 1,
           fmt::format("{} is skipped: only a plain name can be assigned (`name = value`)",
                       quote(unit_.source(at, at + 1))));
      unit_.suppress(at, line_end(at));
      return;
    }
    if (type == TokenType::RBrace) {
      stray_brace(at);
      return;
    }
    std::string why;
    switch (type) {
      case TokenType::RParen:
      case TokenType::RBracket: why = "it closes nothing"; break;
      case TokenType::Else: why = "there is no `if` block right before it"; break;
      case TokenType::Catch: why = "there is no `try` block right before it"; break;
      case TokenType::FatArrow: why = "`=>` belongs in a `match`"; break;
      case TokenType::Arrow:
      case TokenType::Question: why = "it has no meaning in the language"; break;
      default: why = "it cannot begin a statement"; break;
    }
    emit(Code::StatementToken, at, at + 1, fmt::format("{} is skipped: {}", describe_token(unit_, at), why));
  }

  // An unmatched `}` at top level. When the block statement before it closes
  // on a line of its own at a deeper indentation than it began, that closing
  // brace is most likely the extra one.
  void stray_brace(std::size_t at) {
    // The statements between the previous unmatched `}` and this one.
    const Block& program = unit_.program();
    auto after = std::partition_point(program.begin(), program.end(),
                                      [&](const StmtPtr& s) { return unit_.span(*s).end <= at; });
    auto stop = std::partition_point(program.begin(), after,
                                     [&](const StmtPtr& s) { return unit_.span(*s).end <= last_stray_; });
    last_stray_ = at;
    for (auto it = std::make_reverse_iterator(after); it != std::make_reverse_iterator(stop); ++it) {
      const Stmt& before = **it;
      NodeSpan span = unit_.span(before);
      if (!is_block_statement(before)) continue;
      std::size_t close = span.end - 1;
      if (token(close).type != TokenType::RBrace || unit_.place(close).line <= unit_.place(span.first).line ||
          unit_.place(close).column <= indentation(span.first)) {
        continue;
      }
      std::string what = before.kind == StmtKind::Function
                             ? fmt::format("function `{}`", static_cast<const FunctionStmt&>(before).name)
                             : fmt::format("the `{}` of line {}", unit_.source(span.first, span.first + 1),
                                           unit_.place(span.first).line);
      emit(Code::StrayBrace, close, close + 1,
           fmt::format("this `}}` ends {}: an extra `}}`? What follows up to the unmatched `}}` of line {} is "
                       "top-level code",
                       what, unit_.place(at).line));
      emit(Code::StrayBrace, at, at + 1,
           fmt::format("unmatched `}}` is skipped; the `}}` of line {} already ended {}", unit_.place(close).line,
                       what));
      return;
    }
    emit(Code::StrayBrace, at, at + 1, "unmatched `}` is skipped: it closes no block");
  }

  static bool is_block_statement(const Stmt& s) {
    switch (s.kind) {
      case StmtKind::Function:
      case StmtKind::If:
      case StmtKind::While:
      case StmtKind::For:
      case StmtKind::Match:
      case StmtKind::Try: return true;
      default: return false;
    }
  }

  // Column of the first token on the line of token `i`.
  std::uint32_t indentation(std::size_t i) const {
    std::uint32_t line = unit_.place(i).line;
    while (i > 0 && unit_.place(i - 1).line == line) --i;
    return unit_.place(i).column;
  }

  void skipped_group(const DropEvent& d, std::size_t end) {
    if (unclosed_.count(d.first) &&
        (d.what == Drop::ListToken || d.what == Drop::DictToken || d.what == Drop::DictKey)) {
      return;  // the tokens of a list that never ends: its opening bracket is reported
    }
    if (end > d.at + 1 && token(end - 1).type == TokenType::Comma) --end;  // the separator after a dropped entry
    std::string_view written = unit_.source(d.at, end);
    switch (d.what) {
      case Drop::ListToken: {
        TokenType type = token(d.at).type;
        std::string message;
        if (type == TokenType::Comma) {
          message = "a second `,` is skipped";
        } else if (type == TokenType::Assign) {
          message = "`=` in a list is skipped: there are no named arguments, so the name and the value count as two";
        } else {
          message = fmt::format("{} is skipped: it cannot be an element or an argument", quote(written));
        }
        emit(Code::ListToken, d.at, end, std::move(message));
        return;
      }
      case Drop::DictToken:
      case Drop::DictKey: {
        if (statement_dicts_.count(d.first)) return;  // reported as a block that is a dictionary
        if (d.what == Drop::DictKey) {
          emit(Code::DictKeyWithoutColon, d.at, end,
               fmt::format(
                   "the key {} has no `:` after it and is dropped{}", quote(unit_.source(d.at, d.at + 1)),
                   end > d.at + 1 ? fmt::format(", and {} is skipped", quote(unit_.source(d.at + 1, end))) : ""));
          return;
        }
        TokenType type = token(d.at).type;
        if (type == TokenType::String || type == TokenType::Number || type == TokenType::Float) {
          std::string key = type == TokenType::String ? token(d.at).text : std::string(unit_.source(d.at, d.at + 1));
          bool bare = !key.empty() && (std::isalpha(static_cast<unsigned char>(key[0])) || key[0] == '_') &&
                      std::all_of(key.begin(), key.end(),
                                  [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
          emit(Code::DictKeyNotName, d.at, end,
               fmt::format("dictionary keys are bare names: {} is dropped{}", quote(written),
                           bare ? fmt::format("; write `{}: …`", key) : ""));
          return;
        }
        emit(Code::DictKeyNotName, d.at, end,
             fmt::format("{} stands where a dictionary key must be and is skipped; keys are bare names (`key: value`)",
                         quote(written)));
        return;
      }
      case Drop::UseToken:
        emit(Code::UseListToken, d.at, end,
             fmt::format("{} is skipped: a `use` list holds names only", quote(written)));
        return;
      default: return;
    }
  }

  void arm_token(std::size_t at) {
    TokenType type = token(at).type;
    if (is_assignment_token(type)) return;  // an assignment as an arm body: reported with the arm
    if (type == TokenType::Comma) {
      emit(Code::MatchArmToken, at, at + 1, "commas do not separate match arms: the `,` is skipped");
      return;
    }
    emit(Code::MatchArmToken, at, at + 1,
         fmt::format("{} cannot begin a match pattern and is skipped", describe_token(unit_, at)));
  }

  void unclosed(const DropEvent& d) {
    std::string_view open = unit_.source(d.first, d.first + 1);
    std::string where = token(d.at).type == TokenType::EOF_
                            ? std::string("at the end of the file")
                            : fmt::format("before {} (line {})", describe_token(unit_, d.at), unit_.place(d.at).line);
    emit(Code::Unclosed, d.first, d.first + 1,
         fmt::format("`{}` is never closed: veltro reads on as if `{}` stood {}", open, token_spelling(d.expected),
                     where));
  }

  void no_statement(const DropEvent& d) {
    std::string_view keyword = unit_.source(d.first, d.first + 1);
    std::string found = describe_token(unit_, d.at);
    std::string what;
    switch (token(d.first).type) {
      case TokenType::Let: what = "the `let`"; break;
      case TokenType::Def: what = "the whole function, body included,"; break;
      case TokenType::If: what = "the whole `if`, body included,"; break;
      case TokenType::While: what = "the whole loop, body included,"; break;
      case TokenType::For: what = "the whole loop, body included,"; break;
      case TokenType::Match: what = "the whole `match`"; break;
      case TokenType::Try: what = "the whole `try`, both blocks included,"; break;
      default: what = fmt::format("the `{}`", keyword); break;
    }
    std::string message =
        fmt::format("`{}` expects {} here, not {}: {} is dropped", keyword, expected_text(d.expected), found, what);
    if (token(d.first).type == TokenType::Try && d.expected == TokenType::Catch) {
      message = fmt::format(
          "`try` needs a `catch NAME {{ … }}` after its block, not {}: the whole `try`, body "
          "included, is dropped",
          found);
    }
    emit(Code::DroppedStatement, d.first, d.first + 1, std::move(message));
    // What the construct leaves behind is read as other statements.
    std::size_t end = line_end(d.at);
    if (std::size_t brace = unit_.next_brace(d.at); brace < end) end = std::max(end, unit_.matching_close(brace) + 1);
    unit_.suppress(d.at, end);
  }

  void else_block(const DropEvent& d) {
    std::size_t next = d.first + 1;
    if (token(next).type == TokenType::If) {
      emit(Code::ElseIf, d.first, next + 1,
           "`else if` does not chain: the `else` is dropped, and this `if` is a separate statement that runs after "
           "the first one whether or not its condition held; write `else { if … { … } }`");
      return;
    }
    emit(Code::ElseWithoutBlock, d.first, d.first + 1,
         fmt::format("`else` needs a `{{` block, not {}: the `else` is dropped and what follows runs whether or not "
                     "the condition held",
                     describe_token(unit_, next)));
  }
};

}  // namespace

bool is_assignment_token(TokenType type) {
  return type == TokenType::Assign || type == TokenType::PlusAssign || type == TokenType::MinusAssign ||
         type == TokenType::StarAssign || type == TokenType::SlashAssign;
}

std::string quote(std::string_view source) {
  std::size_t newline = source.find('\n');
  bool cut = newline != std::string_view::npos;
  std::string_view line = source.substr(0, newline);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  constexpr std::size_t kLongest = 40;
  if (line.size() > kLongest) {
    std::size_t end = kLongest;
    while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xc0) == 0x80) --end;  // not inside a character
    line = line.substr(0, end);
    cut = true;
  }
  return fmt::format("`{}{}`", line, cut ? " …" : "");
}

std::string describe_token(const Unit& unit, std::size_t index) {
  if (unit.token(index).type == TokenType::EOF_) return "the end of the file";
  return quote(unit.source(index, index + 1));
}

void add(const Unit& unit, std::size_t first_token, Finding finding, std::vector<Finding>& out) {
  if (unit.suppressed(first_token)) return;
  out.push_back(std::move(finding));
}

void check_syntax(Unit& unit, std::vector<Finding>& out) { SyntaxPass(unit, out).run(); }

}  // namespace veltro::check
