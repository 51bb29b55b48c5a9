#include "sessionpool.h"

namespace wfxml::python {

SessionPool::Lease SessionPool::acquire() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<Worker> worker = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(worker));
    }
  }
  return Lease(*this, std::make_unique<Worker>(set_));
}

void SessionPool::giveBack(std::unique_ptr<Worker> worker) {
  const std::lock_guard<std::mutex> lock(mutex_);
  idle_.push_back(std::move(worker));
}

}  // namespace wfxml::python
