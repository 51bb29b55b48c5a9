#ifndef PYTHON_SRC_SESSIONPOOL_H
#define PYTHON_SRC_SESSIONPOOL_H

// Sessions of one message set for the threads that call into it: a call
// takes an idle session (or makes one), uses it alone, and puts it back.
// There are as many sessions as calls ever ran at once.

#include <wfxml/wfxml.h>

#include <memory>
#include <mutex>
#include <vector>

namespace wfxml::python {

class SessionPool {
public:
  // A session, which keeps its parser and buffers from call to call.
  struct Worker {
    explicit Worker(const wfxml::MessageSet& set) : session(set) {}
    wfxml::Session session;
  };

  // One worker, for the lease's scope; the pool must outlive it.
  class Lease {
  public:
    Lease(SessionPool& pool, std::unique_ptr<Worker> worker) : pool_(pool), worker_(std::move(worker)) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { pool_.giveBack(std::move(worker_)); }
    Worker& operator*() const { return *worker_; }
    Worker* operator->() const { return worker_.get(); }

  private:
    SessionPool& pool_;
    std::unique_ptr<Worker> worker_;
  };

  explicit SessionPool(wfxml::MessageSet set) : set_(std::move(set)) {}
  SessionPool(const SessionPool&) = delete;
  SessionPool& operator=(const SessionPool&) = delete;

  // Thread-safe. Making a new session throws what Session's constructor
  // throws.
  Lease acquire();
  const wfxml::MessageSet& messageSet() const { return set_; }

private:
  void giveBack(std::unique_ptr<Worker> worker);

  const wfxml::MessageSet set_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Worker>> idle_;
};

}  // namespace wfxml::python

#endif
