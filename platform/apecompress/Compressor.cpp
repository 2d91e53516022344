#include "platform/apecompress/Compressor.h"

#include <algorithm>
#include <array>
#include <new>

namespace apecompress {
namespace {

constexpr uint16_t kFlagWavHeaderNotStored = 32;
constexpr uint64_t kDefaultReserveSeconds = 80 * 60;  // the longest audio CD
constexpr uint32_t kDefaultReserveLimit = 2048;
constexpr size_t kMoveChunk = 1 << 20;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

uint32_t ReservedSeekEntries(int maxAudioBytes, uint32_t frameBytes, uint32_t rate,
                             uint32_t blocksPerFrame) {
  if (maxAudioBytes > 0) return uint32_t((uint64_t(maxAudioBytes) + frameBytes - 1) / frameBytes);
  const uint64_t blocks = kDefaultReserveSeconds * rate;
  const uint64_t frames = (blocks + blocksPerFrame - 1) / blocksPerFrame;
  return uint32_t(std::clamp<uint64_t>(frames, 1, kDefaultReserveLimit));
}

}  // namespace

Compressor::Compressor(CompressorOptions options) : options_(options) {}

Compressor::~Compressor() {
  if (state_ == State::kRunning || state_ == State::kFailed) file_.Discard();
}

int Compressor::CheckStartArguments(const char* outputFileName, const WAVEFORMATEX* format,
                                    int compressionLevel, const void* headerData,
                                    int headerBytes) const {
  if (state_ != State::kIdle || outputFileName == nullptr || format == nullptr) {
    return kErrorInvalidFunctionParameter;
  }
  if (headerBytes < -1 || (headerBytes > 0 && headerData == nullptr)) {
    return kErrorInvalidFunctionParameter;
  }
  if (options_.blocksPerFrame > kMaxBlocksPerFrame) return kErrorInvalidFunctionParameter;
  if (format->wFormatTag != kWaveFormatPcm) return kErrorUnsupportedFileType;
  if (format->wBitsPerSample != 16) return kErrorUnsupportedBitDepth;
  if (format->nChannels != 1 && format->nChannels != 2) return kErrorUnsupportedChannelCount;
  if (format->nSamplesPerSec == 0) return kErrorUnsupportedSampleRate;
  if (format->nBlockAlign != format->nChannels * 2) return kErrorInvalidFunctionParameter;
  if (!IsCompressionLevel(compressionLevel)) return kErrorBadParameter;
  return kErrorSuccess;
}

int Compressor::Start(const char* outputFileName, const WAVEFORMATEX* format, int maxAudioBytes,
                      int compressionLevel, const void* headerData, int headerBytes) {
  const int check =
      CheckStartArguments(outputFileName, format, compressionLevel, headerData, headerBytes);
  if (check != kErrorSuccess) return check;
  level_ = compressionLevel;
  channels_ = format->nChannels;
  sampleRate_ = format->nSamplesPerSec;
  blockAlign_ = format->nBlockAlign;
  wavHeaderBytes_ = headerBytes > 0 ? uint32_t(headerBytes) : 0;
  blocksPerFrame_ =
      options_.blocksPerFrame != 0 ? options_.blocksPerFrame : BlocksPerFrameFor(level_);
  frameBytes_ = size_t(blocksPerFrame_) * blockAlign_;
  seekEntries_ =
      ReservedSeekEntries(maxAudioBytes, uint32_t(frameBytes_), sampleRate_, blocksPerFrame_);
  const int prepared = PrepareRun();
  if (prepared != kErrorSuccess) return prepared;
  if (!file_.Create(outputFileName)) {
    frames_.reset();
    return kErrorInvalidOutputFile;
  }
  if (wavHeaderBytes_ > 0) {
    if (!file_.WriteAt(kHeaderBytes + 4 * uint64_t(seekEntries_), headerData, wavHeaderBytes_)) {
      frames_.reset();
      file_.Discard();
      return kErrorIoWrite;
    }
    md5_.Update(static_cast<const uint8_t*>(headerData), wavHeaderBytes_);
  }
  filled_ = 0;
  lastFrameBlocks_ = 0;
  state_ = State::kRunning;
  return kErrorSuccess;
}

// The run's buffers and workers, before the file is touched.
int Compressor::PrepareRun() {
  const unsigned threads = options_.threads == 0 ? WorkersForThisMachine() : options_.threads;
  try {
    frameStarts_.clear();
    frameStarts_.reserve(seekEntries_);
    // A single thread is the caller's own: no workers.
    frames_ = std::make_unique<FrameQueue>(level_, channels_, blocksPerFrame_, options_.kernel,
                                           threads > 1 ? threads : 0);
    md5_ = Md5{};
    audio_.Begin(&file_, &md5_, FirstFrameOffset());
  } catch (const std::bad_alloc&) {
    frames_.reset();
    return kErrorInsufficientMemory;
  }
  return kErrorSuccess;
}

unsigned char* Compressor::LockBuffer(int* bytesAvailable) {
  if (bytesAvailable == nullptr) return nullptr;
  if (state_ != State::kRunning) {
    *bytesAvailable = 0;
    return nullptr;
  }
  *bytesAvailable = int(frameBytes_ - filled_);
  return frames_->FillBuffer() + filled_;
}

int Compressor::UnlockBuffer(int bytesAdded, bool /*process*/) {
  if (state_ == State::kFailed) return error_;
  if (state_ != State::kRunning || bytesAdded < 0 || size_t(bytesAdded) > frameBytes_ - filled_) {
    return kErrorInvalidFunctionParameter;
  }
  filled_ += size_t(bytesAdded);
  if (filled_ < frameBytes_) return kErrorSuccess;
  filled_ = 0;
  return SubmitFrame(blocksPerFrame_);
}

int Compressor::Finish(const unsigned char* terminatingData, int terminatingBytes,
                       int wavTerminatingBytes) {
  if (state_ == State::kIdle || state_ == State::kFinished) return kErrorInvalidFunctionParameter;
  if (terminatingBytes < 0 || wavTerminatingBytes < 0 || wavTerminatingBytes > terminatingBytes ||
      (terminatingBytes > 0 && terminatingData == nullptr)) {
    return kErrorInvalidFunctionParameter;
  }
  int result = state_ == State::kFailed ? error_ : kErrorSuccess;
  const bool partialBlock = filled_ % blockAlign_ != 0;
  if (result == kErrorSuccess) result = FinishAudio(uint32_t(filled_ / blockAlign_));
  if (result == kErrorSuccess) result = MakeRoomForSeekTable();
  if (result == kErrorSuccess) {
    result = WriteTail(terminatingData, terminatingBytes, wavTerminatingBytes);
  }
  if (result == kErrorSuccess) result = WriteHeaderAndSeekTable(uint32_t(wavTerminatingBytes));
  if (result == kErrorSuccess && !file_.Close()) result = kErrorIoWrite;
  if (result != kErrorSuccess) file_.Discard();
  state_ = State::kFinished;
  frames_.reset();
  if (result == kErrorSuccess && partialBlock) return kErrorInvalidFunctionParameter;
  return result;
}

int Compressor::Fail(int code) {
  state_ = State::kFailed;
  error_ = code;
  return code;
}

uint64_t Compressor::FirstFrameOffset() const {
  return kHeaderBytes + 4 * uint64_t(seekEntries_) + wavHeaderBytes_;
}

int Compressor::SubmitFrame(uint32_t blocks) {
  frames_->Submit(blocks);
  return WriteEncodedFrames(false);
}

// Writes the frames that are encoded, oldest first. Waits for the oldest
// only when `all` are asked for, or when the next frame has no slot yet.
int Compressor::WriteEncodedFrames(bool all) {
  for (;;) {
    const FrameSlot* frame = frames_->Oldest(all || !frames_->HasRoom());
    if (frame == nullptr) return kErrorSuccess;
    const int result = WriteFrame(*frame);
    frames_->Release();
    if (result != kErrorSuccess) return result;
  }
}

int Compressor::WriteFrame(const FrameSlot& frame) {
  if (frame.error != kErrorSuccess) return Fail(frame.error);
  const size_t size = frame.encoder.Size();
  // Seek entries are 32-bit file offsets; count the table as it will be at
  // the end, however far it has to grow, and the padding of the last word.
  const uint64_t entries = std::max<uint64_t>(seekEntries_, frameStarts_.size() + 1);
  const uint64_t end =
      kHeaderBytes + 4 * entries + wavHeaderBytes_ + audio_.LogicalSize() + size + 3;
  if (end > UINT32_MAX) return Fail(kErrorInputFileTooLarge);
  try {
    frameStarts_.push_back(uint32_t(audio_.LogicalSize()));
  } catch (const std::bad_alloc&) {
    return Fail(kErrorInsufficientMemory);
  }
  if (!audio_.Append(frame.encoder.Data(), size)) return Fail(kErrorIoWrite);
  lastFrameBlocks_ = frame.blocks;
  return kErrorSuccess;
}

// Encodes the partial frame left in the buffer, writes every frame still
// in flight and completes the area's last word.
int Compressor::FinishAudio(uint32_t partialBlocks) {
  if (partialBlocks > 0) frames_->Submit(partialBlocks);
  const int result = WriteEncodedFrames(true);
  if (result != kErrorSuccess) return result;
  if (frameStarts_.empty()) return kErrorInputFileTooSmall;
  return audio_.Close() ? kErrorSuccess : Fail(kErrorIoWrite);
}

// The terminating bytes follow the audio; the first wavTailBytes of them
// are the WAV tail, which the MD5 covers.
int Compressor::WriteTail(const unsigned char* data, int bytes, int wavTailBytes) {
  if (bytes == 0) return kErrorSuccess;
  if (!file_.WriteAt(FirstFrameOffset() + audio_.StoredSize(), data, size_t(bytes))) {
    return kErrorIoWrite;
  }
  md5_.Update(data, size_t(wavTailBytes));
  return kErrorSuccess;
}

// The seek table precedes the audio. When more frames came than entries
// were reserved, the stored WAV header and the audio move back to make room.
int Compressor::MakeRoomForSeekTable() {
  const uint32_t needed = uint32_t(frameStarts_.size());
  if (needed <= seekEntries_) return kErrorSuccess;
  const uint64_t from = kHeaderBytes + 4 * uint64_t(seekEntries_);
  const uint64_t to = kHeaderBytes + 4 * uint64_t(needed);
  uint64_t remaining = wavHeaderBytes_ + audio_.StoredSize();
  std::vector<uint8_t> chunk;
  try {
    chunk.resize(std::min<uint64_t>(remaining, kMoveChunk));
  } catch (const std::bad_alloc&) {
    return kErrorInsufficientMemory;
  }
  // Back to front, so no byte is overwritten before it has been moved.
  while (remaining > 0) {
    const size_t n = size_t(std::min<uint64_t>(remaining, chunk.size()));
    remaining -= n;
    if (!file_.ReadAt(from + remaining, chunk.data(), n)) return kErrorIoRead;
    if (!file_.WriteAt(to + remaining, chunk.data(), n)) return kErrorIoWrite;
  }
  seekEntries_ = needed;
  return kErrorSuccess;
}

// Descriptor, header and seek table. The MD5 in the descriptor ends with
// the header and the seek table as stored (the descriptor itself is not
// part of it).
int Compressor::WriteHeaderAndSeekTable(uint32_t wavTailBytes) {
  std::vector<uint8_t> bytes;
  try {
    bytes.assign(kHeaderBytes + 4 * size_t(seekEntries_), 0);
  } catch (const std::bad_alloc&) {
    return kErrorInsufficientMemory;
  }
  uint8_t* d = bytes.data();
  const uint64_t audioBytes = audio_.StoredSize();
  // Descriptor.
  d[0] = 'M', d[1] = 'A', d[2] = 'C', d[3] = ' ';
  Put16(d + 4, kFileVersion);
  Put32(d + 8, kDescriptorBytes);
  Put32(d + 12, kHeaderBytes - kDescriptorBytes);
  Put32(d + 16, 4 * seekEntries_);
  Put32(d + 20, wavHeaderBytes_);
  Put32(d + 24, uint32_t(audioBytes));
  Put32(d + 28, uint32_t(audioBytes >> 32));
  Put32(d + 32, wavTailBytes);
  // Header.
  Put16(d + 52, uint32_t(level_));
  Put16(d + 54, wavHeaderBytes_ == 0 ? kFlagWavHeaderNotStored : 0);
  Put32(d + 56, blocksPerFrame_);
  Put32(d + 60, lastFrameBlocks_);
  Put32(d + 64, uint32_t(frameStarts_.size()));
  Put16(d + 68, 16);
  Put16(d + 70, channels_);
  Put32(d + 72, sampleRate_);
  const uint64_t first = FirstFrameOffset();
  for (size_t i = 0; i < frameStarts_.size(); ++i) {
    Put32(d + kHeaderBytes + 4 * i, uint32_t(first + frameStarts_[i]));
  }
  md5_.Update(d + kDescriptorBytes, bytes.size() - kDescriptorBytes);
  const Md5::Digest digest = md5_.Final();
  std::copy(digest.begin(), digest.end(), d + 36);
  return file_.WriteAt(0, bytes.data(), bytes.size()) ? kErrorSuccess : kErrorIoWrite;
}

}  // namespace apecompress
