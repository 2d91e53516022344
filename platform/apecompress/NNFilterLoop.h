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
// wrapping), each over `order` elements, a multiple of 16. One value: the
// desired output in, the stage's input out. kOrder, when not 0, is the
// stage's order known at compile time, which lets short loops unroll.
template <class Kernel, int kOrder>
inline void Step(NNFilterState& s, int32_t& value) {
  const int order = kOrder != 0 ? kOrder : s.order;
  if (s.pos == s.end) Slide(s);
  int16_t* const h = s.history + s.pos;
  int16_t* const g = s.adapt + s.pos;
  const int32_t dot = Kernel::Dot(s.weights, h - order, order);
  const int32_t prediction = int32_t((int64_t(dot) + (int64_t(1) << (s.shift - 1))) >> s.shift);
  const int32_t output = value;
  const int32_t input = int32_t(uint32_t(output) - uint32_t(prediction));
  value = input;
  if (input > 0) {
    Kernel::Add(s.weights, g - order, order);
  } else if (input < 0) {
    Kernel::Sub(s.weights, g - order, order);
  }
  h[0] = Clip16(output);
  g[0] = AdaptStep(output, s.average);
  // Age the steps: full at age 1, half at 2, a quarter at 3..8, an eighth after.
  g[-1] = int16_t(g[-1] >> 1);
  g[-2] = int16_t(g[-2] >> 1);
  g[-8] = int16_t(g[-8] >> 1);
  ++s.pos;
}

template <class Kernel, int kOrder>
void RunStageOf(NNFilterState& s, int32_t* values, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) Step<Kernel, kOrder>(s, values[i]);
}

// Two independent streams in one loop: each value waits on the weights the
// previous one updated, so the processor works on the other stream meanwhile.
template <class Kernel, int kOrder>
void RunStagePairOf(NNFilterState& a, int32_t* valuesA, NNFilterState& b, int32_t* valuesB,
                    uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    Step<Kernel, kOrder>(a, valuesA[i]);
    Step<Kernel, kOrder>(b, valuesB[i]);
  }
}

// The orders of the short stages get loops of their own.
template <class Kernel>
void RunStage(NNFilterState& s, int32_t* values, uint32_t count) {
  if (s.order == 16) return RunStageOf<Kernel, 16>(s, values, count);
  if (s.order == 32) return RunStageOf<Kernel, 32>(s, values, count);
  RunStageOf<Kernel, 0>(s, values, count);
}

template <class Kernel>
void RunStagePair(NNFilterState& a, int32_t* valuesA, NNFilterState& b, int32_t* valuesB,
                  uint32_t count) {
  if (a.order == 16) return RunStagePairOf<Kernel, 16>(a, valuesA, b, valuesB, count);
  if (a.order == 32) return RunStagePairOf<Kernel, 32>(a, valuesA, b, valuesB, count);
  RunStagePairOf<Kernel, 0>(a, valuesA, b, valuesB, count);
}

}  // namespace
}  // namespace apecompress
