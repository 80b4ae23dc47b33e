#pragma once
// A walk through a value and everything inside its arrays and dictionaries,
// in order, with an explicit stack: any nesting depth is walked without
// exhausting the call stack. What is written for each part is the visitor's:
//   scalar(v)        a value that is no array or dictionary
//   open_array(v)    an array's start; close_array() its end
//   open_dict(v)     a dictionary's start; close_dict() its end
//   separator()      between two members of one container
//   key(k)           a dictionary member's key, before its value
#include <cstddef>
#include <vector>

#include "runtime/value.h"

namespace veltro {

template <class Visitor>
void walk_containers(const Value& root, Visitor& visit) {
  struct Frame {
    const Value* container;
    std::size_t index;  // members visited so far
    DictMap::const_iterator next;
  };
  std::vector<Frame> stack;
  auto open = [&](const Value& v) {
    if (v.is_array()) {
      visit.open_array(v);
      stack.push_back({&v, 0, {}});
    } else if (v.is_dict()) {
      visit.open_dict(v);
      stack.push_back({&v, 0, v.as_dict().begin()});
    } else {
      visit.scalar(v);
    }
  };
  open(root);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const Value* member = nullptr;
    if (frame.container->is_array()) {
      const auto& items = frame.container->as_array();
      if (frame.index == items.size()) {
        visit.close_array();
        stack.pop_back();
        continue;
      }
      if (frame.index > 0) visit.separator();
      member = &items[frame.index];
    } else {
      if (frame.next == frame.container->as_dict().end()) {
        visit.close_dict();
        stack.pop_back();
        continue;
      }
      if (frame.index > 0) visit.separator();
      visit.key(frame.next->first);
      member = &frame.next->second;
      ++frame.next;
    }
    ++frame.index;
    open(*member);  // may grow the stack: `frame` is not used after this
  }
}

}  // namespace veltro
