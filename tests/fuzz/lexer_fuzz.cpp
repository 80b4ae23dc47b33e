// Any bytes tokenize, ending with exactly one EOF.
#include <cstdlib>

#include "fuzz_common.h"
#include "lexer/lexer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto tokens = veltro::tokenize(veltro::fuzz::as_text(data, size));
  if (tokens.empty() || tokens.back().type != veltro::TokenType::EOF_) std::abort();
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i].type == veltro::TokenType::EOF_) std::abort();
    (void)tokens[i].debug();
  }
  return 0;
}
