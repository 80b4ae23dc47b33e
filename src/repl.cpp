#include "repl.h"

#include <cstdint>
#include <unistd.h>

#include "interpreter/interpreter.h"
#include "lexer/lexer.h"
#include "parser/parser.h"
#include "repl/terminal.h"
#include "runtime/console.h"
#include "runtime/text.h"

namespace veltro {

namespace {

// The counters wrap like 32-bit integers rather than overflowing.
void count(std::int32_t& counter, int delta) {
  counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + static_cast<std::uint32_t>(delta));
}

// The loop on piped input: one line at a time, with bracket counters that
// run over the whole session and lines that leave brackets open dropped.
void run_piped(Interpreter& interpreter) {
  std::int32_t paren_depth = 0;
  std::int32_t brace_depth = 0;
  std::string line;
  for (;;) {
    out_write(paren_depth == 0 && brace_depth == 0 ? ">>> " : "... ");
    out_flush();
    if (read_line(line) != ReadResult::Line) break;
    if (!text::is_valid_utf8(line)) break;  // a line that is not text counts as a failed read
    std::string_view entry = text::trim(line);
    if (entry.empty()) continue;
    if (entry == "exit" || entry == "quit") {
      out_write("Goodbye!\n");
      break;
    }
    // Every bracket counts, even inside strings and comments.
    for (char c : entry) {
      if (c == '(' || c == '[') count(paren_depth, 1);
      else if (c == ')' || c == ']') count(paren_depth, -1);
      else if (c == '{') count(brace_depth, 1);
      else if (c == '}') count(brace_depth, -1);
    }
    if (paren_depth > 0 || brace_depth > 0) continue;  // the line is dropped

    std::vector<Token> tokens = tokenize(entry);
    Parser parser(tokens);
    Block statements = parser.parse_program();
    if (parser.too_deep()) {
      log_error(parser.limit_message());
      continue;
    }
    for (const auto& stmt : statements) interpreter.execute(*stmt);
  }
}

}  // namespace

void run_repl() {
  out_write("Welcome to Veltro Interactive REPL!\n");
  out_write("Type 'exit' to quit.\n");
  out_write("\n");
  Interpreter interpreter;
  if (isatty(STDIN_FILENO) == 1) {
    repl::run_terminal(interpreter);
  } else {
    run_piped(interpreter);
  }
  out_flush();
}

}  // namespace veltro
