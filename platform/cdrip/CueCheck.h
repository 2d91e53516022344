// What is wrong with a CUE/BIN image, in the user's terms, before libcdio
// is given it: libcdio refuses a broken sheet without a word, and reads a
// data file cut short as no disc at all.
#pragma once

#include <string>

namespace cdrip {

struct CueCheck {
  // Why the image cannot be a disc, naming the file at fault (and the
  // sheet's line); "" when it can.
  std::string problem;
  // A data file shorter than the sheet lists: the tracks it holds whole
  // (the disc ends after them) and what it lacks, in one line.
  int wholeTracks = -1;  // -1: every track is whole
  std::string missing;
};

// Checks the sheet `sheet` and the data file libcdio reads for it
// (`dataFile`).
CueCheck CheckCueImage(const std::string& sheet, const std::string& dataFile);

}  // namespace cdrip
