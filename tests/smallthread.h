#ifndef TESTS_SMALLTHREAD_H
#define TESTS_SMALLTHREAD_H

// Work on a thread of 2 MB of stack, as some workers have (glibc gives 8 MB).

#include <pthread.h>

#include <cstddef>
#include <functional>

// False when no such thread could be made; work must not throw.
inline bool runOnSmallThread(std::function<void()> work) {
  pthread_attr_t small;
  pthread_attr_init(&small);
  pthread_attr_setstacksize(&small, std::size_t{2} << 20);
  pthread_t thread;
  const auto run = [](void* job) -> void* {
    (*static_cast<std::function<void()>*>(job))();
    return nullptr;
  };
  const bool started = pthread_create(&thread, &small, run, &work) == 0;
  pthread_attr_destroy(&small);
  if (started) pthread_join(thread, nullptr);
  return started;
}

#endif
