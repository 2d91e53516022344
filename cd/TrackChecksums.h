// The checksums a rip log and the AccurateRip database speak of, taken of
// one track while it is ripped: attached to the CD source, they see every
// sample once, after the read offset is corrected.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "cd/SampleSink.h"

namespace cdx {

// What the checksums must know of the track before its first sample.
struct TTrackChecksumSetup {
  // Stereo samples the track has: its AR region, from its INDEX 01 to the
  // next track's (sectors x 588).
  uint64_t Samples = 0;
  // Of the disc's AUDIO tracks (data tracks do not count); a disc of one
  // audio track is both. The database's sums leave out the first 2939 and
  // the last 2940 samples of the disc.
  bool FirstAudio = false;
  bool LastAudio = false;
};

struct TTrackChecksumResult {
  uint32_t ArV1 = 0;
  uint32_t ArV2 = 0;
  // Of sector 450 counted from INDEX 01; 0 and HasFrame450 false when the
  // track is shorter than 451 sectors.
  uint32_t Frame450 = 0;
  bool HasFrame450 = false;
  // CRC-32/IEEE (zlib's CRC) of the PCM bytes, and of the 16-bit samples that are
  // not 0 ("skip zero": left and right judged apart).
  uint32_t Crc32 = 0;
  uint32_t Crc32SkipZero = 0;
  // Largest |sample| of either channel, 0 .. 32768.
  uint32_t Peak = 0;
  uint64_t SamplesSeen = 0;
  uint64_t SamplesExpected = 0;

  // Every sample of the track came: only then do the AR sums mean anything.
  bool Complete() const { return SamplesSeen == SamplesExpected; }
  // Peak / 32768, as the log prints it.
  double PeakLevel() const { return Peak / 32768.0; }
};

// The largest and the smallest |sample| of `samples` 16-bit little-endian
// samples, with the machine's widest vectors; -32768 counts as 32768.
struct TMagnitudeRange {
  uint32_t Largest, Smallest;
};
TMagnitudeRange MagnitudeRange(const uint8_t* pcm, size_t samples);

// Computes all of them in one pass over each block. Bytes may come in any
// split (a sample cut between two blocks is put together); samples past
// the track's length count only in the CRCs and the peak. It holds no
// buffer but a small array: Samples never allocates.
class TTrackChecksums : public TSampleSink {
 public:
  static constexpr size_t kZeroBlock = 64;  // 16-bit samples looked at together for a 0

  explicit TTrackChecksums(const TTrackChecksumSetup& setup = {});
  // Starts over for another track (or the copy pass of the same one).
  void Reset(const TTrackChecksumSetup& setup);
  void Samples(const uint8_t* pcm, size_t bytes) override;
  TTrackChecksumResult Result() const;

 private:
  // Two CRCs of the same start over the same bytes differ by their start
  // states' difference times x^(8 x bytes); the last length's power is kept.
  class CrcShift {
   public:
    uint32_t Apply(uint32_t difference, size_t bytes);

   private:
    size_t bytes_ = 0;
    uint32_t power_ = 1u << 31;
  };

  // False when no sample is 0: the skip-zero CRC is then left to the caller.
  bool Frames(const uint8_t* pcm, size_t frames);
  void ArSums(const uint8_t* pcm, uint64_t first, size_t frames);
  void Frame450(const uint8_t* pcm, uint64_t first, size_t frames);
  bool PeakAndNonZero(const uint8_t* pcm, size_t frames);

  TTrackChecksumSetup setup_;
  uint64_t arFirst_ = 0, arLast_ = 0;  // 1-based positions counted, inclusive
  uint32_t sumLo_ = 0, sumHi_ = 0, frame450_ = 0;
  uint32_t crc_ = 0, crcSkipZero_ = 0;
  uint32_t peak_ = 0;
  uint64_t seen_ = 0;
  uint8_t partial_[4] = {};
  size_t partialBytes_ = 0;
  CrcShift sliceShift_, tailShift_;                // full slices, and the last shorter one
  std::array<uint8_t, kZeroBlock * 2> nonZero_{};  // one block's samples that are not 0
};

}  // namespace cdx
