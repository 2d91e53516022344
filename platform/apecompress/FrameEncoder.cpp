#include "platform/apecompress/FrameEncoder.h"

#include <stdexcept>

#include "platform/apecompress/Bytes.h"
#include "platform/apecompress/Crc32.h"
#include "platform/apecompress/Predictor.h"

namespace apecompress {
namespace {

constexpr uint32_t kFlagsFollow = 0x80000000u;
constexpr uint32_t kFlagMonoSilence = 1;
constexpr uint32_t kFlagStereoSilence = 3;
constexpr uint32_t kFlagPseudoStereo = 4;

struct StageShape {
  int order;
  int shift;
};

// The adaptive-filter cascade of each level, in the encoder's order (the
// reverse of the decoder's).
std::vector<StageShape> CascadeFor(int level) {
  switch (level) {
    case 2000:
      return {{16, 11}};
    case 3000:
      return {{64, 11}};
    case 4000:
      return {{256, 13}, {32, 10}};
    case 5000:
      return {{1280, 15}, {256, 13}, {16, 11}};
    default:
      return {};
  }
}

}  // namespace

bool IsCompressionLevel(int level) {
  return level == 1000 || level == 2000 || level == 3000 || level == 4000 || level == 5000;
}

uint32_t BlocksPerFrameFor(int level) {
  return level >= 5000 ? 73728 * 16 : level >= 4000 ? 73728 * 4 : 73728;
}

FrameEncoder::FrameEncoder(int level, int channels, uint32_t maxBlocks, NNKernel kernel)
    : level_(level), channels_(channels), maxBlocks_(maxBlocks) {
  if (!IsCompressionLevel(level) || (channels != 1 && channels != 2) || maxBlocks == 0 ||
      maxBlocks > kMaxBlocksPerFrame) {
    throw std::invalid_argument("FrameEncoder: unsupported level, channels or frame length");
  }
  for (const StageShape& s : CascadeFor(level)) {
    stages_.emplace_back(s.order, s.shift, kernel);
    if (channels == 2) stagesX_.emplace_back(s.order, s.shift, kernel);
  }
  residualY_.resize(maxBlocks);
  if (channels == 2) residualX_.resize(maxBlocks);
  // Noise can take more than 16 bits a sample; three bytes cover it.
  out_.Reserve(size_t(maxBlocks) * 3 * size_t(channels) + 64);
}

bool FrameEncoder::Encode(const uint8_t* pcm, uint32_t blocks) {
  if (blocks == 0 || blocks > maxBlocks_) return false;
  const size_t bytes = size_t(blocks) * 2 * size_t(channels_);
  const Kind kind = Classify(pcm, blocks);
  out_.Clear();
  // The CRC field's low 31 bits carry the CRC shifted right by one.
  const uint32_t crcField = Crc32(pcm, bytes) >> 1;
  if (kind == kCoded) {
    Put32(crcField);
  } else {
    Put32(crcField | kFlagsFollow);
    const uint32_t silence = channels_ == 2 ? kFlagStereoSilence : kFlagMonoSilence;
    Put32(kind == kSilence ? silence : kFlagPseudoStereo);
  }
  if (kind == kSilence) {
    // Nothing is coded, but decoders that read frames one after the other
    // still consume a range coder's start and flush: 5 bytes.
    coder_.Begin(&out_);
    coder_.Finish();
    return true;
  }
  return CodeSamples(pcm, blocks, kind);
}

FrameEncoder::Kind FrameEncoder::Classify(const uint8_t* pcm, uint32_t blocks) const {
  // A mono block is 2 bytes: test pairs of blocks at once where possible.
  const size_t bytes = size_t(blocks) * 2 * size_t(channels_);
  uint32_t any = 0;
  size_t i = 0;
  for (; i + 4 <= bytes; i += 4) any |= LoadLe32(pcm + i);
  for (; i < bytes; ++i) any |= pcm[i];
  if (any == 0) return kSilence;
  if (channels_ == 1) return kCoded;
  uint32_t differ = 0;
  for (i = 0; i < bytes; i += 4) {
    const uint32_t block = LoadLe32(pcm + i);
    differ |= (block ^ (block >> 16)) & 0xFFFF;
  }
  return differ == 0 ? kPseudoStereo : kCoded;
}

bool FrameEncoder::CodeSamples(const uint8_t* pcm, uint32_t blocks, Kind kind) {
  int32_t* y = residualY_.data();
  int32_t* x = residualX_.data();
  const bool stereo = channels_ == 2 && kind == kCoded;
  if (stereo) {
    if (!PredictStereo(pcm, blocks, level_ == 5000, y, x)) return false;
    FilterPair(y, x, blocks);
  } else {
    // Pseudo-stereo frames code channel 0 with the mono path.
    PredictMono(pcm, blocks, size_t(channels_) * 2, y);
    Filter(y, blocks);
  }
  coder_.Begin(&out_);
  if (stereo) {
    EncodeResidualPairs(coder_, y, x, blocks);
  } else {
    EncodeResiduals(coder_, y, blocks);
  }
  coder_.Finish();
  return true;
}

void FrameEncoder::Filter(int32_t* values, uint32_t blocks) {
  for (NNFilter& stage : stages_) {
    stage.Reset();
    stage.Encode(values, blocks);
  }
}

void FrameEncoder::FilterPair(int32_t* y, int32_t* x, uint32_t blocks) {
  for (size_t i = 0; i < stages_.size(); ++i) {
    stages_[i].Reset();
    stagesX_[i].Reset();
    stages_[i].EncodeWith(stagesX_[i], y, x, blocks);
  }
}

void FrameEncoder::Put32(uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out_.Put(uint8_t(value >> shift));
}

}  // namespace apecompress
