#include "repl/terminal.h"

#include <cstdlib>
#include <termios.h>
#include <unistd.h>

#include "runtime/console.h"
#include "interpreter/interpreter.h"
#include "runtime/interrupt.h"
#include "parser/parser.h"
#include "parser/symbols.h"
#include "repl/entry.h"
#include "repl/history.h"
#include "repl/line_editor.h"
#include "runtime/text.h"

namespace veltro::repl {

namespace {

constexpr const char* kPrompt = ">>> ";
constexpr const char* kContinuation = "... ";

std::vector<SessionName> session_names(Interpreter& interpreter) {
  std::vector<SessionName> names;
  interpreter.environment().for_each_global([&](Symbol symbol, const Value& value) {
    names.push_back({symbol_name(symbol), value.is_function() || value.is_builtin()});
  });
  return names;
}

// Runs a whole entry; a single expression statement shows its value.
void run_entry(Interpreter& interpreter, const std::vector<Token>& tokens) {
  Parser parser(tokens);
  Block statements = parser.parse_program();
  if (parser.too_deep()) {
    log_error(parser.limit_message());
    return;
  }
  if (const ExprStmt* shown = shown_statement(statements)) {
    Value value = interpreter.execute_expression(*shown);
    if (auto text = shown_text(value); text && !interrupt::requested()) out_write(*text + "\n");
    return;
  }
  for (const auto& stmt : statements) {
    if (interrupt::requested()) break;
    interpreter.execute(*stmt);
  }
}

// Whether the terminal showed a typed Ctrl-C as "^C" (it does while an entry
// runs, unless told otherwise), leaving the cursor after it.
bool echoed_interrupt() {
  termios mode{};
  return ::tcgetattr(STDIN_FILENO, &mode) == 0 && (mode.c_lflag & ECHO) && (mode.c_lflag & ECHOCTL);
}

}  // namespace

void run_terminal(Interpreter& interpreter) {
  interrupt::Handler handler;
  LineEditor editor(history_path(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")),
                    [&interpreter] { return session_names(interpreter); });
  Entry entry;
  std::string line;
  for (;;) {
    interrupt::clear();
    LineEditor::Read read = editor.read(entry.open() ? kContinuation : kPrompt, line);
    if (read == LineEditor::Read::Interrupted) {
      // The line, and the entry it belonged to, are dropped.
      out_write("\n");
      entry.clear();
      continue;
    }
    if (read == LineEditor::Read::End) {
      out_write("\n");  // the shell's prompt starts a line of its own
      break;
    }
    if (!text::is_valid_utf8(line)) continue;  // only when the locale could not be UTF-8
    if (!entry.open()) {
      std::string_view trimmed = text::trim(line);
      if (trimmed.empty()) continue;
      if (trimmed == "exit" || trimmed == "quit") {
        out_write("Goodbye!\n");
        break;
      }
    }
    if (!entry.add_line(line)) continue;

    editor.remember(entry.text());
    run_entry(interpreter, entry.tokens());
    entry.clear();
    if (interrupt::requested()) {
      interpreter.end_interrupt();
      (void)interrupt::drain_wake_fd();
      interrupt::clear();
      if (echoed_interrupt()) out_write("\n");  // the error gets a line of its own
      log_error(interrupt::kMessage);
    }
  }
  out_flush();
}

}  // namespace veltro::repl
