// CRC-32 (reflected polynomial 0xEDB88320, initial and final XOR
// 0xFFFFFFFF): each frame carries it over its decoded PCM bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace apecompress {

uint32_t Crc32(const uint8_t* data, size_t size);

}  // namespace apecompress
