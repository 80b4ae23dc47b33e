#include "program_generator.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace veltro::gen {

Choices::Choices(std::uint64_t seed) : state_(seed) {}

Choices::Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size), bytes_(true) {}

std::uint32_t Choices::below(std::uint32_t n) {
  if (n <= 1) return 0;
  std::uint64_t word = 0;
  if (bytes_) {
    for (std::uint32_t rest = n - 1; rest != 0; rest >>= 8) {
      std::uint8_t byte = 0;
      if (size_ != 0) {
        byte = *data_++;
        --size_;
      }
      word = word << 8 | byte;
    }
  } else {
    // splitmix64
    state_ += 0x9e3779b97f4a7c15ull;
    word = state_;
    word = (word ^ (word >> 30)) * 0xbf58476d1ce4e5b9ull;
    word = (word ^ (word >> 27)) * 0x94d049bb133111ebull;
    word ^= word >> 31;
  }
  return static_cast<std::uint32_t>(word % n);
}

namespace {

// The generator's types. A name's type is fixed by its first letter, so that
// every binding of a name, in whichever scope dynamic lookup finds it, holds
// a value of one kind (or an error, or null). Short strings have a bounded
// length; Nums and Strs are arrays of numbers and of strings; a Dict maps
// some of a few keys to numbers; Any is everything but a dictionary.
enum class Ty : std::uint8_t { Num, Str, Short, Bool, Nums, Strs, Dict, Any };

constexpr Ty kTypes[] = {Ty::Num, Ty::Str, Ty::Short, Ty::Bool, Ty::Nums, Ty::Strs, Ty::Dict, Ty::Any};

// Values of these types can be long: an expression whose value is stored may
// read at most one of them (its allowance, `refs`).
bool unbounded(Ty t) { return t == Ty::Str || t == Ty::Nums || t == Ty::Strs || t == Ty::Any; }

std::string_view prefix(Ty t) {
  switch (t) {
    case Ty::Num: return "n";
    case Ty::Str: return "s";
    case Ty::Short: return "t";
    case Ty::Bool: return "b";
    case Ty::Nums: return "a";
    case Ty::Strs: return "w";
    case Ty::Dict: return "d";
    case Ty::Any: return "v";
  }
  return "v";
}

// Budgets, in statements and loop rounds run.
constexpr long kProgramBudget = 2000;
constexpr long kDebugBudget = 400;     // -D writes a line per call, holding the function's text
constexpr long kFunctionBudget = 250;  // one call of a function, its callees included
constexpr long kModuleBudget = 120;
constexpr int kPool = 4;           // names per type: n1..n4, s1..s4, ...
constexpr int kMaxLoop = 4;        // rounds of a counted loop
constexpr int kMaxDepthArg = 6;    // recursion depth passed as a literal or a counter
constexpr long kLinearCalls = 9;   // calls of a linear recursion from depth kMaxDepthArg + 0.5
constexpr long kBinaryCalls = 67;  // calls of a two-way recursion from there

constexpr std::string_view kStrings[] = {
    "\"\"", "\"a\"", "\"abc\"", "\"Hello\"", "\"x,y,z\"", "\"a b c\"", "\"\xc3\xa9t\xc3\xa9\"", "\"\xc3\x9f\"",
    "\"\xe6\x97\xa5\xe6\x9c\xac\"", "\" pad \"", "\"tab\\tin\"", "\"two\\nlines\"", "\"q\\\"uote\"", "\"42\"",
    "\"-3.5\"", "\"true\"", "\"b\"", "\",\""};
constexpr std::string_view kSeparators[] = {"\",\"", "\" \"", "\"b\"", "\"\""};
constexpr std::string_view kFloats[] = {"0.5", "2.25", "0.1", "3.0", "1.5", "100.125", "0.0", "0.2", "7.75", "0.000001",
                                        "1000000.5"};
constexpr std::string_view kBigNumbers[] = {"9223372036854775807", "4294967296", "2147483647", "1000000007",
                                            "(-9223372036854775807 - 1)"};
constexpr std::string_view kKeys[] = {"a", "b", "c", "key"};
// Paths the files module sees: relative, so under the run's working folder,
// and never the program's own files. "gone/..." has no folder; 7 is a path too.
constexpr std::string_view kPaths[] = {"\"f1.txt\"", "\"f2.txt\"", "\"fz\"", "\"fz/f3.txt\"", "\"fz/sub\"",
                                       "\"fz/sub/f4.txt\"", "\"gone/f5.txt\"", "7"};

struct Var {
  std::string name;
  Ty type;
};

struct Fn {
  std::string name;  // as a call writes it: f2, mod1.mod1_f1, al1.mod1_f1
  std::vector<Ty> params;
  Ty result = Ty::Any;
  long cost = 1;           // statements one call may run, callees included
  bool recursive = false;  // the first parameter is the depth
  bool breaks = false;     // ends with break or continue: called as a statement inside loops
};

// The body being written: a function's, main's, or the top level's.
struct Frame {
  bool function = false;
  bool ends_run = false;  // main or the top level: a return there ends the run
  Ty result = Ty::Any;
  std::vector<Var> bound;  // parameters and names this body has bound
  std::vector<Fn> nested;  // functions defined in this body
  std::vector<std::pair<std::string, int>> counters;  // enclosing loop counters and their highest value
  long cost = 0;  // statements charged so far
  long mult = 1;  // how often the statement being written may run per entry
  long cap = 0;
  int loops = 0;
};

// A script module as the program reaches it.
struct ModuleInfo {
  std::string name;
  std::vector<Var> exports;
  std::vector<Fn> functions;  // plain names
};

std::string join(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += ", ";
    out += items[i];
  }
  return out;
}

class Generator {
 public:
  Generator(Choices& choices, const Options& options) : c_(choices), o_(options) {}
  Program run();

 private:
  // --- Choices. Zero picks the first alternative, which is always the
  // smallest, and makes every "rarely" false.
  std::uint32_t below(std::uint32_t n) { return c_.below(n); }
  bool rarely(std::uint32_t n) { return below(n) == n - 1; }
  int count(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::uint32_t>(hi - lo + 1))); }
  std::size_t pick(std::initializer_list<unsigned> weights);
  template <class T, std::size_t N>
  T from(const T (&items)[N]) {
    return items[below(N)];
  }
  template <class T>
  const T& from(const std::vector<T>& items) {
    return items[below(static_cast<std::uint32_t>(items.size()))];
  }

  // --- Output.
  void raw(std::string_view text) { out_.append(2 * static_cast<std::size_t>(indent_), ' ').append(text).push_back('\n'); }
  // A simple statement. The semicolon keeps a next statement that begins
  // with "(", "[" or "-" from continuing this one's expression.
  void line(std::string_view text) { raw(fmt::format("{};", text)); }
  void open(std::string_view header) {
    raw(fmt::format("{} {{", header));
    ++indent_;
  }
  void close() {
    --indent_;
    raw("}");
  }
  void reopen(std::string_view header) {
    --indent_;
    raw(fmt::format("}} {} {{", header));
    ++indent_;
  }

  // --- Budget.
  bool affordable(const Frame& f, long cost) const { return f.cost + f.mult * cost <= f.cap; }
  void spend(Frame& f, long cost) { f.cost += f.mult * cost; }

  // --- Names.
  std::string pool_name(Ty t) { return fmt::format("{}{}", prefix(t), 1 + below(kPool)); }
  std::string write_name(Frame& f, Ty t);
  std::string target(Frame& f, Ty t);
  std::optional<std::string> read(Frame& f, Ty t, int& refs);
  std::optional<std::string> module_member(Ty t);
  void bind(Frame& f, const std::string& name, Ty t);
  Ty some_type() { return from(kTypes); }
  Ty text_type() {
    static constexpr Ty kShown[] = {Ty::Num, Ty::Str, Ty::Short, Ty::Bool, Ty::Nums, Ty::Strs, Ty::Any};
    return from(kShown);
  }

  // --- Expressions. `depth` bounds the nesting; `refs` is the allowance of
  // unbounded values the expression may still read.
  std::string expr(Frame& f, Ty t, int depth, int& refs);
  std::string temporary(Frame& f, Ty t, int depth) {
    int refs = 3;  // a value that is used up at once and never stored
    return expr(f, t, depth, refs);
  }
  std::string num(Frame& f, int depth);
  std::string num_leaf(Frame& f);
  std::string str(Frame& f, int depth, int& refs);
  std::string short_str(Frame& f, int depth);
  std::string boolean(Frame& f, int depth);
  std::string nums(Frame& f, int depth, int& refs);
  std::string strs(Frame& f, int depth, int& refs);
  std::string dict(Frame& f, int depth);
  std::string any(Frame& f, int depth, int& refs);
  std::string failing(Frame& f, int depth);
  std::string small_range(Frame& f, int* rounds);
  std::string key(Frame& f);
  std::string literal(Ty t);
  std::optional<std::string> call(Frame& f, Ty t, int depth, int& refs);
  std::string arguments(Frame& f, const Fn& fn, int depth);
  std::string depth_argument(Frame& f);
  std::string condition(Frame& f, int depth);

  // --- Statements.
  void block(Frame& f, int depth, int lo, int hi);
  void statement(Frame& f, int depth);
  void let_statement(Frame& f);
  void assignment(Frame& f);
  void compound(Frame& f);
  void in_place(Frame& f);
  void print_statement(Frame& f);
  void expression_statement(Frame& f);
  void if_statement(Frame& f, int depth);
  void while_loop(Frame& f, int depth);
  void for_range(Frame& f, int depth);
  void for_array(Frame& f, int depth);
  void for_guarded(Frame& f, int depth);
  void match_statement(Frame& f, int depth);
  void try_statement(Frame& f, int depth);
  void return_statement(Frame& f);
  void flag_statement(Frame& f);
  void nested_def(Frame& f);
  void use_statement(Frame& f);
  void function_value(Frame& f);
  void files_statement(Frame& f);
  std::string shape(Frame& f, int depth);
  std::string path() { return std::string(from(kPaths)); }
  void loop_body(Frame& f, int depth, const std::string& counter, int rounds);
  void guarded(Frame& f, std::string_view statement, bool guard);

  // --- Definitions.
  Fn function(std::string name, long budget);
  Fn recursive_function(std::string name);
  Fn breaking_function(std::string name);
  void definitions(Frame& top, int n, const std::string& name_prefix);
  ModuleFile module(int index);
  void imports(Frame& top);

  Choices& c_;
  Options o_;
  std::string out_;
  int indent_ = 0;
  std::vector<Fn> fns_;        // callable from the code being written
  std::vector<Var> globals_;   // names bound at the top level
  std::vector<ModuleInfo> built_;  // script modules written so far
  std::vector<std::pair<std::string, const ModuleInfo*>> reach_;  // prefix (module name or alias) of dotted names
  int counters_ = 0;
  int helpers_ = 0;
  bool text_ = false;  // the library modules the code being written has imported
  bool data_ = false;
  bool sys_ = false;
  bool files_ = false;
  bool caller_ = false;  // the program defines a function named call
  bool in_module_ = false;
};

