#include "cd/ReplayGain.h"

#include <ebur128.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "cd/TrackChecksums.h"

namespace cdx {

// The ring holds the bytes as they come: 16-bit little-endian samples.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr size_t kFrameBytes = 4;

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
  uint32_t largest = 0;
};

TReplayGainMeter::TReplayGainMeter()
    : ring_(std::make_unique_for_overwrite<int16_t[]>(kRingFrames * 2)) {}

TReplayGainMeter::~TReplayGainMeter() = default;

void TReplayGainMeter::StartAlbum() {
  std::scoped_lock locks(measureMutex_, mutex_);
  // What is still in the ring was fed to the forgotten tracks.
  tail_.store(head_.load());
  tracks_.clear();
  measuring_ = 0;
  feeding_ = false;
}

void TReplayGainMeter::BeginTrack() {
  // The histogram keeps the state's memory fixed however long the track.
  ebur128_state* made = ebur128_init(2, 44100, EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
  if (!made) throw std::bad_alloc();
  auto state = std::make_unique<TMeasurement>(made);
  std::lock_guard lock(mutex_);
  const uint64_t head = head_.load();
  if (TrackOpen()) {
    tracks_.back().End = head;
    tracks_.back().Counts = false;
  }
  tracks_.push_back({std::move(state), head});
  feeding_ = true;
  partialBytes_ = 0;
}

std::optional<size_t> TReplayGainMeter::EndTrack() {
  std::lock_guard lock(mutex_);
  feeding_ = false;
  if (!TrackOpen()) return std::nullopt;
  tracks_.back().End = head_.load();
  return tracks_.size() - 1;
}

bool TReplayGainMeter::TrackOpen() const {
  return !tracks_.empty() && tracks_.back().End == kOpen;
}

void TReplayGainMeter::DropLastTrack() {
  std::lock_guard lock(mutex_);
  for (auto track = tracks_.rbegin(); track != tracks_.rend(); ++track)
    if (track->End != kOpen) {
      track->Counts = false;
      return;
    }
}

void TReplayGainMeter::Samples(const uint8_t* pcm, size_t bytes) {
  if (!feeding_) return;
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
    const size_t room =
        kRingFrames - static_cast<size_t>(head - tail_.load(std::memory_order_acquire));
    if (room == 0) {
      MeasurePiece();
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
}

// Measures the oldest piece of the ring into the track it belongs to (a
// piece outside any track is let go); false when the ring is empty.
bool TReplayGainMeter::MeasurePiece() {
  std::lock_guard measuring(measureMutex_);
  const uint64_t tail = tail_.load(std::memory_order_relaxed);
  TMeasurement* into = nullptr;
  uint64_t end = 0;
  {
    // Under the lock, no frame fed after a track's end is seen before it.
    std::lock_guard lock(mutex_);
    end = head_.load(std::memory_order_acquire);
    if (end == tail) return false;
    while (measuring_ < tracks_.size() && tracks_[measuring_].End <= tail) ++measuring_;
    if (measuring_ < tracks_.size()) {
      const TTrack& track = tracks_[measuring_];
      if (track.Begin > tail) {
        end = std::min(end, track.Begin);
      } else {
        into = track.State.get();
        end = std::min(end, track.End);
      }
    }
  }
  const size_t at = static_cast<size_t>(tail % kRingFrames);
  const size_t piece = std::min({static_cast<size_t>(end - tail), kRingFrames - at, kPieceFrames});
  if (into) {
    ebur128_add_frames_short(into->state, &ring_[at * 2], piece);
    // Not libebur128's sample peak, which costs a tenth of its measurement.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&ring_[at * 2]);
    into->largest = std::max(into->largest, MagnitudeRange(bytes, piece * 2).Largest);
  }
  tail_.store(tail + piece, std::memory_order_release);
  return true;
}

void TReplayGainMeter::MeasureAll() {
  while (MeasurePiece()) {
  }
}

std::optional<TReplayGainValues> TReplayGainMeter::ValuesOf(std::vector<TTrack*> tracks) {
  if (tracks.empty()) return std::nullopt;
  std::vector<ebur128_state*> states;
  uint32_t largest = 0;
  for (const TTrack* track : tracks) {
    states.push_back(track->State->state);
    largest = std::max(largest, track->State->largest);
  }
  double lufs = -HUGE_VAL;
  ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
  return ToGain(lufs, largest / 32768.0);
}

std::optional<TReplayGainValues> TReplayGainMeter::TrackValues(size_t track) {
  MeasureAll();
  std::scoped_lock locks(measureMutex_, mutex_);
  if (track >= tracks_.size() || tracks_[track].End == kOpen) return std::nullopt;
  return ValuesOf({&tracks_[track]});
}

std::optional<TReplayGainValues> TReplayGainMeter::Album() {
  MeasureAll();
  std::scoped_lock locks(measureMutex_, mutex_);
  std::vector<TTrack*> counted;
  for (TTrack& track : tracks_)
    if (track.Counts && track.End != kOpen) counted.push_back(&track);
  return ValuesOf(counted);
}

}  // namespace cdx
