// Little-endian fields and 16-bit samples, as RIFF headers, Ogg pages and
// the pipeline's PCM store them.
#pragma once

#include <cstdint>

namespace cdx {

inline uint16_t GetLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The index-th sample of interleaved 16-bit PCM.
inline int16_t SampleAt(const uint8_t* pcm, int index) {
  return static_cast<int16_t>(GetLE16(pcm + 2 * index));
}

}  // namespace cdx
