#include "repl.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include <editline/readline.h>

#include "console.h"
#include "interpreter/interpreter.h"
#include "lexer/lexer.h"
#include "parser/parser.h"
#include "text.h"

namespace veltro {

namespace {

constexpr const char* kPrompt = ">>> ";
constexpr const char* kContinuation = "... ";

// Reads one entry. On a terminal the line editor draws the prompt and keeps
// the history; otherwise the prompt is written and flushed by hand.
bool read_entry(bool terminal, const char* prompt, std::string& line) {
  if (terminal) {
    out_flush();
    std::unique_ptr<char, decltype(&std::free)> input(readline(prompt), &std::free);
    if (!input) return false;
    line = input.get();
    if (!text::trim(line).empty()) add_history(input.get());
    return true;
  }
  out_write(prompt);
  out_flush();
  if (read_line(line) != ReadResult::Line) return false;
  return text::is_valid_utf8(line);  // a line that is not text counts as a failed read
}

// The counters wrap like 32-bit integers rather than overflowing.
void count(std::int32_t& counter, int delta) {
  counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + static_cast<std::uint32_t>(delta));
}

}  // namespace

void run_repl() {
  out_write("Welcome to Veltro Interactive REPL!\n");
  out_write("Type 'exit' to quit.\n");
  out_write("\n");
  Interpreter interpreter;
  const bool terminal = isatty(STDIN_FILENO) == 1;
  std::int32_t paren_depth = 0;
  std::int32_t brace_depth = 0;
  std::string line;
  for (;;) {
    const char* prompt = paren_depth == 0 && brace_depth == 0 ? kPrompt : kContinuation;
    if (!read_entry(terminal, prompt, line)) break;
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
  out_flush();
}

}  // namespace veltro
