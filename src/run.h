#pragma once
// The run of one script: parse, declaration pass, main or top-to-bottom, report.
#include <chrono>
#include <string>
#include <vector>

#include "lexer/token.h"

namespace veltro {

// Returns the exit status.
int run_program(const std::vector<Token>& tokens, bool debug, bool extra_debug, double tokenize_ms);

// The 33-character rule of the run report, and elapsed milliseconds.
std::string report_rule();
double elapsed_ms(std::chrono::steady_clock::time_point start);

}  // namespace veltro
