#include "sidethread.h"

#include <unistd.h>

namespace wfxml::detail {

SideThread::SideThread() : process_(getpid()), thread_([this] { serve(); }) {}

SideThread::~SideThread() {
  if (!isUsable()) {
    // Forked: the thread is the parent's. Its handle is let go, not joined.
    thread_.detach();
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool SideThread::isUsable() const { return getpid() == process_; }

SideThread::Outcome SideThread::runBeside(const std::function<void()>& side, const std::function<void()>& here) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    task_ = &side;
    taskDone_ = false;
  }
  changed_.notify_all();
  Outcome outcome;
  try {
    here();
  } catch (...) {
    outcome.here = std::current_exception();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return taskDone_; });
  task_ = nullptr;
  outcome.side = std::move(failure_);
  failure_ = nullptr;
  return outcome;
}

void SideThread::serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || (task_ != nullptr && !taskDone_); });
    if (stopping_) return;
    const std::function<void()>& task = *task_;
    lock.unlock();
    std::exception_ptr failure;
    try {
      task();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = std::move(failure);
    taskDone_ = true;
    changed_.notify_all();
  }
}

}  // namespace wfxml::detail
