// Portable loops: the reference the SIMD ones are tested against, and the
// path on processors without SSE2.
#include "platform/apecompress/NNFilterLoop.h"

namespace apecompress {
namespace {

struct ScalarKernel {
  static int32_t Dot(const int16_t* a, const int16_t* b, int n) {
    uint32_t sum = 0;
    for (int j = 0; j < n; ++j) sum += uint32_t(int32_t(a[j]) * int32_t(b[j]));
    return int32_t(sum);
  }
  static void Add(int16_t* w, const int16_t* g, int n) {
    for (int j = 0; j < n; ++j) w[j] = int16_t(w[j] + g[j]);
  }
  static void Sub(int16_t* w, const int16_t* g, int n) {
    for (int j = 0; j < n; ++j) w[j] = int16_t(w[j] - g[j]);
  }
};

}  // namespace

void RunNNFilterScalar(NNFilterState& state, int32_t* values, uint32_t count) {
  RunStage<ScalarKernel>(state, values, count);
}

void RunNNFilterPairScalar(NNFilterState& a, int32_t* valuesA, NNFilterState& b, int32_t* valuesB,
                           uint32_t count) {
  RunStagePair<ScalarKernel>(a, valuesA, b, valuesB, count);
}

}  // namespace apecompress
