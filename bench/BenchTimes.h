// What the in-process benchmarks measure with: the CPU time of the whole
// process and the median of a round's figures.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <vector>

namespace cdx::bench {

// User and system time of every thread of the process, in seconds.
inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace cdx::bench
