#include "cd/TrackChecksums.h"

#include "pipeline/Sanitizers.h"

// The loops every sample passes are built for the machine's widest vectors
// too, picked at run time.
#if defined(__x86_64__) && !defined(CDX_UNDER_ASAN) && !defined(CDX_UNDER_TSAN)
#define CDX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define CDX_VECTOR_CLONES
#endif

#include <isa-l/crc.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace cdx {

namespace {

constexpr uint64_t kSkippedAtDiscEdge = 2940;  // 5 sectors; the first one counts
constexpr uint64_t kFrame450First = 450 * 588;
constexpr uint64_t kSectorSamples = 588;
// Blocks are taken in slices of this many samples, so that the skip-zero
// bytes of one slice fit a buffer of fixed size.
constexpr size_t kSliceFrames = 4096;

// The CRC32 of zip and PNG, carried on from `crc`. ISA-L's takes the widest
// carry-less multiply the machine has: three to four times libdeflate's
// speed on AVX-512 machines, the same result.
uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t bytes) {
  return crc32_gzip_refl(crc, p, bytes);
}

uint32_t Word(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t Half(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}

// Products of polynomials modulo the CRC's, bit-reflected as the CRC
// keeps them (the top bit is x^0).
constexpr uint32_t kCrcPolynomial = 0xedb88320;

uint32_t MultiplyModCrc(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = (b & 1) ? (b >> 1) ^ kCrcPolynomial : b >> 1;
  }
  return product;
}

// x^(8 x bytes): what `bytes` more bytes do to the difference of two CRC
// states.
uint32_t ByteShift(uint64_t bytes) {
  uint32_t power = 1u << 31, square = 1u << 30;  // x^0, x^1
  for (uint64_t bits = bytes * 8; bits != 0; bits >>= 1) {
    if (bits & 1) power = MultiplyModCrc(power, square);
    square = MultiplyModCrc(square, square);
  }
  return power;
}

// The largest and the smallest magnitude of `n` 16-bit samples.
CDX_VECTOR_CLONES TMagnitudeRange ScanBlock(const uint8_t* p, size_t n) {
  int32_t largest = 0, smallest = 1 << 16;
  for (size_t j = 0; j < n; ++j) {
    int32_t magnitude = std::abs(Half(p + 2 * j));
    largest = std::max(largest, magnitude);
    smallest = std::min(smallest, magnitude);
  }
  return {static_cast<uint32_t>(largest), static_cast<uint32_t>(smallest)};
}

}  // namespace

uint32_t TTrackChecksums::CrcShift::Apply(uint32_t difference, size_t bytes) {
  if (bytes != bytes_) {
    bytes_ = bytes;
    power_ = ByteShift(bytes);
  }
  return MultiplyModCrc(power_, difference);
}

TTrackChecksums::TTrackChecksums(const TTrackChecksumSetup& setup) {
  Reset(setup);
}

void TTrackChecksums::Reset(const TTrackChecksumSetup& setup) {
  setup_ = setup;
  arFirst_ = setup.FirstAudio ? kSkippedAtDiscEdge : 1;
  arLast_ = setup.LastAudio
                ? (setup.Samples > kSkippedAtDiscEdge ? setup.Samples - kSkippedAtDiscEdge : 0)
                : setup.Samples;
  sumLo_ = sumHi_ = frame450_ = 0;
  crc_ = crcSkipZero_ = 0;
  peak_ = 0;
  seen_ = 0;
  partialBytes_ = 0;
}

void TTrackChecksums::Samples(const uint8_t* pcm, size_t bytes) {
  if (bytes == 0) return;
  // The whole CRC goes over the bytes as they come; the rest needs whole
  // samples.
  if (partialBytes_ > 0) {
    size_t take = std::min(bytes, 4 - partialBytes_);
    crc_ = Crc32(crc_, pcm, take);
    std::memcpy(partial_ + partialBytes_, pcm, take);
    partialBytes_ += take;
    pcm += take;
    bytes -= take;
    if (partialBytes_ < 4) return;
    if (!Frames(partial_, 1)) crcSkipZero_ = Crc32(crcSkipZero_, partial_, 4);
    partialBytes_ = 0;
  }
  size_t frames = bytes / 4;
  for (size_t done = 0; done < frames; done += kSliceFrames) {
    size_t n = std::min(kSliceFrames, frames - done);
    const uint8_t* slice = pcm + done * 4;
    // Taken slice by slice, so that every pass reads the slice from the
    // nearest cache.
    uint32_t crcBefore = crc_;
    crc_ = Crc32(crc_, slice, n * 4);
    // A slice without a 0 adds the same bytes to both CRCs: the skip-zero
    // CRC follows from the whole one without a second pass.
    if (!Frames(slice, n)) {
      CrcShift& shift = n == kSliceFrames ? sliceShift_ : tailShift_;
      crcSkipZero_ = crc_ ^ shift.Apply(crcSkipZero_ ^ crcBefore, n * 4);
    }
  }
  partialBytes_ = bytes % 4;
  std::memcpy(partial_, pcm + frames * 4, partialBytes_);
  crc_ = Crc32(crc_, partial_, partialBytes_);
}

