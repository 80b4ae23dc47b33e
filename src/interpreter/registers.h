#pragma once
// The registers of the active frames of the compiled core, on one stack of
// chunks that never move, so that a frame's registers stay where they are
// while the calls it makes push frames of their own. A call allocates
// nothing once the stack has grown to its depth. Every register above the
// newest frame is null, so that a frame starts null at no cost: a frame
// that ends leaves its registers null again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "runtime/value.h"

namespace veltro {

class RegisterStack {
 public:
  // The first chunk is made at once, so that every frame's position lies
  // within a chunk, even an empty frame's.
  RegisterStack() { next_chunk(0); }
  RegisterStack(const RegisterStack&) = delete;
  RegisterStack& operator=(const RegisterStack&) = delete;

  // A frame of n registers, each null.
  [[gnu::always_inline]] [[nodiscard]] Value* push(std::uint32_t n) {
    if (static_cast<std::size_t>(end_ - next_) < n) [[unlikely]] next_chunk(n);
    Value* frame = next_;
    next_ += n;
    return frame;
  }

  // Ends the newest frame, which starts at `frame`.
  [[gnu::always_inline]] void pop(Value* frame) noexcept {
    // Walked with a local pointer: the member would be stored back at
    // every register.
    for (Value* p = next_; p != frame;) (--p)->reset();
    next_ = frame;
    if (frame == base_ && current_ > 0) {
      --current_;
      base_ = chunks_[current_].data;
      end_ = base_ + chunks_[current_].size;
      next_ = chunks_[current_].resume;
    }
  }

 private:
  static constexpr std::size_t kChunk = 4096;
  // Raw storage, every register constructed null when the chunk is made.
  struct Chunk {
    std::unique_ptr<std::byte[]> bytes;
    Value* data = nullptr;
    std::size_t size = 0;
    Value* resume = nullptr;  // where the frames continue when the next chunk empties
  };
  static_assert(alignof(Value) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  // A frame that does not fit in the current chunk starts the next one.
  [[gnu::noinline]] void next_chunk(std::size_t n) {
    if (base_) {
      chunks_[current_].resume = next_;
      ++current_;
    }
    if (current_ == chunks_.size() || chunks_[current_].size < n) {
      Chunk c;
      c.size = std::max(kChunk, n);
      c.bytes = std::make_unique<std::byte[]>(c.size * sizeof(Value));
      c.data = std::launder(reinterpret_cast<Value*>(c.bytes.get()));
      for (std::size_t i = 0; i < c.size; ++i) new (c.data + i) Value();
      if (current_ == chunks_.size()) {
        chunks_.push_back(std::move(c));
      } else {
        chunks_[current_] = std::move(c);
      }
    }
    base_ = chunks_[current_].data;
    end_ = base_ + chunks_[current_].size;
    next_ = base_;
  }

  std::vector<Chunk> chunks_;
  std::size_t current_ = 0;
  Value* base_ = nullptr;
  Value* end_ = nullptr;
  Value* next_ = nullptr;
};

}  // namespace veltro
