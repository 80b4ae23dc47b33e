#pragma once
// One run of veltro on one input, in a child process: its standard output,
// standard error and exit status, byte for byte.
#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "interpreter/core.h"

namespace veltro::differ {

// How one side of the comparison runs.
struct Side {
  // Empty: this program's own interpreter, in a forked copy of this process.
  // Otherwise the veltro program at this path, executed.
  std::string binary;
  // The core the run selects (for a binary, through VELTRO_CORE); none
  // leaves a binary to its default.
  std::optional<Core> core;
};

// One input: the files of its run folder, its command line, its standard
// input and environment.
struct Case {
  std::string label;  // "seed 17", or the path of a script
  std::vector<std::pair<std::string, std::string>> files;  // name in the run folder, content
  std::string fixtures;  // a folder whose contents are copied into the run folder first; may be empty
  std::vector<std::string> args;  // veltro's arguments
  std::string input;  // standard input
  std::vector<std::pair<std::string, std::string>> env;
  // Its runs leave the run folder as they found it (generated programs that
  // do not use the files module), so that the folder is made once for all
  // runs of the input; otherwise it is made afresh for every run.
  bool keeps_folder = false;
  // It may end its process (sys.exit): it never runs in a batch.
  bool alone = false;
};

struct Outcome {
  int status = 0;  // the exit status, or 128 + the signal that ended the run
  bool timed_out = false;
  std::string out;
  std::string err;
  bool operator==(const Outcome&) const = default;
};

// A run folder and the files that catch one run's streams: one run at a time.
class Slot {
 public:
  Slot(std::string folder, double timeout_seconds);
  ~Slot();
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;

  // Makes the run folder afresh for `input` and starts the run; returns the
  // child's process id.
  pid_t start(const Side& side, const Case& input);
  // The outcome of the run that ended with `wait_status`.
  [[nodiscard]] Outcome finish(int wait_status);
  // start, wait for it, finish.
  [[nodiscard]] Outcome run(const Side& side, const Case& input);

  // A batch: several inputs run in one child, one after another, each in a
  // folder of its own and with its streams caught apart, as a fuzz target
  // runs many programs; far cheaper than a process each. For a side in this
  // process only, and for inputs with no standard input or environment.
  // finish_batch gives the outcomes in order, fewer when the child ended
  // (or was stopped) before the last.
  pid_t start_batch(const Side& side, const std::vector<Case>& inputs);
  [[nodiscard]] std::vector<Outcome> finish_batch(int wait_status);

  [[nodiscard]] const std::string& folder() const { return folder_; }

 private:
  void prepare(const Case& input);
  pid_t launch(const Side& side, const Case& input, const std::vector<Case>* batch);
  [[noreturn]] void child(const Side& side, const Case& input, const std::vector<Case>* batch);

  std::string folder_;
  unsigned timeout_;
  std::string prepared_;              // the label of a keeps_folder input the folder holds
  std::vector<std::string> written_;  // and the files written for it
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
};

// Timing figures of the run report ("12.345ms") become "<ms>", so that two
// runs can be compared.
void mask_timings(std::string& text);

}  // namespace veltro::differ
