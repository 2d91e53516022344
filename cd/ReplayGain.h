// The loudness of a disc's tracks as they are ripped, for ReplayGain 2.0:
// the integrated loudness of EBU R128 (libebur128) against -18 LUFS, and
// the sample peak, taken on the samples the CD source hands out, with no
// second pass over the disc.
//
// libebur128 takes about a third of the time a FLAC encoder does, so the
// measurement runs on a thread of its own: Samples only copies each block
// into a ring made once, and returns; the measurement looks at the ring
// every few milliseconds during a track (waking it for every block cost
// the ripping thread more than the copy). Samples waits only when the
// measurement is a whole ring (about 12 s of audio) behind, so memory stays
// fixed.
//
// Threads: BeginTrack, EndTrack and DropLastTrack must not overlap a
// Samples call (call them between runs, or on the worker after the run's
// last block, as the finished-file hook runs); Album on any thread once no
// track is being measured.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "cd/SampleSink.h"

namespace cdx {

// The gain in dB that brings the audio to -18 LUFS, and the largest
// sample, 1.0 being full scale.
struct TReplayGainValues {
  double GainDb = 0;
  double Peak = 0;
};

class TReplayGainMeter final : public TSampleSink {
 public:
  static constexpr double kReferenceLufs = -18.0;

  // For 16-bit stereo at 44100 Hz, what the CD source hands out.
  TReplayGainMeter();
  ~TReplayGainMeter() override;
  TReplayGainMeter(const TReplayGainMeter&) = delete;
  TReplayGainMeter& operator=(const TReplayGainMeter&) = delete;

  // The samples from now on are a new track's. A track begun and never
  // ended is dropped. Samples before the first BeginTrack are not measured.
  void BeginTrack();
  void Samples(const uint8_t* pcm, size_t bytes) override;
  // The track's values, once the measurement has caught up; none for a
  // track without sound (silence gives no loudness). The track now counts
  // for the album.
  std::optional<TReplayGainValues> EndTrack();
  // The last ended track no longer counts for the album (a stopped run, a
  // file that was not kept).
  void DropLastTrack();
  // Over every ended track that counts, their blocks gated together (so it
  // is not the mean of the track gains); the peak is the largest. None
  // without sound.
  std::optional<TReplayGainValues> Album() const;

 private:
  // One track's measurement (libebur128's state).
  struct TMeasurement;
  using TState = std::unique_ptr<TMeasurement>;
  struct TTrack {
    TState State;
    double Peak = 0;
  };

  // About 12 s of audio; a power of two. Between two looks at the ring
  // (kPollInterval) a rip at 470 times real time brings 2.4 s.
  static constexpr size_t kRingFrames = size_t{1} << 19;
  static constexpr std::chrono::milliseconds kPollInterval{5};

  void Push(const uint8_t* frames, size_t count);
  void Wake();
  void Measure();
  void WaitUntilMeasured();

  std::vector<int16_t> ring_;
  // Frames put in by Samples and taken out by the measurement, since the
  // start; each counter is written by one side only.
  std::atomic<uint64_t> head_{0};
  std::atomic<uint64_t> tail_{0};
  // A frame cut by the end of a block, completed by the next one.
  uint8_t partial_[4] = {};
  size_t partialBytes_ = 0;

  TState current_;
  std::vector<TTrack> ended_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool trackOpen_ = false;
  bool exit_ = false;
  std::thread thread_;
};

}  // namespace cdx
