// The frame's entropy coder: a byte-wise range encoder with carry
// propagation, and the adaptive residual model of file version 3990 that
// codes each signed 32-bit residual as an "overflow" symbol plus a base.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace apecompress {

// Growable byte output of one frame. The storage is kept across frames, so
// after the first frames nothing is allocated.
class ByteSink {
 public:
  void Clear() { size_ = 0; }
  void Put(uint8_t byte) {
    if (size_ == bytes_.size()) Grow();
    bytes_[size_++] = byte;
  }
  void Reserve(size_t bytes) {
    if (bytes_.size() < bytes) bytes_.resize(bytes);
  }
  const uint8_t* Data() const { return bytes_.data(); }
  size_t Size() const { return size_; }

 private:
  void Grow() { bytes_.resize(bytes_.empty() ? 4096 : bytes_.size() * 2); }
  std::vector<uint8_t> bytes_;
  size_t size_ = 0;
};

class RangeEncoder {
 public:
  // Starts a frame. The initial cache byte becomes the byte the decoder skips.
  void Begin(ByteSink* sink);
  // Codes the interval [start, start + width) of a total of 65536.
  void EncodeShift16(uint32_t start, uint32_t width) {
    Normalise();
    const uint32_t h = range_ >> 16;
    low_ += h * start;
    range_ = h * width;
  }
  // Codes the value `start` (width 1) out of `total` equally likely values.
  void EncodeUniform(uint32_t start, uint32_t total) {
    Normalise();
    const uint32_t h = range_ / total;
    low_ += h * start;
    range_ = h;
  }
  // Emits the rest of the state; the frame's range bytes are then complete.
  void Finish();

 private:
  static constexpr uint32_t kBottom = 1u << 23;
  void Normalise() {
    while (range_ <= kBottom) ShiftOut();
  }
  void ShiftOut() {
    const uint32_t carry = low_ >> 31;
    const uint8_t top = uint8_t(low_ >> 23);
    if (carry != 0 || top != 0xFF) {
      sink_->Put(uint8_t(cache_ + carry));
      for (; pendingFF_ > 0; --pendingFF_) sink_->Put(uint8_t(0xFF + carry));
      cache_ = top;
    } else {
      ++pendingFF_;
    }
    low_ = (low_ << 8) & 0x7FFFFFFFu;
    range_ <<= 8;
  }

  ByteSink* sink_ = nullptr;
  // Bit 31 of low_ is a carry into the bytes already waiting; low_ + range_
  // never exceeds 2^32, so 32 bits suffice.
  uint32_t low_ = 0;
  uint32_t range_ = 0;
  uint8_t cache_ = 0;
  uint32_t pendingFF_ = 0;
};

// Codes a frame's residuals, each stream with its own adaptive model that
// starts afresh: mono (or pseudo-stereo) values, or stereo pairs Y then X.
void EncodeResiduals(RangeEncoder& coder, const int32_t* values, uint32_t count);
void EncodeResidualPairs(RangeEncoder& coder, const int32_t* y, const int32_t* x, uint32_t count);

}  // namespace apecompress
