#include "platform/cdrip/ReadAhead.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace cdrip {

namespace {

using Clock = Pacer::Clock;

// The consumer's abort flag is set without notice; a consumer waiting for a
// chunk looks at it this often.
constexpr auto kAbortPoll = std::chrono::milliseconds(5);

thread_local bool tReader = false;
std::atomic<bool> gEndsInARead{false};

}  // namespace

bool ReadAhead::OnAReaderThread() {
  return tReader;
}

void ReadAhead::ProgramEndsInARead() {
  gEndsInARead = true;
}

// Handing out the end of the stream would let the track be finished as
// stopped while the program goes down; this thread ends with it instead,
// holding nothing of the reader's.
void ReadAhead::AwaitTheEnd() {
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

ReadAhead::ReadAhead(std::unique_ptr<Ripper> ripper, int sectorsPerChunk, int speed,
                     std::function<bool()> whileWaiting,
                     std::function<void(const uint8_t*, int)> onRead)
    : ripper_(std::move(ripper)),
      sectorsPerChunk_(sectorsPerChunk),
      chunkBytes_(static_cast<size_t>(sectorsPerChunk) * CR_SECTOR_BYTES),
      pacer_(speed),
      whileWaiting_(std::move(whileWaiting)),
      onRead_(std::move(onRead)) {
  int slots = std::max(2, (kRingSectors + sectorsPerChunk - 1) / sectorsPerChunk);
  ring_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(slots) * chunkBytes_);
  slots_.resize(static_cast<size_t>(slots));
}

ReadAhead::~ReadAhead() {
  RequestStop();
  if (!reader_.joinable()) return;
  // An exit handler on the reader's own thread cannot wait for it.
  if (reader_.get_id() == std::this_thread::get_id())
    reader_.detach();
  else
    reader_.join();
}

void ReadAhead::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    std::atomic_ref<bool>(stop_).store(true);
  }
  readerWake_.notify_all();
}

bool ReadAhead::StopRequested() {
  return std::atomic_ref<bool>(stop_).load();
}

int ReadAhead::Take(uint8_t* out, int* numBytes, bool* abort) {
  *numBytes = 0;
  if (final_) return *final_;
  if (Ripper::AbortRequested(abort)) {
    RequestStop();
    return *(final_ = CR_ABORTED);
  }
  if (!reader_.joinable()) reader_ = std::thread([this] { Run(); });
  std::unique_lock lock(mutex_);
  while (ready_ == 0) {
    // The library is being closed: the reader may never come back.
    if (Ripper::AllReadsStopped()) {
      lock.unlock();
      if (gEndsInARead) AwaitTheEnd();
      RequestStop();
      return *(final_ = CR_ABORTED);
    }
    // The reader hands over what it has of the chunk in hand, as a read
    // cut short here would.
    if (Ripper::AbortRequested(abort) && !StopRequested()) {
      std::atomic_ref<bool>(stop_).store(true);
      readerWake_.notify_all();
    }
    // The work lets the lock go: a chunk may have come meanwhile.
    if (!DoWaitingWork(lock) && ready_ == 0) published_.wait_for(lock, kAbortPoll);
  }
  int slot = first_;
  Chunk chunk = slots_[static_cast<size_t>(slot)];
  lock.unlock();
  std::memcpy(out, SlotData(slot), static_cast<size_t>(chunk.bytes));
  lock.lock();
  first_ = (first_ + 1) % static_cast<int>(slots_.size());
  --ready_;
  lock.unlock();
  readerWake_.notify_all();
  *numBytes = chunk.bytes;
  if (chunk.result != CR_OK || chunk.bytes == 0) final_ = chunk.result;
  return chunk.result;
}

void ReadAhead::Run() {
  tReader = true;
  // The spin-up delays the first chunk's sectors: a stop meanwhile hands
  // out none.
  pacer_.Start(Clock::now());
  for (;;) {
    int slot = 0;
    if (!WaitForRoom(slot)) return;
    Chunk chunk = ReadChunk(SlotData(slot));
    if (onRead_ && chunk.bytes > 0) onRead_(SlotData(slot), chunk.bytes);
    Publish(chunk);
    if (chunk.result != CR_OK || chunk.bytes == 0) return;
  }
}

// False when stopped with every slot full: then nobody waits for a chunk.
// Stopped with room, the read that follows ends the rip as an abort.
bool ReadAhead::WaitForRoom(int& slot) {
  std::unique_lock lock(mutex_);
  const int slots = static_cast<int>(slots_.size());
  const auto full = [&] { return ready_ == slots && !StopRequested(); };
  bool waited = false;
  while (full()) {
    waited = true;
    // The work lets the lock go: room may have come meanwhile, and its
    // wake-up with it.
    if (!DoWaitingWork(lock) && full()) readerWake_.wait(lock);
  }
  if (ready_ == slots) return false;
  if (waited) pacer_.Resume(Clock::now());
  slot = (first_ + ready_) % slots;
  return true;
}

bool ReadAhead::DoWaitingWork(std::unique_lock<std::mutex>& lock) {
  if (!whileWaiting_) return false;
  lock.unlock();
  const bool did = whileWaiting_();
  lock.lock();
  return did;
}

// True when `when` came without a stop.
bool ReadAhead::WaitUntil(Clock::time_point when) {
  std::unique_lock lock(mutex_);
  return !readerWake_.wait_until(lock, when, [this] { return StopRequested(); });
}

ReadAhead::Chunk ReadAhead::ReadChunk(uint8_t* out) {
  Chunk chunk;
  chunk.result = ripper_->Read(out, sectorsPerChunk_, &chunk.bytes, &stop_);
  int sectors = chunk.bytes / CR_SECTOR_BYTES;
  if (!pacer_.Paced() || sectors == 0) return chunk;
  auto readDone = Clock::now();
  if (!WaitUntil(pacer_.Due(sectors))) {
    // Stopped: only the sectors the drive would have brought by now count.
    chunk.result = CR_ABORTED;
    chunk.bytes = pacer_.CameBy(Clock::now(), sectors) * CR_SECTOR_BYTES;
  }
  pacer_.Delivered(sectors, readDone);
  return chunk;
}

void ReadAhead::Publish(const Chunk& chunk) {
  {
    std::lock_guard lock(mutex_);
    slots_[static_cast<size_t>((first_ + ready_) % static_cast<int>(slots_.size()))] = chunk;
    ++ready_;
  }
  published_.notify_all();
}

}  // namespace cdrip
