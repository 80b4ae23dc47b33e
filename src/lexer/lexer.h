#pragma once
#include <string_view>
#include <vector>

#include "lexer/token.h"

namespace veltro {

// Turns source text into tokens ending with one EOF token. Never fails:
// characters the language does not know are skipped.
[[nodiscard]] std::vector<Token> tokenize(std::string_view source);

}  // namespace veltro
