#include "pipeline/MainThreadQueue.h"

#include <algorithm>

namespace cdx {

namespace {
// Constructed during static initialisation, so on the thread that runs main.
[[maybe_unused]] TMainThreadQueue& startupInstance = TMainThreadQueue::Instance();
}  // namespace

TMainThreadQueue& TMainThreadQueue::Instance() {
  static TMainThreadQueue instance;
  return instance;
}

TMainThreadQueue::TMainThreadQueue() : mainThread_(std::this_thread::get_id()) {}

bool TMainThreadQueue::Synchronize(const void* tag, const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return true;
  }
  Call item{tag, &call, State::Queued, nullptr};
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    if (std::find(closed_.begin(), closed_.end(), tag) != closed_.end()) return false;
    queue_.push_back(&item);
    wake = wake_;
  }
  changed_.notify_all();
  if (wake) wake();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return item.state == State::Done || item.state == State::Dropped; });
  if (item.state == State::Dropped) return false;
  if (item.error) std::rethrow_exception(item.error);
  return true;
}

void TMainThreadQueue::Post(const void* tag, std::function<void()> call) {
  if (IsMainThread()) {
    try {
      call();
    } catch (...) {
    }
    return;
  }
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    if (std::find(closed_.begin(), closed_.end(), tag) != closed_.end()) return;
    Call& item = posted_.emplace_back(Call{tag, nullptr, State::Queued, nullptr});
    item.owned = std::move(call);
    item.body = &item.owned;
    item.posted = true;
    queue_.push_back(&item);
    wake = wake_;
  }
  changed_.notify_all();
  if (wake) wake();
}

void TMainThreadQueue::ForgetPosted(const Call* call) {
  posted_.remove_if([call](const Call& c) { return &c == call; });
}

bool TMainThreadQueue::ServeOne(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  Call* item = queue_.front();
  queue_.pop_front();
  item->state = State::Running;
  running_.push_back(item);
  // A copy, so the call survives even if its worker is released meanwhile.
  std::function<void()> body = *item->body;
  lock.unlock();
  std::exception_ptr error;
  try {
    body();
  } catch (...) {
    error = std::current_exception();
  }
  lock.lock();
  auto it = std::find(running_.begin(), running_.end(), item);
  if (it != running_.end()) {  // not released by Close while it ran
    running_.erase(it);
    item->error = error;
    item->state = State::Done;
    if (item->posted) ForgetPosted(item);
    changed_.notify_all();
  }
  return true;
}

int TMainThreadQueue::Serve() {
  std::unique_lock lock(mutex_);
  // Only what is queued now: a call that queues another must not starve
  // the caller's loop.
  size_t todo = queue_.size();
  int served = 0;
  while (todo-- > 0 && ServeOne(lock)) ++served;
  return served;
}

int TMainThreadQueue::WaitAndServe(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
  }
  return Serve();
}

void TMainThreadQueue::Close(const void* tag) {
  std::lock_guard lock(mutex_);
  closed_.push_back(tag);
  auto dropped = [&](Call* c) {
    if (c->tag != tag) return false;
    c->state = State::Dropped;
    return true;
  };
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(), dropped), queue_.end());
  running_.erase(std::remove_if(running_.begin(), running_.end(), dropped), running_.end());
  // A posted call that runs now keeps its body (ServeOne runs a copy).
  posted_.remove_if([&](const Call& c) { return c.state == State::Dropped; });
  changed_.notify_all();
}

void TMainThreadQueue::Reopen(const void* tag) {
  std::lock_guard lock(mutex_);
  auto it = std::find(closed_.begin(), closed_.end(), tag);
  if (it != closed_.end()) closed_.erase(it);
}

void TMainThreadQueue::SetWakeHandler(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

int TMainThreadQueue::Pending() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(queue_.size());
}

}  // namespace cdx
