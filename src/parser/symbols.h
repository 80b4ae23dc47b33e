#pragma once
// Names interned once into small integers, so that the interpreter can bind
// and find variables without hashing strings.
#include <cstdint>
#include <string>
#include <string_view>

namespace veltro {

using Symbol = std::uint32_t;
inline constexpr Symbol kNoSymbol = 0xffffffffu;

[[nodiscard]] Symbol intern(std::string_view name);
[[nodiscard]] const std::string& symbol_name(Symbol symbol);
[[nodiscard]] std::size_t symbol_count();

// Forgets every name. Only for harnesses that run many independent programs
// in one process, between two programs, when no tree or interpreter is left.
void clear_symbols();

}  // namespace veltro
