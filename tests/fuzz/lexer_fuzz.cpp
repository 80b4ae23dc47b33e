// Any bytes tokenize, ending with exactly one EOF, with the same tokens when
// their places are recorded, and the checker answers them with well-formed
// findings.
#include <cstdlib>

#include "checker/checker.h"
#include "fuzz_common.h"
#include "lexer/lexer.h"
#include "parser/symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto tokens = veltro::tokenize(veltro::fuzz::as_text(data, size));
  if (tokens.empty() || tokens.back().type != veltro::TokenType::EOF_) std::abort();
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i].type == veltro::TokenType::EOF_) std::abort();
    (void)tokens[i].debug();
  }
  veltro::TokenMap map;
  auto recorded = veltro::tokenize(veltro::fuzz::as_text(data, size), map);
  if (recorded.size() != tokens.size() || map.tokens.size() != tokens.size()) std::abort();
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (recorded[i].type != tokens[i].type || map.tokens[i].offset + map.tokens[i].length > size) std::abort();
  }
  veltro::check::Options options;
  options.follow_modules = false;
  for (const auto& f : veltro::check::check_source("fuzz.vt", std::string(veltro::fuzz::as_text(data, size)), options)) {
    if (f.line == 0 || f.column == 0 || f.message.empty()) std::abort();
  }
  veltro::clear_symbols();
  return 0;
}
