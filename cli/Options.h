// Command-line options of cd-extractor-cli. The options of each format, and
// their help, come from the table of formats.
#pragma once

#include <string>
#include <vector>

#include "extractor/Formats.h"

namespace cdx {

// A format option as given: its values, checked against its domain, in
// the order given (one value unless the option is repeatable).
struct TGivenOption {
  const TFormatOption* Option;
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
  std::vector<TGivenOption> FormatOptions;  // in the order of the format's options
  std::string OutDir;
};

// Fills `options` from the command line, with the options of `formats`;
// false with `problem` set when the command line is wrong: an unknown
// option or value, an option given twice that is not repeatable, options
// that contradict each other, or a rip without a format or a folder.
bool ParseCliOptions(int argc, const char* const* argv, TCliOptions& options, std::string& problem,
                     const std::vector<TFormat>& formats = Formats());
// Parses a track list like "1,3-5" into ascending unique numbers.
bool ParseTrackList(const std::string& text, std::vector<int>& tracks);
// Checks `text` against `domain`; false when the domain does not take it.
bool ReadOptionValue(const TOptionDomain& domain, const std::string& text, TOptionValue& value);
std::string CliUsage(const std::vector<TFormat>& formats = Formats());

// Applies the format options given to `extractor`, before the chain of
// `run` is built.
void ApplyFormatOptions(TExtractor& extractor, const TCliOptions& options, const TTrackRun& run);

}  // namespace cdx
