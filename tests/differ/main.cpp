// veltro-differ: runs the same inputs under two cores (or two veltro
// programs) and compares standard output, standard error and the exit
// status byte for byte. A test tool; it is not installed.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "../fuzz/program_generator.h"
#include "cases.h"
#include "run.h"

namespace fs = std::filesystem;
using namespace veltro::differ;

namespace {

constexpr std::string_view kUsage = R"(Usage: veltro-differ [options]
Runs every input under two cores and compares standard output, standard
error and the exit status byte for byte. Exit status 1 when any input differs
(and when a generated program does not end in time), 2 on a usage error.

Inputs (any mix):
  --seeds A..B        the generated programs of seeds A to B, both included
  --files PATH...     script files, and every .vt file under folders, run as
                      their test markers say
  --corpus PATH...    fuzz inputs: every file under the folders, run alone
  --choices PATH...   inputs of the generated fuzz target: the program each
                      file makes
  --print SEED        write the program of SEED (and its modules) and stop
  --reduce SEED       shrink the program of SEED, a line at a time, for as long
                      as the two sides still disagree on it, and write what
                      is left
Sides:
  --core-a CORE       tree or compiled (default tree)
  --core-b CORE       tree or compiled (default compiled)
  --binary-a PATH     run side A by executing this veltro program instead of
  --binary-b PATH     in a copy of this process (the core, when given, goes
                      to it as VELTRO_CORE)
Running:
  --jobs N            runs at once (default 2)
  --batch N           generated programs run N to a process, each as veltro
                      runs a script but without a process of its own; an
                      input that differs there runs again on its own
                      (default 1: a process for every run)
  --timeout SECONDS   a run that takes longer is stopped (default 10)
  --keep DIR          save every differing input and both outcomes under DIR
  --show N            print the text of the first N differing inputs (default 3)
)";

struct Options {
  std::optional<std::pair<std::uint64_t, std::uint64_t>> seeds;
  std::optional<std::uint64_t> reduce;
  std::vector<std::string> files;
  std::vector<std::string> corpus;
  std::vector<std::string> choices;
  Side a{"", veltro::Core::Tree};
  Side b{"", veltro::Core::Compiled};
  bool core_a_given = false;
  bool core_b_given = false;
  int jobs = 2;
  std::size_t batch = 1;
  double timeout = 10;
  std::string keep;
  int show = 3;
};

[[noreturn]] void usage_error(const std::string& message) {
  std::fprintf(stderr, "veltro-differ: %s\n\n%.*s", message.c_str(), static_cast<int>(kUsage.size()), kUsage.data());
  std::exit(2);
}

std::uint64_t to_number(std::string_view text, const char* what) {
  std::uint64_t n = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc() || end != text.data() + text.size()) usage_error(fmt::format("{} is not a number: {}", what, text));
  return n;
}

veltro::Core to_core(std::string_view name) {
  if (name == "tree") return veltro::Core::Tree;
  if (name == "compiled") return veltro::Core::Compiled;
  usage_error(fmt::format("no core named {} (tree or compiled)", name));
}

std::string_view core_name(const std::optional<veltro::Core>& core) {
  if (!core) return "default core";
  return *core == veltro::Core::Tree ? "tree" : "compiled";
}

std::string describe(const Side& side) {
  return fmt::format("{} ({})", core_name(side.core), side.binary.empty() ? "this program" : side.binary);
}

void print_program(std::uint64_t seed) {
  GeneratedCase g = generated_case(seed);
  for (const auto& [name, text] : g.input.files) {
    std::printf("# ---- %s\n%s", name.c_str(), text.c_str());
  }
  std::printf("# ---- run: veltro");
  for (const auto& a : g.input.args) std::printf(" %s", a.c_str());
  std::printf("\n");
}

