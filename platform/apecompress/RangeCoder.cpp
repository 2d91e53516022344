#include "platform/apecompress/RangeCoder.h"

namespace apecompress {
namespace {

// Cumulative starts of overflow symbols 0..20 (and the end of 20); symbols
// 21..63 have width 1 and start at 65472 + symbol.
constexpr uint32_t kOverflowStart[22] = {0,     19578, 36160, 48417, 56323, 60899, 63265, 64435,
                                         64971, 65232, 65351, 65416, 65447, 65466, 65476, 65482,
                                         65485, 65488, 65490, 65491, 65492, 65493};
constexpr uint32_t kEscape = 63;

// Maps 0, 1, -1, 2, -2 ... to 0, 1, 2, 3, 4 ...; -2^31 has no positive
// twin and takes the last code.
uint32_t FoldSign(int32_t value) {
  const uint32_t v = uint32_t(value);
  if (value > 0) return 2 * v - 1;
  if (value == INT32_MIN) return 0xFFFFFFFFu;
  return 0u - 2 * v;
}

void EncodeOverflow(RangeEncoder& coder, uint32_t overflow) {
  if (overflow <= 20) {
    coder.EncodeShift16(kOverflowStart[overflow],
                        kOverflowStart[overflow + 1] - kOverflowStart[overflow]);
  } else if (overflow < kEscape) {
    coder.EncodeShift16(65472 + overflow, 1);
  } else {
    coder.EncodeShift16(65472 + kEscape, 1);
    coder.EncodeShift16(overflow >> 16, 1);
    coder.EncodeShift16(overflow & 0xFFFF, 1);
  }
}

void EncodeBase(RangeEncoder& coder, uint32_t base, uint32_t pivot) {
  if (pivot < 65536) {
    coder.EncodeUniform(base, pivot);
    return;
  }
  // Large pivots are split so both totals fit the coder's 16-bit precision.
  int shift = 1;
  while ((pivot >> shift) >= 65536) ++shift;
  coder.EncodeUniform(base >> shift, (pivot >> shift) + 1);
  coder.EncodeUniform(base & ((1u << shift) - 1), 1u << shift);
}

// The per-stream running sum that sets the scale ("pivot") of the next value.
class ResidualModel {
 public:
  void Encode(RangeEncoder& coder, int32_t value) {
    const uint32_t x = FoldSign(value);
    const uint32_t pivot = sum_ >= 64 ? sum_ / 32 : 1;
    const uint32_t overflow = x / pivot;
    EncodeOverflow(coder, overflow);
    EncodeBase(coder, x - overflow * pivot, pivot);
    sum_ = sum_ + (x + 1) / 2 - (sum_ + 16) / 32;
  }

 private:
  uint32_t sum_ = 16384;
};

}  // namespace

void EncodeResiduals(RangeEncoder& coder, const int32_t* values, uint32_t count) {
  ResidualModel model;
  for (uint32_t n = 0; n < count; ++n) model.Encode(coder, values[n]);
}

void EncodeResidualPairs(RangeEncoder& coder, const int32_t* y, const int32_t* x, uint32_t count) {
  ResidualModel modelY, modelX;
  for (uint32_t n = 0; n < count; ++n) {
    modelY.Encode(coder, y[n]);
    modelX.Encode(coder, x[n]);
  }
}

void RangeEncoder::Begin(ByteSink* sink) {
  sink_ = sink;
  low_ = 0;
  range_ = 1u << 31;
  cache_ = 0;
  pendingFF_ = 0;
}

void RangeEncoder::Finish() {
  // Decoders that read frames one after the other normalise once more after
  // the last symbol, so the frame holds those bytes before the flush.
  Normalise();
  for (int i = 0; i < 4; ++i) ShiftOut();
  sink_->Put(cache_);
  for (; pendingFF_ > 0; --pendingFF_) sink_->Put(0xFF);
}

}  // namespace apecompress
