// Encodes one frame of PCM into the logical bytes the decoder reads: CRC
// field, optional frame flags, range-coded residuals. The next frame starts
// right after them; AudioArea turns the stream into the stored words.
// No state carries from one frame to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/apecompress/NNFilter.h"
#include "platform/apecompress/RangeCoder.h"

namespace apecompress {

// Level 5000's 64-bit prediction sums grow with the frame length (the
// coefficients move by one per block). Up to this length the residual
// provably stays within 32 bits for 16-bit input: taps of |e| <= 129023 and
// their differences give sums below 1193465 per block of frame length, so
// 1.41e12, and predictions below 1.38e9 < 2^31.
inline constexpr uint32_t kMaxBlocksPerFrame = 73728 * 16;

bool IsCompressionLevel(int level);
// The frame length files of the level usually have, which keeps decoders
// with fixed frame buffers within their bounds: 73728 blocks up to level
// 3000, four times that at 4000 and sixteen times at 5000.
uint32_t BlocksPerFrameFor(int level);

class FrameEncoder {
 public:
  // level: 1000..5000; channels: 1 or 2; maxBlocks: the frame length.
  FrameEncoder(int level, int channels, uint32_t maxBlocks, NNKernel kernel = NNKernel::kAuto);

  // Encodes `blocks` (1..maxBlocks) interleaved 16-bit little-endian blocks.
  // Returns false if the frame cannot be represented (see kMaxBlocksPerFrame).
  bool Encode(const uint8_t* pcm, uint32_t blocks);

  const uint8_t* Data() const { return out_.Data(); }
  size_t Size() const { return out_.Size(); }

 private:
  enum Kind { kCoded, kSilence, kPseudoStereo };
  Kind Classify(const uint8_t* pcm, uint32_t blocks) const;
  bool CodeSamples(const uint8_t* pcm, uint32_t blocks, Kind kind);
  void Filter(int32_t* values, uint32_t blocks);
  void FilterPair(int32_t* y, int32_t* x, uint32_t blocks);
  void Put32(uint32_t value);

  int level_;
  int channels_;
  uint32_t maxBlocks_;
  std::vector<NNFilter> stages_;   // in the encoder's order
  std::vector<NNFilter> stagesX_;  // the same for a stereo frame's X stream
  std::vector<int32_t> residualY_, residualX_;
  RangeEncoder coder_;
  ByteSink out_;
};

}  // namespace apecompress