Options parse(int argc, char** argv) {
  Options o;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::vector<std::string>* list = nullptr;  // where bare paths go (after --files or --corpus)
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) usage_error(arg + " needs a value");
      return args[++i];
    };
    if (arg == "-h" || arg == "--help") {
      std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
      std::exit(0);
    } else if (arg == "--seeds") {
      const std::string& range = value();
      std::size_t dots = range.find("..");
      if (dots == std::string::npos) usage_error("--seeds takes A..B");
      auto first = to_number(std::string_view(range).substr(0, dots), "the first seed");
      auto last = to_number(std::string_view(range).substr(dots + 2), "the last seed");
      if (last < first) usage_error("--seeds A..B needs A <= B");
      o.seeds = {first, last};
      list = nullptr;
    } else if (arg == "--files") {
      list = &o.files;
    } else if (arg == "--corpus") {
      list = &o.corpus;
    } else if (arg == "--choices") {
      list = &o.choices;
    } else if (arg == "--reduce") {
      o.reduce = to_number(value(), "the seed");
    } else if (arg == "--print") {
      print_program(to_number(value(), "the seed"));
      std::exit(0);
    } else if (arg == "--core-a") {
      o.a.core = to_core(value());
      o.core_a_given = true;
    } else if (arg == "--core-b") {
      o.b.core = to_core(value());
      o.core_b_given = true;
    } else if (arg == "--binary-a") {
      o.a.binary = fs::absolute(value()).string();
    } else if (arg == "--binary-b") {
      o.b.binary = fs::absolute(value()).string();
    } else if (arg == "--jobs") {
      o.jobs = static_cast<int>(std::clamp<std::uint64_t>(to_number(value(), "--jobs"), 1, 64));
    } else if (arg == "--batch") {
      o.batch = static_cast<std::size_t>(std::clamp<std::uint64_t>(to_number(value(), "--batch"), 1, 1000));
    } else if (arg == "--timeout") {
      o.timeout = static_cast<double>(std::max<std::uint64_t>(1, to_number(value(), "--timeout")));
    } else if (arg == "--keep") {
      o.keep = value();
    } else if (arg == "--show") {
      o.show = static_cast<int>(to_number(value(), "--show"));
    } else if (!arg.starts_with("--") && list) {
      list->push_back(arg);
    } else {
      usage_error("unknown argument " + arg);
    }
  }
  if (o.batch > 1 && (!o.a.binary.empty() || !o.b.binary.empty())) usage_error("--batch runs in this program only");
  // A binary keeps its own default core unless one is asked for.
  if (!o.a.binary.empty() && !o.core_a_given) o.a.core.reset();
  if (!o.b.binary.empty() && !o.core_b_given) o.b.core.reset();
  if (!o.seeds && !o.reduce && o.files.empty() && o.corpus.empty() && o.choices.empty()) usage_error("nothing to run: give --seeds, --files, --corpus or --choices");
  return o;
}

enum class Verdict { Identical, Differs, Nondeterministic, TimedOut };

struct Tally {
  std::size_t run = 0;
  std::size_t identical = 0;
  std::size_t differs = 0;
  std::size_t nondeterministic = 0;
  std::size_t timed_out = 0;
  std::vector<std::string> differing;
  std::vector<std::string> unsteady;
  std::vector<std::string> slow;
  double slowest_ms = 0;  // the longest single run, and its input
  std::string slowest;
};

// Where two outcomes part, for the report.
std::string first_difference(const Outcome& a, const Outcome& b) {
  std::vector<std::string> parts;
  if (a.status != b.status || a.timed_out != b.timed_out) {
    parts.push_back(fmt::format("status {}{} against {}{}", a.status, a.timed_out ? " (timed out)" : "", b.status,
                                b.timed_out ? " (timed out)" : ""));
  }
  for (auto [stream, x, y] : {std::tuple{"stdout", &a.out, &b.out}, std::tuple{"stderr", &a.err, &b.err}}) {
    if (*x == *y) continue;
    auto [px, py] = std::mismatch(x->begin(), x->end(), y->begin(), y->end());
    std::size_t at = static_cast<std::size_t>(px - x->begin());
    std::size_t from = at > 40 ? at - 40 : 0;
    parts.push_back(fmt::format("{} at byte {}: {:?} against {:?}", stream, at, x->substr(from, at - from + 40),
                                y->substr(from, at - from + 40)));
  }
  std::string text;
  for (const auto& p : parts) text += (text.empty() ? "" : "; ") + p;
  return text;
}

