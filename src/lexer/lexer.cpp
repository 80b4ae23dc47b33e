#include "lexer/lexer.h"

#include "lexer/lexer_impl.h"

namespace veltro {

std::vector<Token> tokenize(std::string_view source) { return Lexer<false>(source).run(); }

std::vector<std::string_view> keywords() {
  std::vector<std::string_view> words;
  for (const Keyword& keyword : kKeywords) words.push_back(keyword.word);
  return words;
}

}  // namespace veltro
