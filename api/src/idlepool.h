#ifndef WFXML_SRC_IDLEPOOL_H
#define WFXML_SRC_IDLEPOOL_H

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace wfxml::detail {

// Idle objects of one message set (workers) kept for the next
// caller, so that short-lived sessions do not make their own. Thread-safe.
// keep: whether an object given back may serve another caller.
template <typename T, bool (T::*keep)() const>
class IdlePool {
public:
  // An idle object, or null.
  std::unique_ptr<T> take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.empty()) return nullptr;
    std::unique_ptr<T> item = std::move(idle_.back());
    idle_.pop_back();
    return item;
  }

  // Keeps an object worth keeping while fewer than kMaxIdle are idle;
  // destroys it otherwise, outside the lock.
  void giveBack(std::unique_ptr<T> item) {
    if (!item || !((*item).*keep)()) return;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (idle_.size() < kMaxIdle) {
        idle_.push_back(std::move(item));
        return;
      }
    }
  }

private:
  // Enough for the threads of a busy machine; more would only hold memory.
  static constexpr std::size_t kMaxIdle = 16;
  std::mutex mutex_;
  std::vector<std::unique_ptr<T>> idle_;
};

}  // namespace wfxml::detail

#endif
