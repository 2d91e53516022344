// Frames of PCM on their way through the encoder, in order. The caller
// fills one frame at a time and submits it; worker threads encode the
// submitted frames in parallel (frames share no state); the caller takes
// the encoded frames back strictly in submission order. A fixed ring of
// slots, a few more than there are workers, bounds the memory whatever the
// length of the stream. Without workers each frame is encoded as it is
// submitted, on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/apecompress/FrameEncoder.h"

namespace apecompress {

// One frame: its PCM, and once encoded its bytes or the error that stopped it.
struct FrameSlot {
  FrameSlot(int level, int channels, uint32_t blocksPerFrame, NNKernel kernel);
  void Encode();

  std::vector<uint8_t> pcm;
  uint32_t blocks = 0;
  FrameEncoder encoder;
  int error = 0;  // an APECompress.h error code
  bool encoded = false;
};

class FrameQueue {
 public:
  // workers = 0 encodes on the caller's thread. Fewer workers may run than
  // asked when the system refuses threads (none at all: the caller's thread).
  FrameQueue(int level, int channels, uint32_t blocksPerFrame, NNKernel kernel, unsigned workers);
  FrameQueue(const FrameQueue&) = delete;
  FrameQueue& operator=(const FrameQueue&) = delete;
  // Waits for the frames being encoded (a frame is never cut short) and
  // ends every worker; frames not yet started are dropped.
  ~FrameQueue();

  // Where the next frame's PCM goes. Only while HasRoom().
  uint8_t* FillBuffer();
  bool HasRoom() const { return submitted_ - released_ < slots_.size(); }
  // Hands over the filled frame of `blocks` blocks.
  void Submit(uint32_t blocks);
  // The oldest frame not yet released, once encoded; null when there is
  // none, or when it is still being encoded and `wait` is false.
  const FrameSlot* Oldest(bool wait);
  // Frees the oldest frame's slot for new PCM.
  void Release();

  size_t Workers() const { return threads_.size(); }

 private:
  void Work();
  FrameSlot& Slot(uint64_t frame) { return *slots_[frame % slots_.size()]; }

  std::vector<std::unique_ptr<FrameSlot>> slots_;
  // Frame numbers: submitted_ frames handed over, the first taken_ of them
  // claimed by a worker, the first released_ of them given back.
  uint64_t submitted_ = 0;
  uint64_t taken_ = 0;
  uint64_t released_ = 0;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable submittedChanged_;
  std::condition_variable encodedChanged_;
  std::vector<std::thread> threads_;  // last: started after everything they use
};

// The number of workers that keeps every core busy.
unsigned WorkersForThisMachine();

}  // namespace apecompress
