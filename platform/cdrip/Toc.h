// A disc's table of contents with what the disc says of each track besides
// its place: what the job, the checksums, the disc IDs, the rip log and
// the CUE sheet read. Plain data; CR_ReadDiscToc fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cdrip {

struct TocTrack {
  int number = 0;  // 1..99 as the disc numbers it
  bool audio = true;
  uint32_t start = 0;   // INDEX 01, in sectors from the start of the program area
  uint32_t pregap = 0;  // sectors of INDEX 00 before `start` the disc gives; 0 when none
  bool preEmphasis = false;
  bool copyPermitted = false;
  std::string isrc;  // 12 characters, "" when the disc gives none
};

struct DiscToc {
  std::vector<TocTrack> tracks;  // in disc order
  uint32_t leadOut = 0;          // first sector of the lead-out
  std::string mcn;               // the disc's catalogue number (13 digits), "" when none
  // An image whose data file ends early: the tracks it lacks and why ("a.bin
  // ends at sector 1200 but track 3 starts at 1500, so tracks 2 to 4 are
  // missing"); `tracks` holds those before them. "" when none are missing.
  std::string missing{};
  // Why there is no disc to read, when it is known (an empty TOC).
  std::string problem{};

  bool empty() const { return tracks.empty(); }
  // Sectors of track `index` (0-based in `tracks`): to the next track's
  // start, or to the lead-out.
  uint32_t length(size_t index) const {
    uint32_t end = index + 1 < tracks.size() ? tracks[index + 1].start : leadOut;
    return end > tracks[index].start ? end - tracks[index].start : 0;
  }
  // The track numbered `number`, or null.
  const TocTrack* find(int number) const {
    for (const TocTrack& t : tracks)
      if (t.number == number) return &t;
    return nullptr;
  }
};

}  // namespace cdrip