std::size_t Generator::pick(std::initializer_list<unsigned> weights) {
  unsigned total = 0;
  for (unsigned w : weights) total += w;
  if (total == 0) return 0;
  unsigned r = below(total);
  std::size_t i = 0;
  for (unsigned w : weights) {
    if (r < w) return i;
    r -= w;
    ++i;
  }
  return 0;
}

// ---------------------------------------------------------------- names

std::string Generator::write_name(Frame& f, Ty t) {
  if (t == Ty::Num && rarely(8)) return fmt::format("gn{}", 1 + below(2));
  if (t == Ty::Str && rarely(10)) return "gs1";
  // Mostly a name this body already has, so that later statements find it.
  if (below(3) != 0) {
    std::vector<std::string> own;
    for (const auto& v : f.function ? f.bound : globals_) {
      if (v.type == t) own.push_back(v.name);
    }
    if (!own.empty()) return from(own);
  }
  return pool_name(t);
}

// A name whose old value the statement reads: one bound here or globally,
// or one bound now.
std::string Generator::target(Frame& f, Ty t) {
  std::vector<std::string> known;
  for (const auto* list : {&f.bound, &globals_}) {
    for (const auto& v : *list) {
      if (v.type == t) known.push_back(v.name);
    }
  }
  if (!known.empty() && below(12) != 0) return from(known);
  std::string name = write_name(f, t);
  line(fmt::format("let {} = {}", name, literal(t)));
  bind(f, name, t);
  return name;
}

Ty type_of_name(std::string_view name) {
  if (name.starts_with("gn")) return Ty::Num;
  if (name.starts_with("gs")) return Ty::Str;
  for (Ty t : kTypes) {
    if (name.starts_with(prefix(t))) return t;
  }
  return Ty::Any;
}

void Generator::bind(Frame& f, const std::string& name, Ty t) {
  auto& list = f.function ? f.bound : globals_;
  for (const auto& v : list) {
    if (v.name == name) return;
  }
  list.push_back({name, t});
}

std::optional<std::string> Generator::read(Frame& f, Ty t, int& refs) {
  if (unbounded(t) && refs <= 0) return std::nullopt;
  std::vector<const Var*> known;
  for (const auto* list : {&f.bound, &globals_}) {
    for (const auto& v : *list) {
      if (v.type == t) known.push_back(&v);
    }
  }
  std::string name;
  if (auto member = rarely(12) ? module_member(t) : std::nullopt) {
    name = *member;
  } else if (!known.empty() && below(12) != 0) {
    name = from(known)->name;
  } else if (rarely(known.empty() ? 10 : 1)) {
    // Perhaps bound by a caller (dynamic scope), by a global, or nowhere.
    name = pool_name(t);
  } else {
    return std::nullopt;
  }
  if (unbounded(t)) --refs;
  return name;
}

std::optional<std::string> Generator::module_member(Ty t) {
  std::vector<std::string> found;
  for (const auto& [reach, info] : reach_) {
    for (const auto& v : info->exports) {
      if (v.type == t) found.push_back(fmt::format("{}.{}", reach, v.name));
    }
  }
  if (found.empty()) return std::nullopt;
  return from(found);
}

// ---------------------------------------------------------------- expressions

std::string Generator::literal(Ty t) {
  switch (t) {
    case Ty::Num:
      switch (pick({6, 2, 1, 1})) {
        case 0: return std::to_string(below(10));
        case 1: return std::string(from(kFloats));
        case 2: return std::to_string(below(1000));
        default: return std::string(from(kBigNumbers));
      }
    case Ty::Str:
    case Ty::Short: return std::string(from(kStrings));
    case Ty::Bool: return below(2) ? "true" : "false";
    case Ty::Nums: {
      std::vector<std::string> items;
      for (int i = count(0, 4); i > 0; --i) items.push_back(literal(Ty::Num));
      return fmt::format("[{}]", join(items));
    }
    case Ty::Strs: {
      std::vector<std::string> items;
      for (int i = count(0, 4); i > 0; --i) items.push_back(std::string(from(kStrings)));
      return fmt::format("[{}]", join(items));
    }
    case Ty::Dict: {
      std::vector<std::string> items;
      for (int i = count(0, 3); i > 0; --i) items.push_back(fmt::format("{}: {}", from(kKeys), literal(Ty::Num)));
      return fmt::format("{{{}}}", join(items));
    }
    case Ty::Any: return literal(from({Ty::Num, Ty::Str, Ty::Bool, Ty::Nums, Ty::Strs}));
  }
  return "0";
}

std::string Generator::expr(Frame& f, Ty t, int depth, int& refs) {
  switch (t) {
    case Ty::Num: return num(f, depth);
    case Ty::Str: return str(f, depth, refs);
    case Ty::Short: return short_str(f, depth);
    case Ty::Bool: return boolean(f, depth);
    case Ty::Nums: return nums(f, depth, refs);
    case Ty::Strs: return strs(f, depth, refs);
    case Ty::Dict: return dict(f, depth);
    case Ty::Any: return any(f, depth, refs);
  }
  return "0";
}

std::string Generator::num_leaf(Frame& f) {
  switch (pick({5, 4, 1, 1})) {
    case 0: return literal(Ty::Num);
    case 1: {
      int refs = 1;
      return read(f, Ty::Num, refs).value_or(literal(Ty::Num));
    }
    case 2:
      if (!f.counters.empty()) return from(f.counters).first;
      return std::string(from(kBigNumbers));
    default: return fmt::format("(-{})", literal(Ty::Num));
  }
}

