#pragma once
// Variables with dynamic scope, by shallow binding: every symbol has a global
// slot and a stack of the bindings made for it by active calls, innermost on
// top. Each call scope remembers which symbols it bound and pops exactly
// those. Lookup and define are O(1) and give the results of searching a stack
// of scope maps innermost-first, then the globals.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "interpreter/value.h"
#include "parser/symbols.h"

namespace veltro {

class Environment {
 public:
  Environment() = default;
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // The value the name resolves to, or nullptr when it is bound nowhere.
  [[nodiscard]] const Value* find(Symbol symbol) const noexcept {
    return symbol < count_ ? slots_[symbol].visible : nullptr;
  }

  // Binds in the globals for a name declared global or at top level,
  // otherwise in the innermost call scope.
  [[gnu::always_inline]] void define(Symbol symbol, Value&& value) {
    // Rebinding an existing variable of the current scope (or an existing
    // global at top level) is the common case and stays inline.
    if (Value* existing = binding_to_replace(symbol)) {
      *existing = std::move(value);
      return;
    }
    define_new(symbol, std::move(value));
  }

  // The stored value `define` would replace in place; nullptr when define
  // would make a new binding.
  [[gnu::always_inline]] [[nodiscard]] Value* binding_to_replace(Symbol symbol) noexcept {
    if (symbol < count_) {
      Slot& s = slots_[symbol];
      if (depth_ == 0 || s.declared_global) {
        if (s.has_global) return &s.global;
      } else if (!s.locals.empty() && s.locals.back().depth == depth_) {
        return &s.locals.back().value;
      }
    }
    return nullptr;
  }
  void define(Symbol symbol, const Value& value) { define(symbol, Value(value)); }

  // Binds straight in the globals (item imports of `use`).
  void set_global(Symbol symbol, Value value) {
    Slot& s = slot(symbol);
    s.global = std::move(value);
    s.has_global = true;
    if (s.locals.empty()) s.visible = &s.global;
  }

  // The stored value that `define` would replace, when it is also the
  // binding `find` sees; nullptr otherwise. Lets an assignment that rebuilds
  // the same variable drop the old reference first and update in place.
  [[nodiscard]] Value* define_target_if_visible(Symbol symbol) noexcept {
    if (symbol >= count_) return nullptr;
    Slot& s = slots_[symbol];
    if (depth_ == 0 || s.declared_global) {
      return s.locals.empty() && s.has_global ? &s.global : nullptr;
    }
    if (!s.locals.empty() && s.locals.back().depth == depth_) return &s.locals.back().value;
    return nullptr;
  }

  void push_scope() { frames_.push_back(enter_scope()); }
  void pop_scope() {
    leave_scope(frames_.back());
    frames_.pop_back();
  }

  // The same pair for callers that keep the scope's mark themselves.
  [[nodiscard]] std::size_t enter_scope() {
    ++depth_;
    return bound_.size();
  }
  void leave_scope(std::size_t mark) {
    for (std::size_t i = bound_.size(); i > mark; --i) {
      Slot& s = slots_[bound_[i - 1]];
      s.locals.pop_back();
      s.visible = s.locals.empty() ? (s.has_global ? &s.global : nullptr) : &s.locals.back().value;
    }
    bound_.resize(mark);
    --depth_;
  }

  // A binding that does not exist yet.
  [[gnu::noinline]] void define_new(Symbol symbol, Value&& value) {
    Slot& s = slot(symbol);
    if (depth_ == 0 || s.declared_global) {
      s.global = std::move(value);
      s.has_global = true;
      if (s.locals.empty()) s.visible = &s.global;
      return;
    }
    if (!s.locals.empty() && s.locals.back().depth == depth_) {
      s.locals.back().value = std::move(value);
      return;
    }
    s.locals.push_back(Binding{depth_, std::move(value)});
    s.visible = &s.locals.back().value;
    bound_.push_back(symbol);
  }

  void bind_parameters(const std::vector<Symbol>& params, std::span<const Value> args) {
    std::size_t n = std::min(params.size(), args.size());
    for (std::size_t i = 0; i < n; ++i) bind_parameter(params[i], Value(args[i]));
  }
  // The same, taking the argument values over.
  void bind_parameters(const std::vector<Symbol>& params, std::span<Value> args) {
    std::size_t n = std::min(params.size(), args.size());
    for (std::size_t i = 0; i < n; ++i) bind_parameter(params[i], std::move(args[i]));
  }

  // A parameter of the call scope just entered: a new local binding unless
  // the name is declared global or already bound in this scope (a repeated
  // parameter name), which define_new handles.
  [[gnu::always_inline]] void bind_parameter(Symbol symbol, Value&& value) {
    if (symbol < count_) {
      Slot& s = slots_[symbol];
      if (!s.declared_global && depth_ != 0 && (s.locals.empty() || s.locals.back().depth != depth_)) {
        s.locals.push_back(Binding{depth_, std::move(value)});
        s.visible = &s.locals.back().value;
        bound_.push_back(symbol);
        return;
      }
    }
    define_new(symbol, std::move(value));
  }

  void declare_global(Symbol symbol) { slot(symbol).declared_global = true; }

  [[nodiscard]] std::uint32_t depth() const noexcept { return depth_; }

  // Visits every global binding (symbol, value), in symbol order.
  template <class F>
  void for_each_global(F&& visit) const {
    for (std::size_t i = 0; i < count_; ++i) {
      if (slots_[i].has_global) visit(static_cast<Symbol>(i), slots_[i].global);
    }
  }

 private:
  struct Binding {
    std::uint32_t depth;
    Value value;
  };
  struct Slot {
    const Value* visible = nullptr;  // what find() answers: the top local, else the global
    Value global;
    bool has_global = false;
    bool declared_global = false;
    std::vector<Binding> locals;
  };

  Slot& slot(Symbol symbol) {
    if (symbol >= count_) grow(symbol);
    return slots_[symbol];
  }

  // Growing moves the slots: every cached pointer to a global is renewed.
  void grow(Symbol symbol) {
    slots_.resize(std::max<std::size_t>(symbol + 1, symbol_count()));
    count_ = slots_.size();
    for (Slot& s : slots_) {
      if (s.locals.empty()) s.visible = s.has_global ? &s.global : nullptr;
    }
  }

  std::vector<Slot> slots_;
  std::size_t count_ = 0;            // slots_.size(), kept at hand
  std::vector<Symbol> bound_;        // symbols bound by active call scopes, in order
  std::vector<std::size_t> frames_;  // where each active scope's symbols begin in bound_
  std::uint32_t depth_ = 0;
};

}  // namespace veltro
