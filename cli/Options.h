// Command-line options of cd-extractor-cli. The options of each format, and
// their help, come from the settings its row declares: --NAME for each.
#pragma once

#include <string>
#include <vector>

#include "extractor/DiscNames.h"
#include "extractor/Formats.h"

namespace cdx {

// A format option as given: the setting it names and its values, checked
// against the setting's domain, in the order given (one value unless the
// setting is repeatable).
struct TGivenOption {
  const TSetting* Setting;
  std::vector<TOptionValue> Values;
};

struct TCliOptions {
  bool Help = false;
  bool Version = false;
  bool List = false;
  int Drive = -1;           // -1: the first drive, or the image's
  std::string Image;        // a disc image to use as a drive
  std::vector<int> Tracks;  // empty: every audio track
  const TFormat* Format = nullptr;
  std::vector<TGivenOption> FormatOptions;  // in the order of the format's settings
  std::string OutDir;
  // Names and tags: the file-name template ("" for the default), the
  // release to use, no MusicBrainz lookup, and what the user typed for
  // every track of any format.
  std::string Template;
  std::string Release;
  bool NoLookup = false;
  bool NoTags = false;
  TAlbumFields Album;
  bool Eject = false;  // open the tray once every track is written
  // The checks of the rip.
  int Offset = 0;  // the drive's read offset correction, in samples
  bool TestAndCopy = false;
  bool NoVerify = false;
  std::string CheckLog;  // a log to check instead of ripping
};

// Fills `options` from the command line, with the options of `formats`;
// false with `problem` set when the command line is wrong: an unknown
// option or value, an option given twice that is not repeatable, options
// that contradict each other, or a rip without a format or a folder.
bool ParseCliOptions(int argc, const char* const* argv, TCliOptions& options, std::string& problem,
                     const std::vector<TFormat>& formats = Formats());
// Parses a track list like "1,3-5" into ascending unique numbers.
bool ParseTrackList(const std::string& text, std::vector<int>& tracks);
std::string CliUsage(const std::vector<TFormat>& formats = Formats());

// Puts the format options given into the format's settings record.
void ApplyFormatOptions(TFormatSettings& settings, const TCliOptions& options);

}  // namespace cdx
