// veltro-check: points at the mistakes a Veltro script makes that veltro
// itself lets pass without a word.
#include <fmt/format.h>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "checker/checker.h"
#include "checker/report.h"
#include "large_stack.h"
#include "runtime/text_file.h"

namespace {

using veltro::check::Finding;

constexpr std::string_view kHelp =
    "veltro-check - points at the mistakes a Veltro script makes that veltro runs without a word\n"
    "\n"
    "USAGE:\n"
    "    veltro-check [OPTIONS] FILE...\n"
    "\n"
    "OPTIONS:\n"
    "    -h, --help          Print this help message\n"
    "    -v, --version       Print the version\n"
    "    --format=FORMAT     text (the default: PATH:LINE:COL: SEVERITY: MESSAGE [CODE]) or json\n"
    "    --ignore=CODES      Leave out findings with these codes (comma-separated, e.g. V205,V308)\n"
    "    --no-modules        Do not read the module files the scripts use\n"
    "    --list-codes        Print every code with its meaning\n"
    "\n"
    "ARGS:\n"
    "    FILE                A script to check; - reads one from standard input. The modules it\n"
    "                        uses are checked too, looked for as veltro does (in the working\n"
    "                        directory) and beside the script.\n"
    "\n"
    "EXIT STATUS:\n"
    "    0 no findings, 1 findings, 2 a file could not be read or the command line is wrong\n";

struct Settings {
  bool json = false;
  bool follow_modules = true;
  std::set<std::string> ignored;
  std::vector<std::string> files;
};

int usage_error(const std::string& message) {
  std::cerr << "veltro-check: " << message << "\nTry 'veltro-check --help' for more information.\n";
  return 2;
}

// Parses the command line; returns an exit status when it is all done.
std::optional<int> parse(const std::vector<std::string>& args, Settings& settings) {
  bool options_done = false;
  for (const std::string& arg : args) {
    if (options_done || arg == "-" || arg.empty() || arg[0] != '-') {
      settings.files.push_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "-h" || arg == "--help") {
      std::cout << kHelp;
      return 0;
    } else if (arg == "-v" || arg == "--version") {
      std::cout << "veltro-check version " VELTRO_VERSION "\n";
      return 0;
    } else if (arg == "--list-codes") {
      for (const auto& info : veltro::check::all_codes()) {
        std::cout << info.id << ' ' << veltro::check::severity_name(info.severity) << ": " << info.meaning << '\n';
      }
      return 0;
    } else if (arg.starts_with("--format=")) {
      std::string_view format = std::string_view(arg).substr(9);
      if (format != "text" && format != "json") {
        return usage_error(fmt::format("unknown format '{}' (use text or json)", format));
      }
      settings.json = format == "json";
    } else if (arg.starts_with("--ignore=")) {
      std::string_view list = std::string_view(arg).substr(9);
      while (!list.empty()) {
        std::size_t comma = list.find(',');
        std::string code(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (code.empty()) continue;
        if (!veltro::check::find_code(code)) return usage_error(fmt::format("unknown code '{}' in --ignore", code));
        settings.ignored.insert(code);
      }
    } else if (arg == "--no-modules") {
      settings.follow_modules = false;
    } else {
      return usage_error(fmt::format("unknown option '{}'", arg));
    }
  }
  if (settings.files.empty()) return usage_error("no script given");
  return std::nullopt;
}

// A file, or standard input for "-", under the same size cap and UTF-8 check.
veltro::TextFile read_input(const std::string& path) {
  return veltro::read_text_file(path == "-" ? std::string("/dev/stdin") : path);
}

int check(const std::vector<std::string>& args) {
  Settings settings;
  if (auto done = parse(args, settings)) return *done;

  std::vector<Finding> all;
  std::set<std::tuple<std::string, std::uint32_t, std::uint32_t, std::string_view, std::string>> seen;
  bool unreadable = false;
  veltro::check::Options options;
  options.follow_modules = settings.follow_modules;
  for (const std::string& path : settings.files) {
    veltro::TextFile source = read_input(path);
    if (!source.ok) {
      std::cerr << fmt::format("veltro-check: cannot read '{}': {}\n", path, source.error);
      unreadable = true;
      continue;
    }
    for (Finding& f : veltro::check::check_source(path, std::move(source.text), options)) {
      std::string_view code = veltro::check::code_info(f.code).id;
      if (settings.ignored.count(std::string(code))) continue;
      // A module several scripts use is reported once.
      if (!seen.emplace(f.path, f.line, f.column, code, f.message).second) continue;
      all.push_back(std::move(f));
    }
  }
  if (settings.json) {
    std::cout << veltro::check::json_report(all) << '\n';
  } else {
    for (const Finding& f : all) std::cout << veltro::check::text_line(f) << '\n';
  }
  std::cout.flush();
  if (unreadable) return 2;
  return all.empty() ? 0 : 1;
}

int run(const std::vector<std::string>& args) {
  try {
    return check(args);
  } catch (const std::bad_alloc&) {
    std::cerr << "veltro-check: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "veltro-check: internal error: " << e.what() << '\n';
  }
  return 2;
}

}  // namespace

// The checker walks trees as deep as the parser allows: it gets the stack the
// interpreter runs scripts on.
int main(int argc, char** argv) { return veltro::run_main(argc, argv, run); }
