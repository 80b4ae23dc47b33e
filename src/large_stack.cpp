#include "large_stack.h"

#include <pthread.h>

#include <csignal>

#include "runtime/limits.h"

namespace veltro {

namespace {

struct Job {
  std::vector<std::string> args;
  Program program;
  int status = 0;
};

void* run_job(void* data) {
  auto* job = static_cast<Job*>(data);
  job->status = job->program(job->args);
  return nullptr;
}

}  // namespace

int run_main(int argc, char** argv, Program program) {
  std::signal(SIGPIPE, SIG_IGN);
  Job job{std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), program};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, limits::kInterpreterStackBytes);
  pthread_t thread;
  if (pthread_create(&thread, &attr, run_job, &job) != 0) {
    run_job(&job);
  } else {
    pthread_join(thread, nullptr);
  }
  pthread_attr_destroy(&attr);
  return job.status;
}

}  // namespace veltro
