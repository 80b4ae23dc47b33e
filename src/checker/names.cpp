// Names, calls and modules across a whole program. Scoping is dynamic: a
// function sees the variables of whoever calls it, so a name counts as bound
// when anything anywhere in the program or its modules binds it.
#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "checker/program.h"
#include "checker/rules.h"
#include "checker/walk.h"
#include "modules/catalogue.h"

namespace veltro::check {

namespace {

using NameSet = std::unordered_set<std::string>;

struct FunctionSite {
  const Unit* unit;
  const FunctionStmt* stmt;
  bool top;  // defined by the file's top-level code
};

struct UnitFacts {
  NameSet bound;          // bound anywhere in the file
  NameSet top_bound;      // bound by top-level code (what a module exports)
  NameSet top_variables;  // bound at top level by let, assignment, for or catch
  std::unordered_map<std::string, std::vector<const FunctionStmt*>> top_defs;
  NameSet prefixes;  // names this file makes usable before a `.` (module names and aliases)
};

struct Facts {
  NameSet bound;
  NameSet readable;  // bound by something other than a compound assignment
  NameSet globals;   // named by a `global` statement
  NameSet non_def;   // bound by something other than `def` or an item of a script module
  std::unordered_map<std::string, std::vector<FunctionSite>> defs;
  std::unordered_map<std::string, std::set<std::string>> prefixes;  // prefix -> modules it names
  std::unordered_map<const Unit*, UnitFacts> units;
  std::unordered_map<const Unit*, std::vector<const Unit*>> importers;
  std::set<std::pair<std::string, std::string>> items;  // (module, name) imported by name somewhere
  std::unordered_map<const Unit*, std::string> module_names;
  // module -> function name -> the files that name it (`m.f`, `use m { f }`)
  std::unordered_map<const Unit*, std::unordered_map<std::string, std::vector<const Unit*>>> references;
};

bool is_builtin_module(std::string_view name) { return builtin_module(name) != nullptr; }

// Levenshtein distance, giving up beyond `limit`.
std::size_t distance(std::string_view a, std::string_view b, std::size_t limit) {
  if (a.size() > b.size() + limit || b.size() > a.size() + limit) return limit + 1;
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// "; did you mean `x`?" for the closest candidate, or nothing.
template <class Names>
std::string suggestion(std::string_view name, const Names& candidates) {
  std::size_t limit = name.size() <= 3 ? 1 : 2;
  std::string best;
  std::size_t best_distance = limit + 1;
  for (const auto& c : candidates) {
    std::string_view candidate = c;
    if (candidate == name) continue;
    std::size_t d = distance(name, candidate, limit);
    if (d < best_distance || (d == best_distance && !best.empty() && candidate < best)) {
      best_distance = d;
      best = std::string(candidate);
    }
  }
  return best.empty() ? std::string() : fmt::format("; did you mean `{}`?", best);
}

std::vector<std::string_view> function_names(const catalogue::Module& module) {
  std::vector<std::string_view> names;
  for (const auto& f : module.functions) names.push_back(f.name);
  return names;
}

std::string arguments(std::size_t n) { return n == 1 ? "1 argument" : fmt::format("{} arguments", n); }

// ---------------------------------------------------------------- collection

class Collector {
 public:
  Collector(Facts& facts, const Unit& unit) : facts_(facts), unit_(unit), mine_(facts.units[&unit]) {}

  void run() { block(unit_.program(), true); }

 private:
  Facts& facts_;
  const Unit& unit_;
  UnitFacts& mine_;

  void bind(const std::string& name, bool top, bool variable, bool compound = false) {
    facts_.bound.insert(name);
    if (!compound) facts_.readable.insert(name);
    mine_.bound.insert(name);
    if (top) mine_.top_bound.insert(name);
    if (top && variable) mine_.top_variables.insert(name);
  }

  void block(const Block& statements, bool top) {
    for (const auto& s : statements) statement(*s, top);
  }

  // Bound by `let`, an assignment, `for` or `catch`.
  void variable(const std::string& name, bool top) {
    bind(name, top, true);
    facts_.non_def.insert(name);
  }

  void statement(const Stmt& s, bool top) {
    switch (s.kind) {
      case StmtKind::Let: variable(static_cast<const LetStmt&>(s).name, top); break;
      case StmtKind::Assign: variable(static_cast<const AssignStmt&>(s).name, top); break;
      case StmtKind::CompoundAssign: {
        const auto& c = static_cast<const CompoundAssignStmt&>(s);
        bind(c.name, top, true, true);
        facts_.non_def.insert(c.name);
        break;
      }
      case StmtKind::Function: {
        const auto& f = static_cast<const FunctionStmt&>(s);
        bind(f.name, top, false);
        facts_.defs[f.name].push_back(FunctionSite{&unit_, &f, top});
        if (top) mine_.top_defs[f.name].push_back(&f);
        for (const auto& p : f.def->params) {
          bind(p, false, false);
          facts_.non_def.insert(p);
        }
        block(f.def->body, false);
        return;
      }
      case StmtKind::For: variable(static_cast<const ForStmt&>(s).var, top); break;
      case StmtKind::Try: variable(static_cast<const TryStmt&>(s).catch_var, top); break;
      case StmtKind::Global: {
        const auto& g = static_cast<const GlobalStmt&>(s);
        bind(g.name, top, false);
        facts_.globals.insert(g.name);
        break;
      }
      case StmtKind::Use: {
        const auto& u = static_cast<const UseStmt&>(s);
        if (u.items) {
          for (const auto& item : *u.items) {
            facts_.items.emplace(u.module, item);
            bind(item, top, false);
            if (is_builtin_module(u.module)) facts_.non_def.insert(item);
          }
        } else {
          std::string prefix = u.alias ? *u.alias : u.module;
          facts_.prefixes[prefix].insert(u.module);
          mine_.prefixes.insert(prefix);
        }
        break;
      }
      case StmtKind::If:
      case StmtKind::While:
      case StmtKind::Match:
      case StmtKind::Return:
      case StmtKind::Break:
      case StmtKind::Continue:
      case StmtKind::Expr: break;
    }
    stmt_blocks(s, [&](const Block& b) { block(b, top); });
  }
};

// ------------------------------------------------------------------ effects

// Whether running something can be noticed from outside: output, input,
// files, the window, the network, randomness, or a global variable changed.
class Effects {
 public:
  Effects(const Program& program, const Facts& facts) : program_(program), facts_(facts) {}

  // The first call in `e` that has an effect, or nullptr.
  const CallExpr* first_effect(const Expr& e) {
    const CallExpr* found = nullptr;
    auto visit = [&](const Expr& x) {
      if (!found && x.kind == ExprKind::Call && call_has_effect(static_cast<const CallExpr&>(x))) {
        found = &static_cast<const CallExpr&>(x);
      }
    };
    each_expr(e, visit);
    return found;
  }

 private:
  const Program& program_;
  const Facts& facts_;
  std::unordered_map<const FunctionStmt*, bool> known_;

  bool call_has_effect(const CallExpr& call) {
    if (call.dotted) {
      auto prefix = facts_.prefixes.find(call.module_part);
      if (prefix == facts_.prefixes.end() || prefix->second.size() != 1) return false;
      const std::string& module = *prefix->second.begin();
      if (const auto* m = builtin_module(module)) {
        const auto* f = catalogue::find_function(*m, call.function_part);
        return module == call.module_part && f && f->effects;
      }
      auto unit = program_.modules.find(module);
      if (unit == program_.modules.end() || !unit->second) return false;
      auto defs = facts_.units.at(unit->second).top_defs.find(call.function_part);
      if (defs == facts_.units.at(unit->second).top_defs.end()) return false;
      return std::any_of(defs->second.begin(), defs->second.end(),
                         [&](const FunctionStmt* f) { return function_has_effect(*f); });
    }
    if (const auto* f = catalogue::find_builtin(call.name)) return f->effects;
    auto defs = facts_.defs.find(call.name);
    if (defs == facts_.defs.end()) return false;
    return std::any_of(defs->second.begin(), defs->second.end(),
                       [&](const FunctionSite& site) { return function_has_effect(*site.stmt); });
  }

  bool function_has_effect(const FunctionStmt& f) {
    if (auto it = known_.find(&f); it != known_.end()) return it->second;
    if (stack_low()) return false;
    known_[&f] = false;  // while it is being looked at (recursion)
    bool effect = false;
    auto visit = [&](const Stmt& s) {
      if (effect) return;
      switch (s.kind) {
        case StmtKind::Global: effect = true; return;
        case StmtKind::Let: effect = facts_.globals.count(static_cast<const LetStmt&>(s).name) > 0; break;
        case StmtKind::Assign: effect = facts_.globals.count(static_cast<const AssignStmt&>(s).name) > 0; break;
        case StmtKind::CompoundAssign:
          effect = facts_.globals.count(static_cast<const CompoundAssignStmt&>(s).name) > 0;
          break;
        default: break;
      }
      if (s.kind == StmtKind::Function) return;  // defining a function changes nothing outside
      stmt_exprs(s, [&](const Expr& e) { effect = effect || first_effect(e) != nullptr; });
    };
    each_stmt(f.def->body, visit, false);
    known_[&f] = effect;
    return effect;
  }
};

// ------------------------------------------------------------------- checks

class NameCheck {
 public:
  NameCheck(const Program& program, const Facts& facts, std::vector<Finding>& out)
      : program_(program), facts_(facts), out_(out) {}

  void run() {
    for (const auto& unit : program_.units) {
      if (unit->too_deep()) continue;
      unit_ = unit.get();
      module_ = unit.get() != &program_.script() && facts_.importers.count(unit.get());
      block(unit->program(), nullptr);
    }
    entry();
  }

 private:
  const Program& program_;
  const Facts& facts_;
  std::vector<Finding>& out_;
  const Unit* unit_ = nullptr;
  bool module_ = false;  // unit_ is loaded as a module by another file
  // Names the function being walked binds itself (parameters included).
  const NameSet* locals_ = nullptr;
  const FunctionStmt* function_ = nullptr;      // the innermost function being walked
  const FunctionStmt* top_function_ = nullptr;  // the top-level function around it
  std::set<std::pair<const FunctionStmt*, std::string>> local_assignments_;
  std::set<std::pair<const FunctionStmt*, std::string>> module_reads_;  // reported once per function
  std::unordered_map<const FunctionStmt*, NameSet> declared_;
  std::map<std::pair<const Unit*, std::string>, const FunctionStmt*> single_;

  void emit(Code code, std::size_t first, std::size_t end, std::string message) {
    add(*unit_, first, unit_->finding(code, first, end, std::move(message)), out_);
  }
  void emit(Code code, NodeSpan span, std::string message) { emit(code, span.first, span.end, std::move(message)); }

  const UnitFacts& mine() const { return facts_.units.at(unit_); }

  // The single module a prefix names, or nullptr.
  const std::string* module_of(const std::string& prefix) const {
    auto it = facts_.prefixes.find(prefix);
    if (it == facts_.prefixes.end() || it->second.size() != 1) return nullptr;
    return &*it->second.begin();
  }

  const Unit* script_module(const std::string& name) const {
    auto it = program_.modules.find(name);
    return it == program_.modules.end() ? nullptr : it->second;
  }

  void block(const Block& statements, const FunctionStmt* function) {
    if (stack_low()) return;
    for (const auto& s : statements) statement(*s, function);
  }

  void statement(const Stmt& s, const FunctionStmt* function) {
    NodeSpan span = unit_->span(s);
    switch (s.kind) {
      case StmtKind::Function: {
        const auto& f = static_cast<const FunctionStmt&>(s);
        if (const auto* builtin = catalogue::find_builtin(f.name)) {
          emit(Code::DefShadowsBuiltin, span.first, span.first + 2,
               fmt::format("`{}` is a builtin, so calls of `{}(…)` always run the builtin ({}({})), never this "
                           "function; give it another name",
                           f.name, f.name, f.name, builtin->params));
        }
        NameSet locals(f.def->params.begin(), f.def->params.end());
        auto collect = [&](const Stmt& inner) {
          switch (inner.kind) {
            case StmtKind::Let: locals.insert(static_cast<const LetStmt&>(inner).name); break;
            case StmtKind::Assign: locals.insert(static_cast<const AssignStmt&>(inner).name); break;
            case StmtKind::CompoundAssign: locals.insert(static_cast<const CompoundAssignStmt&>(inner).name); break;
            case StmtKind::Function: locals.insert(static_cast<const FunctionStmt&>(inner).name); break;
            case StmtKind::For: locals.insert(static_cast<const ForStmt&>(inner).var); break;
            case StmtKind::Try: locals.insert(static_cast<const TryStmt&>(inner).catch_var); break;
            case StmtKind::Use: {
              const auto& u = static_cast<const UseStmt&>(inner);
              if (u.items) locals.insert(u.items->begin(), u.items->end());
              break;
            }
            default: break;
          }
        };
        each_stmt(f.def->body, collect, false);
        const NameSet* outer_locals = locals_;
        const FunctionStmt* outer_function = function_;
        const FunctionStmt* outer_top = top_function_;
        locals_ = &locals;
        function_ = &f;
        if (!function) top_function_ = &f;
        block(f.def->body, &f);
        locals_ = outer_locals;
        function_ = outer_function;
        top_function_ = outer_top;
        return;
      }
      case StmtKind::CompoundAssign: {
        const auto& c = static_cast<const CompoundAssignStmt&>(s);
        if (!facts_.readable.count(c.name)) {
          emit(Code::UnboundName, span.first, span.first + 1,
               fmt::format("`{}` is bound nowhere else in the program, so {} reads null and fails (Cannot apply "
                           "…); give it a value first (`let {} = …`)",
                           c.name, quote(unit_->source(span.first, span.end)), c.name));
        } else {
          module_read(c.name, span.first);
        }
        assignment(c.name, span, function);
        break;
      }
      case StmtKind::Assign: assignment(static_cast<const AssignStmt&>(s).name, span, function); break;
      case StmtKind::Use: use(static_cast<const UseStmt&>(s), span); break;
      default: break;
    }
    stmt_exprs(s, [&](const Expr& e) { expression(e); });
    stmt_blocks(s, [&](const Block& b) { block(b, function); });
  }

  // Inside a function, assigning a name that only the top level binds makes
  // a local of the call; the top-level variable keeps its value.
  void assignment(const std::string& name, NodeSpan span, const FunctionStmt* function) {
    if (!function || facts_.globals.count(name) || !mine().top_variables.count(name)) return;
    if (declared_locals(*function).count(name) || !local_assignments_.emplace(function, name).second) return;
    emit(Code::AssignmentMakesLocal, span.first, span.first + 1,
         fmt::format("this binds a new local `{}` in `{}`: the top-level `{}` keeps its value after the call; "
                     "to change it, put `global {}` before the assignment",
                     name, function->name, name, name));
  }

  // What a function binds as its own on purpose: parameters, `let`, `for`
  // and `catch` variables.
  const NameSet& declared_locals(const FunctionStmt& function) {
    auto [it, fresh] = declared_.try_emplace(&function);
    if (fresh) {
      NameSet& names = it->second;
      names.insert(function.def->params.begin(), function.def->params.end());
      auto visit = [&](const Stmt& inner) {
        if (inner.kind == StmtKind::Let) names.insert(static_cast<const LetStmt&>(inner).name);
        if (inner.kind == StmtKind::For) names.insert(static_cast<const ForStmt&>(inner).var);
        if (inner.kind == StmtKind::Try) names.insert(static_cast<const TryStmt&>(inner).catch_var);
      };
      each_stmt(function.def->body, visit, false);
    }
    return it->second;
  }

  void use(const UseStmt& u, NodeSpan span) {
    if (!u.items) return;
    const auto* builtin = builtin_module(u.module);
    const Unit* module = builtin ? nullptr : script_module(u.module);
    if (!builtin && !module) return;
    std::size_t at = span.first + 2;  // first token after the module name: `{`
    for (const auto& item : *u.items) {
      while (at < span.end && !(unit_->token(at).type == TokenType::Identifier && unit_->token(at).text == item)) ++at;
      std::size_t where = at < span.end ? at : span.first;
      if (builtin) {
        if (!catalogue::find_function(*builtin, item)) {
          emit(Code::UnknownModuleFunction, where, where + 1,
               fmt::format("`{}` has no function `{}`: the `use` reports that it does not export it{}", u.module, item,
                           suggestion(item, function_names(*builtin))));
        } else if (u.module == "files") {
          emit(Code::FilesItemImport, where, where + 1,
               fmt::format("`{}` imported by name returns null without doing anything when called; write `use "
                           "files;` and call `files.{}(…)`",
                           item, item));
        }
      } else if (!facts_.units.at(module).top_bound.count(item)) {
        emit(Code::NotExported, where, where + 1,
             fmt::format("module `{}` does not export `{}`: nothing is imported under that name{}", u.module, item,
                         suggestion(item, facts_.units.at(module).top_bound)));
      }
      if (at < span.end) ++at;
    }
  }

  void expression(const Expr& e) {
    if (stack_low()) return;
    switch (e.kind) {
      case ExprKind::Identifier: identifier(static_cast<const IdentifierExpr&>(e)); return;
      case ExprKind::Index: {
        const auto& x = static_cast<const IndexExpr&>(e);
        if (x.object->kind == ExprKind::Identifier && x.index->kind == ExprKind::String) {
          member(static_cast<const IdentifierExpr&>(*x.object), static_cast<const StringExpr&>(*x.index).value,
                 unit_->span(e));
          return;
        }
        break;
      }
      case ExprKind::Call: call(static_cast<const CallExpr&>(e)); break;
      default: break;
    }
    expr_children(e, [&](const Expr& child) { expression(child); });
  }

  void identifier(const IdentifierExpr& id) {
    NodeSpan span = unit_->span(id);
    if (facts_.bound.count(id.name)) {
      module_read(id.name, span.first);
      return;
    }
    std::string message;
    if (catalogue::find_builtin(id.name)) {
      message = fmt::format(
          "`{}` is a builtin, and builtins are not values: this reads a variable `{}`, which is "
          "bound nowhere (Undefined variable)",
          id.name, id.name);
    } else if (facts_.prefixes.count(id.name)) {
      message = fmt::format(
          "`{}` is a module, and modules are not values: this reads a variable `{}`, which is "
          "bound nowhere (Undefined variable)",
          id.name, id.name);
    } else {
      message = fmt::format("`{}` is bound nowhere in the program: reading it fails (Undefined variable){}", id.name,
                            suggestion(id.name, facts_.bound));
    }
    emit(Code::UnboundName, span, std::move(message));
  }

  // name.member: a module's export when the name is an imported module,
  // otherwise a field of the variable.
  void member(const IdentifierExpr& object, const std::string& name, NodeSpan span) {
    if (const std::string* module = module_of(object.name)) {
      if (const auto* builtin = builtin_module(*module)) {
        if (!catalogue::find_function(*builtin, name)) {
          emit(Code::UnknownModuleFunction, span,
               fmt::format("`{}` has no function `{}` (Module '{}' has no export named '{}'){}", *module, name,
                           object.name, name, suggestion(name, function_names(*builtin))));
        }
      } else if (const Unit* unit = script_module(*module); unit && !facts_.units.at(unit).top_bound.count(name)) {
        emit(Code::NotExported, span,
             fmt::format("module `{}` does not export `{}` (Module '{}' has no export named '{}'){}", *module, name,
                         object.name, name, suggestion(name, facts_.units.at(unit).top_bound)));
      }
      module_prefix(object.name, span.first);
      return;
    }
    if (facts_.prefixes.count(object.name)) return;  // a prefix naming several modules
    if (!facts_.bound.count(object.name)) {
      emit(Code::NotAModule, span,
           fmt::format("`{}` is neither a variable nor an imported module: `{}.{}` fails (Module '{}' is not "
                       "imported){}",
                       object.name, object.name, name, object.name, import_hint(object.name)));
      return;
    }
    module_read(object.name, span.first);
  }

  std::string import_hint(const std::string& name) const {
    if (is_builtin_module(name) || script_module(name)) return fmt::format("; add `use {};`", name);
    return suggestion(name, facts_.bound);
  }

  void call(const CallExpr& c) {
    NodeSpan span = unit_->span(c);
    if (c.dotted) {
      dotted_call(c, span);
      return;
    }
    if (const auto* builtin = catalogue::find_builtin(c.name)) {
      count_arguments(*builtin, c.name, c.args.size(), span, false);
      return;
    }
    if (c.name == "call" && !facts_.bound.count("call")) {
      emit(Code::UndefinedFunction, span,
           "the value of a call or of an element cannot be called directly (`f(1)(2)`, `a[0](x)`): veltro calls a "
           "function named `call`, which is defined nowhere; store the function in a variable and call that");
      return;
    }
    if (!facts_.bound.count(c.name)) {
      std::vector<std::string> candidates(facts_.bound.begin(), facts_.bound.end());
      for (const auto& f : catalogue::builtins()) candidates.emplace_back(f.name);
      emit(Code::UndefinedFunction, span,
           fmt::format("`{}` is defined nowhere in the program: the call fails (Function '{}' does not exist){}",
                       c.name, c.name, suggestion(c.name, candidates)));
      return;
    }
    module_read(c.name, span.first);
    const FunctionStmt* single = single_definition(c.name);
    if (!single || facts_.non_def.count(c.name)) return;
    const FunctionStmt& f = *single;
    if (f.def->params.size() != c.args.size()) {
      emit(Code::WrongArgumentCount, span,
           fmt::format("`{}` takes {} ({}) but is given {}: the call fails (Function '{}' expects {} arguments but "
                       "got {})",
                       c.name, arguments(f.def->params.size()), fmt::join(f.def->params, ", "), c.args.size(), c.name,
                       f.def->params.size(), c.args.size()));
    }
  }

  // The one definition a plain call of `name` in this file can reach, if
  // there is exactly one: the file's own, those made inside functions,
  // module functions imported by name, and, in a module, its importers'.
  const FunctionStmt* single_definition(const std::string& name) {
    auto [cached, fresh] = single_.try_emplace({unit_, name}, nullptr);
    if (fresh) cached->second = find_single_definition(name);
    return cached->second;
  }

  const FunctionStmt* find_single_definition(const std::string& name) const {
    auto defs = facts_.defs.find(name);
    if (defs == facts_.defs.end()) return nullptr;
    const auto importers = facts_.importers.find(unit_);
    const FunctionStmt* found = nullptr;
    for (const FunctionSite& site : defs->second) {
      bool reaches = site.unit == unit_ || !site.top;
      if (!reaches) {
        auto module = facts_.module_names.find(site.unit);
        reaches = module != facts_.module_names.end() && facts_.items.count({module->second, name});
      }
      if (!reaches && importers != facts_.importers.end()) {
        reaches = std::find(importers->second.begin(), importers->second.end(), site.unit) != importers->second.end();
      }
      if (!reaches) continue;
      if (found) return nullptr;
      found = site.stmt;
    }
    return found;
  }

  void dotted_call(const CallExpr& c, NodeSpan span) {
    const std::string& prefix = c.module_part;
    const std::string& name = c.function_part;
    if (const std::string* module = module_of(prefix)) {
      if (const auto* builtin = builtin_module(*module)) {
        if (prefix != *module && builtin->owns_name) {
          emit(Code::BuiltinModuleAlias, span,
               fmt::format("`{}` is an alias of the built-in module `{}`, and calls through an alias fail (Module "
                           "'{}' has no function '{}'); write `use {};` and call `{}.{}(…)`",
                           prefix, *module, prefix, name, *module, *module, name));
        } else if (const auto* f = catalogue::find_function(*builtin, name)) {
          count_arguments(*f, fmt::format("{}.{}", prefix, name), c.args.size(), span, true, !builtin->owns_name);
        } else {
          emit(Code::UnknownModuleFunction, span,
               fmt::format("`{}` has no function `{}`: the call fails{}", *module, name,
                           suggestion(name, function_names(*builtin))));
        }
      } else if (const Unit* unit = script_module(*module)) {
        const UnitFacts& facts = facts_.units.at(unit);
        auto defs = facts.top_defs.find(name);
        if (defs == facts.top_defs.end()) {
          emit(Code::NotExported, span,
               fmt::format("module `{}` {} `{}`: the call fails (Module '{}' has no function '{}'){}", *module,
                           facts.top_bound.count(name) ? "exports no function named" : "does not export", name, prefix,
                           name, suggestion(name, facts.top_bound)));
        } else if (defs->second.size() == 1 && defs->second.front()->def->params.size() != c.args.size()) {
          const FunctionStmt& f = *defs->second.front();
          std::size_t params = f.def->params.size();
          emit(Code::ModuleArgumentCount, span,
               fmt::format(
                   "`{}.{}` takes {} ({}) but is given {}; calls of module functions do not check: {}", prefix, name,
                   arguments(params), fmt::join(f.def->params, ", "), c.args.size(),
                   c.args.size() > params ? "the extra arguments are ignored" : "the missing parameters stay unbound"));
        }
      }
      module_prefix(prefix, span.first);
      return;
    }
    if (facts_.prefixes.count(prefix)) return;  // several modules go by that name
    if (facts_.bound.count(prefix)) {
      emit(Code::NotAModule, span,
           fmt::format("`{}.{}(…)` calls function `{}` of a module `{}`, but `{}` is a variable: the call fails "
                       "(Module '{}' is not imported); write `{}({}{})`",
                       prefix, name, name, prefix, prefix, prefix, name, prefix, c.args.empty() ? "" : ", …"));
      return;
    }
    emit(Code::NotAModule, span,
         fmt::format("module `{}` is not imported: the call fails (Module '{}' is not imported){}", prefix, prefix,
                     import_hint(prefix)));
  }

  // A library module's function (text, data, sys) fails when given more
  // arguments than it takes, instead of ignoring them.
  void count_arguments(const catalogue::Function& f, const std::string& name, std::size_t given, NodeSpan span,
                       bool module_function, bool extra_fail = false) {
    if (given < f.min_args) {
      std::string what = module_function ? "the call fails" : "it returns null and does nothing";
      if (!module_function && f.name == "input") what = "it returns null without reading a line";
      if (!module_function && f.name.starts_with("is_")) what = "it answers false whatever is meant";
      Finding finding = unit_->finding(
          Code::TooFewArguments, span.first, span.end,
          fmt::format("`{}` needs {} ({}) but is given {}: {}", name, arguments(f.min_args), f.params, given, what));
      if (module_function) finding.severity = Severity::Error;
      add(*unit_, span.first, std::move(finding), out_);
    } else if (extra_fail && given > f.max_args) {
      Finding finding = unit_->finding(Code::ModuleArgumentCount, span.first, span.end,
                                       fmt::format("`{}` takes {} ({}) but is given {}: the call fails", name,
                                                   arguments(f.max_args), f.params, given));
      finding.severity = Severity::Error;
      add(*unit_, span.first, std::move(finding), out_);
    } else if (f.max_args != catalogue::kVariadic && given > f.max_args) {
      emit(Code::TooManyArguments, span,
           fmt::format(
               "`{}` takes {} ({}) but is given {}: the extra ones are ignored", name,
               f.max_args == f.min_args ? arguments(f.max_args) : fmt::format("at most {}", arguments(f.max_args)),
               f.params, given));
    }
  }

  // The importer's names a module function sees ------------------------

  // A module function reads `name`: it runs in the importer's variables, so
  // a name that only its own module binds at top level is missing there.
  // The files that can call the top-level function being walked.
  const std::vector<const Unit*>* callers() const {
    if (!module_ || !top_function_) return nullptr;
    auto module = facts_.references.find(unit_);
    if (module == facts_.references.end()) return nullptr;
    auto named = module->second.find(top_function_->name);
    return named == module->second.end() ? nullptr : &named->second;
  }

  void module_read(const std::string& name, std::size_t at) {
    const auto* importers = callers();
    if (!importers || locals_->count(name)) return;
    const UnitFacts& own = mine();
    if (!own.top_bound.count(name) || !module_reads_.emplace(top_function_, name).second) return;
    for (const Unit* importer : *importers) {
      if (facts_.units.at(importer).bound.count(name)) continue;
      if (own.top_defs.count(name)) {
        emit(Code::ModuleReadsImporter, at, at + 1,
             fmt::format("`{}` calls `{}`, a function of this module; module functions run in the importer's "
                         "variables, and {} binds no `{}`, so the call fails there; import it too (`use {} {{ {} "
                         "}}`)",
                         function_->name, name, importer->path(), name, module_name(), name));
      } else {
        emit(Code::ModuleReadsImporter, at, at + 1,
             fmt::format("`{}` reads `{}`, which this module binds at its top level; module functions run in the "
                         "importer's variables, and {} binds no `{}`, so the read fails there; pass it as an "
                         "argument or import it too (`use {} {{ {} }}`)",
                         function_->name, name, importer->path(), name, module_name(), name));
      }
      return;
    }
  }

  void module_prefix(const std::string& prefix, std::size_t at) {
    const auto* importers = callers();
    if (!importers || !mine().prefixes.count(prefix) || !module_reads_.emplace(top_function_, prefix + ".").second) {
      return;
    }
    for (const Unit* importer : *importers) {
      if (facts_.units.at(importer).prefixes.count(prefix)) continue;
      emit(Code::ModuleReadsImporter, at, at + 1,
           fmt::format("`{}` uses `{}`, which this module imports at its top level; module functions run in the "
                       "importer's interpreter, and {} has no `use {}`, so the call fails there",
                       function_->name, prefix, importer->path(), prefix));
      return;
    }
  }

  std::string module_name() const {
    auto it = facts_.module_names.find(unit_);
    return it == facts_.module_names.end() ? std::string("…") : it->second;
  }

  // The script's top level ------------------------------------------------

  void entry() {
    unit_ = &program_.script();
    if (unit_->too_deep()) return;
    module_ = false;
    const Block& program = unit_->program();
    bool has_main = std::any_of(program.begin(), program.end(), [](const StmtPtr& s) {
      return s->kind == StmtKind::Function && static_cast<const FunctionStmt&>(*s).name == "main";
    });
    if (has_main) {
      never_runs(program);
    } else {
      runs_twice(program);
    }
  }

  static bool declaration(const Stmt& s) {
    return s.kind == StmtKind::Let || s.kind == StmtKind::Function || s.kind == StmtKind::Use;
  }

  static bool calls_main(const Stmt& s) {
    if (s.kind != StmtKind::Expr) return false;
    const Expr& e = *static_cast<const ExprStmt&>(s).expr;
    return e.kind == ExprKind::Call && static_cast<const CallExpr&>(e).name == "main";
  }

  void never_runs(const Block& program) {
    for (std::size_t i = 0; i < program.size();) {
      if (declaration(*program[i]) || calls_main(*program[i])) {
        ++i;
        continue;
      }
      std::size_t j = i + 1;
      while (j < program.size() && !declaration(*program[j]) && !calls_main(*program[j])) ++j;
      NodeSpan first = unit_->span(*program[i]);
      NodeSpan last = unit_->span(*program[j - 1]);
      std::string count = j - i == 1 ? std::string("this statement never runs")
                                     : fmt::format("this statement and the {} after it (to line {}) never run",
                                                   j - i - 1, unit_->place(last.end - 1).line);
      emit(Code::NeverRuns, first.first, last.end,
           fmt::format("the script defines `main`, so after the declarations only `main` runs: {}; move it into "
                       "`main`",
                       count));
      i = j;
    }
  }

  void runs_twice(const Block& program) {
    Effects effects(program_, facts_);
    for (const auto& s : program) {
      if (s->kind != StmtKind::Let) continue;
      const auto& let = static_cast<const LetStmt&>(*s);
      const CallExpr* call = effects.first_effect(*let.value);
      if (!call) continue;
      NodeSpan span = unit_->span(*s);
      NodeSpan at = unit_->span(*call);
      emit(Code::RunsTwice, span.first, span.end,
           fmt::format("without `main` this initialiser runs twice, in the declaration pass before any other "
                       "statement and again in order, so {} runs twice; put the top-level code in `def main() {{ … "
                       "}}`",
                       quote(unit_->source(at.first, at.end))));
    }
  }
};

}  // namespace

void check_program(const Program& program, std::vector<Finding>& out) {
  Facts facts;
  for (const auto& [name, unit] : program.modules) {
    if (unit) facts.module_names[unit] = name;
  }
  for (const auto& unit : program.units) {
    facts.units[unit.get()];
    if (!unit->too_deep()) Collector(facts, *unit).run();
  }
  // Which files import which modules.
  for (const auto& unit : program.units) {
    auto visit = [&](const Stmt& s) {
      if (s.kind != StmtKind::Use) return;
      auto it = program.modules.find(static_cast<const UseStmt&>(s).module);
      if (it == program.modules.end() || !it->second || it->second == unit.get()) return;
      auto& list = facts.importers[it->second];
      if (std::find(list.begin(), list.end(), unit.get()) == list.end()) list.push_back(unit.get());
    };
    if (!unit->too_deep()) each_stmt(unit->program(), visit);
  }
  // Which module functions each file names.
  for (const auto& unit : program.units) {
    if (unit->too_deep()) continue;
    auto refer = [&](const std::string& module, const std::string& function) {
      auto m = program.modules.find(module);
      if (m == program.modules.end() || !m->second || m->second == unit.get()) return;
      auto& list = facts.references[m->second][function];
      if (std::find(list.begin(), list.end(), unit.get()) == list.end()) list.push_back(unit.get());
    };
    auto through = [&](const std::string& prefix, const std::string& function) {
      auto modules = facts.prefixes.find(prefix);
      if (modules == facts.prefixes.end()) return;
      for (const auto& module : modules->second) refer(module, function);
    };
    auto expr = [&](const Expr& e) {
      if (e.kind == ExprKind::Call) {
        const auto& c = static_cast<const CallExpr&>(e);
        if (c.dotted) through(c.module_part, c.function_part);
      } else if (e.kind == ExprKind::Index) {
        const auto& x = static_cast<const IndexExpr&>(e);
        if (x.object->kind == ExprKind::Identifier && x.index->kind == ExprKind::String) {
          through(static_cast<const IdentifierExpr&>(*x.object).name, static_cast<const StringExpr&>(*x.index).value);
        }
      }
    };
    auto stmt = [&](const Stmt& s) {
      if (s.kind == StmtKind::Use) {
        const auto& u = static_cast<const UseStmt&>(s);
        if (u.items) {
          for (const auto& item : *u.items) refer(u.module, item);
        }
      }
      stmt_exprs(s, [&](const Expr& e) { each_expr(e, expr); });
    };
    each_stmt(unit->program(), stmt);
  }
  NameCheck(program, facts, out).run();
}

}  // namespace veltro::check
