#include "modules/files/files_module.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "modules/files/messages.h"
#include "runtime/text.h"
#include "runtime/text_file.h"
#include "runtime/unique_fd.h"

namespace veltro {

namespace msg = files_messages;

namespace {

// ---------------------------------------------------------------------------
// Operating-system handles and outcomes

// The cause of a failure: an errno value, or one of the fixed descriptions.
struct Cause {
  int code = 0;
  std::string_view fixed;

  [[nodiscard]] std::string text() const { return fixed.empty() ? text::os_error(code) : std::string(fixed); }
};

using Outcome = std::optional<Cause>;  // nullopt: success

Cause os_cause(int code) { return Cause{code, {}}; }
Cause last_os_cause() { return os_cause(errno); }

struct DirCloser {
  void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// While alive, a write to a pipe or socket whose reader is gone fails with
// EPIPE instead of killing the process with SIGPIPE.
class SigpipeBlock {
 public:
  SigpipeBlock() noexcept {
    sigset_t set = pipe_set();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
    was_pending_ = is_pending();
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;
  ~SigpipeBlock() {
    // Consume the signal our own write raised, so it is not delivered when
    // the mask is restored; one that was pending before is left alone.
    if (!was_pending_ && is_pending()) {
      sigset_t set = pipe_set();
      timespec no_wait{};
      (void)sigtimedwait(&set, nullptr, &no_wait);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  static sigset_t pipe_set() noexcept {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
  }
  static bool is_pending() noexcept {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
  }

  sigset_t previous_{};
  bool was_pending_ = false;
};

Outcome write_all(int fd, std::string_view data) {
  SigpipeBlock guard;
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return last_os_cause();
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return std::nullopt;
}

// Metadata of `path`, following symbolic links.
std::optional<struct stat> stat_of(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

bool is_folder_path(const std::string& path) {
  auto st = stat_of(path);
  return st && S_ISDIR(st->st_mode);
}

// ---------------------------------------------------------------------------
// The operations. Every path reaching them is free of NUL bytes.

// Creates `path` and every missing ancestor. An existing folder is success;
// an existing file is not.
Outcome create_tree(const std::string& path) {
  // Walk up until a level can be created or already exists, then create the
  // levels below it on the way back down.
  std::vector<std::string> missing;
  std::string current = path;
  for (;;) {
    if (current.empty()) break;  // a relative path's base is the working folder
    if (::mkdir(current.c_str(), 0777) == 0) break;
    int code = errno;
    if (code != ENOENT) {
      if (is_folder_path(current)) break;
      return os_cause(code);
    }
    missing.push_back(current);
    std::string parent = [&] {
      std::size_t end = current.find_last_not_of('/');
      if (end == std::string::npos) return current;  // all slashes: the root itself
      std::size_t slash = current.find_last_of('/', end);
      if (slash == std::string::npos) return std::string();
      std::size_t parent_end = current.find_last_not_of('/', slash);
      return parent_end == std::string::npos ? std::string("/") : current.substr(0, parent_end + 1);
    }();
    if (parent == current) return Cause{0, msg::kIncompleteTree};
    current = std::move(parent);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0777) == 0) continue;
    int code = errno;
    if (!is_folder_path(*it)) return os_cause(code);
  }
  return std::nullopt;
}

// Removes the folder `path` and everything inside it. Symbolic links inside
// are removed, never followed; the walk keeps one open handle per level
// instead of recursing, and works relative to those handles, so a link
// swapped in during the walk cannot redirect it outside the tree.
Outcome remove_tree(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return last_os_cause();
  if (!S_ISDIR(st.st_mode)) return os_cause(ENOTDIR);

  auto open_dir = [](int parent_fd, const char* name) -> DirHandle {
    int fd = ::openat(parent_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
      int code = errno;
      ::close(fd);
      errno = code;
    }
    return DirHandle(dir);
  };

  struct Level {
    DirHandle dir;
    std::string name;  // relative to the level above; the whole path for the top
  };
  std::vector<Level> stack;
  DirHandle top = open_dir(AT_FDCWD, path.c_str());
  if (!top) return last_os_cause();
  stack.push_back(Level{std::move(top), path});

  while (!stack.empty()) {
    Level& level = stack.back();
    int level_fd = ::dirfd(level.dir.get());
    errno = 0;
    dirent* entry = ::readdir(level.dir.get());
    if (entry == nullptr) {
      if (errno != 0) return last_os_cause();
      std::string name = std::move(level.name);
      stack.pop_back();
      int parent_fd = stack.empty() ? AT_FDCWD : ::dirfd(stack.back().dir.get());
      if (::unlinkat(parent_fd, name.c_str(), AT_REMOVEDIR) != 0) return last_os_cause();
      continue;
    }
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool is_dir = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat child {};
      if (::fstatat(level_fd, entry->d_name, &child, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;
        return last_os_cause();
      }
      is_dir = S_ISDIR(child.st_mode);
    }
    if (is_dir) {
      DirHandle child = open_dir(level_fd, entry->d_name);
      if (!child) return last_os_cause();
      stack.push_back(Level{std::move(child), std::string(name)});
      continue;
    }
    if (::unlinkat(level_fd, entry->d_name, 0) != 0 && errno != ENOENT) return last_os_cause();
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Script-facing functions

// A failure message: the pattern is checked against its two fields when the
// module is compiled.
using FailurePattern = fmt::format_string<std::string_view, std::string_view>;

Value failure(FailurePattern pattern, std::string_view path, std::string_view cause) {
  // Passed as temporaries so that the argument types are the pattern's own.
  return Value::error(fmt::format(pattern, std::string_view{path}, std::string_view{cause}));
}

Value failure(FailurePattern pattern, std::string_view path, const Cause& cause) {
  return failure(pattern, path, cause.text());
}

// The path argument: the display form of the first argument, or nullopt
// when it holds a NUL byte and so cannot name any file.
std::optional<std::string> path_of(std::span<const Value> args) {
  std::string path = args[0].display();
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

const Cause kNulCause{0, msg::kNulInPath};

Value files_read(std::span<const Value> args) {
  if (args.empty()) return Value::error(std::string(msg::kReadArgs));
  auto path = path_of(args);
  if (!path) return failure(msg::kReadFailed, args[0].display(), kNulCause);
  TextFile file = read_text_file(*path);
  if (!file.ok) return failure(msg::kReadFailed, *path, file.error);
  return Value::string(std::move(file.text));
}

Value files_write(std::span<const Value> args) {
  if (args.size() < 2) return Value::error(std::string(msg::kWriteArgs));
  auto path = path_of(args);
  if (!path) return failure(msg::kWriteFailed, args[0].display(), kNulCause);
  const std::string content = args[1].display();
  UniqueFd fd(::open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd.valid()) return failure(msg::kWriteFailed, *path, last_os_cause());
  if (Outcome bad = write_all(fd.fd(), content)) return failure(msg::kWriteFailed, *path, *bad);
  if (int error = fd.close()) return failure(msg::kWriteFailed, *path, os_cause(error));
  return Value::null();
}

Value files_append(std::span<const Value> args) {
  if (args.size() < 2) return Value::error(std::string(msg::kAppendArgs));
  auto path = path_of(args);
  if (!path) return failure(msg::kAppendOpenFailed, args[0].display(), kNulCause);
  const std::string content = args[1].display();
  UniqueFd fd(::open(path->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
  if (!fd.valid()) return failure(msg::kAppendOpenFailed, *path, last_os_cause());
  if (Outcome bad = write_all(fd.fd(), content)) return failure(msg::kAppendFailed, *path, *bad);
  if (int error = fd.close()) return failure(msg::kAppendFailed, *path, os_cause(error));
  return Value::null();
}

Value files_delete(std::span<const Value> args) {
  if (args.empty()) return Value::error(std::string(msg::kDeleteArgs));
  auto path = path_of(args);
  if (!path) return failure(msg::kDeleteFailed, args[0].display(), kNulCause);
  // unlink refuses folders (EISDIR), which is what we want.
  if (::unlink(path->c_str()) != 0) return failure(msg::kDeleteFailed, *path, last_os_cause());
  return Value::null();
}

Value files_exists(std::span<const Value> args) {
  if (args.empty()) return Value::error(std::string(msg::kExistsArgs));
  auto path = path_of(args);
  return Value::boolean(path && stat_of(*path).has_value());
}

Value files_create_folder(std::span<const Value> args) {
  if (args.empty()) return Value::error(std::string(msg::kCreateFolderArgs));
  auto path = path_of(args);
  if (!path) return failure(msg::kCreateFolderFailed, args[0].display(), kNulCause);
  if (Outcome bad = create_tree(*path)) return failure(msg::kCreateFolderFailed, *path, *bad);
  return Value::null();
}

Value files_delete_folder(std::span<const Value> args) {
  if (args.empty()) return Value::error(std::string(msg::kDeleteFolderArgs));
  auto path = path_of(args);
  if (!path) return failure(msg::kDeleteFolderFailed, args[0].display(), kNulCause);
  const bool recursive = args.size() >= 2 && args[1].truthy();
  if (recursive) {
    if (Outcome bad = remove_tree(*path)) return failure(msg::kDeleteFolderFailed, *path, *bad);
  } else if (::rmdir(path->c_str()) != 0) {
    return failure(msg::kDeleteFolderFailed, *path, last_os_cause());
  }
  return Value::null();
}

Value files_list(std::span<const Value> args) {
  if (args.empty()) return Value::error(std::string(msg::kListArgs));
  auto path = path_of(args);
  if (!path) return failure(msg::kListFailed, args[0].display(), kNulCause);
  DirHandle dir(::opendir(path->c_str()));
  if (!dir) return failure(msg::kListFailed, *path, last_os_cause());
  std::vector<Value> names;
  // A read error ends the listing quietly: the entries found so far stand.
  while (dirent* entry = ::readdir(dir.get())) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!text::is_valid_utf8(name)) continue;
    names.push_back(Value::string(name));
  }
  return Value::array(std::move(names));
}

Value files_is_file(std::span<const Value> args) {
  if (args.empty()) return Value::error(std::string(msg::kIsFileArgs));
  auto path = path_of(args);
  if (!path) return Value::boolean(false);
  auto st = stat_of(*path);
  return Value::boolean(st && S_ISREG(st->st_mode));
}

Value files_is_folder(std::span<const Value> args) {
  if (args.empty()) return Value::error(std::string(msg::kIsFolderArgs));
  auto path = path_of(args);
  return Value::boolean(path && is_folder_path(*path));
}

std::string unknown_function(std::string_view function) { return fmt::format(msg::kNoSuchFunction, function); }

}  // namespace

// A BuiltinFunction value of this module does nothing when called: only
// sdl2 and http functions run through values.
const NativeModule& files_module() {
  static constexpr NativeFunction kFunctions[] = {
      {"files.read", without_state<files_read>},
      {"files.write", without_state<files_write>},
      {"files.append", without_state<files_append>},
      {"files.delete", without_state<files_delete>},
      {"files.exists", without_state<files_exists>},
      {"files.create_folder", without_state<files_create_folder>},
      {"files.delete_folder", without_state<files_delete_folder>},
      {"files.list", without_state<files_list>},
      {"files.is_file", without_state<files_is_file>},
      {"files.is_folder", without_state<files_is_folder>},
  };
  static const NativeModule kModule{.name = "files",
                                    .functions = kFunctions,
                                    .unknown_function = unknown_function,
                                    .called_through_values = false};
  return kModule;
}

}  // namespace veltro
