// The inner loops of the rate converter: the FIR filter of the picked input
// frames (down-sampling), and the linear interpolation with the filter of
// the interpolated stream (up-sampling). Every sum is a 64-bit float whose
// terms are added in one fixed order, so the output is the same sample for
// sample on every machine; only independent sums are computed side by side.
#pragma once

#include <cstdint>

namespace cdx::ratefilter {

// out[i] for each picked frame j = picks[i]: the sum over k = 0 .. N-1 of
// h[N-1-k] x s(j-k), k ascending, where s(j) is window frame N-1+j (the
// window starts with the N-1 frames before the block). Saturated, rounded
// halves to even. `channels` is 1 or 2 (interleaved).
void FilterPicks(int channels, const double* window, const int32_t* picks, int count,
                 const double* h, int N, int16_t* out);

struct TInterpolation {
  const int16_t* x;     // the block's frames
  int frames;           // whole frames in the block
  const int16_t* prev;  // the frame before x[0]
  int64_t in, out;      // sample rates, in <= out
  int N;                // kernel width
  double* values;       // N-1 frames of History, then room for `capacity`
  int capacity;         // frames that fit in the output buffer
};

// Interpolates the intervals from frame `from` on, writing the values after
// the History; stops before the value that would exceed `capacity`. Returns
// the frames made; `*stoppedAt` is the frame whose interval is unfinished
// (`frames` when the block is done).
int Interpolate(int channels, const TInterpolation& job, int from, int64_t& remainder,
                int* stoppedAt);

// out frame i (i < m) := the sum over q = 0 .. N-1 of h[N-1-q] x value
// frame i+q, q ascending: each output adds its terms oldest value first,
// exactly as an overlap-add accumulator receives them. Saturated, rounded
// halves to even. Then moves the last N-1 value frames to the front as the
// next block's History.
void FilterValues(int channels, double* values, int m, const double* h, int N, int16_t* out);

}  // namespace cdx::ratefilter
