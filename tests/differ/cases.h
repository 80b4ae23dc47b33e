#pragma once
// The inputs the differ runs: generated programs, and script files found in
// folders, run as their test markers say.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "run.h"

namespace veltro::differ {

// The program of one seed, with its modules, and what it asks of the run.
struct GeneratedCase {
  Case input;
  bool extra_debug = false;
  bool modules = false;
  bool files = false;  // it uses the files module
};
[[nodiscard]] GeneratedCase generated_case(std::uint64_t seed);

// The programs the generated fuzz target makes of the files under the given
// folders (or of the files given by name): a finding or a corpus replayed.
[[nodiscard]] std::vector<Case> choice_cases(const std::vector<std::string>& paths);

struct ScriptCases {
  std::vector<Case> cases;
  std::vector<std::pair<std::string, std::string>> left_out;  // path, why
};

// Every .vt file under the given folders (and every file given by name),
// except module files in fixtures/ folders. A script runs in a folder holding
// a copy of the fixtures/ folder beside it, or else of the files beside it,
// with the arguments, environment and standard input its markers give
// (# args:, # args-after:, # env:, # stdin:, # no-file, and a NAME.stdin
// file beside it). Scripts that never end by themselves are left out.
// With `corpus`, every file of the folders is a fuzz input that runs alone,
// and inputs that mention the files or http module are left out too.
[[nodiscard]] ScriptCases script_cases(const std::vector<std::string>& paths, bool corpus = false);

// Splits a marker's text into words: blanks separate, double quotes group.
[[nodiscard]] std::vector<std::string> split_words(const std::string& text);

}  // namespace veltro::differ
