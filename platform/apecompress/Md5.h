// MD5 (RFC 1321), fed in pieces of any size. The file's descriptor carries
// one over the stored parts of the file, which verifying decoders check.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace apecompress {

class Md5 {
 public:
  using Digest = std::array<uint8_t, 16>;

  void Update(const uint8_t* data, size_t size);
  // The digest of everything given so far; the object can go on taking data.
  Digest Final() const;

 private:
  void Transform(const uint8_t* chunk);

  uint32_t state_[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  uint64_t length_ = 0;  // bytes
  uint8_t buffer_[64] = {};
};

}  // namespace apecompress
