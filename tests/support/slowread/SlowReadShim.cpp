// Preloaded into a test program (LD_PRELOAD), disturbs fread on the files
// whose path ends with a chosen suffix: slows it, so that a test can act
// while a read of a disc image is in progress; fails it with an errno where
// it touches a chosen byte range, as a damaged disc would; or ends the
// program from inside it, as a library that calls exit would. The test
// reaches the controls below through dlsym; see SlowReads.h and
// FreadFaults.h.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

namespace {

using FreadFn = size_t (*)(void*, size_t, size_t, FILE*);

constexpr size_t kSuffixCapacity = 256;
constexpr size_t kPathCapacity = 4096;

// The files one kind of disturbance applies to. Constant-initialised:
// other libraries may call fread from their own constructors, before this
// library's would have run.
class TTarget {
 public:
  void Set(const char* suffix) {
    std::lock_guard lock(mutex_);
    std::snprintf(suffix_, sizeof suffix_, "%s", suffix ? suffix : "");
  }
  bool Matches(FILE* stream) {
    char suffix[kSuffixCapacity];
    {
      std::lock_guard lock(mutex_);
      std::copy(std::begin(suffix_), std::end(suffix_), std::begin(suffix));
    }
    if (suffix[0] == '\0') return false;
    char path[kPathCapacity];
    return OpenPath(stream, path).ends_with(suffix);
  }

 private:
  static std::string_view OpenPath(FILE* stream, char (&path)[kPathCapacity]) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
    ssize_t n = readlink(link, path, sizeof path);
    return n > 0 ? std::string_view(path, static_cast<size_t>(n)) : std::string_view();
  }

  std::mutex mutex_;
  char suffix_[kSuffixCapacity] = {};
};

constinit TTarget gSlowed;
constinit std::atomic<int> gDelayMs{0};
constinit std::atomic<long> gSlowedReads{0};

constinit TTarget gFailing;
constinit std::atomic<int> gFailErrno{0};
constinit std::atomic<long long> gFailFrom{0}, gFailTo{0};
constinit std::atomic<long> gFailedReads{0};

constinit TTarget gExiting;
constinit std::atomic<int> gExitStatus{-1};

FreadFn RealFread() {
  static const auto real = reinterpret_cast<FreadFn>(dlsym(RTLD_NEXT, "fread"));
  return real;
}

bool TouchesFailingBytes(FILE* stream, size_t bytes) {
  long long from = ftello(stream);
  return from >= 0 && from < gFailTo.load() && from + static_cast<long long>(bytes) > gFailFrom;
}

// What a read error of the device looks like to the caller: nothing read,
// the stream's error indicator set, errno telling why.
size_t Fail(FILE* stream, int error) {
  gFailedReads.fetch_add(1);
  stream->_flags |= _IO_ERR_SEEN;
  errno = error;
  return 0;
}

}  // namespace

extern "C" {

// Every later fread on a file whose path ends with `suffix` sleeps
// `delayMs` milliseconds first; 0 turns the slowing off.
void cdx_slow_freads(const char* suffix, int delayMs) {
  gSlowed.Set(suffix);
  gDelayMs.store(delayMs);
}

// Slowed freads so far; counted as each one starts its sleep.
long cdx_slowed_freads() {
  return gSlowedReads.load();
}

// Every later fread on a file whose path ends with `suffix` that would read
// any byte of [from, to) fails with `error`; an error of 0 turns it off.
void cdx_fail_freads(const char* suffix, long long from, long long to, int error) {
  gFailing.Set(error ? suffix : "");
  gFailFrom.store(from);
  gFailTo.store(to);
  gFailErrno.store(error);
}

// Failed freads so far.
long cdx_failed_freads() {
  return gFailedReads.load();
}

// The next fread on a file whose path ends with `suffix` calls
// exit(status); a status below 0 turns it off.
void cdx_exit_in_fread(const char* suffix, int status) {
  gExiting.Set(status >= 0 ? suffix : "");
  gExitStatus.store(status);
}

size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
  if (stream && gExitStatus.load(std::memory_order_relaxed) >= 0 && gExiting.Matches(stream))
    std::exit(gExitStatus.load());
  int error = gFailErrno.load(std::memory_order_relaxed);
  if (error && stream && gFailing.Matches(stream) && TouchesFailingBytes(stream, size * count))
    return Fail(stream, error);
  int delayMs = gDelayMs.load(std::memory_order_relaxed);
  if (delayMs > 0 && stream && gSlowed.Matches(stream)) {
    gSlowedReads.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  }
  return RealFread()(buffer, size, count, stream);
}

}  // extern "C"
