// Any bytes tokenize and parse in bounded time and stack, and the tree prints;
// the checker, on the same bytes, gives findings in order.
#include <cstdlib>
#include <utility>

#include "checker/checker.h"
#include "fuzz_common.h"
#include "lexer/lexer.h"
#include "parser/parser.h"
#include "parser/symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto tokens = veltro::tokenize(veltro::fuzz::as_text(data, size));
  veltro::Parser parser(tokens);
  veltro::Block program = parser.parse_program();
  if (!parser.too_deep()) {
    for (const auto& stmt : program) (void)veltro::debug_text(*stmt);
  }
  program.clear();
  veltro::check::Options options;
  options.follow_modules = false;
  auto findings = veltro::check::check_source("fuzz.vt", std::string(veltro::fuzz::as_text(data, size)), options);
  for (std::size_t i = 1; i < findings.size(); ++i) {
    if (std::pair(findings[i].line, findings[i].column) < std::pair(findings[i - 1].line, findings[i - 1].column)) {
      std::abort();
    }
  }
  veltro::clear_symbols();  // the next input starts with no names, as a fresh process would
  return 0;
}
