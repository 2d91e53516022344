#include "platform/apecompress/Md5.h"

#include <cstring>

#include "platform/apecompress/Bytes.h"

namespace apecompress {
namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int kRotate[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
// The message word each step adds.
constexpr int kWord[64] = {0, 1, 2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                           1, 6, 11, 0,  5,  10, 15, 4,  9,  14, 3,  8,  13, 2,  7,  12,
                           5, 8, 11, 14, 1,  4,  7,  10, 13, 0,  3,  6,  9,  12, 15, 2,
                           0, 7, 14, 5,  12, 3,  10, 1,  8,  15, 6,  13, 4,  11, 2,  9};

uint32_t RotateLeft(uint32_t v, int s) {
  return (v << s) | (v >> (32 - s));
}

// One round: 16 steps of the same mixing function, unrolled by the compiler.
template <int kRound, class Mix>
void Round(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* m, Mix mix) {
  for (int i = 16 * kRound; i < 16 * kRound + 16; ++i) {
    const uint32_t next =
        b + RotateLeft(a + mix(b, c, d) + kSine[i] + m[kWord[i]], kRotate[kRound][i % 4]);
    a = d, d = c, c = b, b = next;
  }
}

}  // namespace

void Md5::Transform(const uint8_t* chunk) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = LoadLe32(chunk + 4 * i);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  Round<0>(a, b, c, d, m, [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); });
  Round<1>(a, b, c, d, m, [](uint32_t x, uint32_t y, uint32_t z) { return (z & x) | (~z & y); });
  Round<2>(a, b, c, d, m, [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; });
  Round<3>(a, b, c, d, m, [](uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); });
  state_[0] += a, state_[1] += b, state_[2] += c, state_[3] += d;
}

void Md5::Update(const uint8_t* data, size_t size) {
  size_t used = size_t(length_ % 64);
  length_ += size;
  if (used > 0) {
    const size_t take = size < 64 - used ? size : 64 - used;
    std::memcpy(buffer_ + used, data, take);
    data += take, size -= take, used += take;
    if (used < 64) return;
    Transform(buffer_);
  }
  for (; size >= 64; data += 64, size -= 64) Transform(data);
  std::memcpy(buffer_, data, size);
}

Md5::Digest Md5::Final() const {
  Md5 copy = *this;
  const uint64_t bits = length_ * 8;
  // Padding: one 1 bit, zeros up to 56 bytes mod 64, then the length in bits.
  uint8_t pad[72] = {0x80};
  const size_t padBytes = (length_ % 64 < 56 ? 56 : 120) - size_t(length_ % 64);
  for (int i = 0; i < 8; ++i) pad[padBytes + i] = uint8_t(bits >> (8 * i));
  copy.Update(pad, padBytes + 8);
  Digest digest;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = uint8_t(copy.state_[i] >> (8 * j));
  }
  return digest;
}

}  // namespace apecompress
