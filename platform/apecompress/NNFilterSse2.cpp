// SSE2 loops (part of the x86-64 baseline). pmaddwd sums pairs of 16x16-bit
// products into 32 bits; its one overflow case (two products of -32768^2)
// wraps to exactly the value the modulo-2^32 sum needs.
#include <emmintrin.h>

#include "platform/apecompress/NNFilterLoop.h"

namespace apecompress {
namespace {

struct Sse2Kernel {
  static int32_t Dot(const int16_t* a, const int16_t* b, int n) {
    __m128i sum0 = _mm_setzero_si128(), sum1 = _mm_setzero_si128();
    for (int j = 0; j < n; j += 16) {
      const auto* pa = reinterpret_cast<const __m128i*>(a + j);
      const auto* pb = reinterpret_cast<const __m128i*>(b + j);
      sum0 = _mm_add_epi32(sum0, _mm_madd_epi16(_mm_loadu_si128(pa), _mm_loadu_si128(pb)));
      sum1 = _mm_add_epi32(sum1, _mm_madd_epi16(_mm_loadu_si128(pa + 1), _mm_loadu_si128(pb + 1)));
    }
    __m128i sum = _mm_add_epi32(sum0, sum1);
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    return _mm_cvtsi128_si32(sum);
  }
  static void Add(int16_t* w, const int16_t* g, int n) {
    for (int j = 0; j < n; j += 8) {
      auto* pw = reinterpret_cast<__m128i*>(w + j);
      const auto* pg = reinterpret_cast<const __m128i*>(g + j);
      _mm_storeu_si128(pw, _mm_add_epi16(_mm_loadu_si128(pw), _mm_loadu_si128(pg)));
    }
  }
  static void Sub(int16_t* w, const int16_t* g, int n) {
    for (int j = 0; j < n; j += 8) {
      auto* pw = reinterpret_cast<__m128i*>(w + j);
      const auto* pg = reinterpret_cast<const __m128i*>(g + j);
      _mm_storeu_si128(pw, _mm_sub_epi16(_mm_loadu_si128(pw), _mm_loadu_si128(pg)));
    }
  }
};

}  // namespace

void RunNNFilterSse2(NNFilterState& state, int32_t* values, uint32_t count) {
  RunStage<Sse2Kernel>(state, values, count);
}

void RunNNFilterPairSse2(NNFilterState& a, int32_t* valuesA, NNFilterState& b, int32_t* valuesB,
                         uint32_t count) {
  RunStagePair<Sse2Kernel>(a, valuesA, b, valuesB, count);
}

}  // namespace apecompress
