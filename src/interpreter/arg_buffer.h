#pragma once
// The evaluated arguments of one call, kept inline for the common short
// argument lists so that a call allocates nothing.
#include <array>
#include <span>
#include <vector>

#include "interpreter/value.h"

namespace veltro {

class ArgBuffer {
 public:
  void reserve(std::size_t n) {
    if (n > kInline) heap_.reserve(n);
  }
  void push_back(Value v) {
    if (size_ < kInline && heap_.empty()) {
      inline_[size_++] = std::move(v);
      return;
    }
    if (heap_.empty()) {
      heap_.reserve(size_ * 2);
      for (std::size_t i = 0; i < size_; ++i) heap_.push_back(std::move(inline_[i]));
    }
    heap_.push_back(std::move(v));
    ++size_;
  }
  [[nodiscard]] std::span<const Value> view() const {
    return heap_.empty() ? std::span<const Value>(inline_.data(), size_) : std::span<const Value>(heap_);
  }
  [[nodiscard]] std::size_t size() const { return size_; }

 private:
  static constexpr std::size_t kInline = 6;
  std::array<Value, kInline> inline_;
  std::vector<Value> heap_;
  std::size_t size_ = 0;
};

}  // namespace veltro