std::string Generator::num(Frame& f, int depth) {
  if (depth <= 0) return num_leaf(f);
  int d = depth - 1;
  switch (pick({6, 8, 1, 2, 3, 2, 2, 2, text_ || data_ ? 2u : 0u, 1, files_ ? 1u : 0u, rarely(3) ? 1u : 0u})) {
    case 0: return num_leaf(f);
    case 1: {
      static constexpr std::string_view kOps[] = {"+", "+", "-", "-", "*", "*", "/", "%", "**"};
      std::string_view op = from(kOps);
      std::string right = op == "**" && below(3) ? std::to_string(below(6)) : num(f, d);
      return fmt::format("({} {} {})", num(f, d), op, right);
    }
    case 2: return fmt::format("(-{})", num(f, d));
    case 3: return fmt::format("len({})", temporary(f, from({Ty::Str, Ty::Short, Ty::Nums, Ty::Strs, Ty::Dict}), d));
    case 4:
      switch (pick({2, 2, 1, 1, 1})) {
        case 0: return fmt::format("{}({})", from({"abs", "floor", "ceil", "round"}), num(f, d));
        case 1: return fmt::format("{}({}, {})", from({"min", "max"}), num(f, d), num(f, d));
        case 2: return fmt::format("sqrt({})", num(f, d));
        case 3: return fmt::format("pow({}, {})", num(f, d), num(f, d));
        default: return fmt::format("max({}, {}, {})", num(f, d), temporary(f, Ty::Any, d), num(f, d));
      }
    case 5: {
      // An element: mostly in range; now and then an element of an element.
      std::string index = below(3) ? std::to_string(below(3)) : num(f, d);
      if (below(5) == 0) {
        std::string first = temporary(f, Ty::Nums, d);
        std::string second = temporary(f, Ty::Nums, d);
        std::string row = below(4) ? std::to_string(below(3)) : num_leaf(f);
        return fmt::format("[{}, {}][{}][{}]", first, second, row, index);
      }
      return fmt::format("{}[{}]", temporary(f, Ty::Nums, d), index);
    }
    case 6: {
      std::string object = temporary(f, Ty::Dict, d);
      if (below(5) == 0) {
        // A dictionary in an array, its field read at once.
        std::string row = below(4) ? std::to_string(below(2)) : num_leaf(f);
        return fmt::format("[{}][{}].{}", object, row, from(kKeys));
      }
      if (below(2)) return fmt::format("{}.{}", object, from(kKeys));
      return fmt::format("{}[{}]", object, key(f));
    }
    case 7: {
      int refs = 1;
      if (auto c = call(f, Ty::Num, d, refs)) return *c;
      return num_leaf(f);
    }
    case 8:
      if (text_ && (!data_ || below(2))) {
        switch (pick({1, 1, 1, 1})) {
          case 0: return fmt::format("text.find({}, {})", temporary(f, Ty::Str, d), short_str(f, d));
          case 1: return fmt::format("text.compare({}, {})", short_str(f, d), short_str(f, d));
          case 2: return fmt::format("text.code({})", short_str(f, d));
          default: return fmt::format("text.to_number({})", short_str(f, d));
        }
      }
      switch (pick({1, 1, 1})) {
        case 0: return fmt::format("data.sum({})", temporary(f, Ty::Nums, d));
        case 1: return fmt::format("data.index_of({}, {})", temporary(f, Ty::Nums, d), num(f, d));
        default: return fmt::format("data.get({}, {}, {})", dict(f, d), key(f), num(f, d));
      }
    case 9: return fmt::format("{}.len()", from({"\"abc\"", "[1, 2]", "\"\xc3\xa9\""}));
    case 10: return fmt::format("len(files.list({}))", path());  // a count: the order of a listing is the system's
    default: return failing(f, d);
  }
}

std::string Generator::key(Frame& f) {
  if (below(4) == 0) return short_str(f, 0);
  return fmt::format("\"{}\"", from(kKeys));
}

std::string Generator::str(Frame& f, int depth, int& refs) {
  auto leaf = [&] {
    if (below(2)) {
      if (auto name = read(f, below(3) ? Ty::Str : Ty::Short, refs)) return *name;
    }
    return literal(Ty::Str);
  };
  if (depth <= 0) return leaf();
  int d = depth - 1;
  int none = 0;  // conversions that can multiply a length see only bounded values
  switch (pick({4, 5, 2, 2, 1, 2, text_ ? 1u : 0u, 2, 1, files_ && refs > 0 ? 2u : 0u})) {
    case 0: return leaf();
    case 1: {
      std::string left = str(f, d, refs);
      return fmt::format("({} + {})", left, str(f, d, refs));
    }
    case 2: return fmt::format("slice({}, {}, {})", str(f, d, refs), num(f, d), num(f, d));
    case 3: return fmt::format("{}[{}]", strs(f, d, refs), below(3) ? std::to_string(below(3)) : num(f, d));
    case 4:
      if (auto c = call(f, Ty::Str, d, refs)) return *c;
      return leaf();
    case 5: return short_str(f, d);
    case 6:
      switch (pick({2, 1, 1})) {
        case 0: return fmt::format("text.trim({})", str(f, d, refs));
        case 1: return fmt::format("text.join({}, {})", strs(f, d, none), from(kSeparators));
        default: return fmt::format("text.replace({}, {}, {})", str(f, d, none), from(kSeparators), from(kStrings));
      }
    case 7:
      switch (pick({1, 1, 2, 1})) {
        case 0: return fmt::format("upper({})", str(f, d, none));
        case 1: return fmt::format("lower({})", str(f, d, none));
        case 2: {
          std::vector<std::string> parts;
          for (int i = count(0, 3); i > 0; --i) parts.push_back(expr(f, text_type(), d, none));
          return fmt::format("concat({})", join(parts));
        }
        default: return fmt::format("({}).upper()", literal(Ty::Str));
      }
    case 9:
      // A file holds what one value held: reading it is reading that value.
      --refs;
      return fmt::format("files.read({})", path());
    default:
      if (auto member = module_member(Ty::Str); member && refs > 0) {
        --refs;
        return *member;
      }
      return leaf();
  }
}

std::string Generator::short_str(Frame& f, int depth) {
  int d = depth > 0 ? depth - 1 : 0;
  int refs = 1;
  switch (pick({5, 4, depth > 0 ? 2u : 0u, depth > 0 ? 1u : 0u, depth > 0 ? 1u : 0u, 1, 1, text_ ? 2u : 0u,
                caller_ ? 2u : 0u})) {
    case 0: return literal(Ty::Short);
    case 1: return read(f, Ty::Short, refs).value_or(literal(Ty::Short));
    case 2: {
      // A slice between two small literals holds a few characters, whatever it cuts.
      int start = count(0, 3);
      return fmt::format("slice({}, {}, {})", str(f, d, refs), start, start + count(0, 4));
    }
    case 3: return fmt::format("typeof({})", temporary(f, from(kTypes), d));
    case 4: return fmt::format("concat({}, {})", num(f, d), boolean(f, d));
    case 5: return fmt::format("{}({})", from({"upper", "lower"}), literal(Ty::Short));
    case 6: return fmt::format("{}.{}()", literal(Ty::Short), from({"upper", "lower", "len"}));
    case 7:
      if (below(2)) return fmt::format("text.char({})", num(f, d));
      return fmt::format("text.fixed({}, {})", num(f, d), below(5));
    default:
      // Calls of what is not a name reach the user's function named call,
      // the callee's value first.
      switch (pick({1, 1, 1})) {
        case 0: return fmt::format("({})({})", num(f, d), num(f, d));
        case 1: return fmt::format("[{}][0]({})", temporary(f, text_type(), d), num(f, d));
        default: return fmt::format("print()({})", literal(Ty::Num));
      }
  }
}

std::string Generator::boolean(Frame& f, int depth) {
  if (depth <= 0 || below(4) == 0) {
    int refs = 1;
    if (below(2)) return read(f, Ty::Bool, refs).value_or(literal(Ty::Bool));
    return literal(Ty::Bool);
  }
  int d = depth - 1;
  switch (pick({6, 2, 2, 1, 2, 2, 1, text_ || data_ ? 1u : 0u, 1, files_ ? 2u : 0u})) {
    case 0: {
      static constexpr std::string_view kOps[] = {"<", ">", "<=", ">=", "==", "!="};
      return fmt::format("({} {} {})", num(f, d), from(kOps), num(f, d));
    }
    case 1: return fmt::format("({} {} {})", temporary(f, Ty::Str, d), from({"==", "!="}), short_str(f, d));
    case 2: return fmt::format("({} {} {})", boolean(f, d), from({"and", "or", "==", "!="}), boolean(f, d));
    case 3: return fmt::format("({} {})", from({"not", "!"}), temporary(f, Ty::Any, d));
    case 4: {
      Ty haystack = from({Ty::Str, Ty::Short, Ty::Strs, Ty::Nums});
      return fmt::format("contains({}, {})", temporary(f, haystack, d),
                         below(2) ? short_str(f, d) : num(f, d));
    }
    case 5: {
      Ty t = below(4) ? text_type() : Ty::Dict;
      return fmt::format("{}({})", from({"is_number", "is_string", "is_array", "is_dict"}), temporary(f, t, d));
    }
    case 6: {
      int refs = 1;
      if (auto c = call(f, Ty::Bool, d, refs)) return *c;
      return literal(Ty::Bool);
    }
    case 7:
      if (text_ && (!data_ || below(2))) {
        return fmt::format("text.{}({}, {})", from({"starts_with", "ends_with"}), temporary(f, Ty::Str, d),
                           short_str(f, d));
      }
      return fmt::format("data.has({}, {})", dict(f, d), key(f));
    case 9:
      if (below(4) == 0) return fmt::format("contains(files.list({}), \"f3.txt\")", path());
      return fmt::format("files.{}({})", from({"exists", "is_file", "is_folder"}), path());
    default: return fmt::format("({} == {})", temporary(f, text_type(), d), temporary(f, text_type(), d));
  }
}

