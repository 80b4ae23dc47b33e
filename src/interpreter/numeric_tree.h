#pragma once
// Arithmetic trees: expressions made only of number and float literals,
// names, reads of an element of a name's array or dict, and the arithmetic
// and comparison operators. Such a tree runs no call and changes nothing;
// as long as every operand is a number or a float, every element read
// exists and no division by zero (or -1) occurs, it writes no message either. So it can first be computed
// on raw numbers, without building a Value per node; when an operand turns
// out to be anything else the computation gives up having changed nothing,
// and the tree is evaluated the general way.
#include <bit>
#include <cstdint>

#include "runtime/value.h"
#include "parser/ast.h"

namespace veltro {

// Ref: an element that is not a number or a float, as a pointer to where it
// is stored (valid while the tree is computed: nothing can change it).
// Int, Real and Bool carry the codes of their value types, so that a result
// is stored with a cast.
enum class NumKind : std::uint8_t {
  Int = static_cast<std::uint8_t>(ValueType::Number),
  Real = static_cast<std::uint8_t>(ValueType::Float),
  Bool = static_cast<std::uint8_t>(ValueType::Boolean),
  Ref,
  None,
};
static_assert(NumKind::Int < NumKind::Real && NumKind::Real < NumKind::Bool && NumKind::Bool < NumKind::Ref);

// Fits in two registers, so the routines return it without touching memory.
struct Num {
  std::int64_t bits;  // the integer, the double's bits, 0/1, or the element's address
  NumKind kind;

  static Num none() { return {0, NumKind::None}; }
  [[nodiscard]] bool ok() const { return kind <= NumKind::Bool; }
  // The value type of a result that is ok().
  [[nodiscard]] ValueType type() const { return static_cast<ValueType>(kind); }
  [[nodiscard]] double real() const { return std::bit_cast<double>(bits); }
  [[nodiscard]] Value value() const {
    if (ok()) return Value::from_bits(type(), bits);
    if (kind == NumKind::Ref) return *reinterpret_cast<const Value*>(bits);
    return Value();
  }
};

// Whether it is one with at least two operators, where computing it on raw
// numbers pays off over the per-node routines.
[[nodiscard]] bool is_nested_numeric_tree(const Expr& e);
// Sets the numeric routine of every node of an arithmetic tree.
void prepare_numeric_tree(const Expr& e);

}  // namespace veltro
