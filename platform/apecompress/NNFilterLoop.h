// The stage loop shared by every instruction set; included by one source
// file per instruction set, each with its own kernel type. Everything here
// has internal linkage and calls no library inline function, so code built
// for AVX2 can never be picked by the linker for the baseline path.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/apecompress/NNFilter.h"

namespace apecompress {
namespace {

inline int16_t Clip16(int32_t v) {
  return v > 32767 ? int16_t(32767) : v < -32768 ? int16_t(-32768) : int16_t(v);
}

// Signed adaptation step of an output: 0 for 0, otherwise +-8, 16 or 32 as
// |o| is small, large or very large against the running average magnitude,
// which it then updates.
inline int16_t AdaptStep(int32_t o, uint32_t& average) {
  const uint32_t magnitude = o < 0 ? 0u - uint32_t(o) : uint32_t(o);
  int16_t step = 0;
  if (o != 0) {
    const int big = uint64_t(magnitude) > uint64_t(average) * 3;
    const int larger = magnitude > average + average / 3;
    const int16_t m = int16_t(8 << (big + larger));
    step = o > 0 ? m : int16_t(-m);
  }
  average += uint32_t(int32_t(magnitude - average) / 16);
  return step;
}

inline void Slide(NNFilterState& s) {
  std::memmove(s.history, s.history + s.pos - s.order, size_t(s.order) * sizeof(int16_t));
  std::memmove(s.adapt, s.adapt + s.pos - s.order, size_t(s.order) * sizeof(int16_t));
  s.pos = s.order;
}

// Kernel provides Dot (sum of products modulo 2^32), Add and Sub (int16
// wrapping), each over `order` elements, a multiple of 16.
template <class Kernel>
void RunStage(NNFilterState& s, int32_t* values, uint32_t count) {
  const int order = s.order;
  const int shift = s.shift;
  const int64_t round = int64_t(1) << (shift - 1);
  int16_t* const w = s.weights;
  for (uint32_t i = 0; i < count; ++i) {
    if (s.pos == s.end) Slide(s);
    int16_t* const h = s.history + s.pos;
    int16_t* const g = s.adapt + s.pos;
    const int32_t dot = Kernel::Dot(w, h - order, order);
    const int32_t prediction = int32_t((int64_t(dot) + round) >> shift);
    const int32_t output = values[i];
    const int32_t input = int32_t(uint32_t(output) - uint32_t(prediction));
    values[i] = input;
    if (input > 0) {
      Kernel::Add(w, g - order, order);
    } else if (input < 0) {
      Kernel::Sub(w, g - order, order);
    }
    h[0] = Clip16(output);
    g[0] = AdaptStep(output, s.average);
    // Age the steps: full at age 1, half at 2, a quarter at 3..8, an eighth after.
    g[-1] = int16_t(g[-1] >> 1);
    g[-2] = int16_t(g[-2] >> 1);
    g[-8] = int16_t(g[-8] >> 1);
    ++s.pos;
  }
}

}  // namespace
}  // namespace apecompress
