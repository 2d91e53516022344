// Runs the WAV header reader over bytes in memory and checks what must hold
// for any input. Shared by the unit tests and the fuzz target, so it uses
// no test framework.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "writers/ACS_Wave.h"

namespace cdx::test {

struct THeaderRead {
  TWaveHeaderInfo info;
  int64_t furthest = 0;  // one past the last byte the reader asked for
};

inline THeaderRead ReadHeaderBytes(const uint8_t* data, size_t size) {
  THeaderRead r;
  size_t pos = 0;
  r.info = ReadWaveHeader([&](void* buffer, int64_t count) -> int64_t {
    if (count < 0) {
      r.furthest = INT64_MAX;  // flagged by CheckHeaderReader
      return 0;
    }
    r.furthest = std::max<int64_t>(r.furthest, static_cast<int64_t>(pos) + count);
    size_t n = std::min(static_cast<size_t>(count), size - pos);
    if (n > 0) std::memcpy(buffer, data + pos, n);
    pos += n;
    return static_cast<int64_t>(n);
  });
  return r;
}

inline THeaderRead ReadHeaderBytes(const std::vector<uint8_t>& bytes) {
  return ReadHeaderBytes(bytes.data(), bytes.size());
}

// An empty string when every rule holds, else what went wrong.
inline std::string CheckHeaderReader(const uint8_t* data, size_t size) {
  THeaderRead r = ReadHeaderBytes(data, size);
  const TWaveHeaderInfo& h = r.info;
  if (r.furthest > kWaveHeaderLimit) return "read past the limit: " + std::to_string(r.furthest);
  if (h.Type == wtUnsupported) return "";
  auto le32 = [&](int64_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | data[at + i];
    return v;
  };
  if (h.Type != wtPCM && h.Type != wtDVIADPCM) return "unexpected type";
  if (h.RiffStart < 0 || h.RiffStart + 12 > h.DataSizePos) return "RIFF out of place";
  if (le32(h.RiffStart + 4) != h.RiffSize) return "RIFF size does not match the file";
  if (h.DataSizePos + 4 != h.DataStart) return "data size field not before the data";
  if (h.DataStart > static_cast<int64_t>(size) || h.DataStart > kWaveHeaderLimit)
    return "data start beyond what was read";
  if (le32(h.DataSizePos) != h.DataSize) return "data size does not match the file";
  if (h.Type == wtDVIADPCM) {
    if (h.FactPos < 16 || h.FactPos + 4 > h.DataSizePos) return "fact value out of place";
    if (le32(h.FactPos) != h.FactValue) return "fact value does not match the file";
  }
  return "";
}

}  // namespace cdx::test