bool TTrackChecksums::Frames(const uint8_t* pcm, size_t frames) {
  ArSums(pcm, seen_, frames);
  Frame450(pcm, seen_, frames);
  bool zeros = PeakAndNonZero(pcm, frames);
  seen_ += frames;
  return zeros;
}

namespace {

// sum of word x (m + k) for k < count, in the two 32-bit halves of each
// product.
void ArSumsPlain(const uint8_t* p, uint32_t m, size_t count, uint32_t& lo, uint32_t& hi) {
  for (size_t k = 0; k < count; ++k) {
    uint64_t product = static_cast<uint64_t>(Word(p + 4 * k)) * (m + static_cast<uint32_t>(k));
    lo += static_cast<uint32_t>(product);
    hi += static_cast<uint32_t>(product >> 32);
  }
}

#if defined(__x86_64__)
// The same, eight samples at a time: the even and the odd words are
// multiplied in 64-bit lanes, whose low and high halves are summed apart
// (a lane's high sum cannot overflow: a slice is far below 2^32 samples).
__attribute__((target("avx2"))) void ArSumsAvx2(const uint8_t* p, uint32_t m, size_t count,
                                                uint32_t& lo, uint32_t& hi) {
  const size_t vectors = count / 8;
  __m256i even = _mm256_setr_epi64x(m, m + 2, m + 4, m + 6);
  __m256i odd = _mm256_add_epi64(even, _mm256_set1_epi64x(1));
  const __m256i step = _mm256_set1_epi64x(8);
  __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
  for (size_t v = 0; v < vectors; ++v) {
    __m256i words = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * v));
    __m256i a = _mm256_mul_epu32(words, even);
    __m256i b = _mm256_mul_epu32(_mm256_srli_epi64(words, 32), odd);
    low = _mm256_add_epi64(low, _mm256_add_epi64(a, b));
    high = _mm256_add_epi64(high,
                            _mm256_add_epi64(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(b, 32)));
    even = _mm256_add_epi64(even, step);
    odd = _mm256_add_epi64(odd, step);
  }
  alignas(32) uint64_t lows[4], highs[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lows), low);
  _mm256_store_si256(reinterpret_cast<__m256i*>(highs), high);
  for (int i = 0; i < 4; ++i) {
    lo += static_cast<uint32_t>(lows[i]);
    hi += static_cast<uint32_t>(highs[i]);
  }
  ArSumsPlain(p + 32 * vectors, m + static_cast<uint32_t>(8 * vectors), count - 8 * vectors, lo,
              hi);
}

// The same, sixteen samples at a time: twice the AVX2 loop's speed where
// the machine has 512-bit vectors. In the masked forms with every lane
// kept: GCC 12 warns that the plain ones read an uninitialized vector.
__attribute__((target("avx512f"))) void ArSumsAvx512(const uint8_t* p, uint32_t m, size_t count,
                                                     uint32_t& lo, uint32_t& hi) {
  const size_t vectors = count / 16;
  const __mmask8 kAll = 0xFF;
  __m512i even =
      _mm512_add_epi64(_mm512_set1_epi64(m), _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14));
  __m512i odd = _mm512_add_epi64(even, _mm512_set1_epi64(1));
  const __m512i step = _mm512_set1_epi64(16);
  __m512i low = _mm512_setzero_si512(), high = _mm512_setzero_si512();
  for (size_t v = 0; v < vectors; ++v) {
    __m512i words = _mm512_loadu_si512(p + 64 * v);
    __m512i a = _mm512_maskz_mul_epu32(kAll, words, even);
    __m512i b = _mm512_maskz_mul_epu32(kAll, _mm512_maskz_srli_epi64(kAll, words, 32), odd);
    low = _mm512_add_epi64(low, _mm512_add_epi64(a, b));
    high = _mm512_add_epi64(high, _mm512_add_epi64(_mm512_maskz_srli_epi64(kAll, a, 32),
                                                   _mm512_maskz_srli_epi64(kAll, b, 32)));
    even = _mm512_add_epi64(even, step);
    odd = _mm512_add_epi64(odd, step);
  }
  alignas(64) uint64_t lows[8], highs[8];
  _mm512_store_si512(lows, low);
  _mm512_store_si512(highs, high);
  for (int i = 0; i < 8; ++i) {
    lo += static_cast<uint32_t>(lows[i]);
    hi += static_cast<uint32_t>(highs[i]);
  }
  ArSumsAvx2(p + 64 * vectors, m + static_cast<uint32_t>(16 * vectors), count - 16 * vectors, lo,
             hi);
}

