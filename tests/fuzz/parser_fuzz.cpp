// Any bytes tokenize and parse in bounded time and stack, and the tree prints.
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
  veltro::clear_symbols();  // the next input starts with no names, as a fresh process would
  return 0;
}