std::string Generator::small_range(Frame& f, int* rounds) {
  switch (pick({4, 1, f.counters.empty() ? 0u : 2u, 1})) {
    case 0: {
      int lo = count(-1, 2);
      int n = count(0, kMaxLoop);
      *rounds = n;
      return fmt::format("{}..{}", lo < 0 ? "(-1)" : std::to_string(lo), lo + n);
    }
    case 1: {
      // Float bounds are cut toward zero.
      int n = count(0, kMaxLoop - 1);
      *rounds = n + 1;
      return fmt::format("0.5..{}.9", n);
    }
    case 2: {
      const auto& [counter, highest] = from(f.counters);
      *rounds = highest + 1;
      return fmt::format("0..{}", counter);
    }
    default: {
      int n = count(0, 2);
      *rounds = 4 + n;
      return fmt::format("len({})..{}", literal(Ty::Strs), 4 + n);
    }
  }
}

std::string Generator::nums(Frame& f, int depth, int& refs) {
  auto leaf = [&] {
    int rounds = 0;
    switch (pick({3, 3, 1})) {
      case 0: return literal(Ty::Nums);
      case 1:
        if (auto name = read(f, Ty::Nums, refs)) return *name;
        return literal(Ty::Nums);
      default: return fmt::format("({})", small_range(f, &rounds));
    }
  };
  if (depth <= 0) return leaf();
  int d = depth - 1;
  switch (pick({4, 3, 1, 2, data_ ? 2u : 0u, 1})) {
    case 0: return leaf();
    case 1: return fmt::format("push({}, {})", nums(f, d, refs), num(f, d));
    case 2: return fmt::format("reverse({})", nums(f, d, refs));
    case 3: {
      std::vector<std::string> items;
      for (int i = count(1, 4); i > 0; --i) items.push_back(num(f, d));
      return fmt::format("[{}]", join(items));
    }
    case 4:
      switch (pick({2, 1, 1, 1, 1})) {
        case 0: return fmt::format("data.sort({})", nums(f, d, refs));
        case 1: return fmt::format("data.set_at({}, {}, {})", nums(f, d, refs), below(3), num(f, d));
        case 2: return fmt::format("data.insert_at({}, {}, {})", nums(f, d, refs), below(2), num(f, d));
        case 3: return fmt::format("data.remove_at({}, {})", nums(f, d, refs), below(3));
        default: return fmt::format("data.slice({}, {}, {})", nums(f, d, refs), below(2), 1 + below(3));
      }
    default:
      if (auto c = call(f, Ty::Nums, d, refs)) return *c;
      return leaf();
  }
}

std::string Generator::strs(Frame& f, int depth, int& refs) {
  auto leaf = [&] {
    switch (pick({3, 3, 2})) {
      case 0: return literal(Ty::Strs);
      case 1:
        if (auto name = read(f, Ty::Strs, refs)) return *name;
        return literal(Ty::Strs);
      default: return fmt::format("split({}, {})", literal(Ty::Str), from(kSeparators));
    }
  };
  if (depth <= 0) return leaf();
  int d = depth - 1;
  switch (pick({4, 3, 1, 2, 2, text_ ? 1u : 0u, data_ ? 1u : 0u, 1})) {
    case 0: return leaf();
    case 1: {
      std::string array = strs(f, d, refs);
      return fmt::format("push({}, {})", array, str(f, d, refs));
    }
    case 2: return fmt::format("reverse({})", strs(f, d, refs));
    case 3: {
      std::vector<std::string> items;
      for (int i = count(1, 3); i > 0; --i) items.push_back(str(f, d, refs));
      return fmt::format("[{}]", join(items));
    }
    case 4: return fmt::format("split({}, {})", short_str(f, d), from(kSeparators));
    case 5: return fmt::format("text.{}({})", from({"chars", "split_lines"}), short_str(f, d));
    case 6:
      if (below(2)) return fmt::format("data.sort({})", strs(f, d, refs));
      return fmt::format("data.sort(data.keys({}))", dict(f, d));
    default:
      if (auto c = call(f, Ty::Strs, d, refs)) return *c;
      return leaf();
  }
}

std::string Generator::dict(Frame& f, int depth) {
  int refs = 1;
  if (depth <= 0) {
    if (below(2)) return read(f, Ty::Dict, refs).value_or(literal(Ty::Dict));
    return literal(Ty::Dict);
  }
  int d = depth - 1;
  switch (pick({3, 3, 2, data_ ? 3u : 0u, 1})) {
    case 0: return literal(Ty::Dict);
    case 1: return read(f, Ty::Dict, refs).value_or(literal(Ty::Dict));
    case 2: {
      std::vector<std::string> items;
      for (int i = count(1, 3); i > 0; --i) items.push_back(fmt::format("{}: {}", from(kKeys), num(f, d)));
      return fmt::format("{{{}}}", join(items));
    }
    case 3:
      if (below(3)) return fmt::format("data.set({}, {}, {})", dict(f, d), key(f), num(f, d));
      return fmt::format("data.remove({}, {})", dict(f, d), key(f));
    default:
      if (auto c = call(f, Ty::Dict, d, refs)) return *c;
      return literal(Ty::Dict);
  }
}

std::string Generator::any(Frame& f, int depth, int& refs) {
  if (depth <= 0) {
    if (below(2)) {
      if (auto name = read(f, Ty::Any, refs)) return *name;
    }
    return literal(Ty::Any);
  }
  int d = depth - 1;
  switch (pick({3, 6, 2, 1, 1, 2, 1, 1, 1})) {
    case 0:
      if (auto name = read(f, Ty::Any, refs)) return *name;
      return literal(Ty::Any);
    case 1: return expr(f, text_type(), d, refs);
    case 2: {
      // Operands of different kinds: mostly "Cannot apply ..." or an unsupported operation.
      static constexpr std::string_view kOps[] = {"+", "-", "*", "/", "%", "**", "==", "!=", "<", ">=", "and", "or"};
      std::string left = expr(f, text_type(), d, refs);
      return fmt::format("({} {} {})", left, from(kOps), expr(f, text_type(), d, refs));
    }
    case 3: return failing(f, d);
    case 4: return "print()";  // null
    case 5: {
      // Builtins given what they do not take answer null.
      switch (pick({1, 1, 1, 1, 1, 1, 1})) {
        case 0: return fmt::format("len({})", num(f, d));
        case 1: return fmt::format("upper({})", num(f, d));
        case 2: return "pop([])";
        case 3: return fmt::format("slice({}, 0, 1)", literal(Ty::Nums));
        case 4: return fmt::format("min({})", num(f, d));
        case 5: return fmt::format("reverse({})", literal(Ty::Str));
        default: return fmt::format("pop({})", nums(f, d, refs));
      }
    }
    case 6: {
      // A function as a value.
      std::vector<std::string> names;
      for (const auto& fn : fns_) {
        if (fn.name.find('.') == std::string::npos) names.push_back(fn.name);
      }
      if (names.empty()) return literal(Ty::Any);
      return from(names);
    }
    case 7: return shape(f, d);
    default: {
      int any_refs = 1;
      if (refs > 0) {
        if (auto c = call(f, Ty::Any, d, any_refs)) {
          --refs;
          return *c;
        }
      }
      return literal(Ty::Any);
    }
  }
}

// An expression whose value is an Error, or that goes wrong on the way.
std::string Generator::failing(Frame& f, int depth) {
  int d = depth > 0 ? depth - 1 : 0;
  std::size_t form = pick({3, 1, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, fns_.empty() ? 0u : 1u,
                           text_ ? 1u : 0u, built_.empty() ? 0u : 1u, files_ ? 2u : 0u});
  switch (form) {
    case 0: return fmt::format("({} / 0)", num(f, d));
    case 1: return fmt::format("({} % 0)", num(f, d));
    case 2: return fmt::format("undefined{}", below(3));
    case 3: return fmt::format("nofn{}({})", below(2), below(2) ? temporary(f, Ty::Any, d) : "");
    case 4: return fmt::format("[1, 2][{}]", from({"5", "(-1)", "1.0", "\"0\""}));
    case 5: return fmt::format("{}[0]", literal(Ty::Short));
    case 6: return fmt::format("{{a: 1}}.{}", from({"zz", "b"}));
    case 7: return fmt::format("{}[1]", dict(f, d));
    case 8: return fmt::format("(-{})", from({"\"s\"", "[1]", "true", "print()"}));
    case 9: return fmt::format("({} {} {})", literal(Ty::Str), from({"+", "-", "<", "and"}), literal(Ty::Num));
    case 10: return fmt::format("({} {} {})", literal(Ty::Num), from({"and", "or"}), literal(Ty::Num));
    case 11: return fmt::format("(print() {} print())", from({"==", "+"}));
    case 12: return "nomod.x";
    case 13: return fmt::format("{}.upper()", pool_name(Ty::Str));  // a plain name before the dot is a module
    case 14: return fmt::format("({})..3", literal(Ty::Str));
    case 15: return "len(0..200000000)";
    case 16: return fmt::format("{}(1)", pool_name(Ty::Num));  // a number is not callable
    case 17: return fmt::format("{}[0](2)", literal(Ty::Nums));
    case 18: {
      // A user function with the wrong number of arguments. Not one reached
      // through a module's name: that takes any number and runs, and what
      // it returns must not become a loop's bound.
      std::vector<const Fn*> plain;
      for (const auto& candidate : fns_) {
        if (candidate.name.find('.') == std::string::npos) plain.push_back(&candidate);
      }
      if (plain.empty()) return "undefined0";
      const Fn& fn = *from(plain);
      if (!affordable(f, fn.cost)) return "undefined0";
      spend(f, fn.cost);
      std::size_t n = fn.params.size() + 1;
      if (fn.params.size() > 0 && below(2)) n = fn.params.size() - 1;
      std::vector<std::string> args;
      for (std::size_t i = 0; i < n; ++i) args.push_back(std::to_string(i));
      return fmt::format("{}({})", fn.name, join(args));
    }
    case 19: return below(2) ? "text.trim(1)" : "text.nothing()";
    case 20: {
      const ModuleInfo& m = from(built_);
      return fmt::format("{}.{}", m.name, below(2) ? "nothing" : "nothing()");
    }
    default:
      // Too few arguments, a file that is not there, a function the module lacks.
      switch (pick({1, 1, 1, 1})) {
        case 0: return fmt::format("files.{}()", from({"read", "delete", "exists", "list", "create_folder"}));
        case 1: return fmt::format("files.{}({})", from({"write", "append"}), path());
        case 2: return fmt::format("files.read({})", from({"\"gone/f5.txt\"", "\"fz\"", "\"nothing.txt\""}));
        default: return fmt::format("files.nothing({})", path());
      }
  }
}

