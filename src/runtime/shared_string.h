#pragma once
// An immutable, reference-counted string: the payload of string values, also
// held by string literals of the syntax tree so that evaluating one allocates
// nothing.
#include <string>

#include "runtime/refcount.h"

namespace veltro {

struct StringObj : RcObject {
  explicit StringObj(std::string s) : text(std::move(s)) {}
  std::string text;
  // Dictionary hash of `text`, computed on first use (0: not yet). Only an
  // object nobody else can see may change `text`, and doing so resets it.
  mutable std::size_t hash = 0;
};

}  // namespace veltro
