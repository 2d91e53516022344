// The command line's side of names and tags: it looks the disc up, says
// what it found, takes the release --release names, and gives the job's
// tag stage each track's tags and file name.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "extractor/DiscNames.h"
#include "extractor/TagStage.h"

namespace cdx {

// The disc's names as --list and a rip show them: its own text, then
// MusicBrainz's (unless --no-lookup).
TDiscNames GatherNames(const TDisc& disc, const TCliOptions& options);
// Where the names came from, the album, and the releases to choose from.
void PrintNames(const TDiscNames& names, std::ostream& out);

// Fills `stage` with the tags of `tracks` and `files` with their names
// (TJobTrack::Name) by track number. False with `problem` when the job
// cannot start: several releases and no --release, or one it does not name.
bool PrepareNames(const TDisc& disc, const TCliOptions& options, const std::vector<int>& tracks,
                  TTagStage& stage, std::map<int, std::string>& files, std::ostream& out,
                  std::string& problem);

}  // namespace cdx
