// veltro: the command-line interpreter.
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <string>
#include <vector>

#include "cli.h"
#include "console.h"
#include "veltro_limits.h"

namespace {

struct Job {
  std::vector<std::string> args;
  int status = 0;
};

// Scripts run on a thread with a large stack so that deep but reasonable
// recursion works; the interpreter's own guards keep it within that stack.
void* run_job(void* data) {
  auto* job = static_cast<Job*>(data);
  job->status = veltro::run_guarded([job] { return veltro::run_command_line(job->args); });
  veltro::out_flush();
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe is an error result of write(), not a signal.
  std::signal(SIGPIPE, SIG_IGN);

  Job job;
  for (int i = 1; i < argc; ++i) job.args.emplace_back(argv[i]);

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, veltro::limits::kInterpreterStackBytes);
  pthread_t thread;
  if (pthread_create(&thread, &attr, run_job, &job) != 0) {
    run_job(&job);  // no big stack available: run here, the guards still apply
  } else {
    pthread_join(thread, nullptr);
  }
  pthread_attr_destroy(&attr);
  veltro::out_flush();
  return job.status;
}
