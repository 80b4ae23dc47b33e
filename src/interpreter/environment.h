#pragma once
// Variables with dynamic scope, by shallow binding: every symbol has a global
// slot and a chain of the bindings made for it by active calls, innermost
// first. All bindings live on one stack in the order they were made, so a
// call scope ends by popping back to where it began. Lookup and define are
// O(1) and give the results of searching a stack of scope maps
// innermost-first, then the globals.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "runtime/value.h"
#include "parser/symbols.h"

namespace veltro {

class Environment {
 public:
  Environment() = default;
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // The value the name resolves to, or nullptr when it is bound nowhere.
  [[nodiscard]] const Value* find(Symbol symbol) const noexcept {
    return symbol < count_ ? visible_[symbol] : nullptr;
  }

  // Makes room for every symbol below `count`. The room only grows, so code
  // that names no symbol above it may use the covered forms below from then
  // on, which skip the bounds check.
  void cover(std::size_t count) {
    if (count > count_) [[unlikely]] grow(static_cast<Symbol>(count - 1));
  }
  // find, for a covered symbol.
  [[nodiscard]] const Value* find_covered(Symbol symbol) const noexcept { return visible_[symbol]; }

  // Binds in the globals for a name declared global or at top level,
  // otherwise in the innermost call scope.
  // `covered` tells that the symbol is covered (see cover).
  template <bool covered = false>
  [[gnu::always_inline]] void define(Symbol symbol, Value&& value) {
    // Rebinding an existing variable of the current scope (or an existing
    // global at top level) is the common case and stays inline.
    if (Value* existing = binding_to_replace<covered>(symbol)) {
      // The old value goes to the caller's moved-from argument and is
      // released with it, after the new one is in place.
      existing->swap(value);
      return;
    }
    define_new(symbol, std::move(value));
  }

  // The stored value `define` would replace in place; nullptr when define
  // would make a new binding.
  template <bool covered = false>
  [[gnu::always_inline]] [[nodiscard]] Value* binding_to_replace(Symbol symbol) noexcept {
    if (covered || symbol < count_) {
      // At top level no call binding exists, so what a name shows is its
      // global, if it has one.
      if (depth_ == 0) return const_cast<Value*>(visible_[symbol]);
      Slot& s = slots_[symbol];
      if (s.declared_global) {
        if (s.has_global) return &s.global;
      } else if (s.top && s.top->depth == depth_) {
        return &s.top->value;
      }
    }
    return nullptr;
  }
  void define(Symbol symbol, const Value& value) { define(symbol, Value(value)); }
  // The same for a number, float or boolean given by its bits (see
  // Value::set_inline), stored in place when the binding exists.
  template <bool covered = false>
  [[gnu::always_inline]] void define_inline(Symbol symbol, ValueType type, std::int64_t bits) {
    if (Value* existing = binding_to_replace<covered>(symbol)) return existing->set_inline(type, bits);
    define_new(symbol, Value::from_bits(type, bits));
  }

  // Binds straight in the globals (item imports of `use`).
  void set_global(Symbol symbol, Value value) {
    Slot& s = slot(symbol);
    s.global = std::move(value);
    s.has_global = true;
    if (!s.top) visible_[symbol] = &s.global;
  }

  // The stored value that `define` would replace, when it is also the
  // binding `find` sees; nullptr otherwise. Lets an assignment that rebuilds
  // the same variable drop the old reference first and update in place.
  [[nodiscard]] Value* define_target_if_visible(Symbol symbol) noexcept {
    if (symbol >= count_) return nullptr;
    Slot& s = slots_[symbol];
    if (depth_ == 0 || s.declared_global) {
      return !s.top && s.has_global ? &s.global : nullptr;
    }
    if (s.top && s.top->depth == depth_) return &s.top->value;
    return nullptr;
  }

  // Gives up the variable's own reference to `held` when the variable is
  // what the coming assignment replaces, so that `held` may be changed in
  // place instead of copied.
  void release_if_holds(Symbol symbol, const Value& held) noexcept {
    Value* target = define_target_if_visible(symbol);
    if (target && target->shares_payload(held)) *target = Value();
  }

  // Where a scope's bindings begin.
  struct Mark {
    const void* at;
  };

  // A scope entered for a call; leave_scope with its mark leaves it.
  [[nodiscard]] Mark enter_scope() {
    ++depth_;
    return {bindings_.position()};
  }
  void leave_scope(Mark mark) {
    while (bindings_.position() != mark.at) {
      Binding* b = bindings_.top();
      Slot& s = slots_[b->symbol];
      s.top = b->below;
      visible_[b->symbol] = s.top ? &s.top->value : (s.has_global ? &s.global : nullptr);
      bindings_.pop();
    }
    --depth_;
  }

  // A binding that does not exist yet.
  [[gnu::noinline]] void define_new(Symbol symbol, Value&& value) {
    Slot& s = slot(symbol);
    if (depth_ == 0 || s.declared_global) {
      s.global = std::move(value);
      s.has_global = true;
      if (!s.top) visible_[symbol] = &s.global;
      return;
    }
    if (s.top && s.top->depth == depth_) {
      s.top->value = std::move(value);
      return;
    }
    push_binding(s, symbol, std::move(value));
  }

