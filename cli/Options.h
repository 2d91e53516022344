// Command-line options of cd-extractor-cli.
#pragma once

#include <string>
#include <vector>

namespace cdx {

struct TCliOptions {
  bool Help = false;
  bool List = false;
  int Drive = -1;           // -1: the first drive, or the image's
  std::string Image;        // a disc image to use as a drive
  std::vector<int> Tracks;  // empty: every audio track
  int Format = 0;           // index as in the window's format list
  std::string WavType = "pcm";
  int Rate = 44100;
  int Channels = 2;
  int Bits = 16;
  int Level = 0;  // 0: the level the window starts with
  std::string OutDir;
};

// Fills `options`; false with `problem` set when the command line is wrong.
bool ParseCliOptions(int argc, const char* const* argv, TCliOptions& options, std::string& problem);
// Parses a track list like "1,3-5" into ascending unique numbers.
bool ParseTrackList(const std::string& text, std::vector<int>& tracks);
std::string CliUsage();

}  // namespace cdx
