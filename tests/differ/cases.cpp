#include "cases.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include <fmt/format.h>

#include "../fuzz/program_generator.h"

namespace veltro::differ {

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Scripts that run until something outside stops them: a server that gets
// to serve (a call the test expects to fail does not), a loop of frames.
const char* never_ends(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.find(".serve(") != std::string_view::npos && line.find("expect-error") == std::string_view::npos) {
      return "serves pages until it is stopped";
    }
    if (line.find("while sdl2.is_window_open()") != std::string_view::npos ||
        line.find("while is_open()") != std::string_view::npos) {
      return "draws frames until its window is closed";
    }
  }
  return nullptr;
}

struct Markers {
  std::vector<std::string> args;
  std::vector<std::string> args_after;
  std::vector<std::pair<std::string, std::string>> env;
  std::string input;
  bool no_file = false;
};

// The markers the script tests use to set up their run (see tests/run_script.py).
Markers read_markers(std::string_view text) {
  Markers m;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    for (std::size_t hash = line.find('#'); hash != std::string_view::npos; hash = line.find('#', hash + 1)) {
      std::string_view rest = line.substr(hash + 1);
      while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
      auto value = [&](std::string_view name) -> std::optional<std::string> {
        if (!rest.starts_with(name)) return std::nullopt;
        std::string_view v = rest.substr(name.size());
        if (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        return std::string(v);
      };
      if (auto v = value("args-after:")) {
        for (auto& w : split_words(*v)) m.args_after.push_back(w);
      } else if (auto v2 = value("args:")) {
        for (auto& w : split_words(*v2)) m.args.push_back(w);
      } else if (auto v3 = value("stdin:")) {
        m.input += *v3 + "\n";
      } else if (auto v4 = value("env:")) {
        std::size_t eq = v4->find('=');
        if (eq != std::string::npos) m.env.emplace_back(v4->substr(0, eq), v4->substr(eq + 1));
      } else if (rest == "no-file") {
        m.no_file = true;
      } else {
        continue;
      }
      break;
    }
  }
  return m;
}

void add_script(const fs::path& path, bool corpus, ScriptCases& result) {
  std::string label = path.lexically_normal().string();
  std::string text = read_file(path);
  const char* why = never_ends(text);
  // A mutated input must not delete or fetch whatever it names.
  if (corpus && (text.find("files") != std::string::npos || text.find("http") != std::string::npos)) {
    why = "reaches the files or http module";
  }
  if (why) {
    result.left_out.emplace_back(label, why);
    return;
  }
  Markers markers = read_markers(text);
  Case c;
  c.label = label;
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  if (corpus) {
    // Fuzz inputs stand alone and have no .vt name of their own.
  } else if (fs::is_directory(folder / "fixtures")) {
    c.fixtures = (folder / "fixtures").string();
  } else {
    // The files beside it: modules it uses, data it reads.
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_regular_file() && entry.path() != path && entry.file_size() <= (std::uintmax_t{1} << 20)) {
        c.files.emplace_back(entry.path().filename().string(), read_file(entry.path()));
      }
    }
  }
  std::string name = corpus ? std::string("input.vt") : path.filename().string();
  c.files.emplace_back(name, text);
  c.args = markers.args;
  if (!markers.no_file) c.args.push_back(name);
  c.args.insert(c.args.end(), markers.args_after.begin(), markers.args_after.end());
  c.env = markers.env;
  fs::path sidecar = path;
  sidecar.replace_extension(".stdin");
  c.input = fs::exists(sidecar) ? read_file(sidecar) : markers.input;
  result.cases.push_back(std::move(c));
}

bool in_fixtures(const fs::path& path) {
  return std::any_of(path.begin(), path.end(), [](const fs::path& part) { return part == "fixtures"; });
}

}  // namespace

std::vector<std::string> split_words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (quote) {
      if (ch == quote) {
        quote = 0;
      } else if (ch == '\\' && quote == '"' && i + 1 < text.size()) {
        word += text[++i];
      } else {
        word += ch;
      }
    } else if (ch == '"' || ch == '\'') {
      quote = ch;
      in_word = true;
    } else if (ch == ' ' || ch == '\t') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else if (ch == '\\' && i + 1 < text.size()) {
      word += text[++i];
      in_word = true;
    } else {
      word += ch;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

namespace {

GeneratedCase case_of(gen::Program program, std::string label) {
  GeneratedCase g;
  g.input.label = std::move(label);
  // A program that writes files needs a fresh folder for every run.
  g.input.keeps_folder = !program.writes_files;
  g.files = program.writes_files;
  for (auto& m : program.modules) g.input.files.emplace_back(m.name + ".vt", std::move(m.text));
  g.modules = !g.input.files.empty();
  g.input.alone = program.text.find("sys.exit") != std::string::npos;
  g.input.files.emplace_back("program.vt", std::move(program.text));
  if (program.extra_debug) g.input.args.push_back("-D");
  g.input.args.push_back("program.vt");
  g.extra_debug = program.extra_debug;
  return g;
}

}  // namespace

GeneratedCase generated_case(std::uint64_t seed) {
  gen::Choices choices(seed);
  return case_of(gen::generate_program(choices), fmt::format("seed {}", seed));
}

std::vector<Case> choice_cases(const std::vector<std::string>& paths) {
  std::vector<fs::path> files;
  for (const auto& given : paths) {
    if (fs::is_directory(given)) {
      for (const auto& entry : fs::recursive_directory_iterator(given)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else if (fs::is_regular_file(given)) {
      files.emplace_back(given);
    } else {
      throw std::runtime_error("no such file or folder: " + given);
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<Case> cases;
  for (const auto& path : files) {
    std::string bytes = read_file(path);
    gen::Choices choices(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    // As the fuzz target makes them: its sandbox refuses modules.
    gen::Program program = gen::generate_program(choices, {.modules = false, .debug_switch = true});
    cases.push_back(case_of(std::move(program), path.lexically_normal().string()).input);
  }
  return cases;
}

ScriptCases script_cases(const std::vector<std::string>& paths, bool corpus) {
  ScriptCases result;
  for (const auto& given : paths) {
    fs::path root(given);
    if (fs::is_directory(root)) {
      std::vector<fs::path> found;
      for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path& p = entry.path();
        if (entry.is_regular_file() && (corpus || p.extension() == ".vt") && !in_fixtures(p.lexically_relative(root))) {
          found.push_back(p);
        }
      }
      std::sort(found.begin(), found.end());
      for (const auto& p : found) add_script(p, corpus, result);
    } else if (fs::is_regular_file(root)) {
      add_script(root, corpus, result);
    } else {
      throw std::runtime_error("no such file or folder: " + given);
    }
  }
  return result;
}

}  // namespace veltro::differ
