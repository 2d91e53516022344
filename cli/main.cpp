// cd-extractor-cli: lists drives and tracks, and rips tracks through the
// same components and chain builders as the window.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "extractor/Extractor.h"
#include "pipeline/MainThreadQueue.h"
#include "platform/cdrip/cdrip.h"

namespace {

using namespace cdx;

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
  interrupted = true;
}

std::string TwoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

std::string Duration(const TCDTrackInfo& info) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d.%02d", info.Min, info.Sec, info.Frame);
  return buf;
}

// The program's one-line answer to a bad command line.
int UsageError(const std::string& problem) {
  std::cerr << "cd-extractor-cli: " << problem << "\nTry 'cd-extractor-cli --help'.\n";
  return 2;
}

// A library message on one line, so that each track keeps one line of the
// report: "Error finishing.\r\nI/O write error" gives "Error finishing; I/O
// write error".
std::string OneLine(const std::string& message) {
  std::string joined, line;
  std::stringstream lines(message);
  while (std::getline(lines, line)) {
    auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    if (!joined.empty()) {
      if (joined.back() == '.') joined.pop_back();
      joined += "; ";
    }
    joined += line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
  }
  return joined;
}

// "3", "1-4" or "2,5-7", as --tracks takes them.
std::string TrackRanges(const std::vector<int>& tracks) {
  std::string text;
  for (size_t k = 0; k < tracks.size(); ++k) {
    size_t end = k;
    while (end + 1 < tracks.size() && tracks[end + 1] == tracks[end] + 1) ++end;
    text += (text.empty() ? "" : ",") + std::to_string(tracks[k]);
    if (end > k) text += "-" + std::to_string(tracks[end]);
    k = end;
  }
  return text;
}

// `label` says how to choose the drive again: "Drive 2", or "Image" for
// one that only --image makes a drive.
void ListDrive(TCDIn& cd, int drive, const std::string& label) {
  std::cout << label << ": " << cd.DriveRoot(drive) << "  (" << cdrip::CR_GetDrivePath(drive)
            << ")\n";
  cd.SetCurrentDrive(drive);
  int tracks = cd.TrackCount();
  if (tracks < 0) {
    std::cout << "  no disc\n";
    return;
  }
  std::cout << "  track  type   start   length\n";
  for (int t = 1; t <= tracks; ++t) {
    TCDTrackInfo info = cd.TrackInfo(t);
    uint32_t start = cdrip::CR_GetTocEntry(t - 1).dwStartSector;
    std::printf("  %5d  %-5s  %6u  %s\n", t, info.TrackType == ttAudio ? "audio" : "data", start,
                Duration(info).c_str());
  }
  std::fflush(stdout);
}

// Image files of the discs folders that are no drive, so that a user who
// put one there learns why it is missing.
void ListSkippedImages() {
  for (const auto& image : cdrip::CR_GetSkippedImages())
    std::cout << "Skipped " << image.path << ": " << image.reason << "\n";
}

std::vector<int> AudioTracks(TCDIn& cd) {
  std::vector<int> tracks;
  int count = cd.TrackCount();
  for (int t = 1; t <= count; ++t)
    if (cd.TrackInfo(t).TrackType == ttAudio) tracks.push_back(t);
  return tracks;
}

// Why the disc in the current drive cannot give `wanted`: the tracks it
// does not have, with those it has; "" when it has them all.
std::string MissingTracks(TCDIn& cd, const std::vector<int>& wanted) {
  int count = cd.TrackCount();
  std::vector<int> missing, data;
  for (int track : wanted)
    if (track > count) missing.push_back(track);
  if (missing.empty()) return "";
  for (int t = 1; t <= count; ++t)
    if (cd.TrackInfo(t).TrackType != ttAudio) data.push_back(t);
  std::string has =
      count == 1 ? "its only track is 1" : "its tracks are 1 to " + std::to_string(count);
  if (!data.empty())
    has += std::string(data.size() == 1 ? " (data track: " : " (data tracks: ") +
           TrackRanges(data) + ")";
  return std::string(missing.size() == 1 ? "the disc has no track " : "the disc has no tracks ") +
         TrackRanges(missing) + "; " + has;
}

class TProgressBar {
 public:
  TProgressBar() : enabled_(isatty(STDERR_FILENO)) {}
  bool Enabled() const { return enabled_; }
  void Show(const std::string& name, int percent) {
    if (!enabled_ || percent < 0) return;
    int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r%s [%-30s] %3d%%", name.c_str(), std::string(filled, '#').c_str(),
                 percent);
    shown_ = true;
  }
  void Clear() {
    if (shown_) std::fprintf(stderr, "\r%60s\r", "");
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
};