class Differ {
 public:
  explicit Differ(const Options& o) : o_(o) {
    // Run folders in memory where there is such a file system: files are
    // made and removed for every input.
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string();
    std::string pattern = base + "/veltro-differ-XXXXXX";
    const char* root = mkdtemp(pattern.data());
    if (!root) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    root_ = root;
    for (int i = 0; i < o.jobs; ++i) {
      slots_.push_back(std::make_unique<Slot>(fmt::format("{}/run{}", root_, i), o.timeout));
    }
  }
  ~Differ() {
    slots_.clear();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Runs `count` inputs made by `make(i)`, `batch` at a time in one child
  // where both sides run in this process; `seen(input, outcome of side A)`
  // hears of every input that ran.
  template <class Make, class Seen>
  void run_all(std::size_t count, std::size_t batch, Tally& tally, Make make, Seen seen);

 private:
  struct Running {
    std::size_t slot;
    std::vector<Case> inputs;  // one, or a batch
    bool second = false;       // side B is running
    std::vector<Outcome> a;
    std::chrono::steady_clock::time_point started;
  };

  pid_t start(Running& r, const Side& side);
  Verdict judge(Slot& slot, const Case& input, const Outcome& a, const Outcome& b, std::string& detail);
  void record(Tally& tally, Verdict v, const Case& input, const Outcome& a, const Outcome& b, const std::string& detail);
  void keep(const Case& input, const Outcome& a, const Outcome& b);

  const Options& o_;
  std::string root_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::size_t shown_ = 0;
};

pid_t Differ::start(Running& r, const Side& side) {
  r.started = std::chrono::steady_clock::now();
  Slot& slot = *slots_[r.slot];
  return r.inputs.size() == 1 ? slot.start(side, r.inputs.front()) : slot.start_batch(side, r.inputs);
}

template <class Make, class Seen>
void Differ::run_all(std::size_t count, std::size_t batch, Tally& tally, Make make, Seen seen) {
  std::map<pid_t, Running> running;
  std::vector<std::size_t> free_slots;
  for (std::size_t i = slots_.size(); i > 0; --i) free_slots.push_back(i - 1);
  std::deque<Case> queue;
  std::size_t made = 0;
  // The next input alone, or the next run of inputs that may share a child.
  auto next_unit = [&] {
    while (queue.size() <= batch && made < count) queue.push_back(make(made++));
    std::vector<Case> unit;
    do {
      unit.push_back(std::move(queue.front()));
      queue.pop_front();
    } while (batch > 1 && !unit.front().alone && unit.size() < batch && !queue.empty() && !queue.front().alone);
    return unit;
  };
  while (made < count || !queue.empty() || !running.empty()) {
    while ((made < count || !queue.empty()) && !free_slots.empty()) {
      Running r{free_slots.back(), next_unit(), false, {}, {}};
      free_slots.pop_back();
      pid_t pid = start(r, o_.a);
      running.emplace(pid, std::move(r));
    }
    int status = 0;
    pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "waitpid");
    }
    auto found = running.find(pid);
    if (found == running.end()) continue;
    Running r = std::move(found->second);
    running.erase(found);
    Slot& slot = *slots_[r.slot];
    bool single = r.inputs.size() == 1;
    std::vector<Outcome> outcomes;
    if (single) {
      outcomes.push_back(slot.finish(status));
      double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - r.started).count();
      if (ms > tally.slowest_ms) {
        tally.slowest_ms = ms;
        tally.slowest = r.inputs.front().label;
      }
    } else {
      outcomes = slot.finish_batch(status);
    }
    if (!r.second) {
      r.a = std::move(outcomes);
      r.second = true;
      pid_t b = start(r, o_.b);
      running.emplace(b, std::move(r));
      continue;
    }
    for (std::size_t i = 0; i < r.inputs.size(); ++i) {
      const Case& input = r.inputs[i];
      bool both = i < r.a.size() && i < outcomes.size();
      std::string detail;
      if (single) {
        record(tally, judge(slot, input, r.a[i], outcomes[i], detail), input, r.a[i], outcomes[i], detail);
        seen(input, r.a[i]);
        continue;
      }
      if (both && r.a[i] == outcomes[i]) {
        record(tally, Verdict::Identical, input, r.a[i], outcomes[i], detail);
        seen(input, r.a[i]);
        continue;
      }
      // Not run to the end in its batch, or different there: on its own,
      // in a process of its own, as without batches.
      Outcome a = slot.run(o_.a, input);
      Outcome b = slot.run(o_.b, input);
      Verdict v = judge(slot, input, a, b, detail);
      if (v == Verdict::Identical && both) {
        // A core that keeps something from one program to the next.
        v = Verdict::Differs;
        detail = "only after other programs in the same process: " + first_difference(r.a[i], outcomes[i]);
      }
      record(tally, v, input, a, b, detail);
      seen(input, a);
    }
    free_slots.push_back(r.slot);
  }
}

