#include "checker/checker.h"

#include <fmt/format.h>

#include <algorithm>
#include <tuple>
#include <unordered_map>

#include "checker/program.h"
#include "checker/rules.h"
#include "cli.h"

namespace veltro::check {

namespace {

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::vector<Finding> check_source(const std::string& path, std::string text, const Options& options) {
  Program program;
  program.units.push_back(std::make_unique<Unit>(path, std::move(text)));
  std::vector<Finding> out;
  const Unit& script = program.script();
  if (path != "-" && !has_script_extension(path)) {
    out.push_back(script.finding(Code::NotAScript, SourceSpan{},
                                 "veltro runs only files whose names end in `.vt`: it refuses this one"));
  }
  if (options.follow_modules) load_modules(program, options.module_folder, folder_of(path), out);
  for (const auto& unit : program.units) {
    check_lexical(*unit, out);
    check_syntax(*unit, out);
    if (!unit->too_deep()) check_flow(*unit, out);
  }
  check_program(program, out);
  std::vector<std::string> paths;
  for (const auto& unit : program.units) paths.push_back(unit->path());
  sort_findings(out, paths);
  return out;
}

void sort_findings(std::vector<Finding>& findings, const std::vector<std::string>& paths) {
  std::unordered_map<std::string, std::size_t> order;
  for (const std::string& path : paths) order.emplace(path, order.size());
  for (const Finding& f : findings) order.emplace(f.path, order.size());
  auto key = [&](const Finding& f) {
    return std::tuple<std::size_t, std::uint32_t, std::uint32_t, int, const std::string&>(
        order.at(f.path), f.line, f.column, static_cast<int>(f.code), f.message);
  };
  std::stable_sort(findings.begin(), findings.end(),
                   [&](const Finding& a, const Finding& b) { return key(a) < key(b); });
  findings.erase(std::unique(findings.begin(), findings.end(),
                             [&](const Finding& a, const Finding& b) { return key(a) == key(b); }),
                 findings.end());
}

}  // namespace veltro::check