enum class TVectors { None, Avx2, Avx512 };

// The widest vectors the loops every sample passes use: the machine's,
// unless CDX_CHECKSUM_VECTORS narrows them ("avx2" or "none"), as the tests
// do to check every width on one machine.
TVectors WidestVectors() {
  TVectors widest = __builtin_cpu_supports("avx512bw")
                        ? TVectors::Avx512
                        : (__builtin_cpu_supports("avx2") ? TVectors::Avx2 : TVectors::None);
  const char* narrowed = std::getenv("CDX_CHECKSUM_VECTORS");
  if (narrowed && std::strcmp(narrowed, "avx2") == 0) return std::min(widest, TVectors::Avx2);
  if (narrowed && std::strcmp(narrowed, "none") == 0) return TVectors::None;
  return widest;
}

const TVectors kVectors = WidestVectors();
const bool kHasAvx2 = kVectors >= TVectors::Avx2;

// The largest and the smallest magnitude of `n` 16-bit samples, sixteen at
// a time; the magnitude of -32768 is 0x8000 read unsigned.
__attribute__((target("avx2"))) TMagnitudeRange RangeAvx2(const uint8_t* p, size_t n) {
  const size_t vectors = n / 16;
  __m256i largest = _mm256_setzero_si256(), smallest = _mm256_set1_epi16(-1);
  for (size_t v = 0; v < vectors; ++v) {
    __m256i magnitude =
        _mm256_abs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * v)));
    largest = _mm256_max_epu16(largest, magnitude);
    smallest = _mm256_min_epu16(smallest, magnitude);
  }
  alignas(32) uint16_t large[16], small[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(large), largest);
  _mm256_store_si256(reinterpret_cast<__m256i*>(small), smallest);
  uint32_t top = 0, bottom = 1 << 16;
  for (int i = 0; i < 16; ++i) {
    top = std::max<uint32_t>(top, large[i]);
    bottom = std::min<uint32_t>(bottom, small[i]);
  }
  for (size_t j = 16 * vectors; j < n; ++j) {
    auto magnitude = static_cast<uint32_t>(std::abs(Half(p + 2 * j)));
    top = std::max(top, magnitude);
    bottom = std::min(bottom, magnitude);
  }
  return {top, bottom};
}

// The same, thirty-two at a time.
__attribute__((target("avx512bw"))) TMagnitudeRange RangeAvx512(const uint8_t* p, size_t n) {
  const size_t vectors = n / 32;
  __m512i largest = _mm512_setzero_si512(), smallest = _mm512_set1_epi16(-1);
  for (size_t v = 0; v < vectors; ++v) {
    __m512i magnitude = _mm512_abs_epi16(_mm512_loadu_si512(p + 64 * v));
    largest = _mm512_max_epu16(largest, magnitude);
    smallest = _mm512_min_epu16(smallest, magnitude);
  }
  auto [top, bottom] = RangeAvx2(p + 64 * vectors, n - 32 * vectors);
  alignas(64) uint16_t large[32], small[32];
  _mm512_store_si512(large, largest);
  _mm512_store_si512(small, smallest);
  for (int i = 0; i < 32; ++i) {
    top = std::max<uint32_t>(top, large[i]);
    bottom = std::min<uint32_t>(bottom, small[i]);
  }
  return {top, bottom};
}

// Whether one of the `n` 16-bit samples is 0.
__attribute__((target("avx2"))) bool HasZeroAvx2(const uint8_t* p, size_t n) {
  if (n != 64) {
    for (size_t j = 0; j < n; ++j)
      if ((p[2 * j] | p[2 * j + 1]) == 0) return true;
    return false;
  }
  const auto* v = reinterpret_cast<const __m256i*>(p);
  __m256i smallest =
      _mm256_min_epu16(_mm256_min_epu16(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1)),
                       _mm256_min_epu16(_mm256_loadu_si256(v + 2), _mm256_loadu_si256(v + 3)));
  return !_mm256_testz_si256(_mm256_cmpeq_epi16(smallest, _mm256_setzero_si256()),
                             _mm256_set1_epi8(-1));
}
#endif

}  // namespace

