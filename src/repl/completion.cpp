#include "repl/completion.h"

#include <algorithm>

#include "modules/catalogue.h"
#include "lexer/lexer.h"

namespace veltro::repl {

namespace {

constexpr char kCall = '(';
constexpr char kMember = '.';
constexpr char kBlank = ' ';
constexpr char kNothing = '\0';

}  // namespace

std::vector<Completion> complete(std::string_view word, const std::vector<SessionName>& session) {
  std::vector<Completion> found;
  auto offer = [&](std::string text, char suffix) {
    if (text.starts_with(word)) found.push_back({std::move(text), suffix});
  };
  if (std::size_t dot = word.find('.'); dot != std::string_view::npos) {
    if (const catalogue::Module* module = catalogue::find_module(word.substr(0, dot))) {
      for (const catalogue::Function& f : module->functions) {
        offer(std::string(module->name) + "." + std::string(f.name), kCall);
      }
    }
  } else {
    for (std::string_view keyword : keywords()) offer(std::string(keyword), kBlank);
    for (const catalogue::Function& f : catalogue::builtins()) offer(std::string(f.name), kCall);
    for (const catalogue::Module& m : catalogue::modules()) offer(std::string(m.name), kMember);
    for (const SessionName& name : session) offer(name.name, name.function ? kCall : kNothing);
  }
  // A session name that repeats a builtin's keeps the first kind offered.
  std::stable_sort(found.begin(), found.end(), [](const Completion& a, const Completion& b) { return a.text < b.text; });
  found.erase(std::unique(found.begin(), found.end(), [](const Completion& a, const Completion& b) { return a.text == b.text; }),
              found.end());
  return found;
}

}  // namespace veltro::repl
