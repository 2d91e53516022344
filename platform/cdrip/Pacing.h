// Image drives that read like real ones: the speed an image drive is given,
// and the schedule its sectors then follow.
//
// A speed factor f paces a rip at 75 x f sectors per second, after a
// spin-up at its first read. An image drive gets its factor from
// CDX_IMAGE_SPEED, when that is set to a whole number from 0 to
// kMaxImageSpeed (it then holds for every image drive; 0 is unpaced), else
// from the settings file: key "nSpeed" of the section named by the image's
// path, for example
//
//   [/home/me/.local/share/cd-extractor/discs/live.cue]
//   nSpeed=24
//
// Anything else leaves the image unpaced; devices are never paced.
#pragma once

#include <chrono>
#include <string>

#include "platform/cdrip/Drives.h"

namespace cdrip {

constexpr int kMaxImageSpeed = 1000;

// The speed factor of `drive`, 0 for unpaced; `iniPath` is the settings file
// given to CR_Init ("" for none).
int ImageSpeed(const Drive& drive, const std::string& iniPath);

// When the sectors of a paced rip come. The drive delivers 75 x speed
// sectors per second from the end of its spin-up; a reader that has no room
// for them holds it up, and a read slower than the pace (retries, a busy
// machine) makes it late for good: it never catches up in a burst.
class Pacer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Pacer(int speed) : speed_(speed) {}
  bool Paced() const { return speed_ > 0; }
  Clock::duration SpinUp() const;

  // The drive starts to turn at `now`.
  void Start(Clock::time_point now) { next_ = now + SpinUp(); }
  // The reader had no room until `now`: the drive waited meanwhile.
  void Resume(Clock::time_point now);
  // When `sectors` more sectors have come.
  Clock::time_point Due(int sectors) const;
  // How many of `sectors` more sectors have come by `now`.
  int CameBy(Clock::time_point now, int sectors) const;
  // `sectors` more were handed over; the read of them was done at `readDone`.
  void Delivered(int sectors, Clock::time_point readDone);

 private:
  double SectorsPerSecond() const { return 75.0 * speed_; }

  int speed_;
  Clock::time_point next_{};
};

}  // namespace cdrip
