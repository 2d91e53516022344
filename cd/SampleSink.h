// What may watch the audio of a track as the CD source hands it out: the
// checksums, the peak and the loudness are taken on the way, with no second
// pass over the disc.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cdx {

// Called on the worker thread that reads the source (or see
// TakesSamplesAsRead), with the bytes each ReadData hands out, in order and
// each exactly once: 16-bit little-endian stereo frames, after the read
// offset is corrected. A block may end inside a frame (the next one goes on
// with it). It must not block and must not allocate: it runs once per block.
class TSampleSink {
 public:
  virtual ~TSampleSink() = default;
  virtual void Samples(const uint8_t* pcm, size_t bytes) = 0;
  // One short piece (well under a millisecond) of what Samples left to be
  // done later, done by a thread of the source that would otherwise wait
  // for the drive or for room to read into; false when nothing is left.
  // Any thread, also during a Samples call.
  virtual bool DoWaitingWork() { return false; }
  // True: Samples is called instead on the source's reader thread, with each
  // chunk as it is read (the same bytes, in the same order), so that what
  // it does costs the worker nothing. It may then come after a stop for
  // audio that was never handed out, but never once the stream is closed.
  virtual bool TakesSamplesAsRead() const { return false; }
};

}  // namespace cdx
