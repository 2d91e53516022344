// Reading ahead of the consumer of a rip: a reader thread of the library
// reads the range chunk by chunk, with paranoia, into a ring of a few
// seconds of audio, so that the drive keeps reading while the consumer
// encodes. Paced image drives wait here too, as a real drive would.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/cdrip/Pacing.h"
#include "platform/cdrip/Ripper.h"

namespace cdrip {

class ReadAhead {
 public:
  // Audio the ring holds, whatever the track's length.
  static constexpr int kRingSectors = 4 * 75;

  // Reads through `ripper` in chunks of `sectorsPerChunk` sectors, paced at
  // `speed` (0: as fast as the drive goes). Nothing is read before the
  // first Take. `whileWaiting` (may be empty) is done in pieces by the reader
  // while the ring is full and by the consumer while it is empty, for as
  // long as it says it did something. `onRead` (may be empty) is handed
  // each chunk on the reader, before it is published.
  ReadAhead(std::unique_ptr<Ripper> ripper, int sectorsPerChunk, int speed,
            std::function<bool()> whileWaiting = {},
            std::function<void(const uint8_t*, int)> onRead = {});
  // Stops the reader at once, whatever it waits for; a drive read already
  // under way is waited for.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Hands out the next chunk as CR_RipChunk does, with the same chunks,
  // results and abort rules as reading it there and then would give.
  int Take(uint8_t* out, int* numBytes, bool* abort);
  // After Take returned CR_READ_ERROR.
  uint32_t ErrorSector() const { return ripper_->ErrorSector(); }
  const std::string& ErrorMessage() const { return ripper_->ErrorMessage(); }
  // True on the thread of a reader: an exit handler run from inside a read.
  static bool OnAReaderThread();
  // Said by the exit handlers run on a reader's thread: the program ends
  // from inside a read, and the rip must not carry on as if stopped.
  static void ProgramEndsInARead();

 private:
  struct Chunk {
    int result = 0;
    int bytes = 0;
  };

  void Run();
  bool WaitForRoom(int& slot);
  // One piece of the waiting work, with `lock` let go meanwhile (so what
  // was waited for must be checked again before waiting); false when there
  // is none.
  bool DoWaitingWork(std::unique_lock<std::mutex>& lock);
  bool WaitUntil(Pacer::Clock::time_point when);
  Chunk ReadChunk(uint8_t* out);
  void Publish(const Chunk& chunk);
  uint8_t* SlotData(int slot) { return ring_.get() + static_cast<size_t>(slot) * chunkBytes_; }
  void RequestStop();
  [[noreturn]] static void AwaitTheEnd();
  bool StopRequested();

  std::unique_ptr<Ripper> ripper_;
  const int sectorsPerChunk_;
  const size_t chunkBytes_;
  Pacer pacer_;
  const std::function<bool()> whileWaiting_;
  const std::function<void(const uint8_t*, int)> onRead_;

  std::mutex mutex_;
  std::condition_variable readerWake_;  // room, or a stop
  std::condition_variable published_;
  // Not zeroed: a slot is read only after a read filled it, and zeroing
  // a fresh ring for every track cost the track's start page faults.
  std::unique_ptr<uint8_t[]> ring_;
  std::vector<Chunk> slots_;
  int first_ = 0;  // the next slot to hand out
  int ready_ = 0;  // slots read and not yet handed out
  // The reader's abort flag, set under the mutex, read by paranoia's
  // callbacks through std::atomic_ref.
  alignas(std::atomic_ref<bool>::required_alignment) bool stop_ = false;

  // The consumer's side only.
  std::optional<int> final_;  // the result of every call after the last chunk

  std::thread reader_;
};

}  // namespace cdrip