void Differ::record(Tally& tally, Verdict v, const Case& input, const Outcome& a, const Outcome& b,
                    const std::string& detail) {
  ++tally.run;
  switch (v) {
    case Verdict::Identical: ++tally.identical; return;
    case Verdict::Nondeterministic:
      ++tally.nondeterministic;
      tally.unsteady.push_back(fmt::format("{} ({})", input.label, detail));
      return;
    case Verdict::TimedOut:
      ++tally.timed_out;
      tally.slow.push_back(input.label);
      return;
    case Verdict::Differs:
      ++tally.differs;
      tally.differing.push_back(input.label);
      std::printf("DIFFERS %s: %s\n", input.label.c_str(), detail.c_str());
      if (static_cast<int>(shown_) < o_.show) {
        ++shown_;
        for (const auto& [name, text] : input.files) {
          if (name.ends_with(".vt")) std::printf("---- %s\n%s", name.c_str(), text.c_str());
        }
        std::printf("---- end of %s\n", input.label.c_str());
      }
      std::fflush(stdout);
      if (!o_.keep.empty()) keep(input, a, b);
      return;
  }
}

Verdict Differ::judge(Slot& slot, const Case& input, const Outcome& a, const Outcome& b, std::string& detail) {
  if (a.timed_out || b.timed_out) return Verdict::TimedOut;
  if (a == b) return Verdict::Identical;
  // A second look: an input whose runs on one side disagree among themselves
  // (clocks, random numbers, dictionary order) proves nothing.
  Outcome again = slot.run(o_.a, input);
  if (!(again == a)) {
    detail = "side A disagrees with itself";
    return Verdict::Nondeterministic;
  }
  Outcome b_again = slot.run(o_.b, input);
  if (b_again == a) {
    detail = "side B disagrees with itself";
    return Verdict::Nondeterministic;
  }
  detail = first_difference(a, b);
  return Verdict::Differs;
}

void Differ::keep(const Case& input, const Outcome& a, const Outcome& b) {
  std::string name = input.label;
  for (char& ch : name) {
    if (ch == '/' || ch == ' ') ch = '_';
  }
  fs::path dir = fs::path(o_.keep) / name;
  fs::create_directories(dir);
  auto write = [&](const std::string& file, const std::string& text) {
    std::ofstream(dir / file, std::ios::binary) << text;
  };
  for (const auto& [file, text] : input.files) write(file, text);
  std::string command = "veltro";
  for (const auto& arg : input.args) command += " " + arg;
  write("command", command + "\n");
  write("a.stdout", a.out);
  write("a.stderr", a.err);
  write("a.status", std::to_string(a.status) + "\n");
  write("b.stdout", b.out);
  write("b.stderr", b.err);
  write("b.status", std::to_string(b.status) + "\n");
}

void report(const char* what, const Tally& t) {
  std::printf("%s: %zu run; %zu identical; %zu differ; %zu nondeterministic; %zu timed out\n", what, t.run,
              t.identical, t.differs, t.nondeterministic, t.timed_out);
  if (!t.slowest.empty()) std::printf("  slowest run: %s (%.0f ms)\n", t.slowest.c_str(), t.slowest_ms);
  auto list = [](const char* title, const std::vector<std::string>& items) {
    if (items.empty()) return;
    std::vector<std::string> sorted = items;
    std::sort(sorted.begin(), sorted.end());
    std::printf("  %s:", title);
    std::size_t n = 0;
    for (const auto& item : sorted) {
      if (++n > 20) {
        std::printf(" ... (%zu more)", sorted.size() - 20);
        break;
      }
      std::printf(" %s;", item.c_str());
    }
    std::printf("\n");
  };
  list("differ", t.differing);
  list("nondeterministic", t.unsteady);
  list("timed out", t.slow);
}

