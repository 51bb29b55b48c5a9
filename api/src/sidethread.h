#ifndef WFXML_SRC_SIDETHREAD_H
#define WFXML_SRC_SIDETHREAD_H

// A thread that runs one task beside its caller, for work that a second
// core can take off the caller's hands (a document validated while it is
// parsed). The thread waits between tasks: a task costs a hand-over, not a
// thread's start.

#include "idlepool.h"

#include <sys/types.h>

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace wfxml::detail {

class SideThread {
public:
  SideThread();
  ~SideThread();
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

  // What each task threw; null for one that returned.
  struct Outcome {
    std::exception_ptr side;
    std::exception_ptr here;
  };
  // Runs side on the thread while here runs on the calling thread, and
  // returns when both have ended, whatever they threw. One caller at a time.
  Outcome runBeside(const std::function<void()>& side, const std::function<void()>& here);

  // False in a child process forked after the thread started: the child
  // has the object but not the thread.
  bool isUsable() const;

private:
  void serve();

  const pid_t process_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void()>* task_ = nullptr;  // set while a task waits or runs
  bool taskDone_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // last: starts once the members above are made
};

// Idle side threads of one message set: a short-lived session
// (MessageSet::parse makes one per call) does not start a thread of its own.
using SideThreadPool = IdlePool<SideThread, &SideThread::isUsable>;

}  // namespace wfxml::detail

#endif
