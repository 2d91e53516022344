// One disc and the outcome each kind of track must have, whichever front
// end runs the job: the window's test and the command line's test both
// check their job against this table.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "tools/discmaker.h"

namespace cdx::test {

enum class TOutcomeKind { Written, Stopped, Failed };

struct TOutcomeCase {
  const char* Name;
  int Track;
  // How the case is brought about, beyond asking for the track.
  enum { Plain, StopDuring, DiskFull } Provoke;
  TOutcomeKind Kind;
  std::string Reason;  // a part of a failure's one line
};

// Two seconds of audio, a second audio track, a data track, more audio.
inline std::vector<discmaker::TrackSpec> OutcomeDisc() {
  namespace dm = discmaker;
  return {dm::Sine(150, 440), dm::Noise(150, 3), dm::Data(75), dm::Square(150, 880)};
}

inline std::vector<TOutcomeCase> OutcomeCases() {
  return {
      {"written", 1, TOutcomeCase::Plain, TOutcomeKind::Written, ""},
      {"stopped", 2, TOutcomeCase::StopDuring, TOutcomeKind::Stopped, ""},
      {"full disk", 4, TOutcomeCase::DiskFull, TOutcomeKind::Failed, std::strerror(EFBIG)},
      {"data track", 3, TOutcomeCase::Plain, TOutcomeKind::Failed, "Trying to rip a data track"},
      {"a track the disc lacks", 9, TOutcomeCase::Plain, TOutcomeKind::Failed,
       "has no track 9; its tracks are 1 to 4"},
  };
}

}  // namespace cdx::test
