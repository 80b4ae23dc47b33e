#pragma once
// The words Tab offers at the interactive prompt, drawn from the lexer's
// keywords, the catalogue of builtins and modules, and the session's names.
#include <string>
#include <string_view>
#include <vector>

namespace veltro::repl {

// A name bound in the session (a global of the prompt's interpreter).
struct SessionName {
  std::string name;
  bool function = false;
};

struct Completion {
  std::string text;
  // Typed after the word when it is the only completion: '(' after a
  // function, '.' after a module, a blank after a keyword, nothing ('\0')
  // after a variable.
  char suffix = '\0';
};

// Every completion of `word`, sorted, each text once. A word with a dot
// completes the functions of the built-in module before the dot
// ("files.re" gives "files.read"); any other word completes keywords,
// builtins, module names and session names.
[[nodiscard]] std::vector<Completion> complete(std::string_view word, const std::vector<SessionName>& session);

}  // namespace veltro::repl