// A shape value, or what the drawing builtins answer without a window.
std::string Generator::shape(Frame& f, int depth) {
  int d = std::min(depth, 1);
  switch (pick({2, 1, 1, 2, 1, 1})) {
    case 0: return fmt::format("rect({}, {}, {}, {})", num(f, d), num(f, d), num(f, d), num(f, d));
    case 1: return fmt::format("circle({}, {}, {})", num(f, d), num(f, d), num(f, d));
    case 2: {
      std::vector<std::string> corners;
      for (int i = 0; i < 6; ++i) corners.push_back(num(f, 0));
      return fmt::format("triangle({})", join(corners));
    }
    case 3: return fmt::format("color({}, {}, {})", num(f, d), num(f, d), num(f, d));
    case 4: return fmt::format("{}(circle(1, 2, 3), color(4, 5, {}))", from({"draw", "fill"}), num(f, 0));
    default:
      switch (pick({2, 1, 1})) {
        case 0: return fmt::format("{}(1, {}, 3, 4)", from({"rect", "color"}), literal(Ty::Short));  // null
        case 1: return "is_open()";
        default: return "window_width()";
      }
  }
}

std::string Generator::depth_argument(Frame& f) {
  switch (pick({4, f.counters.empty() ? 0u : 3u, 1, 1})) {
    case 0: return std::to_string(below(kMaxDepthArg + 1));
    case 1: return from(f.counters).first;
    case 2: return "2.5";
    default: return "\"deep\"";
  }
}

std::string Generator::arguments(Frame& f, const Fn& fn, int depth) {
  std::vector<std::string> args;
  for (std::size_t i = 0; i < fn.params.size(); ++i) {
    if (fn.recursive && i == 0) {
      args.push_back(depth_argument(f));
    } else {
      int refs = 1;
      args.push_back(expr(f, fn.params[i], depth, refs));
    }
  }
  return join(args);
}

std::optional<std::string> Generator::call(Frame& f, Ty t, int depth, int& refs) {
  if (unbounded(t) && refs <= 0) return std::nullopt;
  std::vector<const Fn*> candidates;
  for (const auto* list : {&f.nested, &fns_}) {
    for (const auto& fn : *list) {
      bool fits = fn.result == t || (t == Ty::Str && fn.result == Ty::Short) || (t == Ty::Any && fn.result != Ty::Dict);
      if (fits && !fn.breaks && affordable(f, fn.cost)) candidates.push_back(&fn);
    }
  }
  if (candidates.empty()) return std::nullopt;
  const Fn& fn = *from(candidates);
  spend(f, fn.cost);
  if (unbounded(t)) --refs;
  return fmt::format("{}({})", fn.name, arguments(f, fn, depth));
}

std::string Generator::condition(Frame& f, int depth) {
  if (below(5) == 0) {
    // Any value is true or false; an error reports "Error in if condition".
    return temporary(f, below(6) ? text_type() : Ty::Dict, depth);
  }
  return boolean(f, depth);
}

// ---------------------------------------------------------------- statements

void Generator::block(Frame& f, int depth, int lo, int hi) {
  for (int i = count(lo, hi); i > 0; --i) statement(f, depth);
}

void Generator::statement(Frame& f, int depth) {
  spend(f, 1);
  bool nest = depth > 0 && affordable(f, 12);
  bool in_loop = f.loops > 0;
  bool breakers = in_loop && std::any_of(fns_.begin(), fns_.end(), [](const Fn& fn) { return fn.breaks; });
  bool top = !f.function;
  enum Form {
    Print, Let, Assign, Compound, InPlace, Expression, If, While, ForRange, ForArray, ForGuarded, Match, Try,
    Return, Flag, Breaker, Global, Nested, Use, FunctionValue, Exit, Files, Stray,
  };
  auto form = static_cast<Form>(pick({
      8,                                     // Print
      8,                                     // Let
      4,                                     // Assign
      3,                                     // Compound
      4,                                     // InPlace
      3,                                     // Expression
      nest ? 5u : 0u,                        // If
      nest ? 3u : 0u,                        // While
      nest ? 3u : 0u,                        // ForRange
      nest ? 2u : 0u,                        // ForArray
      nest ? 2u : 0u,                        // ForGuarded
      nest ? 3u : 0u,                        // Match
      nest ? 2u : 0u,                        // Try
      f.ends_run ? 0u : 2u,                  // Return
      in_loop ? 4u : 0u,                     // Flag
      breakers ? 2u : 0u,                    // Breaker
      f.function ? 1u : 0u,                  // Global
      f.function && nest ? 1u : 0u,          // Nested
      o_.modules && !in_module_ ? 1u : 0u,   // Use
      fns_.empty() ? 0u : 1u,                // FunctionValue
      sys_ ? 1u : 0u,                        // Exit
      files_ ? 5u : 0u,                      // Files
      1,                                     // Stray: return, break or continue where nothing expects them
  }));
  switch (form) {
    case Print: return print_statement(f);
    case Let: return let_statement(f);
    case Assign: return assignment(f);
    case Compound: return compound(f);
    case InPlace: return in_place(f);
    case Expression: return expression_statement(f);
    case If: return if_statement(f, depth);
    case While: return while_loop(f, depth);
    case ForRange: return for_range(f, depth);
    case ForArray: return for_array(f, depth);
    case ForGuarded: return for_guarded(f, depth);
    case Match: return match_statement(f, depth);
    case Try: return try_statement(f, depth);
    case Return: return return_statement(f);
    case Flag: return flag_statement(f);
    case Breaker: {
      std::vector<const Fn*> found;
      for (const auto& fn : fns_) {
        if (fn.breaks) found.push_back(&fn);
      }
      const Fn& fn = *from(found);
      spend(f, fn.cost);
      line(fmt::format("{}()", fn.name));
      return;
    }
    case Global: {
      std::string name = below(4) ? fmt::format("gn{}", 1 + below(2)) : (below(2) ? "gs1" : pool_name(Ty::Num));
      line(fmt::format("global {}", name));
      if (below(2)) {
        int refs = 1;
        line(fmt::format("{} = {}", name, expr(f, type_of_name(name), 2, refs)));
      }
      return;
    }
    case Nested: return nested_def(f);
    case Use: return use_statement(f);
    case FunctionValue: return function_value(f);
    case Exit:
      guarded(f, fmt::format("sys.exit({})", from({"0", "1", "7", "255", "256", "(-1)", "\"x\""})), !rarely(6));
      return;
    case Files: return files_statement(f);
    case Stray:
      // Rare: these change what the rest of the program does.
      if (!rarely(12)) return print_statement(f);
      if (top && !in_module_ && below(3) == 0) {
        line("return");
      } else {
        line(below(2) ? "break" : "continue");
      }
      return;
  }
}

void Generator::let_statement(Frame& f) {
  Ty t = some_type();
  std::string name = write_name(f, t);
  int refs = 1;
  // The declaration pass evaluates a top-level initialiser, and without main
  // the sequential pass evaluates it again.
  long mult = f.mult;
  if (!f.function && !in_module_ && indent_ == 0) f.mult *= 2;
  std::string value = expr(f, t, 3, refs);
  f.mult = mult;
  line(fmt::format("let {} = {}", name, value));
  bind(f, name, t);
}

