#include "cd/TrackChecksums.h"

// The loops every sample passes are built for the machine's widest vectors
// too, picked at run time.
#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define CDX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define CDX_VECTOR_CLONES
#endif

#include <libdeflate.h>

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
// Samples (16-bit) looked at together for a 0.
constexpr size_t kZeroBlock = TTrackChecksums::kZeroBlock;

uint32_t Word(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t Half(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}

}  // namespace

// The largest and the smallest magnitude of `n` 16-bit samples.
CDX_VECTOR_CLONES TTrackChecksums::BlockRange TTrackChecksums::ScanBlock(const uint8_t* p,
                                                                         size_t n) {
  int32_t largest = 0, smallest = 1 << 16;
  for (size_t j = 0; j < n; ++j) {
    int32_t magnitude = std::abs(Half(p + 2 * j));
    largest = std::max(largest, magnitude);
    smallest = std::min(smallest, magnitude);
  }
  return {static_cast<uint32_t>(largest), static_cast<uint32_t>(smallest)};
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
  crc_ = libdeflate_crc32(crc_, pcm, bytes);
  if (partialBytes_ > 0) {
    size_t take = std::min(bytes, 4 - partialBytes_);
    std::memcpy(partial_ + partialBytes_, pcm, take);
    partialBytes_ += take;
    pcm += take;
    bytes -= take;
    if (partialBytes_ < 4) return;
    Frames(partial_, 1);
    partialBytes_ = 0;
  }
  size_t frames = bytes / 4;
  for (size_t done = 0; done < frames; done += kSliceFrames)
    Frames(pcm + done * 4, std::min(kSliceFrames, frames - done));
  partialBytes_ = bytes % 4;
  std::memcpy(partial_, pcm + frames * 4, partialBytes_);
}

void TTrackChecksums::Frames(const uint8_t* pcm, size_t frames) {
  ArSums(pcm, seen_, frames);
  Frame450(pcm, seen_, frames);
  PeakAndNonZero(pcm, frames);
  seen_ += frames;
}

// Samples at 1-based positions m counted from the track's start, within
// [arFirst_, arLast_], add sample x m in two 32-bit halves.
CDX_VECTOR_CLONES void TTrackChecksums::ArSums(const uint8_t* pcm, uint64_t first, size_t frames) {
  uint64_t from = std::max(first + 1, arFirst_);
  uint64_t to = std::min(first + frames, arLast_);
  if (from > to) return;
  const uint8_t* p = pcm + (from - 1 - first) * 4;
  // Positions stay below 2^32: a track is far shorter.
  auto m = static_cast<uint32_t>(from);
  const size_t count = static_cast<size_t>(to - from + 1);
  uint32_t lo = sumLo_, hi = sumHi_;
  for (size_t k = 0; k < count; ++k) {
    uint64_t product = static_cast<uint64_t>(Word(p + 4 * k)) * (m + static_cast<uint32_t>(k));
    lo += static_cast<uint32_t>(product);
    hi += static_cast<uint32_t>(product >> 32);
  }
  sumLo_ = lo;
  sumHi_ = hi;
}

void TTrackChecksums::Frame450(const uint8_t* pcm, uint64_t first, size_t frames) {
  uint64_t from = std::max(first, kFrame450First);
  uint64_t to = std::min(first + frames, kFrame450First + kSectorSamples);
  for (uint64_t i = from; i < to; ++i)
    frame450_ += Word(pcm + (i - first) * 4) * static_cast<uint32_t>(i - kFrame450First + 1);
}

// The peak, and the CRC of the samples that are not 0. Music seldom holds
// a 0 sample: blocks without one are CRC'd in place, in runs, and only a
// block that holds one is copied without its zeros.
void TTrackChecksums::PeakAndNonZero(const uint8_t* pcm, size_t frames) {
  const size_t halves = frames * 2;
  uint32_t peak = peak_;
  const uint8_t* run = pcm;  // not yet CRC'd
  for (size_t i = 0; i < halves; i += kZeroBlock) {
    size_t n = std::min(kZeroBlock, halves - i);
    const uint8_t* block = pcm + 2 * i;
    BlockRange range = ScanBlock(block, n);
    peak = std::max(peak, range.largest);
    if (range.smallest != 0) continue;
    crcSkipZero_ = libdeflate_crc32(crcSkipZero_, run, static_cast<size_t>(block - run));
    size_t kept = 0;
    for (size_t j = 0; j < n; ++j) {
      std::memcpy(nonZero_.data() + kept, block + 2 * j, 2);
      kept += (block[2 * j] | block[2 * j + 1]) ? 2 : 0;
    }
    crcSkipZero_ = libdeflate_crc32(crcSkipZero_, nonZero_.data(), kept);
    run = block + 2 * n;
  }
  crcSkipZero_ = libdeflate_crc32(crcSkipZero_, run, static_cast<size_t>(pcm + 2 * halves - run));
  peak_ = peak;
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