// Removes runs of lines from the program and its modules while the sides
// still disagree (halving the run length when no run can go), and prints the
// rest.
int reduce(const Options& o, std::uint64_t seed) {
  std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string();
  std::string pattern = base + "/veltro-differ-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  Slot slot(pattern + "/run", o.timeout);
  Case input = generated_case(seed).input;
  input.keeps_folder = false;  // every candidate is written anew
  auto split = [](const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
      end = std::min(text.find('\n', at), text.size());
      lines.push_back(text.substr(at, end - at));
    }
    return lines;
  };
  auto differs = [&](std::string& file, const std::vector<std::string>& lines) {
    file.clear();
    for (const auto& l : lines) file += l + "\n";
    Outcome a = slot.run(o.a, input);
    Outcome b = slot.run(o.b, input);
    return !a.timed_out && !b.timed_out && !(a == b);
  };
  auto& program = input.files.back().second;  // program.vt comes last
  if (!differs(program, split(program))) {
    std::printf("the sides agree on seed %llu\n", static_cast<unsigned long long>(seed));
    fs::remove_all(pattern);
    return 0;
  }
  // The program first (its removed lines may leave module lines unused),
  // then each module, then the program once more.
  std::vector<std::size_t> order{input.files.size() - 1};
  for (std::size_t i = 0; i + 1 < input.files.size(); ++i) order.push_back(i);
  if (order.size() > 1) order.push_back(input.files.size() - 1);
  for (std::size_t index : order) {
    auto& file = input.files[index].second;
    std::vector<std::string> lines = split(file);
    for (std::size_t run = std::max<std::size_t>(1, lines.size() / 2);; run /= 2) {
      for (std::size_t at = 0; at < lines.size();) {
        std::vector<std::string> fewer(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(at));
        fewer.insert(fewer.end(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(lines.size(), at + run)),
                     lines.end());
        if (!fewer.empty() && differs(file, fewer)) {
          lines = std::move(fewer);
        } else {
          at += run;
        }
      }
      if (run == 1) break;
    }
    (void)differs(file, lines);
  }
  for (const auto& [name, text] : input.files) std::printf("---- %s\n%s", name.c_str(), text.c_str());
  Outcome a = slot.run(o.a, input);
  Outcome b = slot.run(o.b, input);
  std::printf("---- A: status %d\n%s%s---- B: status %d\n%s%s", a.status, a.out.c_str(), a.err.c_str(), b.status,
              b.out.c_str(), b.err.c_str());
  fs::remove_all(pattern);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parse(argc, argv);
  if (o.reduce) {
    try {
      return reduce(o, *o.reduce);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "veltro-differ: %s\n", e.what());
      return 2;
    }
  }
  std::printf("veltro-differ: A = %s, B = %s\n", describe(o.a).c_str(), describe(o.b).c_str());
  std::fflush(stdout);
  auto started = std::chrono::steady_clock::now();
  bool failed = false;
  std::size_t inputs = 0;
  try {
    Differ differ(o);
    if (o.seeds) {
      auto [first, last] = *o.seeds;
      Tally tally;
      std::size_t debug = 0, modules = 0, files = 0, nonzero = 0, out_bytes = 0, error_lines = 0, silent = 0;
      differ.run_all(
          static_cast<std::size_t>(last - first + 1), o.batch, tally,
          [&](std::size_t i) {
            GeneratedCase g = generated_case(first + i);
            debug += g.extra_debug;
            modules += g.modules;
            files += g.files;
            return std::move(g.input);
          },
          [&](const Case&, const Outcome& a) {
            nonzero += a.status != 0;
            out_bytes += a.out.size();
            silent += a.out.empty();
            for (std::size_t at = a.err.find("ERROR"); at != std::string::npos; at = a.err.find("ERROR", at + 1)) {
              ++error_lines;
            }
          });
      report(fmt::format("generated programs (seeds {}..{})", first, last).c_str(), tally);
      std::printf("  of them: %zu with -D, %zu with script modules, %zu with the files module, %zu with an exit "
                  "status other than 0, %zu with no output; %zu bytes of output and %zu ERROR lines in all (side A)\n",
                  debug, modules, files, nonzero, silent, out_bytes, error_lines);
      failed |= tally.differs > 0 || tally.timed_out > 0;
      inputs += tally.run;
    }
    if (!o.choices.empty()) {
      std::vector<Case> cases = choice_cases(o.choices);
      Tally tally;
      differ.run_all(
          cases.size(), o.batch, tally, [&](std::size_t i) { return cases[i]; }, [](const Case&, const Outcome&) {});
      report("generated fuzz inputs", tally);
      failed |= tally.differs > 0 || tally.timed_out > 0;
      inputs += tally.run;
    }
    for (bool corpus : {false, true}) {
      const auto& paths = corpus ? o.corpus : o.files;
      if (paths.empty()) continue;
      ScriptCases scripts = script_cases(paths, corpus);
      Tally tally;
      differ.run_all(
          scripts.cases.size(), 1, tally, [&](std::size_t i) { return scripts.cases[i]; },
          [](const Case&, const Outcome&) {});
      report(corpus ? "fuzz inputs" : "scripts", tally);
      if (!scripts.left_out.empty()) {
        std::printf("  left out unrun: %zu:", scripts.left_out.size());
        for (const auto& [path, why] : scripts.left_out) std::printf(" %s (%s);", path.c_str(), why.c_str());
        std::printf("\n");
      }
      failed |= tally.differs > 0;
      inputs += tally.run;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "veltro-differ: %s\n", e.what());
    return 2;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("elapsed: %.1f s, %.0f inputs a second (each run under both sides)\n", seconds,
              seconds > 0 ? static_cast<double>(inputs) / seconds : 0.0);
  return failed ? 1 : 0;
}
