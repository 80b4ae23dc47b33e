#pragma once
// What an editor asks of a source text: the names it binds and where, its
// functions with their parameters and bodies, and its `use` statements.
//
// Read from the tokens rather than the tree, because the text in an editor
// is mostly unfinished: a `def` without its closing parenthesis yields no
// statement, but its name and parameters are there to complete and to jump
// to. Function bodies come from matching braces.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checker/unit.h"

namespace veltro::lsp {

enum class BindingKind : std::uint8_t {
  Function,    // def name(...)
  Parameter,   // def f(name)
  Let,         // let name = ...
  Assignment,  // name = ...
  Loop,        // for name in ...
  Caught,      // catch name
  Global,      // global name
  Import,      // use module { name }
};

inline constexpr int kTopLevel = -1;

struct Binding {
  std::string name;
  BindingKind kind;
  std::size_t token;       // the name's token
  int scope = kTopLevel;   // the function whose body or parameter list holds it
  int function = -1;       // Function: the function it defines
  std::string module;      // Import: the module it comes from
};

struct FunctionInfo {
  std::string name;
  std::size_t def_token = 0;
  std::size_t name_token = 0;
  std::vector<std::size_t> params;  // the parameters' tokens
  bool has_body = false;
  std::size_t body_open = 0;   // the body's `{`
  std::size_t body_close = 0;  // its `}` (the EOF token when it is never closed)
  int parent = kTopLevel;      // the function whose body holds this one
};

struct UseInfo {
  std::string module;
  std::size_t module_token = 0;
  std::optional<std::string> alias;  // `use m as alias;`
  bool items = false;                // `use m { ... }`
  // The name the module goes by before a `.`, or empty for an item import.
  [[nodiscard]] std::string prefix() const { return items ? std::string() : alias.value_or(module); }
};

class Outline {
 public:
  Outline(std::string path, std::string text);

  [[nodiscard]] const check::Unit& unit() const { return unit_; }
  [[nodiscard]] const std::vector<Token>& tokens() const { return unit_.tokens(); }
  [[nodiscard]] const SourceSpan& place(std::size_t token) const { return unit_.place(token); }
  [[nodiscard]] const std::vector<Binding>& bindings() const { return bindings_; }
  [[nodiscard]] const std::vector<FunctionInfo>& functions() const { return functions_; }
  [[nodiscard]] const std::vector<UseInfo>& uses() const { return uses_; }

  // The token under a byte offset: one that holds it, or else one that ends
  // right there (the cursor just after a name); names win over punctuation.
  [[nodiscard]] std::optional<std::size_t> token_at(std::size_t offset) const;
  // Whether a byte offset lies inside a comment or a string literal.
  [[nodiscard]] bool in_comment_or_string(std::size_t offset) const;
  // The innermost function whose body holds the token, or kTopLevel.
  [[nodiscard]] int scope_of(std::size_t token) const;
  // The innermost function whose body holds the byte offset, or kTopLevel.
  [[nodiscard]] int scope_at(std::size_t offset) const;

  // The binding a plain name at `token` most likely refers to. Scoping is
  // dynamic, so this is a guess in the order a reader would look: the
  // enclosing functions from the innermost out (a `global` there sends the
  // search to the top level), the file's top level, then anywhere else. In
  // each, the first binding, a function first when `call`.
  [[nodiscard]] const Binding* resolve(std::string_view name, std::size_t token, bool call) const;
  // What the file leaves at its top level under `name` (what a module
  // exports): a function first.
  [[nodiscard]] const Binding* top_level(std::string_view name) const;
  // The `use` that makes `prefix` usable before a `.`.
  [[nodiscard]] const UseInfo* module_use(std::string_view prefix) const;

 private:
  check::Unit unit_;
  std::vector<Binding> bindings_;
  std::vector<FunctionInfo> functions_;
  std::vector<UseInfo> uses_;
  std::vector<int> scopes_;  // per token

  void find_functions();
  void find_bindings();
  void add(std::string name, BindingKind kind, std::size_t token, int scope);
  const Binding* first(std::string_view name, bool call, bool (*in)(const Binding&, int), int scope) const;
};

}  // namespace veltro::lsp
