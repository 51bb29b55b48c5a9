#include "largestack.h"

#include <pthread.h>

#include <exception>

namespace {
struct Job {
  const std::function<void()>& work;
  std::exception_ptr failure;
};

void* runJob(void* argument) {
  Job& job = *static_cast<Job*>(argument);
  try {
    job.work();
  } catch (...) {
    job.failure = std::current_exception();
  }
  return nullptr;
}
}  // namespace

void runWithLargeStack(const std::function<void()>& work) {
  Job job{work, nullptr};
  pthread_attr_t attributes;
  bool started = false;
  pthread_t thread;
  if (pthread_attr_init(&attributes) == 0) {
    started = pthread_attr_setstacksize(&attributes, kSchemaReadingStackBytes) == 0 &&
              pthread_create(&thread, &attributes, runJob, &job) == 0;
    pthread_attr_destroy(&attributes);
  }
  // Without a thread (no address space for its stack), on this one's.
  if (!started) return work();
  pthread_join(thread, nullptr);
  if (job.failure) std::rethrow_exception(job.failure);
}
