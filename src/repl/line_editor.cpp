#include "repl/line_editor.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <utility>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <editline/readline.h>

#include "runtime/console.h"
#include "runtime/interrupt.h"
#include "runtime/text.h"
#include "runtime/limits.h"

namespace veltro::repl {

namespace {

// libedit's readline interface keeps its state in globals, and so does its
// user: one editor at a time.
LineEditor::SessionNames g_names;
bool g_interrupted = false;  // Ctrl-C arrived while the current line was read
int g_pending_byte = -1;     // a byte read ahead that begins the next key

// Completion words end at anything that cannot be part of a name, except the
// dot of a module's function.
char g_word_breaks[] = " \t\n\"\\'`@$><=;|&{}()[],:+-*/%!?#";

// The next byte typed; -1 at the end of input or on Ctrl-C.
int next_byte() {
  if (g_pending_byte >= 0) return std::exchange(g_pending_byte, -1);
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {interrupt::wake_fd(), POLLIN, 0}};
    int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (fds[1].fd >= 0 && fds[1].revents != 0) {
      interrupt::Wake wake = interrupt::drain_wake_fd();
      if (wake.resize || interrupt::take_resized()) rl_resize_terminal();
      if (wake.interrupt || interrupt::requested()) {
        g_interrupted = true;
        return -1;
      }
    }
    if (fds[0].revents == 0) continue;
    unsigned char byte = 0;
    ssize_t n = ::read(STDIN_FILENO, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) continue;
    return -1;
  }
}

// The editor reads characters, not bytes: the UTF-8 sequence of the next
// key, decoded (U+FFFD for bytes that are not text), or -1.
int read_key(FILE*) {
  int lead = next_byte();
  if (lead < 0x80) return lead;
  std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
  std::string bytes(1, static_cast<char>(lead));
  while (bytes.size() < length) {
    int next = next_byte();
    if (next < 0) return -1;
    if ((next & 0xc0) != 0x80) {
      g_pending_byte = next;
      break;
    }
    bytes.push_back(static_cast<char>(next));
  }
  std::size_t used = 0;
  char32_t cp = text::decode_utf8(bytes, 0, used);
  return used == bytes.size() ? static_cast<int>(cp) : 0xfffd;
}

std::vector<Completion> g_found;

char* next_completion(const char*, int state) {
  static std::size_t index = 0;
  if (state == 0) index = 0;
  if (index >= g_found.size()) return nullptr;
  return ::strdup(g_found[index++].text.c_str());
}

char** attempt_completion(const char* word, int, int) {
  rl_attempted_completion_over = 1;  // names only, never file names
  g_found = complete(word, g_names ? g_names() : std::vector<SessionName>());
  if (g_found.empty()) return nullptr;
  rl_completion_append_character = g_found.size() == 1 ? g_found.front().suffix : '\0';
  return rl_completion_matches(word, next_completion);
}

// Only a plain file is read or written: a pipe or a device at that path
// would block the prompt or swallow the history.
bool plain_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The newest entry of the loaded history.
std::string newest_entry() {
  HIST_ENTRY** list = history_list();
  if (list == nullptr || history_length <= 0 || list[history_length - 1] == nullptr) return {};
  return list[history_length - 1]->line;
}

}  // namespace

LineEditor::LineEditor(std::string history_file, SessionNames names) : history_file_(std::move(history_file)) {
  g_names = std::move(names);
  // Lines are UTF-8 whatever the environment's locale says.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");
  rl_readline_name = "veltro";
  rl_catch_signals = 0;  // Ctrl-C reaches the interpreter's own handler
  rl_getc_function = read_key;
  rl_attempted_completion_function = attempt_completion;
  rl_completer_word_break_characters = g_word_breaks;
  rl_basic_word_break_characters = g_word_breaks;
  using_history();
  stifle_history(limits::kReplHistoryEntries);
  if (!history_file_.empty() && plain_file(history_file_)) (void)read_history(history_file_.c_str());
  newest_ = newest_entry();
}

LineEditor::~LineEditor() {
  rl_attempted_completion_function = nullptr;
  g_names = nullptr;
  g_found.clear();
}

LineEditor::Read LineEditor::read(const char* prompt, std::string& line) {
  out_flush();
  g_interrupted = false;
  g_pending_byte = -1;
  if (interrupt::take_resized()) rl_resize_terminal();
  std::unique_ptr<char, decltype(&std::free)> input(readline(prompt), &std::free);
  if (g_interrupted) return Read::Interrupted;
  if (!input) return Read::End;
  line = input.get();
  return Read::Line;
}

void LineEditor::remember(const std::string& entry) {
  if (entry == newest_) return;
  add_history(entry.c_str());
  newest_ = entry;
  save();
}

void LineEditor::save() const {
  if (history_file_.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(history_file_).parent_path(), ignored);
  // What was typed may hold secrets: a new file is the user's alone.
  int fd = ::open(history_file_.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return;
  ::close(fd);
  if (plain_file(history_file_)) (void)write_history(history_file_.c_str());
}

}  // namespace veltro::repl
