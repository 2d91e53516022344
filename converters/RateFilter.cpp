#include "converters/RateFilter.h"

#include <cstring>

#include "pipeline/Rounding.h"
#include "pipeline/Sanitizers.h"

namespace cdx::ratefilter {

namespace {

// Vectors of doubles: a stereo frame (V2), or four samples on AVX2 (V4).
// V2 needs only 8-byte alignment and may alias double.
typedef double V2 __attribute__((vector_size(16), aligned(8), may_alias));
typedef double V4 __attribute__((vector_size(32)));

inline V2 Load2(const double* p) {
  return *reinterpret_cast<const V2*>(p);
}

// sum += w x the vector at p. The load goes through memcpy (an unaligned
// load) because a vector type used as a template argument keeps its full
// alignment; the sum goes by reference, as an AVX vector passed by value
// would change the calling convention.
template <class V>
inline void AddProduct(V& sum, double w, const double* p) {
  V x;
  std::memcpy(&x, p, sizeof x);
  sum += w * x;
}

inline int16_t SaturatedSample(double y) {
  double r = RoundHalfEvenToDouble(y);
  if (r < -32768.0) r = -32768.0;
  if (r > 32767.0) r = 32767.0;
  return static_cast<int16_t>(r);
}

// Rounds and saturates n sums in one pass the compiler can vectorise.
inline void PutSamples(const double* sums, int n, int16_t* out) {
  for (int i = 0; i < n; ++i) out[i] = SaturatedSample(sums[i]);
}

// One picked frame's sum: newest input frame first, h[0] weights the oldest.
template <int C>
inline void FilterOnePick(const double* p, const double* h, int N, double* sum) {
  if constexpr (C == 1) {
    double s = 0.0;
    for (int t = N - 1; t >= 0; --t) s += h[t] * p[t];
    sum[0] = s;
  } else {
    V2 s{};
    for (int t = N - 1; t >= 0; --t) s += h[t] * Load2(p + 2 * t);
    sum[0] = s[0];
    sum[1] = s[1];
  }
}

// Four picked frames at a time: their sums are independent, so they keep
// the adder busy while each keeps its own order of additions.
template <int C>
void FilterPicksT(const double* window, const int32_t* picks, int count, const double* h, int N,
                  int16_t* out) {
  int i = 0;
  double sums[4 * C];
  for (; i + 4 <= count; i += 4) {
    const double* p0 = window + picks[i] * C;
    const double* p1 = window + picks[i + 1] * C;
    const double* p2 = window + picks[i + 2] * C;
    const double* p3 = window + picks[i + 3] * C;
    if constexpr (C == 1) {
      double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
      for (int t = N - 1; t >= 0; --t) {
        const double ht = h[t];
        s0 += ht * p0[t];
        s1 += ht * p1[t];
        s2 += ht * p2[t];
        s3 += ht * p3[t];
      }
      sums[0] = s0, sums[1] = s1, sums[2] = s2, sums[3] = s3;
    } else {
      V2 s0{}, s1{}, s2{}, s3{};
      for (int t = N - 1; t >= 0; --t) {
        const double ht = h[t];
        s0 += ht * Load2(p0 + 2 * t);
        s1 += ht * Load2(p1 + 2 * t);
        s2 += ht * Load2(p2 + 2 * t);
        s3 += ht * Load2(p3 + 2 * t);
      }
      const V2 all[4] = {s0, s1, s2, s3};
      std::memcpy(sums, all, sizeof all);
    }
    PutSamples(sums, 4 * C, out + i * C);
  }
  for (; i < count; ++i) {
    FilterOnePick<C>(window + picks[i] * C, h, N, sums);
    PutSamples(sums, C, out + i * C);
  }
}

template <int C>
int InterpolateT(const TInterpolation& job, int from, int64_t& remainder, int* stoppedAt) {
  const int64_t in = job.in, out = job.out;
  double* values = job.values + (job.N - 1) * C;
  int64_t r = remainder;
  int m = 0;
  int j = from;
  bool full = false;
  // First the exact numerators ((out - r) x a + r x b, 64-bit products)...
  while (j < job.frames) {
    const int16_t* a = j == 0 ? job.prev : job.x + (j - 1) * C;
    const int16_t* b = job.x + j * C;
    for (; r < out; r += in, ++m) {
      full = m == job.capacity;
      if (full) break;
      for (int c = 0; c < C; ++c)
        values[m * C + c] = static_cast<double>((out - r) * a[c] + r * b[c]);
    }
    if (full) break;
    r -= out;
    ++j;
  }
  // ...then their division and rounding, in one vectorisable pass.
  const double outD = static_cast<double>(out);
  for (int i = 0; i < m * C; ++i) values[i] = RoundHalfEvenToDouble(values[i] / outD);
  remainder = r;
  *stoppedAt = j;
  return m;
}

// The filter runs along the interleaved samples: sample s of the output is
// the sum over q of h[N-1-q] x values[s + q x C]. Sixteen neighbouring
// samples at a time, in vectors of V.
template <class V, int C>
void FilterValuesT(double* values, int m, const double* h, int N, int16_t* out) {
  constexpr int Lanes = sizeof(V) / sizeof(double);
  constexpr int Vectors = 16 / Lanes;
  const int samples = m * C;
  double sums[16];
  int s = 0;
  for (; s + 16 <= samples; s += 16) {
    V acc[Vectors] = {};
    const double* p = values + s;
    for (int q = 0; q < N; ++q, p += C) {
      const double w = h[N - 1 - q];
#pragma GCC unroll 8
      for (int v = 0; v < Vectors; ++v) AddProduct(acc[v], w, p + v * Lanes);
    }
    std::memcpy(sums, acc, sizeof sums);
    PutSamples(sums, 16, out + s);
  }
  for (; s < samples; ++s) {
    double sum = 0.0;
    for (int q = 0; q < N; ++q) sum += h[N - 1 - q] * values[s + q * C];
    out[s] = SaturatedSample(sum);
  }
  std::memmove(values, values + samples, sizeof(double) * (N - 1) * C);
}

template <class V>
void FilterValuesV(int channels, double* values, int m, const double* h, int N, int16_t* out) {
  if (channels == 1)
    FilterValuesT<V, 1>(values, m, h, N, out);
  else
    FilterValuesT<V, 2>(values, m, h, N, out);
}

}  // namespace

// Built three times: for AVX2 (wider vectors), for SSE4.1 (rounding in one
// instruction) and for any x86-64; the loader picks the best the machine
// has. All add the same terms in the same order.
// ThreadSanitizer cannot run the loader's selection (it comes before the
// sanitizer is set up), and clang, which builds the sanitizer and fuzzer
// trees, does not clone a flattened function: those builds take the plain
// x86-64 version.
#if defined(CDX_UNDER_TSAN) || defined(__clang__)
#define CDX_CLONES __attribute__((flatten))
#define CDX_NARROW_CLONES __attribute__((flatten))
#else
#define CDX_CLONES __attribute__((target_clones("avx2", "sse4.1", "default"), flatten))
#define CDX_NARROW_CLONES __attribute__((target_clones("sse4.1", "default"), flatten))
#endif

CDX_CLONES void FilterPicks(int channels, const double* window, const int32_t* picks, int count,
                            const double* h, int N, int16_t* out) {
  if (channels == 1)
    FilterPicksT<1>(window, picks, count, h, N, out);
  else
    FilterPicksT<2>(window, picks, count, h, N, out);
}

CDX_CLONES int Interpolate(int channels, const TInterpolation& job, int from, int64_t& remainder,
                           int* stoppedAt) {
  if (channels == 1) return InterpolateT<1>(job, from, remainder, stoppedAt);
  return InterpolateT<2>(job, from, remainder, stoppedAt);
}

// Four-wide vectors only where the machine has them: elsewhere the compiler
// would split them clumsily.
__attribute__((target("avx2"), flatten)) static void FilterValuesWide(int channels, double* values,
                                                                      int m, const double* h, int N,
                                                                      int16_t* out) {
  FilterValuesV<V4>(channels, values, m, h, N, out);
}

CDX_NARROW_CLONES static void FilterValuesNarrow(int channels, double* values, int m,
                                                 const double* h, int N, int16_t* out) {
  FilterValuesV<V2>(channels, values, m, h, N, out);
}

void FilterValues(int channels, double* values, int m, const double* h, int N, int16_t* out) {
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide)
    FilterValuesWide(channels, values, m, h, N, out);
  else
    FilterValuesNarrow(channels, values, m, h, N, out);
}

}  // namespace cdx::ratefilter
