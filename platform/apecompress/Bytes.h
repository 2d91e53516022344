// A little-endian word, as the PCM, the CRC and the MD5 blocks read them.
#pragma once

#include <cstdint>

namespace apecompress {

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace apecompress
