#pragma once
// A script with the script modules it uses, each parsed once.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "checker/unit.h"
#include "modules/catalogue.h"

namespace veltro::check {

struct Program {
  std::vector<std::unique_ptr<Unit>> units;        // units[0] is the script
  std::unordered_map<std::string, Unit*> modules;  // by module name; nullptr when it cannot be loaded
  bool followed = false;                           // module files were looked for

  const Unit& script() const { return *units.front(); }
};

// Where the file of script module `name` is: `name.vt` in `working_folder`
// (empty: the working directory), where veltro looks, or else beside the
// script in `script_folder`. An empty path when neither exists.
struct ModuleFile {
  std::string path;
  bool beside_script = false;
};
[[nodiscard]] ModuleFile find_module_file(const std::string& name, const std::string& working_folder,
                                          const std::string& script_folder);

// The built-in module `use name` reaches: nullptr for none, and for a library
// module (text, data, sys) when a script module `name.vt` in the working
// directory takes its place.
[[nodiscard]] const catalogue::Module* builtin_module(std::string_view name);

// Reads the module files the program's `use` statements name, as veltro
// resolves them (relative to the working directory, or `working_folder`),
// looking beside the script too; reports missing files and circular loads.
void load_modules(Program& program, const std::string& working_folder, const std::string& script_folder,
                  std::vector<Finding>& out);

// Names, calls and modules across the whole program, and the way the script's
// top-level statements run (V3xx, V4xx, V207, V208).
void check_program(const Program& program, std::vector<Finding>& out);

}  // namespace veltro::check
