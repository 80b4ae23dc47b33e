#pragma once
// Which of the two cores runs scripts: the compiled instruction loop (the
// default) or the tree-walking evaluator. Both give the same bytes; the
// choice exists so that they can be run side by side until the tree-walker
// goes.
namespace veltro {

enum class Core { Tree, Compiled };

// Process-wide; set before any interpreter runs. VELTRO_CORE=tree or
// VELTRO_CORE=compiled in the environment selects it (select_core_from_environment).
void select_core(Core core) noexcept;
[[nodiscard]] Core selected_core() noexcept;
void select_core_from_environment() noexcept;

}  // namespace veltro
