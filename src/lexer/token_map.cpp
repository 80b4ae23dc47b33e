#include "lexer/lexer.h"

#include "lexer/lexer_impl.h"

namespace veltro {

std::vector<Token> tokenize(std::string_view source, TokenMap& map) {
  map.tokens.clear();
  map.skipped.clear();
  return Lexer<true>(source, &map).run();
}

}  // namespace veltro
