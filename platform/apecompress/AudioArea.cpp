#include "platform/apecompress/AudioArea.h"

#include <cstring>

namespace apecompress {

void AudioArea::Begin(OutputFile* file, Md5* md5, uint64_t start) {
  file_ = file;
  md5_ = md5;
  start_ = start;
  logical_ = 0;
  flushed_ = 0;
  staging_.resize(kStagingBytes);
  staged_ = 0;
}

void AudioArea::PutWord(const uint8_t* logical) {
  uint8_t* word = staging_.data() + staged_;
  word[0] = logical[3];
  word[1] = logical[2];
  word[2] = logical[1];
  word[3] = logical[0];
  staged_ += 4;
}

bool AudioArea::Append(const uint8_t* logical, size_t size) {
  size_t used = size_t(logical_ % 4);
  logical_ += size;
  if (used > 0) {
    while (used < 4 && size > 0) partial_[used++] = *logical++, --size;
    if (used < 4) return true;
    PutWord(partial_);
  }
  for (; size >= 4; logical += 4, size -= 4) {
    if (staged_ == staging_.size() && !Flush()) return false;
    PutWord(logical);
  }
  std::memcpy(partial_, logical, size);  // fewer than 4 left
  return Flush();
}

bool AudioArea::Close() {
  const size_t used = size_t(logical_ % 4);
  if (used == 0) return Flush();
  for (size_t i = used; i < 4; ++i) partial_[i] = 0;
  if (staged_ == staging_.size() && !Flush()) return false;
  PutWord(partial_);
  logical_ += 4 - used;
  return Flush();
}

bool AudioArea::Flush() {
  md5_->Update(staging_.data(), staged_);
  if (!file_->WriteAt(start_ + flushed_, staging_.data(), staged_)) return false;
  flushed_ += staged_;
  staged_ = 0;
  return true;
}

}  // namespace apecompress
