// The loudness of a disc's tracks as they are ripped, for ReplayGain 2.0:
// the integrated loudness of EBU R128 (libebur128) against -18 LUFS, and
// the sample peak, taken on the samples the CD source hands out, with no
// second pass over the disc.
//
// libebur128 takes about a third of the time a FLAC encoder does, so it is
// kept off the encoding thread: Samples, called by the CD source's reader
// as each chunk is read (TakesSamplesAsRead), only copies it into a ring
// made once; the ring is measured piece by piece by the source's threads
// where they would wait (DoWaitingWork: the reader with its read-ahead
// full, or the encoding thread waiting for a slow drive). Measuring each
// chunk before the reader hands it on held the encoder up more than the
// copy does. When the ring is full (about 12 s of audio behind), Samples
// measures the oldest piece itself. A track's values are asked for once
// the disc is done, so no track waits for its measurement.
//
// No thread of its own: one more runnable thread than there are cores
// takes its turns from the encoder (a FLAC rip took 9 % longer with one),
// and a thread at a lower priority, preempted holding a piece that a full
// ring's feeder then needs, held the rip up for seconds on a busy machine.
//
// Threads: BeginTrack, EndTrack, DropLastTrack and StartAlbum must not
// overlap a Samples call (call them between runs, or once the source's
// stream is closed, as the finished-file hook runs); DoWaitingWork on
// any thread at any time; TrackValues and Album on any thread once no
// track is being fed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
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

  // Forgets every track: the next ones are a new album's.
  void StartAlbum();
  // The samples from now on are a new track's. A track begun and never
  // ended is dropped. Samples outside a track are not measured.
  void BeginTrack();
  void Samples(const uint8_t* pcm, size_t bytes) override;
  // Measures the oldest piece of the ring; false when it is empty.
  bool DoWaitingWork() override { return MeasurePiece(); }
  // The copy into the ring took the encoding thread 1.6 % of its time.
  bool TakesSamplesAsRead() const override { return true; }
  // The track ends here and counts for the album; its number for
  // TrackValues (none without a track begun). Does not wait.
  std::optional<size_t> EndTrack();
  // The last ended track no longer counts for the album (a stopped run, a
  // file that was not kept).
  void DropLastTrack();
  // The values of an ended track, once measured (what is left is measured
  // here); none for a track without sound (silence gives no loudness).
  std::optional<TReplayGainValues> TrackValues(size_t track);
  // Over every ended track that counts, their blocks gated together (so it
  // is not the mean of the track gains); the peak is the largest. None
  // without sound.
  std::optional<TReplayGainValues> Album();

 private:
  // One track's measurement (libebur128's state).
  struct TMeasurement;
  static constexpr uint64_t kOpen = UINT64_MAX;
  // The frames [Begin, End) of the ring's stream are the track's.
  struct TTrack {
    std::unique_ptr<TMeasurement> State;
    uint64_t Begin = 0;
    uint64_t End = kOpen;
    bool Counts = true;
  };

  // About 12 s of audio; a power of two. The read-ahead holds 4 s: what
  // its reader has no time to measure during a track waits here.
  static constexpr size_t kRingFrames = size_t{1} << 19;
  // At most this much is measured at a time (0.1 ms of CPU), so that whoever
  // needs the measurement next never waits long for the one under way, and
  // a reader doing it finds room to read into soon.
  static constexpr size_t kPieceFrames = size_t{1} << 12;

  void Push(const uint8_t* frames, size_t count);
  bool MeasurePiece();
  void MeasureAll();
  // Whether the last track begun has not ended; under mutex_.
  bool TrackOpen() const;
  static std::optional<TReplayGainValues> ValuesOf(std::vector<TTrack*> tracks);

  // Not zeroed: a frame is read only after Samples wrote it.
  std::unique_ptr<int16_t[]> ring_;
  // Frames put in by Samples and taken out by the measurement, since the
  // start; head_ is written by Samples only, tail_ under measureMutex_.
  std::atomic<uint64_t> head_{0};
  std::atomic<uint64_t> tail_{0};
  // The feeding side's own: whether a track is being fed, and a frame cut
  // by the end of a block, completed by the next one.
  bool feeding_ = false;
  uint8_t partial_[4] = {};
  size_t partialBytes_ = 0;

  // Held while a piece is measured, by whichever thread measures it;
  // first of the two locks.
  std::mutex measureMutex_;
  size_t measuring_ = 0;  // the first track not wholly measured

  std::mutex mutex_;
  std::vector<TTrack> tracks_;
};

}  // namespace cdx
