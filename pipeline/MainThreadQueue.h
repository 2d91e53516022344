// Runs calls from worker threads on the main (user-interface) thread,
// without any window toolkit.
//
// A worker either hands a call over and blocks until the main thread has
// run it (Synchronize; an exception thrown by the call is rethrown in the
// worker), or posts it and goes on at once (Post: news such as progress,
// which must never hold a rip back while the window is busy). The main thread
// runs queued calls whenever it serves the queue (the application does so
// from its event loop, tests and the command line from their own loops).
// Calls are tagged with the object they act for: while that object is being
// destroyed its tag is closed, which drops its pending calls, releases the
// waiting worker and refuses new calls, so destruction never waits on a
// call the main thread will not run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace cdx {

class TMainThreadQueue {
 public:
  static TMainThreadQueue& Instance();

  // The thread that serves the queue. By default the thread that started the
  // program; a test may claim it for the thread that runs its loop.
  bool IsMainThread() const { return std::this_thread::get_id() == mainThread_; }
  void SetMainThread(std::thread::id id) { mainThread_ = id; }

  // Worker side. Runs `call` on the main thread and waits for it. Returns
  // true when it ran, false when it was dropped because `tag` is closed.
  // Called on the main thread itself, the call runs directly.
  bool Synchronize(const void* tag, const std::function<void()>& call);
  // Queues a copy of `call` for the main thread and returns at once; what
  // it throws is dropped. Called on the main thread itself, the call runs
  // directly. A call of a closed tag is dropped.
  void Post(const void* tag, std::function<void()> call);

  // Main-thread side. Runs every call queued so far; returns how many ran.
  int Serve();
  // Waits up to `timeout` for a call to arrive, then serves the queue.
  int WaitAndServe(std::chrono::milliseconds timeout);

  // Drops the calls queued for `tag` and releases their workers, and
  // refuses new ones until Reopen. A call of `tag` that is running right now
  // (it is destroying its own object) releases its worker at once.
  void Close(const void* tag);
  void Reopen(const void* tag);

  // Called from the worker each time a call is queued, so an event loop can
  // wake up and serve. Set it before any worker runs.
  void SetWakeHandler(std::function<void()> wake);

  int Pending();

 private:
  TMainThreadQueue();

  enum class State { Queued, Running, Done, Dropped };
  struct Call {
    const void* tag;
    const std::function<void()>* body;
    State state = State::Queued;
    std::exception_ptr error;
    // A posted call owns its body; nobody waits for it.
    std::function<void()> owned{};
    bool posted = false;
  };

  bool ServeOne(std::unique_lock<std::mutex>& lock);
  void ForgetPosted(const Call* call);

  std::thread::id mainThread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Call*> queue_;
  // The posted calls, queued or running; a list, so their places stay put.
  std::list<Call> posted_;
  // Calls running now, innermost last: a call may serve the queue itself.
  std::vector<Call*> running_;
  std::vector<const void*> closed_;
  std::function<void()> wake_;
};

}  // namespace cdx
