// The test side of the fread-slowing shim (SlowReadShim.cpp): finds its
// controls in the running program. A test program registered with the shim
// preloaded gets them; run any other way, Find says what is missing.
#pragma once

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace cdx::test {

class TSlowReads {
 public:
  static constexpr const char* kMissing =
      "the fread-slowing shim is not loaded: run this program through ctest, which sets "
      "LD_PRELOAD to libcdx_slowread_shim.so";

  static std::optional<TSlowReads> Find() {
    auto slow = reinterpret_cast<SlowFn>(dlsym(RTLD_DEFAULT, "cdx_slow_freads"));
    auto count = reinterpret_cast<CountFn>(dlsym(RTLD_DEFAULT, "cdx_slowed_freads"));
    if (!slow || !count) return std::nullopt;
    return TSlowReads(slow, count);
  }

  // Each later fread of a file whose path ends with `suffix` takes
  // `delayMs` longer; 0 turns it off.
  void Slow(const std::string& suffix, int delayMs) const { slow_(suffix.c_str(), delayMs); }
  void Off() const { slow_("", 0); }
  long Count() const { return count_(); }

  // Waits until a slowed fread has started since Count() was `before`.
  bool WaitForSlowedRead(long before,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30)) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Count() <= before) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

 private:
  using SlowFn = void (*)(const char*, int);
  using CountFn = long (*)();
  TSlowReads(SlowFn slow, CountFn count) : slow_(slow), count_(count) {}

  SlowFn slow_;
  CountFn count_;
};

// Counts the calls a reading thread makes, so that a test can act while
// one of them waits: the CD library reads ahead, and a call that takes what
// was read ahead returns at once; only a call that lasts waits for a read.
class TCallWatch {
 public:
  void Enter() { ++entered_; }
  void Leave() { ++left_; }

  // Waits until one call has lasted `settle` without returning.
  bool WaitForWaitingCall(std::chrono::milliseconds settle = std::chrono::milliseconds(50),
                          std::chrono::milliseconds timeout = std::chrono::seconds(30)) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      long entered = entered_, left = left_;
      if (entered == left) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      std::this_thread::sleep_for(settle);
      if (entered_ == entered && left_ == left) return true;
    }
    return false;
  }

 private:
  std::atomic<long> entered_{0}, left_{0};
};

}  // namespace cdx::test