TMagnitudeRange MagnitudeRange(const uint8_t* pcm, size_t samples) {
#if defined(__x86_64__)
  if (kHasAvx2)
    return kVectors == TVectors::Avx512 ? RangeAvx512(pcm, samples) : RangeAvx2(pcm, samples);
#endif
  return ScanBlock(pcm, samples);
}

// Samples at 1-based positions m counted from the track's start, within
// [arFirst_, arLast_], add sample x m in two 32-bit halves.
void TTrackChecksums::ArSums(const uint8_t* pcm, uint64_t first, size_t frames) {
  uint64_t from = std::max(first + 1, arFirst_);
  uint64_t to = std::min(first + frames, arLast_);
  if (from > to) return;
  const uint8_t* p = pcm + (from - 1 - first) * 4;
  // Positions stay below 2^32: a track is far shorter.
  auto m = static_cast<uint32_t>(from);
  const size_t count = static_cast<size_t>(to - from + 1);
#if defined(__x86_64__)
  if (kVectors == TVectors::Avx512) return ArSumsAvx512(p, m, count, sumLo_, sumHi_);
  if (kHasAvx2) return ArSumsAvx2(p, m, count, sumLo_, sumHi_);
#endif
  ArSumsPlain(p, m, count, sumLo_, sumHi_);
}

void TTrackChecksums::Frame450(const uint8_t* pcm, uint64_t first, size_t frames) {
  uint64_t from = std::max(first, kFrame450First);
  uint64_t to = std::min(first + frames, kFrame450First + kSectorSamples);
  for (uint64_t i = from; i < to; ++i)
    frame450_ += Word(pcm + (i - first) * 4) * static_cast<uint32_t>(i - kFrame450First + 1);
}

// The peak, and whether a sample is 0. Music seldom holds a 0 sample:
// only a slice that holds one has its skip-zero CRC taken here, over runs
// of blocks without one in place and each block with one copied without
// its zeros.
bool TTrackChecksums::PeakAndNonZero(const uint8_t* pcm, size_t frames) {
  const size_t halves = frames * 2;
  bool peakKnown = false;
#if defined(__x86_64__)
  // Most slices hold no 0: one pass over the whole slice finds that out.
  if (kHasAvx2) {
    const TMagnitudeRange range = MagnitudeRange(pcm, halves);
    peak_ = std::max(peak_, range.Largest);
    if (range.Smallest != 0) return false;
    peakKnown = true;
  }
#endif
  uint32_t peak = peak_;
  const uint8_t* run = pcm;  // not yet CRC'd
  bool zeros = false;
  for (size_t i = 0; i < halves; i += kZeroBlock) {
    size_t n = std::min(kZeroBlock, halves - i);
    const uint8_t* block = pcm + 2 * i;
    if (peakKnown) {
#if defined(__x86_64__)
      if (!HasZeroAvx2(block, n)) continue;
#endif
    } else {
      const TMagnitudeRange range = ScanBlock(block, n);
      peak = std::max(peak, range.Largest);
      if (range.Smallest != 0) continue;
    }
    crcSkipZero_ = Crc32(crcSkipZero_, run, static_cast<size_t>(block - run));
    zeros = true;
    size_t kept = 0;
    for (size_t j = 0; j < n; ++j) {
      std::memcpy(nonZero_.data() + kept, block + 2 * j, 2);
      kept += (block[2 * j] | block[2 * j + 1]) ? 2 : 0;
    }
    crcSkipZero_ = Crc32(crcSkipZero_, nonZero_.data(), kept);
    run = block + 2 * n;
  }
  if (zeros) crcSkipZero_ = Crc32(crcSkipZero_, run, static_cast<size_t>(pcm + 2 * halves - run));
  peak_ = peak;
  return zeros;
}

TTrackChecksumResult TTrackChecksums::Result() const {
  TTrackChecksumResult r;
  r.ArV1 = sumLo_;
  r.ArV2 = sumLo_ + sumHi_;
  r.HasFrame450 = setup_.Samples >= kFrame450First + kSectorSamples;
  r.Frame450 = r.HasFrame450 ? frame450_ : 0;
  r.Crc32 = crc_;
  r.Crc32SkipZero = crcSkipZero_;
  r.Peak = peak_;
  r.SamplesSeen = seen_;
  r.SamplesExpected = setup_.Samples;
  return r;
}

}  // namespace cdx
