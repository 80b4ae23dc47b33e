#pragma once
// The checker's passes over one file. Each appends its findings to `out`.
#include <string>
#include <string_view>
#include <vector>

#include "checker/finding.h"
#include "checker/unit.h"

namespace veltro::check {

// Characters the lexer skips, integer literals it reads as floats. Marks the
// words of a single-quoted "string" as suppressed.
void check_lexical(Unit& unit, std::vector<Finding>& out);

// Tokens and constructs the parser drops. Marks the wreckage of each dropped
// construct as suppressed in `unit`, so later passes stay quiet about it;
// run it before the passes below.
void check_syntax(Unit& unit, std::vector<Finding>& out);

// Control flow within each function and block: unreachable statements,
// `return` values on the next line, loops, `try`, match arms, expressions
// without effect.
void check_flow(const Unit& unit, std::vector<Finding>& out);

// Appends `finding` unless its place lies in a suppressed range of `unit`.
void add(const Unit& unit, std::size_t first_token, Finding finding, std::vector<Finding>& out);

// Text of the source for a message: in backquotes, on one line, shortened
// when long.
[[nodiscard]] std::string quote(std::string_view source);
// How a message names the token at `index`: its text in backquotes, or
// "the end of the file".
[[nodiscard]] std::string describe_token(const Unit& unit, std::size_t index);

[[nodiscard]] bool is_assignment_token(TokenType type);

}  // namespace veltro::check
