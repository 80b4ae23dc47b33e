#include "cli.h"

#include <chrono>
#include <exception>
#include <new>

#include <fmt/format.h>

#include "runtime/console.h"
#include "lexer/lexer.h"
#include "modules/registry.h"
#include "modules/sys/sys_module.h"
#include "repl.h"
#include "run.h"
#include "runtime/text_file.h"

namespace veltro {

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine cl;
  bool have_path = false;
  for (const auto& arg : args) {
    if (arg == "-h") {
      cl.action = CommandLine::Action::Help;
      return cl;
    }
    if (arg == "-v") {
      cl.action = CommandLine::Action::Version;
      return cl;
    }
    if (arg == "-d") {
      cl.debug = true;
    } else if (arg == "-D") {
      cl.debug = true;
      cl.extra_debug = true;
    } else if (!have_path) {
      if (!arg.empty() && arg[0] == '-') continue;  // unknown options are ignored
      cl.script_path = arg;
      have_path = !arg.empty();  // an empty argument still leaves room for a path
    } else {
      cl.script_args.push_back(arg);
    }
  }
  cl.action = cl.script_path.empty() ? CommandLine::Action::Repl : CommandLine::Action::Run;
  return cl;
}

bool has_script_extension(std::string_view path) {
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  std::size_t sep = path.find_last_of("/\\");
  std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return name.substr(dot + 1) == "vt";
}

std::string_view help_text() {
  return "Veltro - A performant programming language\n"
         "\n"
         "USAGE:\n"
         "    veltro [OPTIONS] [FILE]\n"
         "\n"
         "OPTIONS:\n"
         "    -h       Print this help message\n"
         "    -v       Print the version\n"
         "    -d       Enable debug output during execution\n"
         "    -D       Enable extra debug output during runtime\n"
         "\n"
         "ARGS:\n"
         "    FILE             Path to a .vt file to execute\n"
         "\n"
         "EXAMPLES:\n"
         "    veltro                        Start the interactive REPL\n"
         "    veltro script.vt              Run a Veltro script\n"
         "    veltro script.vt -d           Run with debug output\n";
}

std::string_view version_text() { return "Veltro version " VELTRO_VERSION "\n"; }

int run_command_line(const std::vector<std::string>& args) {
  register_builtin_modules();
  CommandLine cl = parse_command_line(args);
  switch (cl.action) {
    case CommandLine::Action::Help:
      out_write(help_text());
      return 0;
    case CommandLine::Action::Version:
      out_write(version_text());
      return 0;
    case CommandLine::Action::Repl:
      run_repl();
      return 0;
    case CommandLine::Action::Run:
      break;
  }

  set_script_arguments(std::move(cl.script_args));
  if (cl.debug) {
    log_run(report_rule());
    log_run("Starting Veltro interpreter...");
  }
  if (!has_script_extension(cl.script_path)) {
    err_write("Error: Only .vt files are allowed.\n");
    return 1;
  }
  TextFile source = read_text_file(cl.script_path);
  if (!source.ok) {
    err_write(fmt::format("Error: Failed to read the file: {}\n", source.error));
    return 1;
  }
  if (cl.debug) log_run(fmt::format("File read successfully ({} bytes)", source.text.size()));

  auto start = std::chrono::steady_clock::now();
  std::vector<Token> tokens = tokenize(source.text);
  double tokenize_ms = elapsed_ms(start);
  if (cl.debug) log_run(fmt::format("Tokenization completed in {:.3f}ms", tokenize_ms));

  return run_program(tokens, cl.debug, cl.extra_debug, tokenize_ms);
}

int run_guarded(const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    log_error("Out of memory");
  } catch (const std::exception& e) {
    log_error(fmt::format("Internal error: {}", e.what()));
  } catch (...) {
    log_error("Internal error");
  }
  return 1;
}

}  // namespace veltro
