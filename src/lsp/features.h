#pragma once
// The answers to an editor's questions about a place in a document. Each
// returns the JSON of the response's result (null when there is nothing to
// say).
#include <nlohmann/json.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "checker/finding.h"
#include "modules/catalogue.h"
#include "lsp/source.h"

namespace veltro::lsp {

// What a name at some place stands for.
struct Target {
  enum class Kind : std::uint8_t {
    None,
    Builtin,         // function
    ModuleFunction,  // module, function
    BuiltinModule,   // module
    ScriptModule,    // name, source (nullptr when its file is missing)
    Binding,         // source, binding
  };
  Kind kind = Kind::None;
  const catalogue::Function* function = nullptr;
  const catalogue::Module* module = nullptr;
  std::string name;
  SourcePtr source;
  const Binding* binding = nullptr;
  std::size_t token = 0;  // the token asked about, in the document
};

[[nodiscard]] Target resolve_at(const Workspace& workspace, const SourcePtr& document, std::size_t offset);

[[nodiscard]] nlohmann::json hover(const Workspace& workspace, const SourcePtr& document, std::size_t offset,
                                   Encoding encoding);
[[nodiscard]] nlohmann::json definition(const Workspace& workspace, const SourcePtr& document, std::size_t offset,
                                        Encoding encoding);
[[nodiscard]] nlohmann::json completion(const Workspace& workspace, const Source& document, std::size_t offset);
// DocumentSymbol objects (functions with the functions inside them as
// children, and the `let`s outside functions), or flat SymbolInformation
// objects for a client that cannot take the tree.
[[nodiscard]] nlohmann::json document_symbols(const Source& document, Encoding encoding, bool hierarchical);
// The protocol's Diagnostic objects for the findings in the document's own
// file; `guide` is the URI of the guide to the checks, or empty.
[[nodiscard]] nlohmann::json diagnostics(const Source& document, const std::vector<check::Finding>& findings,
                                         Encoding encoding, std::string_view guide);

}  // namespace veltro::lsp
