// One disc and the outcome each kind of track must have, whichever front
// end runs the job: the window's test and the command line's test both
// check their job against this table.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/discmaker.h"

namespace cdx::test {

// A stopped track keeps its file under its name, beside an earlier file of
// that name (which stays), or, stopped before any audio, keeps none.
enum class TOutcomeKind { Written, Stopped, StoppedBeside, StoppedEmpty, Failed };

struct TOutcomeCase {
  const char* Name;
  int Track;
  // How the case is brought about, beyond asking for the track.
  enum { Plain, StopDuring, StopOverEarlier, StopBeforeAudio, DiskFull } Provoke;
  TOutcomeKind Kind;
  std::string Reason;  // a part of a failure's one line
};

// Two seconds of audio, a second audio track, a data track, more audio.
inline std::vector<discmaker::TrackSpec> OutcomeDisc() {
  namespace dm = discmaker;
  return {dm::Sine(150, 440), dm::Noise(150, 3), dm::Data(75), dm::Square(150, 880)};
}

// The earlier file of a track's name that a stopped run must leave alone.
inline std::vector<uint8_t> EarlierFile() {
  return {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
}

inline std::vector<TOutcomeCase> OutcomeCases() {
  return {
      {"written", 1, TOutcomeCase::Plain, TOutcomeKind::Written, ""},
      {"stopped", 2, TOutcomeCase::StopDuring, TOutcomeKind::Stopped, ""},
      {"stopped over an earlier file", 2, TOutcomeCase::StopOverEarlier,
       TOutcomeKind::StoppedBeside, ""},
      {"stopped before any audio", 2, TOutcomeCase::StopBeforeAudio, TOutcomeKind::StoppedEmpty,
       ""},
      {"full disk", 4, TOutcomeCase::DiskFull, TOutcomeKind::Failed, std::strerror(EFBIG)},
      {"data track", 3, TOutcomeCase::Plain, TOutcomeKind::Failed, "Trying to rip a data track"},
      {"a track the disc lacks", 9, TOutcomeCase::Plain, TOutcomeKind::Failed,
       "has no track 9; its tracks are 1 to 4"},
  };
}

}  // namespace cdx::test
