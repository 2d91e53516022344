// The test side of the shim's faults (SlowReadShim.cpp): failed reads and
// an exit from inside a read. Found like TSlowReads (SlowReads.h).
#pragma once

#include <dlfcn.h>

#include <optional>
#include <string>

namespace cdx::test {

class TFreadFaults {
 public:
  static constexpr const char* kMissing =
      "the fread shim is not loaded: run this program through ctest, which sets "
      "LD_PRELOAD to libcdx_slowread_shim.so";

  static std::optional<TFreadFaults> Find() {
    auto fail = reinterpret_cast<FailFn>(dlsym(RTLD_DEFAULT, "cdx_fail_freads"));
    auto failed = reinterpret_cast<CountFn>(dlsym(RTLD_DEFAULT, "cdx_failed_freads"));
    auto exitIn = reinterpret_cast<ExitFn>(dlsym(RTLD_DEFAULT, "cdx_exit_in_fread"));
    if (!fail || !failed || !exitIn) return std::nullopt;
    return TFreadFaults(fail, failed, exitIn);
  }

  // Each later fread of a file whose path ends with `suffix` that would
  // read any byte of [from, to) fails with `error`.
  void FailBytes(const std::string& suffix, long long from, long long to, int error) const {
    fail_(suffix.c_str(), from, to, error);
  }
  long FailedReads() const { return failed_(); }
  // The next fread of a file whose path ends with `suffix` calls exit(status).
  void ExitInRead(const std::string& suffix, int status) const { exit_(suffix.c_str(), status); }
  void Off() const {
    fail_("", 0, 0, 0);
    exit_("", -1);
  }

 private:
  using FailFn = void (*)(const char*, long long, long long, int);
  using CountFn = long (*)();
  using ExitFn = void (*)(const char*, int);
  TFreadFaults(FailFn fail, CountFn failed, ExitFn exitIn)
      : fail_(fail), failed_(failed), exit_(exitIn) {}

  FailFn fail_;
  CountFn failed_;
  ExitFn exit_;
};

}  // namespace cdx::test
