#pragma once
// An immutable, reference-counted string: the payload of string values, also
// held by string literals of the syntax tree so that evaluating one allocates
// nothing.
#include <string>

#include "refcount.h"

namespace veltro {

struct StringObj : RcObject {
  explicit StringObj(std::string s) : text(std::move(s)) {}
  std::string text;
};

}  // namespace veltro
