#pragma once
// Which of the two cores runs scripts: the tree-walking evaluator or the
// compiled instruction loop. Both give the same bytes; the choice exists so
// that they can be run side by side until the tree-walker goes.
namespace veltro {

enum class Core { Tree, Compiled };

// Process-wide; set before any interpreter runs. VELTRO_CORE=tree or
// VELTRO_CORE=compiled in the environment selects it (select_core_from_environment).
void select_core(Core core) noexcept;
[[nodiscard]] Core selected_core() noexcept;
void select_core_from_environment() noexcept;

}  // namespace veltro