void Generator::assignment(Frame& f) {
  Ty t = some_type();
  int refs = 1;
  std::string name = read(f, t, refs).value_or("");
  if (name.empty() || name.find('.') != std::string::npos || below(3) == 0) name = write_name(f, t);
  refs = 1;
  line(fmt::format("{} = {}", name, expr(f, t, 3, refs)));
  bind(f, name, t);
}

void Generator::compound(Frame& f) {
  switch (pick({5, 2, 1, 1})) {
    case 0: {
      std::string name = target(f, Ty::Num);
      line(fmt::format("{} {}= {}", name, from({"+", "-", "*", "/"}), num(f, 2)));
      return;
    }
    case 1: {
      // Appending a bounded string: the target grows by a little each time.
      std::string name = target(f, from({Ty::Str, Ty::Any}));
      line(fmt::format("{} += {}", name, short_str(f, 1)));
      return;
    }
    case 2: {
      std::string name = target(f, from({Ty::Nums, Ty::Bool, Ty::Dict}));
      line(fmt::format("{} {}= {}", name, from({"+", "-"}), literal(Ty::Num)));
      return;
    }
    default:
      // A name bound nowhere: null + number.
      line(fmt::format("fresh{} += {}", below(3), literal(Ty::Num)));
      return;
  }
}

void Generator::in_place(Frame& f) {
  // The shapes that update a value the statement also reads: name = rhs(name).
  auto update = [&](Ty t, auto rhs) {
    std::string name = target(f, t);
    line(fmt::format("{} = {}", name, rhs(name)));
  };
  switch (pick({3, 2, 2, 2, data_ ? 3u : 0u, 2})) {
    case 0: return update(Ty::Nums, [&](const std::string& a) { return fmt::format("push({}, {})", a, num(f, 2)); });
    case 1:
      return update(Ty::Strs, [&](const std::string& w) { return fmt::format("push({}, {})", w, short_str(f, 1)); });
    case 2: return update(Ty::Str, [&](const std::string& s) { return fmt::format("{} + {}", s, short_str(f, 1)); });
    case 3:
      return update(Ty::Num, [&](const std::string& n) {
        return fmt::format("{} {} {}", n, from({"+", "-", "*"}), num(f, 2));
      });
    case 4:
      switch (pick({2, 1, 1, 1, 1})) {
        case 0:
          return update(Ty::Dict, [&](const std::string& d) {
            return fmt::format("data.set({}, {}, {})", d, key(f), num(f, 1));
          });
        case 1: return update(Ty::Dict, [&](const std::string& d) { return fmt::format("data.remove({}, {})", d, key(f)); });
        case 2:
          return update(Ty::Nums, [&](const std::string& a) {
            return fmt::format("data.set_at({}, {}, {})", a, below(3), num(f, 1));
          });
        case 3:
          return update(Ty::Nums, [&](const std::string& a) {
            return fmt::format("data.{}({}, 0{})", from({"insert_at", "remove_at"}), a, below(2) ? ", 5" : "");
          });
        default: return update(Ty::Strs, [&](const std::string& w) { return fmt::format("data.sort({})", w); });
      }
    default: {
      // A copy taken before an update keeps the old value.
      Ty t = from({Ty::Nums, Ty::Strs, Ty::Str, Ty::Dict});
      std::string target = this->target(f, t);
      std::string copy = pool_name(t);
      line(fmt::format("let {} = {}", copy, target));
      bind(f, copy, t);
      switch (t) {
        case Ty::Nums: line(fmt::format("{} = push({}, {})", target, target, num(f, 1))); break;
        case Ty::Strs: line(fmt::format("{} = push({}, {})", target, target, short_str(f, 0))); break;
        case Ty::Str: line(fmt::format("{} = {} + {}", target, target, short_str(f, 0))); break;
        default:
          if (data_) line(fmt::format("{} = data.set({}, {}, 1)", target, target, key(f)));
          line(fmt::format("print(len({}), len({}))", copy, target));
          return;
      }
      line(fmt::format("print({}, {})", copy, target));
      return;
    }
  }
}

void Generator::print_statement(Frame& f) {
  std::vector<std::string> args;
  switch (pick({8, 1, 1})) {
    case 0:
      for (int i = count(1, 3); i > 0; --i) args.push_back(temporary(f, text_type(), 3));
      break;
    case 1: break;  // writes nothing
    default:
      // One entry has one order.
      args.push_back(fmt::format("{{{}: {}}}", from(kKeys), num(f, 1)));
      break;
  }
  line(fmt::format("print({})", join(args)));
}

void Generator::expression_statement(Frame& f) {
  int refs = 1;
  switch (pick({4, 2, 1, 1, 1, 1})) {
    case 0:
      // A call for its effects; its value is dropped.
      if (auto c = call(f, from(kTypes), 2, refs)) {
        line(*c);
        return;
      }
      line(fmt::format("push({}, 1)", nums(f, 1, refs)));
      return;
    case 1: line(failing(f, 2)); return;
    case 2: line(fmt::format("nofn(print({}))", literal(Ty::Short))); return;
    case 3: line(temporary(f, text_type(), 2)); return;
    case 4: line(fmt::format("{}", pool_name(some_type()))); return;  // a bare name: perhaps unbound
    default: line(fmt::format("{}.{}()", literal(Ty::Short), from({"upper", "len", "lower"}))); return;
  }
}

void Generator::if_statement(Frame& f, int depth) {
  open(fmt::format("if {}", condition(f, 2)));
  block(f, depth - 1, 1, 3);
  switch (pick({2, 2, 1})) {
    case 0: break;
    case 1:
      reopen("else");
      block(f, depth - 1, 1, 3);
      break;
    default:
      // No else-if: the else is dropped and the next if stands alone.
      reopen(fmt::format("else if {}", condition(f, 2)));
      block(f, depth - 1, 1, 2);
      break;
  }
  close();
}

void Generator::loop_body(Frame& f, int depth, const std::string& counter, int rounds) {
  long mult = f.mult;
  f.mult *= std::max(rounds, 1);
  ++f.loops;
  if (!counter.empty()) f.counters.emplace_back(counter, rounds);
  block(f, depth - 1, 1, 4);
  if (!counter.empty()) f.counters.pop_back();
  --f.loops;
  f.mult = mult;
}

void Generator::while_loop(Frame& f, int depth) {
  int rounds = count(0, kMaxLoop);
  std::string counter = fmt::format("c{}", ++counters_);
  bool half = rarely(5);
  line(fmt::format("let {} = {}", counter, half ? "0.5" : "0"));
  std::string cond = fmt::format("{} < {}", counter, rounds);
  if (rarely(4)) {
    // Both operands of `and` are evaluated: the right one on every round.
    long mult = f.mult;
    f.mult *= rounds + 1;
    cond = fmt::format("{} and {}", cond, boolean(f, 1));
    f.mult = mult;
  }
  open(fmt::format("while {}", cond));
  // First, so that no break, continue or error can skip it.
  line(fmt::format("{} += 1", counter));
  loop_body(f, depth, counter, rounds);
  close();
}

void Generator::for_range(Frame& f, int depth) {
  int rounds = 0;
  std::string range;
  switch (pick({14, 1, 1, 1})) {
    case 0: range = small_range(f, &rounds); break;
    case 1: range = fmt::format("{}..3", literal(Ty::Short)); break;  // not numbers
    case 2: range = "0..200000000"; break;                             // too large
    default: range = fmt::format("0..({})", failing(f, 0)); break;
  }
  std::string name = write_name(f, Ty::Num);
  open(fmt::format("for {} in {}", name, range));
  bind(f, name, Ty::Num);
  loop_body(f, depth, "", rounds);
  close();
}

void Generator::for_array(Frame& f, int depth) {
  // Sources with a few elements at most.
  Ty element = Ty::Num;
  std::string source;
  switch (pick({3, 3, 2, 1, 1, text_ ? 1u : 0u, 2})) {
    case 0: source = literal(Ty::Nums); break;
    case 1: {
      std::vector<std::string> items;
      for (int i = count(1, 4); i > 0; --i) items.push_back(temporary(f, text_type(), 1));
      source = fmt::format("[{}]", join(items));
      element = Ty::Any;
      break;
    }
    case 2:
      source = fmt::format("split({}, {})", literal(Ty::Short), from(kSeparators));
      element = Ty::Short;
      break;
    case 3: source = fmt::format("reverse({})", literal(Ty::Nums)); break;
    case 4:
      source = fmt::format("push({}, {})", literal(Ty::Nums), num(f, 1));
      break;
    case 5:
      source = fmt::format("text.chars({})", literal(Ty::Short));
      element = Ty::Short;
      break;
    default: {
      // Not arrays: the loop reports and does not run.
      static constexpr std::string_view kNot[] = {"\"abc\"", "{a: 1}", "print()", "(1 / 0)", "3"};
      source = std::string(from(kNot));
      break;
    }
  }
  std::string name = element == Ty::Any ? pool_name(Ty::Any) : write_name(f, element);
  open(fmt::format("for {} in {}", name, source));
  bind(f, name, element);
  loop_body(f, depth, "", 6);
  close();
}

