// cdx-make-disc: writes a CUE/BIN test disc from track descriptions.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/discmaker.h"

namespace dm = cdx::discmaker;

namespace {

void Usage() {
  std::fputs(
      "usage: cdx-make-disc [--print] [--shift N] OUT.cue TRACK...\n"
      "       cdx-make-disc [--print] --demo OUT.cue\n"
      "TRACK is KIND[:key=value,...] with KIND sine, noise, silence, square, data or raw;\n"
      "keys: len (sectors, or seconds with a trailing s), freq, right (right-channel\n"
      "frequency), amp (0..1), seed, fade (like len), file (raw 16-bit LE stereo PCM).\n"
      "example: cdx-make-disc t.cue sine:len=10s,freq=440 noise:len=40,seed=3 data:len=300\n"
      "--shift N writes the audio as a drive that needs a read offset correction of N\n"
      "samples reads it (audio tracks only).\n",
      stderr);
}

void PrintLayout(const std::vector<dm::TrackSpec>& tracks) {
  auto starts = dm::StartSectors(tracks);
  for (size_t i = 0; i < tracks.size(); ++i) {
    const char* kind = tracks[i].kind == dm::TrackKind::Audio ? "audio" : "data";
    std::printf("track %02zu %-5s start %u sectors %u\n", i + 1, kind, starts[i],
                starts[i + 1] - starts[i]);
  }
  std::printf("lead-out %u\n", starts.back());
}

}  // namespace

int main(int argc, char** argv) {
  bool print = false, demo = false;
  int shift = 0;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--print") == 0)
      print = true;
    else if (std::strcmp(argv[i], "--demo") == 0)
      demo = true;
    else if (std::strcmp(argv[i], "--shift") == 0 && i + 1 < argc)
      shift = std::atoi(argv[++i]);
    else
      args.emplace_back(argv[i]);
  }
  if (args.empty() || (demo && args.size() != 1) || (!demo && args.size() < 2)) {
    Usage();
    return 2;
  }
  std::vector<dm::TrackSpec> tracks;
  try {
    if (demo) tracks = dm::DemoDisc();
    for (size_t i = 1; i < args.size(); ++i) tracks.push_back(dm::ParseTrack(args[i]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cdx-make-disc: %s\n", e.what());
    Usage();
    return 2;
  }
  try {
    if (shift != 0)
      dm::WriteShiftedImage(args[0], tracks, shift);
    else
      dm::WriteImage(args[0], tracks);
    if (print) PrintLayout(tracks);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cdx-make-disc: %s\n", e.what());
    return 1;
  }
  return 0;
}
