// A mutex that knows which thread holds it. The exit handlers close the CD
// library, and a library that calls exit does so on the thread of a read
// in progress, with the read's mutex held: they must neither wait on that
// thread's own lock nor wait without end on another thread's.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace cdrip {

class OwnedMutex {
 public:
  void lock() {
    mutex_.lock();
    owner_ = std::this_thread::get_id();
  }
  void unlock() {
    owner_ = std::thread::id();
    mutex_.unlock();
  }
  // False at once when this thread holds it. Polled rather than a timed
  // lock, which ThreadSanitizer does not see taken (it then reports the
  // unlock).
  bool TryLockFor(std::chrono::milliseconds timeout) {
    if (HeldByThisThread()) return false;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!mutex_.try_lock()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    owner_ = std::this_thread::get_id();
    return true;
  }
  bool HeldByThisThread() const { return owner_ == std::this_thread::get_id(); }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

}  // namespace cdrip
