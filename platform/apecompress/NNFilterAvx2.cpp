// AVX2 loops. This file alone is compiled with -mavx2; NNFilter.cpp calls
// it only after checking the processor.
#include <immintrin.h>

#include "platform/apecompress/NNFilterLoop.h"

namespace apecompress {
namespace {

struct Avx2Kernel {
  static int32_t Dot(const int16_t* a, const int16_t* b, int n) {
    __m256i sum = _mm256_setzero_si256();
    for (int j = 0; j < n; j += 16) {
      const auto* pa = reinterpret_cast<const __m256i*>(a + j);
      const auto* pb = reinterpret_cast<const __m256i*>(b + j);
      sum =
          _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_loadu_si256(pa), _mm256_loadu_si256(pb)));
    }
    __m128i half = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, 0x4E));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, 0xB1));
    return _mm_cvtsi128_si32(half);
  }
  static void Add(int16_t* w, const int16_t* g, int n) {
    for (int j = 0; j < n; j += 16) {
      auto* pw = reinterpret_cast<__m256i*>(w + j);
      const auto* pg = reinterpret_cast<const __m256i*>(g + j);
      _mm256_storeu_si256(pw, _mm256_add_epi16(_mm256_loadu_si256(pw), _mm256_loadu_si256(pg)));
    }
  }
  static void Sub(int16_t* w, const int16_t* g, int n) {
    for (int j = 0; j < n; j += 16) {
      auto* pw = reinterpret_cast<__m256i*>(w + j);
      const auto* pg = reinterpret_cast<const __m256i*>(g + j);
      _mm256_storeu_si256(pw, _mm256_sub_epi16(_mm256_loadu_si256(pw), _mm256_loadu_si256(pg)));
    }
  }
};

}  // namespace

void RunNNFilterAvx2(NNFilterState& state, int32_t* values, uint32_t count) {
  RunStage<Avx2Kernel>(state, values, count);
}

void RunNNFilterPairAvx2(NNFilterState& a, int32_t* valuesA, NNFilterState& b, int32_t* valuesB,
                         uint32_t count) {
  RunStagePair<Avx2Kernel>(a, valuesA, b, valuesB, count);
}

}  // namespace apecompress
