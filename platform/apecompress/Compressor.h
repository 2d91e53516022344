// The object behind a compressor handle: gathers PCM frame by frame, has
// each full frame encoded (on worker threads where there are several cores),
// appends the encoded frames to the file in order, and at Finish writes the
// header and seek table in front of the audio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/apecompress/APECompress.h"
#include "platform/apecompress/AudioArea.h"
#include "platform/apecompress/FrameQueue.h"
#include "platform/apecompress/Md5.h"
#include "platform/apecompress/OutputFile.h"

namespace apecompress {

inline constexpr uint16_t kFileVersion = 3990;
inline constexpr uint32_t kDescriptorBytes = 52;
inline constexpr uint32_t kHeaderBytes = 76;  // descriptor (52) + header (24)

struct CompressorOptions {
  // Frame length in blocks, 0 for the level's own (BlocksPerFrameFor);
  // other values exist so tests get many frames.
  uint32_t blocksPerFrame = 0;
  NNKernel kernel = NNKernel::kAuto;
  // Threads that encode frames: 0 follows the machine's cores, 1 encodes
  // on the calling thread. The file is the same whatever the count.
  unsigned threads = 0;
};

class Compressor {
 public:
  explicit Compressor(CompressorOptions options = {});
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  ~Compressor();

  // The calls of APECompress.h, with the same arguments and results.
  int Start(const char* outputFileName, const WAVEFORMATEX* format, int maxAudioBytes,
            int compressionLevel, const void* headerData, int headerBytes);
  unsigned char* LockBuffer(int* bytesAvailable);
  int UnlockBuffer(int bytesAdded, bool process);
  int Finish(const unsigned char* terminatingData, int terminatingBytes, int wavTerminatingBytes);

 private:
  enum class State { kIdle, kRunning, kFailed, kFinished };

  int CheckStartArguments(const char* outputFileName, const WAVEFORMATEX* format,
                          int compressionLevel, const void* headerData, int headerBytes) const;
  int PrepareRun();
  int Fail(int code);
  uint64_t FirstFrameOffset() const;
  int SubmitFrame(uint32_t blocks);
  int WriteEncodedFrames(bool all);
  int WriteFrame(const FrameSlot& frame);
  int FinishAudio(uint32_t partialBlocks);
  int WriteTail(const unsigned char* data, int bytes, int wavTailBytes);
  int MakeRoomForSeekTable();
  int WriteHeaderAndSeekTable(uint32_t wavTailBytes);

  CompressorOptions options_;
  State state_ = State::kIdle;
  int error_ = kErrorSuccess;
  int level_ = 0;
  uint16_t channels_ = 0;
  uint32_t sampleRate_ = 0;
  uint32_t blockAlign_ = 0;
  uint32_t blocksPerFrame_ = 0;
  size_t frameBytes_ = 0;
  uint32_t wavHeaderBytes_ = 0;
  uint32_t seekEntries_ = 0;  // reserved in front of the audio
  size_t filled_ = 0;         // bytes of the frame being filled
  OutputFile file_;
  Md5 md5_;  // of the stored WAV header, the audio area and what follows it
  AudioArea audio_;
  std::vector<uint32_t> frameStarts_;  // logical offsets from the first frame
  uint32_t lastFrameBlocks_ = 0;
  std::unique_ptr<FrameQueue> frames_;  // last: its workers stop first
};

// c_APECompress_Create with options other than the defaults.
APE_COMPRESS_HANDLE CreateCompressor(const CompressorOptions& options, int* errorCode);

}  // namespace apecompress
