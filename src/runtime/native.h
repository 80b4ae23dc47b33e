#pragma once
// Native functions: the global builtins and the functions of the built-in
// modules, written in C++. Each module hands over a table of its functions;
// the program registers every table once, before any script runs (see
// modules/registry.h), and the interpreter then reaches a function by its
// index in the registry: a call of a builtin's name is bound to an index the
// first time it runs, and a BuiltinFunction value holds one.
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace veltro {

// What native functions keep per interpreter: one object of each type asked
// for (the sdl2 module's window is a GraphicsContext), made on first use and
// destroyed with the interpreter, so that a module interpreter's window goes
// with it.
class ModuleStates {
 public:
  ModuleStates() = default;
  ModuleStates(const ModuleStates&) = delete;
  ModuleStates& operator=(const ModuleStates&) = delete;

  template <class T>
  [[nodiscard]] T& get() {
    static const std::size_t slot = next_slot();
    if (slot >= slots_.size()) slots_.resize(slot + 1);
    std::unique_ptr<Holder>& held = slots_[slot];
    if (!held) held = std::make_unique<Held<T>>();
    return static_cast<Held<T>&>(*held).state;
  }

 private:
  struct Holder {
    virtual ~Holder() = default;
  };
  template <class T>
  struct Held final : Holder {
    T state;
  };
  // A slot number per state type, the same in every interpreter.
  [[nodiscard]] static std::size_t next_slot() noexcept;

  std::vector<std::unique_ptr<Holder>> slots_;
};

// A native function takes the evaluated arguments and its caller's module
// states, and returns one value (an Error value when it fails).
using NativeFn = Value (*)(ModuleStates& states, std::span<const Value> args);
// The same for a function whose result is its first argument changed (push,
// data.set): it may move from its arguments, and changes the first in place
// when it holds the payload's only reference, which a caller arranges for
// `x = f(x, ...)` by giving up the variable's own reference first.
using NativeUpdateFn = Value (*)(ModuleStates& states, std::span<Value> args);

// Adapters from the functions modules write to NativeFn: one that keeps no
// state, and one that works on the state of type S its caller keeps.
template <Value (*F)(std::span<const Value>)>
Value without_state(ModuleStates&, std::span<const Value> args) {
  return F(args);
}
template <class S, Value (*F)(S&, std::span<const Value>)>
Value with_state(ModuleStates& states, std::span<const Value> args) {
  return F(states.get<S>(), args);
}

struct NativeFunction {
  std::string_view name;  // as a script calls it: "print", "sdl2.draw_line"
  NativeFn fn;
  // It may wait (console input, the page server) and return early when
  // Ctrl-C is pressed; the interpreter then stops the running entry.
  bool waits = false;
  // Set for functions that return their first argument changed; fn then
  // copies the arguments and calls this.
  NativeUpdateFn update = nullptr;
};

// The table entry of a function F that returns its first argument changed.
template <Value (*F)(std::span<Value>)>
Value updating_copy(ModuleStates&, std::span<const Value> args) {
  // Copies share their payloads: F then changes a copy of the first
  // argument's payload, never the caller's.
  constexpr std::size_t kInline = 4;
  if (args.size() <= kInline) {
    Value copies[kInline];
    for (std::size_t i = 0; i < args.size(); ++i) copies[i] = args[i];
    return F(std::span<Value>(copies, args.size()));
  }
  std::vector<Value> copies(args.begin(), args.end());
  return F(copies);
}
template <Value (*F)(std::span<Value>)>
Value updating_in_place(ModuleStates&, std::span<Value> args) {
  return F(args);
}
template <Value (*F)(std::span<Value>)>
constexpr NativeFunction updating(std::string_view name) {
  return NativeFunction{name, &updating_copy<F>, false, &updating_in_place<F>};
}

// The table a module hands over.
struct NativeModule {
  // What `use` names ("sdl2"); empty for global builtins, whose names have no
  // module part.
  std::string_view name;
  std::span<const NativeFunction> functions;
  // The failure of a call "name.f" for an f the module lacks.
  std::string (*unknown_function)(std::string_view function) = nullptr;
  // Whether calling a BuiltinFunction value of this module runs it; when not,
  // such a call yields null.
  bool called_through_values = true;
  // Whether the module owns its name (files, http, sdl2): `use` of the name
  // never reads a script file, and a dotted call "name.f" reaches the module
  // whatever `use` bound to the name. A library module (text, data, sys) is
  // an ordinary module instead: a script module of its name in the working
  // directory wins, and calls go through the table `use` bound, under the
  // module's name or an alias.
  bool owns_name = true;
};

namespace natives {

// Registers a module's functions, after those registered before. The table
// is kept by reference, so it lives as long as the program (a static).
// Only before any script runs: the registry is read without a lock.
void add(const NativeModule& module);

// Whether anything is registered yet.
[[nodiscard]] bool empty() noexcept;

// The function with a name ("print", "sdl2.draw_line"), if registered.
[[nodiscard]] std::optional<NativeIndex> find(std::string_view name);

namespace detail {
// The registered functions in index order, kept current by add().
extern constinit const NativeFunction* g_functions;
}  // namespace detail

[[nodiscard]] inline const NativeFunction& at(NativeIndex index) noexcept { return detail::g_functions[index]; }
// The module that registered a function.
[[nodiscard]] const NativeModule& module_of(NativeIndex index) noexcept;

// Whether some registered function that returns its first argument changed
// is called `function` (the part after the module's name: "push", "set").
[[nodiscard]] bool any_update_named(std::string_view function);

// The module `use` reaches by this name; nullptr for none (an empty name
// included).
[[nodiscard]] const NativeModule* find_module(std::string_view name);
// The index of a module's first function; the others follow in table order.
[[nodiscard]] NativeIndex first_index(const NativeModule& module);

}  // namespace natives

}  // namespace veltro
