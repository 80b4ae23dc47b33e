#include "run.h"

#include <chrono>

#include <fmt/format.h>

#include "runtime/console.h"
#include "interpreter/interpreter.h"
#include "interpreter/messages.h"
#include "parser/parser.h"

namespace veltro {

namespace {

// The declaration pass: initialisers of top-level lets, functions and modules
// are in place before anything else runs.
void declare(Interpreter& interpreter, const Block& program) {
  for (const auto& stmt : program) {
    switch (stmt->kind) {
      case StmtKind::Let: {
        const auto& s = static_cast<const LetStmt&>(*stmt);
        Value value = interpreter.evaluate(*s.value);
        if (value.is_error()) log_error(msg::global_let_failed(s.name, value.as_string()));
        interpreter.environment().define(s.symbol, std::move(value));
        break;
      }
      case StmtKind::Function:
      case StmtKind::Use:
        interpreter.execute(*stmt);
        break;
      default:
        break;
    }
  }
}

void enter(Interpreter& interpreter, const Block& program) {
  Value main_fn = interpreter.lookup(intern("main"));
  if (main_fn.is_function()) {
    (void)interpreter.call_user_function(function_def(main_fn), std::span<const Value>{});
    return;
  }
  for (const auto& stmt : program) {
    interpreter.execute(*stmt);
    if (interpreter.has_return() || harness::halted()) break;
  }
}

}  // namespace

std::string report_rule() {
  std::string rule;
  for (int i = 0; i < 33; ++i) rule += "\u2500";
  return rule;
}

double elapsed_ms(std::chrono::steady_clock::time_point start) {
  auto elapsed = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

int run_program(const std::vector<Token>& tokens, bool debug, bool extra_debug, double tokenize_ms) {
  auto parse_start = std::chrono::steady_clock::now();
  Parser parser(tokens);
  Block program = parser.parse_program();
  double parse_ms = elapsed_ms(parse_start);
  if (parser.too_deep()) {
    log_error(parser.limit_message());
    return 1;
  }
  if (debug) {
    log_run(fmt::format("Parsing completed in {:.3f}ms", parse_ms));
    log_run("Starting execution...");
    log_run(report_rule());
  }

  auto exec_start = std::chrono::steady_clock::now();
  {
    Interpreter interpreter;
    set_debug(extra_debug);
    declare(interpreter, program);
    enter(interpreter, program);
  }
  double exec_ms = elapsed_ms(exec_start);

  if (debug) {
    log_run(report_rule());
    log_run(fmt::format("Tokenization : {:.3f}ms", tokenize_ms));
    log_run(fmt::format("Parsing      : {:.3f}ms", parse_ms));
    log_run(fmt::format("Execution    : {:.3f}ms", exec_ms));
    log_run(report_rule());
  }
  return 0;
}

}  // namespace veltro