  // Binds a call's parameters in the scope just entered. `distinct` tells
  // that no name repeats among them, so that none can be bound in that scope
  // yet.
  void bind_parameters(const std::vector<Symbol>& params, std::span<const Value> args, bool distinct = false) {
    std::size_t n = std::min(params.size(), args.size());
    for (std::size_t i = 0; i < n; ++i) bind_parameter(params[i], Value(args[i]), distinct);
  }
  // The same, taking the argument values over.
  void bind_parameters(const std::vector<Symbol>& params, std::span<Value> args, bool distinct = false) {
    bind_parameters(params.data(), args.first(std::min(params.size(), args.size())), distinct);
  }
  // The same for as many parameters as arguments; `covered` as for define.
  template <bool covered = false>
  void bind_parameters(const Symbol* params, std::span<Value> args, bool distinct = false) {
    for (std::size_t i = 0; i < args.size(); ++i) bind_parameter<covered>(params[i], std::move(args[i]), distinct);
  }
  // The same for a call scope just entered whose parameters are covered
  // and distinct: each is a new local binding unless declared global.
  [[gnu::always_inline]] void bind_distinct_parameters(const Symbol* params, std::span<Value> args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      Symbol symbol = params[i];
      Slot& s = slots_[symbol];
      if (s.declared_global) [[unlikely]] {
        define_new(symbol, std::move(args[i]));
      } else {
        push_binding(s, symbol, std::move(args[i]));
      }
    }
  }
  // The same for a call whose argument count is fixed and equal to the
  // parameter count.
  template <std::size_t N>
  void bind_parameters(const std::vector<Symbol>& params, std::span<Value, N> args, bool distinct = false) {
    const Symbol* symbols = params.data();
    for (std::size_t i = 0; i < N; ++i) bind_parameter(symbols[i], std::move(args[i]), distinct);
  }

  // A parameter: a new local binding unless the name is declared global or
  // already bound in this scope (a repeated parameter name), which
  // define_new handles.
  template <bool covered = false>
  [[gnu::always_inline]] void bind_parameter(Symbol symbol, Value&& value, bool distinct) {
    if (covered || symbol < count_) {
      Slot& s = slots_[symbol];
      if (!s.declared_global && depth_ != 0 && (distinct || !s.top || s.top->depth != depth_)) {
        push_binding(s, symbol, std::move(value));
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
    Value value;
    Binding* below;  // the binding of the same symbol this one hides
    Symbol symbol;
    std::uint32_t depth;
  };
  struct Slot {
    Binding* top = nullptr;  // the innermost local binding
    Value global;
    bool has_global = false;
    bool declared_global = false;
  };

  // The bindings of all active scopes, in the order they were made, in
  // chunks that never move, so that pointers to them stay valid. The end of
  // the stack is one pointer, kept canonical: inside the current chunk past
  // its first binding (a full chunk ends at its limit), or at the very
  // start when the stack is empty. So each height has one position, and a
  // scope's mark is that pointer.
  class BindingStack {
   public:
    BindingStack() {
      chunks_.emplace_back(std::allocator<Binding>().allocate(kChunk));
      enter_chunk(0);
    }
    BindingStack(const BindingStack&) = delete;
    BindingStack& operator=(const BindingStack&) = delete;
    ~BindingStack() {
      while (next_ != chunks_[0].get()) pop();
    }
    [[nodiscard]] const void* position() const noexcept { return next_; }
    [[nodiscard]] Binding* top() const noexcept { return next_ - 1; }
    template <class... Args>
    Binding* push(Args&&... args) {
      if (next_ == limit_) next_chunk();
      Binding* b = new (next_) Binding{std::forward<Args>(args)...};
      ++next_;
      return b;
    }
    void pop() noexcept {
      --next_;
      next_->~Binding();
      if (next_ == base_ && current_ != 0) previous_chunk();
    }

   private:
    static constexpr std::size_t kChunk = 256;
    struct Free {
      void operator()(Binding* p) const { std::allocator<Binding>().deallocate(p, kChunk); }
    };
    void enter_chunk(std::size_t index) noexcept {
      current_ = index;
      base_ = chunks_[index].get();
      limit_ = base_ + kChunk;
      next_ = base_;
    }
    // Chunks once allocated are kept for the next deep call.
    void next_chunk() {
      if (current_ + 1 == chunks_.size()) chunks_.emplace_back(std::allocator<Binding>().allocate(kChunk));
      enter_chunk(current_ + 1);
    }
    void previous_chunk() noexcept {
      enter_chunk(current_ - 1);
      next_ = limit_;
    }

    std::vector<std::unique_ptr<Binding, Free>> chunks_;
    std::size_t current_ = 0;
    Binding* base_ = nullptr;
    Binding* next_ = nullptr;
    Binding* limit_ = nullptr;
  };

  [[gnu::always_inline]] void push_binding(Slot& s, Symbol symbol, Value&& value) {
    Binding* b = bindings_.push(std::move(value), s.top, symbol, depth_);
    s.top = b;
    visible_[symbol] = &b->value;
  }

  Slot& slot(Symbol symbol) {
    if (symbol >= count_) grow(symbol);
    return slots_[symbol];
  }

  // Growing moves the slots: every cached pointer to a global is renewed.
  void grow(Symbol symbol) {
    slots_.resize(std::max<std::size_t>(symbol + 1, symbol_count()));
    count_ = slots_.size();
    visible_store_.resize(count_);
    visible_ = visible_store_.data();
    for (std::size_t i = 0; i < count_; ++i) {
      const Slot& s = slots_[i];
      if (!s.top) visible_[i] = s.has_global ? &s.global : nullptr;
    }
  }

  std::vector<Slot> slots_;
  // What find() answers per symbol: the top local binding, else the global.
  // Kept apart from the slots so that a lookup is one indexed load.
  std::vector<const Value*> visible_store_;
  const Value** visible_ = nullptr;  // visible_store_.data(), kept at hand
  std::size_t count_ = 0;            // slots_.size(), kept at hand
  BindingStack bindings_;
  std::uint32_t depth_ = 0;
};

}  // namespace veltro
