#include "platform/apecompress/FrameQueue.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "platform/apecompress/APECompress.h"

namespace apecompress {
namespace {

// Frames waiting beside those being encoded, so a worker that finishes finds
// its next frame already filled while the caller writes and refills.
constexpr size_t kSpareSlots = 2;
constexpr unsigned kMaxWorkers = 16;

}  // namespace

FrameSlot::FrameSlot(int level, int channels, uint32_t blocksPerFrame, NNKernel kernel)
    : pcm(size_t(blocksPerFrame) * 2 * size_t(channels)),
      encoder(level, channels, blocksPerFrame, kernel) {}

void FrameSlot::Encode() {
  try {
    error = encoder.Encode(pcm.data(), blocks) ? kErrorSuccess : kErrorInvalidInputFile;
  } catch (const std::bad_alloc&) {
    error = kErrorInsufficientMemory;
  }
}

unsigned WorkersForThisMachine() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers);
}

FrameQueue::FrameQueue(int level, int channels, uint32_t blocksPerFrame, NNKernel kernel,
                       unsigned workers) {
  workers = std::min(workers, kMaxWorkers);
  const size_t slots = workers == 0 ? 1 : workers + kSpareSlots;
  for (size_t i = 0; i < slots; ++i) {
    slots_.push_back(std::make_unique<FrameSlot>(level, channels, blocksPerFrame, kernel));
  }
  try {
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // Run with the workers that did start; with none, Submit encodes.
  }
}

FrameQueue::~FrameQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  submittedChanged_.notify_all();
  for (std::thread& t : threads_) t.join();
}

uint8_t* FrameQueue::FillBuffer() {
  return Slot(submitted_).pcm.data();
}

void FrameQueue::Submit(uint32_t blocks) {
  FrameSlot& slot = Slot(submitted_);
  slot.blocks = blocks;
  slot.encoded = false;
  if (threads_.empty()) {
    slot.Encode();
    slot.encoded = true;
    ++submitted_;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    ++submitted_;
  }
  submittedChanged_.notify_one();
}

const FrameSlot* FrameQueue::Oldest(bool wait) {
  if (released_ == submitted_) return nullptr;
  FrameSlot& slot = Slot(released_);
  std::unique_lock lock(mutex_);
  if (wait) encodedChanged_.wait(lock, [&] { return slot.encoded; });
  return slot.encoded ? &slot : nullptr;
}

void FrameQueue::Release() {
  ++released_;
}

void FrameQueue::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    submittedChanged_.wait(lock, [&] { return stopping_ || taken_ < submitted_; });
    if (stopping_) return;
    FrameSlot& slot = Slot(taken_++);
    lock.unlock();
    slot.Encode();
    lock.lock();
    slot.encoded = true;
    encodedChanged_.notify_all();
  }
}

}  // namespace apecompress