void Generator::for_guarded(Frame& f, int depth) {
  // Any array, however long: a counter and a break end the loop early.
  Ty t = below(2) ? Ty::Nums : Ty::Strs;
  int refs = 1;
  std::string source = expr(f, t, 2, refs);
  int rounds = count(0, kMaxLoop);
  std::string counter = fmt::format("c{}", ++counters_);
  line(fmt::format("let {} = 0", counter));
  Ty element = t == Ty::Nums ? Ty::Num : Ty::Str;
  std::string name = write_name(f, element);
  open(fmt::format("for {} in {}", name, source));
  bind(f, name, element);
  line(fmt::format("{} += 1", counter));
  open(fmt::format("if {} > {}", counter, rounds));
  line("break");
  close();
  loop_body(f, depth, counter, rounds + 1);
  close();
}

void Generator::match_statement(Frame& f, int depth) {
  Ty t = from({Ty::Num, Ty::Num, Ty::Short, Ty::Bool, Ty::Any});
  std::string subject;
  switch (pick({3, 2, 1})) {
    case 0: {
      int refs = 1;
      Ty read_as = t == Ty::Any ? Ty::Num : t;
      subject = read(f, read_as, refs).value_or(literal(read_as));
      break;
    }
    case 1: subject = t == Ty::Any ? temporary(f, Ty::Any, 2) : literal(t); break;
    default: subject = temporary(f, t, 2); break;
  }
  open(fmt::format("match {}", subject));
  int arms = count(1, 4);
  bool wildcard = below(3) != 0;
  int wildcard_at = below(2) ? arms : count(0, arms);
  for (int i = 0; i <= arms; ++i) {
    std::string pattern;
    if (i == wildcard_at) {
      if (!wildcard) continue;
      pattern = "_";
    } else {
      switch (pick({6, 2, 1, 1})) {
        case 0:
          if (t == Ty::Num && below(3) == 0) {
            pattern = from({"1.0", "0.0", "(-1)", "2.5"});  // a float never equals a number here
          } else {
            pattern = literal(t == Ty::Any ? from({Ty::Num, Ty::Short, Ty::Bool}) : t);
          }
          break;
        case 1: {
          int refs = 1;
          Ty read_as = t == Ty::Any ? Ty::Num : t;
          pattern = read(f, read_as, refs).value_or(literal(read_as));
          break;
        }
        case 2: pattern = fmt::format("({} + 1)", num(f, 1)); break;
        default: pattern = failing(f, 0); break;
      }
    }
    if (below(2)) {
      // In parentheses: an arm whose body begins with "{" has a block.
      line(fmt::format("{} => {}", pattern, below(2) ? fmt::format("print({})", temporary(f, text_type(), 1))
                                                          : fmt::format("({})", failing(f, 0))));
    } else {
      open(fmt::format("{} =>", pattern));
      block(f, depth - 1, 1, 3);
      close();
    }
  }
  close();
}

void Generator::try_statement(Frame& f, int depth) {
  open("try");
  block(f, depth - 1, 0, 3);
  if (below(4)) {
    std::string value;
    // At the top level a value that is not an error ends the run.
    if (below(3) == 0 && !f.ends_run) {
      int refs = 1;
      value = expr(f, f.result, 2, refs);
    } else if (below(f.ends_run ? 8 : 2)) {
      value = failing(f, 1);
    } else {
      int refs = 1;
      value = read(f, Ty::Any, refs).value_or("undefined0");  // an error kept in a variable, perhaps
    }
    guarded(f, fmt::format("return {}", value), below(3) == 0);
  }
  std::string caught = write_name(f, Ty::Str);
  reopen(fmt::format("catch {}", caught));
  bind(f, caught, Ty::Str);
  if (below(2)) line(fmt::format("print({})", caught));
  block(f, depth - 1, 0, 2);
  close();
}

void Generator::return_statement(Frame& f) {
  std::string value;
  if (!f.function) {
    value = "";
  } else if (below(8) == 0) {
    value = failing(f, 1);
  } else if (below(8) != 0) {
    int refs = 1;
    value = expr(f, f.result, 2, refs);
  }
  guarded(f, value.empty() ? "return" : fmt::format("return {}", value), below(6) != 0);
}

void Generator::flag_statement(Frame& f) { guarded(f, below(2) ? "break" : "continue", below(3) != 0); }

// The statement, inside an if when `guard` is set.
void Generator::guarded(Frame& f, std::string_view statement, bool guard) {
  if (guard) open(fmt::format("if {}", boolean(f, 1)));
  line(statement);
  if (guard) close();
}

void Generator::nested_def(Frame& f) {
  // A function bound in the running call's scope.
  std::string name = fmt::format("h{}", ++helpers_);
  Frame inner;
  inner.function = true;
  inner.result = from({Ty::Num, Ty::Short, Ty::Bool});
  inner.cap = std::min<long>(40, (f.cap - f.cost) / std::max<long>(f.mult, 1));
  Fn fn{name, {}, inner.result, 1};
  for (int i = count(0, 2); i > 0; --i) {
    Ty t = from({Ty::Num, Ty::Short, Ty::Bool});
    fn.params.push_back(t);
    inner.bound.push_back({fmt::format("{}{}", prefix(t), i), t});
  }
  std::vector<std::string> params;
  for (const auto& v : inner.bound) params.push_back(v.name);
  open(fmt::format("def {}({})", name, join(params)));
  block(inner, 0, 0, 2);
  int refs = 1;
  line(fmt::format("return {}", expr(inner, inner.result, 1, refs)));
  close();
  fn.cost = inner.cost + 2;
  f.nested.push_back(fn);
  spend(f, fn.cost);
  line(fmt::format("print({}({}))", name, arguments(f, fn, 1)));
}

void Generator::use_statement(Frame& f) {
  switch (pick({2, 1, built_.empty() ? 0u : 2u})) {
    case 0: line(fmt::format("use {}", from({"text", "data", "sys"}))); return;  // again: nothing changes
    case 1: line("use nosuch"); return;
    default: {
      // Item imports bind globals, even inside a function.
      const ModuleInfo& m = from(built_);
      std::vector<std::string> items;
      for (const auto& fn : m.functions) {
        if (below(2)) items.push_back(fn.name);
      }
      if (rarely(3)) items.push_back("zz");
      line(fmt::format("use {} {{ {} }}", m.name, join(items)));
      (void)f;
      return;
    }
  }
}

// The files module, on paths under the working folder.
void Generator::files_statement(Frame& f) {
  static constexpr std::string_view kFolders[] = {"\"fz\"", "\"fz/sub\"", "\"fz/sub/deep\"", "\"gone\"",
                                                  "\"f1.txt\""};
  switch (pick({3, 2, 2, 1, 1, 1, 2, 1})) {
    case 0: {
      int refs = 1;
      line(fmt::format("files.write({}, {})", path(), str(f, 2, refs)));
      return;
    }
    case 1: line(fmt::format("files.append({}, {})", path(), short_str(f, 1))); return;
    case 2: line(fmt::format("files.create_folder({})", from(kFolders))); return;
    case 3: line(fmt::format("files.delete({})", path())); return;
    case 4: line(fmt::format("files.delete_folder({})", from(kFolders))); return;
    case 5:
      // A truthy flag removes what is inside too; a falsy one does not.
      line(fmt::format("files.delete_folder({}, {})", from(kFolders), from({"true", "false", "0", "\"\"", "print()"})));
      return;
    case 6:
      line(fmt::format("print({})", below(2) ? fmt::format("files.read({})", path())
                                             : fmt::format("files.{}({})", from({"exists", "is_file", "is_folder"}), path())));
      return;
    default: {
      std::string folder(from(kFolders));
      line(fmt::format("print(len(files.list({})), contains(files.list({}), {}))", folder, folder,
                       from({"\"f3.txt\"", "\"sub\""})));
      return;
    }
  }
}

void Generator::function_value(Frame& f) {
  std::vector<const Fn*> plain;
  for (const auto& fn : fns_) {
    if (fn.name.find('.') == std::string::npos && !fn.breaks && affordable(f, fn.cost)) plain.push_back(&fn);
  }
  if (plain.empty()) return print_statement(f);
  const Fn& fn = *from(plain);
  std::string name = pool_name(Ty::Any);
  line(fmt::format("let {} = {}", name, fn.name));
  spend(f, fn.cost);
  line(fmt::format("print({}({}))", name, arguments(f, fn, 1)));
  if (below(2)) line(fmt::format("print({}, typeof({}))", name, name));
}

// ---------------------------------------------------------------- definitions

