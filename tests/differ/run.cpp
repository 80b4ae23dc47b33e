#include "run.h"

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fmt/format.h>

#include "cli.h"
#include "large_stack.h"
#include "modules/registry.h"
#include "parser/symbols.h"
#include "runtime/console.h"
#include "runtime/dict_map.h"

namespace veltro::differ {

namespace fs = std::filesystem;

namespace {

// What veltro's own main does with its arguments.
int run_veltro(const std::vector<std::string>& args) {
  int status = run_guarded([&args] { return run_command_line(args); });
  out_flush();
  return status;
}

// The batch a child runs (set in the child before it starts the batch).
const std::vector<Case>* g_batch = nullptr;
std::string g_batch_folder;

void write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Each program of the batch as veltro would run it, its streams caught; each
// outcome goes to standard output as "status out-length err-length\n", the
// output and the error text.
int run_batch(const std::vector<std::string>&) {
  for (std::size_t i = 0; i < g_batch->size(); ++i) {
    if (chdir(fmt::format("{}/{}", g_batch_folder, i).c_str()) != 0) return 126;
    CapturedOutput caught;
    capture_output(&caught);
    int status = run_veltro((*g_batch)[i].args);
    capture_output(nullptr);
    // What a new process would start from: the debug switch off, no names.
    set_debug(false);
    clear_symbols();
    write_all(STDOUT_FILENO, fmt::format("{} {} {}\n", status, caught.out.size(), caught.err.size()));
    write_all(STDOUT_FILENO, caught.out);
    write_all(STDOUT_FILENO, caught.err);
  }
  return 0;
}

int capture_file(const char* name) {
  int fd = memfd_create(name, MFD_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "memfd_create");
  return fd;
}

void refill(int fd, const std::string& content) {
  if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) {
    throw std::system_error(errno, std::generic_category(), "resetting a capture file");
  }
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "writing standard input");
    }
    done += static_cast<std::size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
}

std::string contents(int fd) {
  std::string text;
  char chunk[65536];
  for (off_t at = 0;;) {
    ssize_t n = pread(fd, chunk, sizeof chunk, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<std::size_t>(n));
    at += n;
  }
  return text;
}

std::string_view core_name(Core core) { return core == Core::Tree ? "tree" : "compiled"; }

}  // namespace

Slot::Slot(std::string folder, double timeout_seconds)
    : folder_(std::move(folder)), timeout_(static_cast<unsigned>(std::max(1.0, std::ceil(timeout_seconds)))) {
  // Done once here rather than in every child, as veltro does at its start:
  // the builtin tables, and the seed of dictionary hashing, which every run
  // then shares (so that dictionaries list their entries in one order).
  register_builtin_modules();
  (void)hash_key("");
  in_ = capture_file("veltro-differ-stdin");
  out_ = capture_file("veltro-differ-stdout");
  err_ = capture_file("veltro-differ-stderr");
}

Slot::~Slot() {
  for (int fd : {in_, out_, err_}) {
    if (fd >= 0) close(fd);
  }
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

void Slot::prepare(const Case& input) {
  bool reuse = input.keeps_folder && !prepared_.empty();
  if (reuse && prepared_ == input.label) return;
  if (reuse) {
    // Only the files of the last input are there.
    for (const auto& name : written_) unlink((fs::path(folder_) / name).c_str());
  } else {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    fs::create_directories(folder_);
  }
  prepared_.clear();
  written_.clear();
  if (!input.fixtures.empty()) {
    fs::copy(input.fixtures, folder_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  for (const auto& [name, content] : input.files) {
    std::ofstream file(fs::path(folder_) / name, std::ios::binary | std::ios::trunc);
    file << content;
    if (!file) throw std::runtime_error("cannot write " + name + " into " + folder_);
    written_.push_back(name);
  }
  if (input.keeps_folder && input.fixtures.empty()) prepared_ = input.label;
}

pid_t Slot::start(const Side& side, const Case& input) {
  prepare(input);
  return launch(side, input, nullptr);
}

pid_t Slot::launch(const Side& side, const Case& input, const std::vector<Case>* batch) {
  refill(in_, input.input);
  refill(out_, "");
  refill(err_, "");
  // Whatever this process still buffers must not reach the child's streams.
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid > 0) return pid;
  child(side, input, batch);
}

pid_t Slot::start_batch(const Side& side, const std::vector<Case>& inputs) {
  if (!side.binary.empty()) throw std::logic_error("a batch runs in this process only");
  std::string key = fmt::format("batch {} {}", inputs.front().label, inputs.size());
  bool reusable = std::all_of(inputs.begin(), inputs.end(), [](const Case& c) { return c.keeps_folder; });
  if (prepared_ != key || !reusable) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      fs::path dir = fs::path(folder_) / std::to_string(i);
      fs::create_directories(dir);
      for (const auto& [name, content] : inputs[i].files) std::ofstream(dir / name, std::ios::binary) << content;
    }
    prepared_ = key;
    written_.clear();
  }
  return launch(side, inputs.front(), &inputs);
}

