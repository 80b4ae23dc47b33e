// Finding and reading the module files a program uses.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <filesystem>
#include <unordered_set>

#include "checker/program.h"
#include "checker/rules.h"
#include "checker/walk.h"
#include "modules/catalogue.h"
#include "runtime/text_file.h"

namespace veltro::check {

const catalogue::Module* builtin_module(std::string_view name) {
  const catalogue::Module* m = catalogue::find_module(name);
  if (!m || m->owns_name) return m;
  std::error_code ignored;
  return std::filesystem::exists(std::string(name) + ".vt", ignored) ? nullptr : m;
}

namespace {

struct UseSite {
  const Unit* unit;
  const UseStmt* use;
};

// Every `use` of a script module in `unit`; with top_only, only those that
// run when the file is loaded as a module (not inside functions).
std::vector<const UseStmt*> uses_in(const Unit& unit, bool top_only) {
  std::vector<const UseStmt*> found;
  auto visit = [&](const Stmt& s) {
    if (s.kind != StmtKind::Use) return;
    const auto& u = static_cast<const UseStmt&>(s);
    if (!builtin_module(u.module)) found.push_back(&u);
  };
  each_stmt(unit.program(), visit, !top_only);
  return found;
}

// The module name's token in a `use` statement.
std::size_t name_token(const Unit& unit, const UseStmt& use) { return unit.span(use).first + 1; }

class Loader {
 public:
  Loader(Program& program, std::string working_folder, std::string script_folder, std::vector<Finding>& out)
      : program_(program), working_(std::move(working_folder)), folder_(std::move(script_folder)), out_(out) {}

  void run() {
    program_.followed = true;
    for (std::size_t i = 0; i < program_.units.size(); ++i) {  // grows while modules are found
      const Unit& unit = *program_.units[i];
      if (unit.too_deep()) continue;
      for (const UseStmt* use : uses_in(unit, false)) visit(unit, *use);
    }
    // Circular loads: a module whose loading reaches a `use` of a module
    // that is still loading.
    for (const UseStmt* use : uses_in(program_.script(), false)) {
      if (Unit* m = module(use->module)) {
        std::vector<std::string> chain{use->module};
        walk(*m, chain);
      }
    }
  }

 private:
  Program& program_;
  std::string working_;
  std::string folder_;
  std::vector<Finding>& out_;
  std::unordered_map<std::string, std::string> besides_;   // module -> where it was found beside the script
  std::unordered_map<std::string, std::string> failures_;  // module -> why it cannot be loaded
  std::unordered_set<const Unit*> walked_;

  Unit* module(const std::string& name) {
    auto it = program_.modules.find(name);
    return it == program_.modules.end() ? nullptr : it->second;
  }

  void report(const Unit& unit, const UseStmt& use, Code code, std::string message) {
    std::size_t at = name_token(unit, use);
    add(unit, at, unit.finding(code, at, at + 1, std::move(message)), out_);
  }

  void visit(const Unit& unit, const UseStmt& use) {
    const std::string& name = use.module;
    if (!program_.modules.count(name)) load(name);
    if (auto failure = failures_.find(name); failure != failures_.end()) {
      report(unit, use, Code::ModuleNotFound, failure->second);
    } else if (auto beside = besides_.find(name); beside != besides_.end()) {
      report(unit, use, Code::ModuleBesideScript,
             fmt::format("veltro looks for `{}.vt` in the working directory, where there is none; the file beside "
                         "the script, {}, is used only when veltro runs from its folder",
                         name, beside->second));
    }
  }

  void load(const std::string& name) {
    program_.modules[name] = nullptr;
    ModuleFile found = find_module_file(name, working_, folder_);
    if (found.path.empty()) {
      failures_[name] = fmt::format(
          "there is no module file `{}.vt` (veltro looks in the working directory): the "
          "`use` fails and nothing is imported",
          name);
      return;
    }
    const std::string& path = found.path;
    if (found.beside_script) besides_[name] = path;
    TextFile source = read_text_file(path);
    if (!source.ok) {
      failures_[name] = fmt::format("the module file {} cannot be read ({}): the `use` fails and nothing is imported",
                                    path, source.error);
      return;
    }
    auto unit = std::make_unique<Unit>(path, std::move(source.text));
    if (!unit->too_deep()) program_.modules[name] = unit.get();
    program_.units.push_back(std::move(unit));
  }

  void walk(const Unit& unit, std::vector<std::string>& chain) {
    if (!walked_.insert(&unit).second) return;
    for (const UseStmt* use : uses_in(unit, true)) {
      if (std::find(chain.begin(), chain.end(), use->module) != chain.end()) {
        report(unit, *use, Code::CircularUse,
               fmt::format("`{}` is still loading when this `use` runs ({}): it fails with a circular import",
                           use->module, fmt::join(chain, " uses ")));
        continue;
      }
      if (Unit* m = module(use->module)) {
        chain.push_back(use->module);
        walk(*m, chain);
        chain.pop_back();
      }
    }
  }
};

}  // namespace

ModuleFile find_module_file(const std::string& name, const std::string& working_folder,
                            const std::string& script_folder) {
  auto exists = [](const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
  };
  std::string file = name + ".vt";
  std::string path = working_folder.empty() ? file : working_folder + "/" + file;
  if (exists(path)) return {path, false};
  if (!script_folder.empty() && exists(script_folder + "/" + file)) return {script_folder + "/" + file, true};
  return {};
}

void load_modules(Program& program, const std::string& working_folder, const std::string& script_folder,
                  std::vector<Finding>& out) {
  Loader(program, working_folder, script_folder, out).run();
}

}  // namespace veltro::check
