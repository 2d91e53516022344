// Preloaded into a test program (LD_PRELOAD), slows fread on the files whose
// path ends with a chosen suffix, so that a test can act while a read of a
// disc image is in progress. The test reaches the controls below through
// dlsym; see SlowReads.h.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <thread>

namespace {

using FreadFn = size_t (*)(void*, size_t, size_t, FILE*);

constexpr size_t kSuffixCapacity = 256;
constexpr size_t kPathCapacity = 4096;

// Constant-initialised: other libraries may call fread from their own
// constructors, before this library's would have run.
constinit std::mutex gSuffixMutex;
constinit char gSuffix[kSuffixCapacity] = {};
constinit std::atomic<int> gDelayMs{0};
constinit std::atomic<long> gSlowedReads{0};

FreadFn RealFread() {
  static const auto real = reinterpret_cast<FreadFn>(dlsym(RTLD_NEXT, "fread"));
  return real;
}

std::string_view OpenPath(FILE* stream, char (&path)[kPathCapacity]) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
  ssize_t n = readlink(link, path, sizeof path);
  return n > 0 ? std::string_view(path, static_cast<size_t>(n)) : std::string_view();
}

bool IsSlowed(FILE* stream) {
  char suffix[kSuffixCapacity];
  {
    std::lock_guard lock(gSuffixMutex);
    std::copy(std::begin(gSuffix), std::end(gSuffix), std::begin(suffix));
  }
  if (suffix[0] == '\0') return false;
  char path[kPathCapacity];
  return OpenPath(stream, path).ends_with(suffix);
}

}  // namespace

extern "C" {

// Every later fread on a file whose path ends with `suffix` sleeps
// `delayMs` milliseconds first; 0 turns the slowing off.
void cdx_slow_freads(const char* suffix, int delayMs) {
  {
    std::lock_guard lock(gSuffixMutex);
    std::snprintf(gSuffix, sizeof gSuffix, "%s", suffix ? suffix : "");
  }
  gDelayMs.store(delayMs);
}

// Slowed freads so far; counted as each one starts its sleep.
long cdx_slowed_freads() {
  return gSlowedReads.load();
}

size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
  int delayMs = gDelayMs.load(std::memory_order_relaxed);
  if (delayMs > 0 && stream && IsSlowed(stream)) {
    gSlowedReads.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  }
  return RealFread()(buffer, size, count, stream);
}

}  // extern "C"
