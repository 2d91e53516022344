// The audio data area on its way to disk. Decoders read it as one stream of
// logical bytes in which each frame starts right where the previous one
// ended; that stream is stored as 32-bit words, each little-endian, so a
// frame may start and end inside a word. Frames are appended in order; the
// bytes of an incomplete word wait for the next frame or for Close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/apecompress/Md5.h"
#include "platform/apecompress/OutputFile.h"

namespace apecompress {

class AudioArea {
 public:
  // Starts an empty area at file offset `start`. Every stored byte also goes
  // to `md5`, in file order.
  void Begin(OutputFile* file, Md5* md5, uint64_t start);
  // False when the file could not be written.
  bool Append(const uint8_t* logical, size_t size);
  // Pads the last word with zeros and writes it.
  bool Close();
  // Logical bytes appended so far: the offset at which the next frame starts.
  uint64_t LogicalSize() const { return logical_; }
  // The area's size on disk once closed: whole words.
  uint64_t StoredSize() const { return (logical_ + 3) / 4 * 4; }

 private:
  static constexpr size_t kStagingBytes = 1 << 18;

  void PutWord(const uint8_t* logical);
  bool Flush();

  OutputFile* file_ = nullptr;
  Md5* md5_ = nullptr;
  uint64_t start_ = 0;
  uint64_t logical_ = 0;
  uint64_t flushed_ = 0;  // stored bytes written to the file
  std::vector<uint8_t> staging_;
  size_t staged_ = 0;
  uint8_t partial_[4] = {};  // logical bytes of the incomplete last word
};

}  // namespace apecompress
