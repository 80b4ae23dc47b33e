// Modules: the use statement, loading script modules, reading members.
#include <algorithm>

#include "interpreter/interpreter.h"
#include "interpreter/messages.h"
#include "lexer/lexer.h"
#include "parser/parser.h"
#include "runtime/console.h"
#include "runtime/text_file.h"

namespace veltro {

namespace {

// Script modules being loaded right now, outermost first: a module that is
// already on this chain cannot be loaded again without looping for ever.
std::vector<std::string>& loading_chain() {
  static std::vector<std::string> chain;
  return chain;
}

// The export table of a built-in module: each function's name bound to a
// BuiltinFunction value. Rebuilt on every `use`, never cached.
ExportTablePtr native_exports(const NativeModule& module) {
  auto table = std::make_shared<ExportTable>();
  table->native = &module;
  NativeIndex index = natives::first_index(module);
  for (const NativeFunction& f : module.functions) {
    std::string_view name = f.name.substr(module.name.size() + 1);  // after "module."
    table->emplace(std::string(name), Value::builtin(index++));
  }
  return table;
}

}  // namespace

ExportTablePtr Interpreter::load_module(const std::string& name) {
  if (auto cached = module_cache_.find(name); cached != module_cache_.end()) return cached->second;
  if (harness::sandboxed()) {
    log_error(msg::module_not_found(name));
    return nullptr;
  }
  // A library module (one that does not own its name) gives way to a script
  // module of its name in the working directory.
  const NativeModule* native = natives::find_module(name);
  if (native && native->owns_name) return native_exports(*native);

  auto& chain = loading_chain();
  if (std::find(chain.begin(), chain.end(), name) != chain.end()) {
    log_error(msg::module_circular(name));
    return nullptr;
  }
  TextFile source = read_text_file(name + ".vt");
  if (!source.ok) {
    if (native) return native_exports(*native);
    log_error(msg::module_not_found(name));
    return nullptr;
  }
  std::vector<Token> tokens = tokenize(source.text);
  Parser parser(tokens);
  Block program = parser.parse_program();
  if (parser.too_deep()) {
    log_error(parser.limit_message());
    return nullptr;
  }
  log_debug(msg::trace_parsed(program.size()));

  ExportTablePtr table;
  {
    Interpreter module;
    chain.push_back(name);
    // Every statement runs: errors are reported by the statements themselves
    // and a pending return does not end the load.
    for (const auto& stmt : program) {
      if (harness::halted() || interrupt::requested()) break;
      module.execute(*stmt);
    }
    chain.pop_back();
    // Ctrl-C stopped the load: the module stays unloaded, to run in full next time.
    if (interrupt::requested()) return nullptr;
    table = module.export_globals();
  }
  log_debug(msg::trace_exports(name, table->size()));
  module_cache_[name] = table;
  return table;
}

ExportTablePtr Interpreter::export_globals() const {
  auto table = std::make_shared<ExportTable>();
  env_.for_each_global([&](Symbol symbol, const Value& value) {
    const std::string& name = symbol_name(symbol);
    log_debug(msg::trace_exporting(name, value.is_function() ? "Function" : "Other"));
    table->insert_or_assign(name, value);
  });
  return table;
}

void Interpreter::execute_use(const UseStmt& stmt) {
  ExportTablePtr table = load_module(stmt.module);
  if (interrupt::requested()) return stop_for_interrupt();
  if (!table) {
    log_error(msg::import_failed(stmt.module));
    return;
  }
  if (stmt.items) {
    for (const auto& item : *stmt.items) {
      auto entry = table->find(item);
      if (entry == table->end()) {
        log_error(msg::not_exported(stmt.module, item));
        continue;
      }
      env_.set_global(intern(item), entry->second);
    }
    return;
  }
  modules_[stmt.alias ? *stmt.alias : stmt.module] = std::move(table);
}

Value Interpreter::lookup_member(const std::string& module, const std::string& member) {
  auto it = modules_.find(module);
  if (it == modules_.end()) return raise(msg::module_not_imported(module));
  auto entry = it->second->find(member);
  if (entry == it->second->end()) return raise(msg::no_export_named(module, member));
  return entry->second;
}

}  // namespace veltro