Fn Generator::function(std::string name, long budget) {
  Frame f;
  f.function = true;
  f.result = below(5) ? from({Ty::Num, Ty::Str, Ty::Short, Ty::Bool, Ty::Nums, Ty::Strs, Ty::Dict}) : Ty::Any;
  f.cap = budget;
  Fn fn{name, {}, f.result, 1};
  std::vector<std::string> params;
  for (int i = count(0, 3); i > 0; --i) {
    Ty t = below(6) ? from({Ty::Num, Ty::Str, Ty::Short, Ty::Bool, Ty::Nums, Ty::Strs, Ty::Dict}) : Ty::Any;
    std::string param = pool_name(t);
    fn.params.push_back(t);
    params.push_back(param);
    f.bound.push_back({param, t});
  }
  open(fmt::format("def {}({})", name, join(params)));
  block(f, 2, 1, 5);
  if (below(5)) {
    int refs = 1;
    line(fmt::format("return {}", expr(f, f.result, 3, refs)));
  }
  close();
  fn.cost = f.cost + 2;
  return fn;
}

Fn Generator::recursive_function(std::string name) {
  bool two_way = below(3) == 0;
  long calls = two_way ? kBinaryCalls : kLinearCalls;
  Frame f;
  f.function = true;
  f.result = two_way ? Ty::Num : from({Ty::Num, Ty::Str, Ty::Nums, Ty::Bool, Ty::Any});
  f.cap = kFunctionBudget / calls;
  Fn fn{name, {Ty::Num}, f.result, 1, true};
  std::vector<std::string> params{"k"};
  for (int i = count(0, 2); i > 0; --i) {
    Ty t = from({Ty::Num, Ty::Short, Ty::Bool});
    std::string param = pool_name(t);
    fn.params.push_back(t);
    params.push_back(param);
    f.bound.push_back({param, t});
  }
  open(fmt::format("def {}({})", name, join(params)));
  open("if k <= 0");
  {
    int refs = 1;
    line(fmt::format("return {}", expr(f, f.result, 1, refs)));
  }
  close();
  block(f, 1, 0, 2);
  // The parameters go down unchanged; the depth goes down by one or two.
  auto recurse = [&](int step) {
    std::vector<std::string> args{fmt::format("k - {}", step)};
    for (std::size_t i = 1; i < params.size(); ++i) args.push_back(params[i]);
    return fmt::format("{}({})", name, join(args));
  };
  std::string value;
  switch (f.result) {
    case Ty::Num:
      value = two_way ? fmt::format("{} + {}", recurse(1), recurse(2)) : fmt::format("{} + {}", num(f, 1), recurse(1));
      break;
    case Ty::Str: value = fmt::format("{} + {}", short_str(f, 1), recurse(1)); break;
    case Ty::Nums: value = fmt::format("push({}, k)", recurse(1)); break;
    case Ty::Bool: value = fmt::format("{} {} {}", recurse(1), from({"and", "or"}), boolean(f, 1)); break;
    default: value = recurse(1); break;
  }
  line(fmt::format("return {}", value));
  close();
  fn.cost = calls * (f.cost + 3);
  return fn;
}

Fn Generator::breaking_function(std::string name) {
  Frame f;
  f.function = true;
  f.cap = 10;
  open(fmt::format("def {}()", name));
  block(f, 0, 0, 1);
  guarded(f, below(2) ? "break" : "continue", below(2) != 0);
  line("print(\"after the flag\")");  // runs only when the flag is not set
  close();
  Fn fn{name, {}, Ty::Any, f.cost + 3};
  fn.breaks = true;
  return fn;
}

void Generator::definitions(Frame& top, int n, const std::string& name_prefix) {
  for (int i = 1; i <= n; ++i) {
    std::string name = fmt::format("{}{}", name_prefix, i);
    Fn fn;
    switch (pick({6, in_module_ ? 0u : 2u, in_module_ ? 0u : 1u})) {
      case 0: fn = function(name, kFunctionBudget); break;
      case 1: fn = recursive_function(name); break;
      default: fn = breaking_function(name); break;
    }
    fns_.push_back(fn);
    spend(top, 1);
    // Globals between definitions: the declaration pass binds them in order.
    if (below(3) == 0) {
      statement(top, 0);
    }
  }
}

ModuleFile Generator::module(int index) {
  ModuleInfo info;
  info.name = fmt::format("mod{}", index);
  std::string saved_out = std::move(out_);
  out_.clear();
  auto saved_fns = std::move(fns_);
  auto saved_globals = std::move(globals_);
  fns_.clear();
  globals_.clear();
  in_module_ = true;

  Frame top;
  top.cap = kModuleBudget;
  raw(fmt::format("# module {}", info.name));
  // A module that imports functions of an earlier one exports them too.
  if (!built_.empty() && rarely(3)) {
    const ModuleInfo& earlier = built_.back();
    std::vector<std::string> items;
    for (const auto& fn : earlier.functions) {
      items.push_back(fn.name);
      fns_.push_back(fn);
    }
    line(fmt::format("use {} {{ {} }}", earlier.name, join(items)));
  }
  for (int i = count(1, 3); i > 0; --i) let_statement(top);
  definitions(top, count(1, 3), info.name + "_f");
  block(top, 1, 0, 3);

  info.exports = globals_;
  info.functions = fns_;
  ModuleFile file{info.name, std::move(out_)};
  built_.push_back(std::move(info));
  out_ = std::move(saved_out);
  fns_ = std::move(saved_fns);
  globals_ = std::move(saved_globals);
  in_module_ = false;
  return file;
}

void Generator::imports(Frame& top) {
  if (!o_.modules) return;
  text_ = below(2) == 1;
  data_ = below(2) == 1;
  // Rare: a program that may end its process runs alone in a batch.
  sys_ = rarely(10);
  files_ = rarely(5);
  if (text_) line("use text");
  if (data_) line("use data");
  if (sys_) line("use sys");
  if (files_) {
    line("use files");
    // Mostly a folder to work in from the start.
    if (below(3) != 0) line("files.create_folder(\"fz/sub\")");
    if (below(2) != 0) line("files.write(\"fz/f3.txt\", \"three\")");
  }
  int alias = 0;
  for (const auto& m : built_) {
    switch (pick({3, 1, 2})) {
      case 0:
        line(fmt::format("use {}", m.name));
        reach_.emplace_back(m.name, &m);
        for (Fn fn : m.functions) {
          fn.name = fmt::format("{}.{}", m.name, fn.name);
          fns_.push_back(fn);
        }
        break;
      case 1: {
        std::string name = fmt::format("al{}", ++alias);
        line(fmt::format("use {} as {}", m.name, name));
        reach_.emplace_back(name, &m);
        for (Fn fn : m.functions) {
          fn.name = fmt::format("{}.{}", name, fn.name);
          fns_.push_back(fn);
        }
        break;
      }
      default: {
        std::vector<std::string> items;
        for (const auto& fn : m.functions) {
          items.push_back(fn.name);
          fns_.push_back(fn);
        }
        for (const auto& v : m.exports) {
          if (below(2)) {
            items.push_back(v.name);
            globals_.push_back(v);
          }
        }
        line(fmt::format("use {} {{ {} }}", m.name, join(items)));
        break;
      }
    }
  }
  spend(top, 2);
}

Program Generator::run() {
  Program program;
  if (o_.modules && below(3) == 0) {
    for (int i = count(1, 2); i > 0; --i) program.modules.push_back(module(static_cast<int>(built_.size()) + 1));
  }
  program.extra_debug = o_.debug_switch && program.modules.empty() && rarely(12);

  Frame top;
  top.ends_run = true;
  top.cap = program.extra_debug ? kDebugBudget : kProgramBudget;
  imports(top);
  bool with_main = below(2) == 1;
  for (int i = count(1, 4); i > 0; --i) let_statement(top);
  definitions(top, count(0, 5), "f");
  if (rarely(12)) {
    // A function named like a builtin: a call by that name still reaches the
    // builtin, a call through a variable reaches the function.
    std::string_view name = from({"len", "upper", "max", "push", "typeof"});
    raw(fmt::format("def {}(s1) {{", name));
    raw("  return \"user\";");
    raw("}");
    line(fmt::format("print({}(\"abc\"))", name));
    line(fmt::format("let v1 = {}", name));
    line("print(v1(\"abc\"), typeof(v1))");
    globals_.push_back({"v1", Ty::Any});
  }
  if (rarely(10)) {
    // Calls of what is not a name (a call's result, an element, a literal)
    // are calls of a function named call.
    raw("def call(v1, n1) {");
    raw("  return concat(typeof(v1), \":\", n1);");
    raw("}");
    caller_ = true;
    line("print([1, 2][0](5), \"abc\"(1.5), print()(2))");
  }
  if (with_main) {
    Frame main;
    main.function = true;
    main.ends_run = true;
    main.cap = top.cap - top.cost;
    open("def main()");
    block(main, 3, 3, 14);
    close();
    // Never run: with main, the top level only declares.
    if (below(2)) line("print(\"not reached\")");
  } else {
    block(top, 3, 3, 16);
  }
  if (sys_ && rarely(3)) line(fmt::format("sys.exit({})", below(3)));
  program.text = std::move(out_);
  program.writes_files = files_;
  return program;
}

}  // namespace

Program generate_program(Choices& choices, const Options& options) { return Generator(choices, options).run(); }

}  // namespace veltro::gen
