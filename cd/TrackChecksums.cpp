#include "cd/TrackChecksums.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace cdx {

namespace {

constexpr uint64_t kSkippedAtDiscEdge = 2940;  // 5 sectors; the first one counts
constexpr uint64_t kFrame450First = 450 * 588;
constexpr uint64_t kSectorSamples = 588;
// Blocks are taken in slices of this many samples, so that the skip-zero
// bytes of one slice fit a buffer of fixed size.
constexpr size_t kSliceFrames = 4096;

uint32_t Word(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t Magnitude(const uint8_t* p) {
  auto v = static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
  return static_cast<uint32_t>(v < 0 ? -static_cast<int32_t>(v) : v);
}

}  // namespace

TTrackChecksums::TTrackChecksums(const TTrackChecksumSetup& setup) : nonZero_(kSliceFrames * 4) {
  Reset(setup);
}

void TTrackChecksums::Reset(const TTrackChecksumSetup& setup) {
  setup_ = setup;
  arFirst_ = setup.FirstAudio ? kSkippedAtDiscEdge : 1;
  arLast_ = setup.LastAudio
                ? (setup.Samples > kSkippedAtDiscEdge ? setup.Samples - kSkippedAtDiscEdge : 0)
                : setup.Samples;
  sumLo_ = sumHi_ = frame450_ = 0;
  crc_ = crcSkipZero_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
  peak_ = 0;
  seen_ = 0;
  partialBytes_ = 0;
}

void TTrackChecksums::Samples(const uint8_t* pcm, size_t bytes) {
  if (bytes == 0) return;
  // The whole CRC goes over the bytes as they come; the rest needs whole
  // samples.
  crc_ = static_cast<uint32_t>(crc32(crc_, pcm, static_cast<uInt>(bytes)));
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
void TTrackChecksums::ArSums(const uint8_t* pcm, uint64_t first, size_t frames) {
  uint64_t from = std::max(first + 1, arFirst_);
  uint64_t to = std::min(first + frames, arLast_);
  uint32_t lo = sumLo_, hi = sumHi_;
  for (uint64_t m = from; m <= to; ++m) {
    uint64_t product = static_cast<uint64_t>(Word(pcm + (m - 1 - first) * 4)) * m;
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

void TTrackChecksums::PeakAndNonZero(const uint8_t* pcm, size_t frames) {
  uint32_t peak = peak_;
  uint8_t* out = nonZero_.data();
  size_t kept = 0;
  for (size_t half = 0; half < frames * 2; ++half) {
    const uint8_t* p = pcm + half * 2;
    peak = std::max(peak, Magnitude(p));
    out[kept] = p[0];
    out[kept + 1] = p[1];
    kept += (p[0] | p[1]) ? 2 : 0;
  }
  peak_ = peak;
  crcSkipZero_ = static_cast<uint32_t>(crc32(crcSkipZero_, out, static_cast<uInt>(kept)));
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