// Rips one track and returns how its run ended.
TRunEnd RipTrack(TExtractor& ex, const TCliOptions& o, const std::string& path,
                 const std::string& caption, TProgressBar& bar) {
  TACSOutput* writer = nullptr;
  try {
    writer = ex.BuildChain(*o.Format, path, o.OutDir, caption);
  } catch (const std::exception& e) {
    return {TRunResult::Failed, e.what()};
  }
  auto& queue = TMainThreadQueue::Instance();
  bool stopped = false;
  TRunEnd end = WaitForRunEnd(*writer, [&] {
    // A hand-off ends the wait at once; a signal is seen within the slice.
    queue.WaitAndServe(std::chrono::milliseconds(50));
    if (interrupted && !stopped) {
      ex.StopRunning();
      stopped = true;
    }
  });
  bar.Clear();
  return end;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// What the report says of a track. A failed run writes no file and leaves
// an earlier file of the name as it was (the writers' contract).
std::string Outcome(const TRunEnd& end, const std::string& name, bool earlierKept) {
  switch (end.Result) {
    case TRunResult::Done:
      return "ok";
    case TRunResult::Stopped:
      return "stopped";
    case TRunResult::Failed:
      break;
  }
  return "failed: " + OneLine(end.Message) + " (no file written" +
         (earlierKept ? "; the earlier " + name + " was kept)" : ")");
}

// Fills `tracks` with those to rip and returns 0; otherwise says why there
// are none and returns the exit status: 2 for a track the disc lacks, which
// is a bad command line. Without a readable disc each track given fails on
// its own line.
int ChooseTracks(TCDIn& cd, const TCliOptions& o, int drive, std::vector<int>& tracks) {
  bool disc = cd.TrackCount() >= 0;
  if (auto missing = disc ? MissingTracks(cd, o.Tracks) : ""; !missing.empty())
    return UsageError(missing);
  tracks = o.Tracks.empty() ? AudioTracks(cd) : o.Tracks;
  if (!tracks.empty()) return 0;
  std::cerr << "cd-extractor-cli: " << (disc ? "no audio track to rip on" : "no readable disc in")
            << " drive " << drive << "\n";
  return 1;
}

int Rip(TExtractor& ex, const TCliOptions& o, int drive) {
  ex.CDIn1->SetCurrentDrive(drive);
  std::vector<int> tracks;
  if (int status = ChooseTracks(*ex.CDIn1, o, drive, tracks); status != 0) return status;
  std::error_code ec;
  std::filesystem::create_directories(o.OutDir, ec);
  TProgressBar bar;
  std::string current;
  if (bar.Enabled())
    ex.OnWriterProgress = [&](TACSOutput* writer) { bar.Show(current, writer->Progress()); };
  std::string root = ex.CDIn1->DriveRoot(drive);
  bool allOk = true;
  for (int track : tracks) {
    std::string caption = "Track" + TwoDigits(track);
    current = caption + o.Format->Extension;
    if (interrupted) {
      std::cout << current << ": not ripped" << std::endl;
      continue;
    }
    std::string file = TrackFileName(o.OutDir, caption, *o.Format);
    bool earlier = Exists(file);
    ApplyFormatOptions(ex, o, TTrackRun{track});
    TRunEnd end = RipTrack(ex, o, root + caption + ".cda", caption, bar);
    std::cout << current << ": " << Outcome(end, current, earlier && Exists(file)) << std::endl;
    allOk = allOk && end.Result == TRunResult::Done;
  }
  return allOk && !interrupted ? 0 : 1;
}

// The drive that --drive or --image names (the first drive by default),
// or -1 after a usage error. `onlyByImage` tells a drive that only
// --image makes one: it has no number that --drive would take.
int ChooseDrive(TExtractor& ex, const TCliOptions& o, bool& onlyByImage) {
  int listed = ex.CDIn1->DriveCount();
  onlyByImage = false;
  if (!o.Image.empty()) {
    std::string why;
    int drive = cdrip::CR_AddImageDrive(o.Image, &why);
    if (drive < 0)
      UsageError("cannot open the disc image " + o.Image +
                 (why.empty() ? "" : ": " + OneLine(why)));
    onlyByImage = drive >= listed;
    return drive;
  }
  if (listed == 0) {
    ListSkippedImages();
    UsageError("there is no drive: no CD drive, and no disc image in the discs folders");
    return -1;
  }
  if (o.Drive >= listed) {
    UsageError("there is no drive " + std::to_string(o.Drive) +
               (listed == 1 ? "; the only drive is 0"
                            : "; the drives are 0 to " + std::to_string(listed - 1)));
    return -1;
  }
  return std::max(o.Drive, 0);
}

int List(TExtractor& ex, const TCliOptions& o, int drive, bool onlyByImage) {
  if (o.Drive >= 0 || !o.Image.empty()) {
    ListDrive(*ex.CDIn1, drive, onlyByImage ? "Image" : "Drive " + std::to_string(drive));
    return 0;
  }
  for (int d = 0; d < ex.CDIn1->DriveCount(); ++d)
    ListDrive(*ex.CDIn1, d, "Drive " + std::to_string(d));
  ListSkippedImages();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TCliOptions options;
  std::string problem;
  if (!ParseCliOptions(argc, argv, options, problem)) return UsageError(problem);
  if (options.Help) {
    std::cout << CliUsage();
    return 0;
  }
  if (options.Version) {
    std::cout << "cd-extractor-cli " << CDX_VERSION << "\n";
    return 0;
  }
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  try {
    auto extractor = MakeComponent<TExtractor>();
    TExtractor& ex = *extractor;
    bool onlyByImage = false;
    int drive = ChooseDrive(ex, options, onlyByImage);
    if (drive < 0) return 2;
    if (options.List) return List(ex, options, drive, onlyByImage);
    int code = Rip(ex, options, drive);
    return interrupted ? 130 : code;
  } catch (const std::exception& e) {
    std::cerr << "cd-extractor-cli: " << OneLine(e.what()) << "\n";
    return 1;
  }
}
