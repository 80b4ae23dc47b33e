#include "lexer/lexer.h"

#include "lexer/lexer_impl.h"

namespace veltro {

std::vector<Token> tokenize(std::string_view source) { return Lexer<false>(source).run(); }

}  // namespace veltro