void Slot::child(const Side& side, const Case& input, const std::vector<Case>* batch) {
  // The child: every failure here ends it with a status the outcome shows.
  if (dup2(in_, STDIN_FILENO) < 0 || dup2(out_, STDOUT_FILENO) < 0 || dup2(err_, STDERR_FILENO) < 0) _exit(125);
  if (chdir(folder_.c_str()) != 0) _exit(126);
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  for (const auto& [name, value] : input.env) setenv(name.c_str(), value.c_str(), 1);
  // A runaway writer ends at this size instead of filling memory.
  rlimit size{rlim_t{256} << 20, rlim_t{256} << 20};
  setrlimit(RLIMIT_FSIZE, &size);
  alarm(timeout_);

  std::vector<std::string> args = input.args;
  args.insert(args.begin(), side.binary.empty() ? std::string("veltro") : side.binary);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (!side.binary.empty()) {
    if (side.core) setenv("VELTRO_CORE", std::string(core_name(*side.core)).c_str(), 1);
    execv(side.binary.c_str(), argv.data());
    _exit(127);
  }
  select_core(side.core.value_or(Core::Tree));
  if (batch) {
    g_batch = batch;
    g_batch_folder = folder_;
    // Memory one program frees stays for the next instead of going back to
    // the system and faulting in again.
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
  }
  int status = run_main(static_cast<int>(args.size()), argv.data(), batch ? run_batch : run_veltro);
  out_flush();
  _exit(status);
}

std::vector<Outcome> Slot::finish_batch(int wait_status) {
  (void)wait_status;  // what the child finished is all there is, however it ended
  std::string text = contents(out_);
  std::vector<Outcome> outcomes;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    Outcome o;
    std::size_t out_size = 0, err_size = 0;
    if (std::sscanf(text.c_str() + at, "%d %zu %zu", &o.status, &out_size, &err_size) != 3) break;
    at = end + 1;
    if (text.size() - at < out_size + err_size) break;
    o.out = text.substr(at, out_size);
    o.err = text.substr(at + out_size, err_size);
    mask_timings(o.err);
    at += out_size + err_size;
    outcomes.push_back(std::move(o));
  }
  return outcomes;
}

Outcome Slot::finish(int wait_status) {
  Outcome o;
  if (WIFEXITED(wait_status)) {
    o.status = WEXITSTATUS(wait_status);
  } else if (WIFSIGNALED(wait_status)) {
    o.status = 128 + WTERMSIG(wait_status);
    o.timed_out = WTERMSIG(wait_status) == SIGALRM;
  }
  o.out = contents(out_);
  o.err = contents(err_);
  mask_timings(o.err);
  return o;
}

Outcome Slot::run(const Side& side, const Case& input) {
  pid_t pid = start(side, input);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "waitpid");
  }
  return finish(status);
}

void mask_timings(std::string& text) {
  auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (digit(i) && (i == 0 || !digit(i - 1))) {
      std::size_t j = i;
      while (digit(j)) ++j;
      if (j < text.size() && text[j] == '.' && digit(j + 1) && digit(j + 2) && digit(j + 3) &&
          text.compare(j + 4, 2, "ms") == 0) {
        out += "<ms>";
        i = j + 6;
        continue;
      }
      out.append(text, i, j - i);
      i = j;
      continue;
    }
    out += text[i++];
  }
  text = std::move(out);
}

}  // namespace veltro::differ
