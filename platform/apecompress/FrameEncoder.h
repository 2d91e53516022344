// Encodes one frame of PCM into the bytes it occupies in the file: CRC
// field, optional frame flags, range-coded residuals, zero padding to a
// whole 32-bit word, each word stored little-endian as the decoder reads it.
// No state carries from one frame to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/apecompress/NNFilter.h"
#include "platform/apecompress/RangeCoder.h"

namespace apecompress {

inline constexpr uint32_t kDefaultBlocksPerFrame = 73728 * 4;
// Level 5000's 64-bit prediction sums grow with the frame length (the
// coefficients move by one per block). Up to this length the residual
// provably stays within 32 bits for 16-bit input: sums stay below 1.3e12,
// so predictions below 1.3e9 < 2^31.
inline constexpr uint32_t kMaxBlocksPerFrame = 1u << 20;

bool IsCompressionLevel(int level);

class FrameEncoder {
 public:
  // level: 1000..5000; channels: 1 or 2; maxBlocks: the frame length.
  FrameEncoder(int level, int channels, uint32_t maxBlocks, NNKernel kernel = NNKernel::kAuto);

  // Encodes `blocks` (1..maxBlocks) interleaved 16-bit little-endian blocks.
  // Returns false if the frame cannot be represented (see kMaxBlocksPerFrame).
  bool Encode(const uint8_t* pcm, uint32_t blocks);

  const uint8_t* Data() { return out_.Data(); }
  size_t Size() const { return out_.Size(); }

 private:
  enum Kind { kCoded, kSilence, kPseudoStereo };
  Kind Classify(const uint8_t* pcm, uint32_t blocks) const;
  bool CodeSamples(const uint8_t* pcm, uint32_t blocks, Kind kind);
  void Filter(int32_t* values, uint32_t blocks);
  void Put32(uint32_t value);
  void FinishWords();

  int level_;
  int channels_;
  uint32_t maxBlocks_;
  std::vector<NNFilter> stages_;  // in the encoder's order
  std::vector<int32_t> residualY_, residualX_;
  RangeEncoder coder_;
  ByteSink out_;
};

}  // namespace apecompress
