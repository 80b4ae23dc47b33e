#pragma once
// The prompt's line editor on a terminal (libedit): editing, Tab completion,
// a history kept in a file, and Ctrl-C noticed while a line is typed.
#include <functional>
#include <string>
#include <vector>

#include "repl/completion.h"

namespace veltro::repl {

class LineEditor {
 public:
  // The names bound in the session, asked for at each Tab.
  using SessionNames = std::function<std::vector<SessionName>()>;

  // Loads the history from `history_file` (none when empty). One editor at a time.
  LineEditor(std::string history_file, SessionNames names);
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  enum class Read {
    Line,         // `line` holds the typed line
    Interrupted,  // Ctrl-C: the line was dropped
    End,          // Ctrl-D on an empty line, or the end of input
  };
  [[nodiscard]] Read read(const char* prompt, std::string& line);

  // Keeps an entry (all of its lines as one) in the history and its file,
  // unless it repeats the newest one. A file that cannot be written is no
  // error: the history then lasts for this session.
  void remember(const std::string& entry);

 private:
  void save() const;

  std::string history_file_;
  std::string newest_;
};

}  // namespace veltro::repl
