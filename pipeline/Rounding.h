#pragma once

#include <cmath>
#include <cstdint>

namespace cdx {

// Nearest integer, halves to the even neighbour, whatever the FPU mode.
inline double RoundHalfEvenToDouble(double v) {
  double r = std::round(v);  // halves away from zero
  if (std::fabs(v - std::trunc(v)) == 0.5) r = 2.0 * std::round(v / 2.0);
  return r;
}

inline int64_t RoundHalfEven64(double v) {
  return static_cast<int64_t>(RoundHalfEvenToDouble(v));
}

// Out-of-range values keep the low 32 bits, as a 32-bit integer store would.
inline int32_t RoundHalfEven(double v) {
  return static_cast<int32_t>(static_cast<uint32_t>(RoundHalfEven64(v)));
}

}  // namespace cdx
