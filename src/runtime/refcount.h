#pragma once
// Intrusive reference counting for the immutable objects that values and the
// syntax tree share. Single-threaded: counts are plain integers.
#include <cstdint>
#include <utility>

namespace veltro {

struct RcObject {
  mutable std::uint32_t refs = 0;
};

// An owning pointer to a T derived from RcObject; copying adds a reference.
template <class T>
class Rc {
 public:
  Rc() = default;
  explicit Rc(T* p) : p_(p) {
    if (p_) ++p_->refs;
  }
  Rc(const Rc& other) : p_(other.p_) {
    if (p_) ++p_->refs;
  }
  Rc(Rc&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Rc& operator=(Rc other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~Rc() {
    if (p_ && --p_->refs == 0) destroy(p_);
  }

  T* get() const { return p_; }
  T& operator*() const { return *p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  // Out of line, so that dropping a reference stays a decrement and a test.
  [[gnu::noinline]] static void destroy(T* p) { delete p; }

  T* p_ = nullptr;
};

template <class T, class... Args>
Rc<T> make_rc(Args&&... args) {
  return Rc<T>(new T(std::forward<Args>(args)...));
}

}  // namespace veltro
