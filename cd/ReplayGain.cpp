#include "cd/ReplayGain.h"

#include <ebur128.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace cdx {

// The ring holds the bytes as they come: 16-bit little-endian samples.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr size_t kFrameBytes = 4;

// The largest |sample| of `count` samples. Taken here rather than by
// libebur128, whose sample peak costs a tenth of its measurement.
int32_t LargestMagnitude(const int16_t* samples, size_t count) {
  int32_t largest = 0;
  for (size_t i = 0; i < count; ++i) largest = std::max(largest, std::abs(int32_t{samples[i]}));
  return largest;
}

// A measured loudness as a ReplayGain value; none for silence.
std::optional<TReplayGainValues> ToGain(double lufs, double peak) {
  if (!std::isfinite(lufs)) return std::nullopt;
  return TReplayGainValues{TReplayGainMeter::kReferenceLufs - lufs, peak};
}

}  // namespace

struct TReplayGainMeter::TMeasurement {
  explicit TMeasurement(ebur128_state* s) : state(s) {}
  ~TMeasurement() { ebur128_destroy(&state); }
  TMeasurement(const TMeasurement&) = delete;
  TMeasurement& operator=(const TMeasurement&) = delete;
  ebur128_state* state;
  // The largest |sample| of either channel, 0 .. 32768.
  int32_t largest = 0;
};

TReplayGainMeter::TReplayGainMeter() : ring_(kRingFrames * 2) {
  thread_ = std::thread([this] { Measure(); });
}

TReplayGainMeter::~TReplayGainMeter() {
  {
    std::lock_guard lock(mutex_);
    exit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void TReplayGainMeter::BeginTrack() {
  WaitUntilMeasured();
  // The histogram keeps the state's memory fixed however long the track.
  ebur128_state* made = ebur128_init(2, 44100, EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
  if (!made) throw std::bad_alloc();
  auto state = std::make_unique<TMeasurement>(made);
  std::lock_guard lock(mutex_);
  current_ = std::move(state);
  trackOpen_ = true;
  partialBytes_ = 0;
}

void TReplayGainMeter::Samples(const uint8_t* pcm, size_t bytes) {
  if (partialBytes_ > 0) {
    const size_t piece = std::min(bytes, kFrameBytes - partialBytes_);
    std::memcpy(partial_ + partialBytes_, pcm, piece);
    partialBytes_ += piece;
    pcm += piece;
    bytes -= piece;
    if (partialBytes_ < kFrameBytes) return;
    partialBytes_ = 0;
    Push(partial_, 1);
  }
  Push(pcm, bytes / kFrameBytes);
  partialBytes_ = bytes % kFrameBytes;
  std::memcpy(partial_, pcm + bytes - partialBytes_, partialBytes_);
}

void TReplayGainMeter::Push(const uint8_t* frames, size_t count) {
  uint64_t head = head_.load(std::memory_order_relaxed);
  while (count > 0) {
    size_t room = kRingFrames - static_cast<size_t>(head - tail_.load(std::memory_order_acquire));
    if (room == 0) {
      std::unique_lock lock(mutex_);
      changed_.notify_all();
      changed_.wait(lock, [&] { return head - tail_.load() < kRingFrames; });
      continue;
    }
    const size_t at = static_cast<size_t>(head % kRingFrames);
    const size_t piece = std::min({count, room, kRingFrames - at});
    std::memcpy(&ring_[at * 2], frames, piece * kFrameBytes);
    head += piece;
    head_.store(head, std::memory_order_release);
    frames += piece * kFrameBytes;
    count -= piece;
  }
  // The measurement looks for blocks by itself while a track is open: a
  // wake-up per block would cost the ripping thread more than the copy.
  // Only a ring filling up calls it at once.
  if (head - tail_.load(std::memory_order_acquire) > kRingFrames / 2) Wake();
}

void TReplayGainMeter::Wake() {
  // Taking the lock orders this against a measurement about to sleep, so
  // the wake-up cannot come between its check and its wait.
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

void TReplayGainMeter::Measure() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (exit_) return;
    if (head_.load() == tail_.load()) {
      // Between tracks nothing comes; during one, blocks come unannounced.
      if (trackOpen_)
        changed_.wait_for(lock, kPollInterval);
      else
        changed_.wait(lock);
      continue;
    }
    TMeasurement* measuring = current_.get();
    lock.unlock();
    const uint64_t tail = tail_.load(std::memory_order_relaxed);
    const size_t at = static_cast<size_t>(tail % kRingFrames);
    const size_t piece = std::min(static_cast<size_t>(head_.load(std::memory_order_acquire) - tail),
                                  kRingFrames - at);
    if (measuring) {
      ebur128_add_frames_short(measuring->state, &ring_[at * 2], piece);
      measuring->largest =
          std::max(measuring->largest, LargestMagnitude(&ring_[at * 2], piece * 2));
    }
    tail_.store(tail + piece, std::memory_order_release);
    lock.lock();
    changed_.notify_all();
  }
}

void TReplayGainMeter::WaitUntilMeasured() {
  std::unique_lock lock(mutex_);
  changed_.notify_all();
  changed_.wait(lock, [&] { return tail_.load() == head_.load(); });
}

std::optional<TReplayGainValues> TReplayGainMeter::EndTrack() {
  WaitUntilMeasured();
  std::lock_guard lock(mutex_);
  trackOpen_ = false;
  if (!current_) return std::nullopt;
  double lufs = -HUGE_VAL;
  ebur128_loudness_global(current_->state, &lufs);
  const double peak = current_->largest / 32768.0;
  ended_.push_back({std::move(current_), peak});
  return ToGain(lufs, peak);
}

void TReplayGainMeter::DropLastTrack() {
  std::lock_guard lock(mutex_);
  if (!ended_.empty()) ended_.pop_back();
}

std::optional<TReplayGainValues> TReplayGainMeter::Album() const {
  std::lock_guard lock(mutex_);
  if (ended_.empty()) return std::nullopt;
  std::vector<ebur128_state*> states;
  double peak = 0;
  for (const TTrack& track : ended_) {
    states.push_back(track.State->state);
    peak = std::max(peak, track.Peak);
  }
  double lufs = -HUGE_VAL;
  ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
  return ToGain(lufs, peak);
}

}  // namespace cdx
