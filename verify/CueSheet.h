// The CUE sheet written beside the files of a job: one file per track, the
// gap before a track at the end of the previous track's file (INDEX 00
// under the previous FILE), times counted from the start of each file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cdx::verify {

struct TCueTrack {
  int Number = 0;
  std::string File;  // the file's real name, beside the sheet
  std::string Title, Performer;
  std::string Isrc;  // "" when none
  bool PreEmphasis = false;
  // The file's length: from the track's INDEX 01 to the next one's.
  uint32_t Sectors = 0;
  // The track's gap before INDEX 01 (for the first track: its sectors
  // before INDEX 01 from the start of the disc); 0 when none.
  uint32_t PregapSectors = 0;
};

struct TCueRecord {
  std::string DiscId;         // CDDB id, 8 hex digits
  std::string MusicBrainzId;  // "" when none
  std::string Comment;        // "" for the program and version
  std::string Catalog;        // the MCN; "" when the disc has none
  std::string Title, Performer;
  // The first track's gap ripped as a file of its own ("" when not: then
  // it is a PREGAP, silence in no file).
  std::string HiddenTrackFile;
  std::vector<TCueTrack> Tracks;  // the audio tracks, in disc order
};

// UTF-8 text; a '"' in a value becomes '\'' and control characters spaces
// (a CUE sheet has no escapes).
std::string BuildCueSheet(const TCueRecord& record);

// A sector count as MM:SS:FF, 75 frames a second: the sheet's and the log's times.
std::string Msf(uint32_t sectors);

}  // namespace cdx::verify
