#pragma once
// The evaluated arguments of one call, kept inline for the common short
// argument lists so that a call allocates nothing and touches only the slots
// it uses.
#include <new>
#include <span>
#include <vector>

#include "runtime/value.h"

namespace veltro {

class ArgBuffer {
 public:
  ArgBuffer() = default;
  ArgBuffer(const ArgBuffer&) = delete;
  ArgBuffer& operator=(const ArgBuffer&) = delete;
  ~ArgBuffer() {
    for (std::size_t i = 0; i < inline_count_; ++i) slot(i)->~Value();
  }

  void push_back(Value v) {
    if (spilled_) {
      heap_.push_back(std::move(v));
      return;
    }
    if (inline_count_ < kInline) {
      new (slot(inline_count_++)) Value(std::move(v));
      return;
    }
    heap_.reserve(kInline * 2);
    for (std::size_t i = 0; i < inline_count_; ++i) heap_.push_back(std::move(*slot(i)));
    heap_.push_back(std::move(v));
    spilled_ = true;
  }

  [[nodiscard]] std::span<const Value> view() const {
    return spilled_ ? std::span<const Value>(heap_) : std::span<const Value>(slot(0), inline_count_);
  }
  // The arguments may be moved out (into a callee's parameters).
  [[nodiscard]] std::span<Value> take_all() {
    return spilled_ ? std::span<Value>(heap_) : std::span<Value>(slot(0), inline_count_);
  }
  [[nodiscard]] std::size_t size() const { return spilled_ ? heap_.size() : inline_count_; }

 private:
  static constexpr std::size_t kInline = 6;
  Value* slot(std::size_t i) { return std::launder(reinterpret_cast<Value*>(storage_) + i); }
  const Value* slot(std::size_t i) const { return std::launder(reinterpret_cast<const Value*>(storage_) + i); }

  alignas(Value) unsigned char storage_[kInline * sizeof(Value)];
  std::size_t inline_count_ = 0;
  bool spilled_ = false;
  std::vector<Value> heap_;
};

}  // namespace veltro

namespace veltro {

// The arguments of a call whose count is fixed and small: evaluated straight
// into place, with no other bookkeeping.
template <std::size_t N>
class FixedArgs {
 public:
  FixedArgs() = default;
  FixedArgs(const FixedArgs&) = delete;
  FixedArgs& operator=(const FixedArgs&) = delete;
  ~FixedArgs() {
    // Bounded by N, so that the loop unrolls.
    for (std::size_t i = 0; i < N; ++i) {
      if (i < count_) slot(i)->~Value();
    }
  }
  // The next argument's storage; `constructed` must follow once a Value is placed in it.
  [[nodiscard]] void* next() { return slot(count_); }
  Value& constructed() { return *slot(count_++); }
  [[nodiscard]] std::span<const Value> view() const { return {slot(0), count_}; }
  // size() and take_all() are for once all N arguments are in place (a call
  // goes on only then).
  [[nodiscard]] static constexpr std::size_t size() { return N; }
  [[nodiscard]] std::span<Value, N> take_all() { return std::span<Value, N>(slot(0), N); }

 private:
  Value* slot(std::size_t i) { return std::launder(reinterpret_cast<Value*>(storage_) + i); }
  const Value* slot(std::size_t i) const { return std::launder(reinterpret_cast<const Value*>(storage_) + i); }
  alignas(Value) unsigned char storage_[(N == 0 ? 1 : N) * sizeof(Value)];
  std::size_t count_ = 0;
};

}  // namespace veltro
