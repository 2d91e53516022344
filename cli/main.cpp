// cd-extractor-cli: lists drives and tracks, and rips tracks with the same
// job as the window.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliNames.h"
#include "cli/Options.h"
#include "extractor/EjectStage.h"
#include "extractor/RipJob.h"
#include "extractor/VerifyStage.h"
#include "pipeline/MainThreadQueue.h"

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

// "mm:ss.ff" of a number of sectors.
std::string Duration(uint32_t sectors) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02u:%02u.%02u", sectors / 4500, (sectors / 75) % 60,
                sectors % 75);
  return buf;
}

// The program's one-line answer to a bad command line.
int UsageError(const std::string& problem) {
  std::cerr << "cd-extractor-cli: " << problem << "\nTry 'cd-extractor-cli --help'.\n";
  return 2;
}

// `label` says how to choose the drive again: "Drive 2", or "Image" for
// one that only --image makes a drive.
void ListDrive(const TDriveInfo& drive, const std::string& label, const TCliOptions& o) {
  std::cout << label << ": " << drive.Root << "  (" << drive.Path << ")\n";
  TDisc disc = TDisc::Read(drive.Index);
  if (!disc.Readable()) {
    std::cout << "  no disc\n";
    return;
  }
  const TDiscNames names = GatherNames(disc, o);
  PrintNames(names, std::cout);
  std::cout << "  track  type   start   length" << (names.HasNames() ? "    title" : "") << "\n";
  const cdrip::DiscToc& toc = disc.Toc();
  for (size_t k = 0; k < toc.tracks.size(); ++k) {
    const cdrip::TocTrack& t = toc.tracks[k];
    const std::string title = TrackTitleOf(names, t.number);
    std::printf("  %5d  %-5s  %6u  %s%s\n", t.number, t.audio ? "audio" : "data", t.start,
                Duration(toc.length(k)).c_str(), title.empty() ? "" : ("    " + title).c_str());
  }
  for (const std::string& line : DiscIdLines(toc)) std::cout << "  " << line << "\n";
  std::cout << std::flush;
  std::fflush(stdout);
}

// Image files of the discs folders that are no drive, so that a user who
// put one there learns why it is missing.
void ListSkippedImages() {
  for (const TSkippedDisc& image : SkippedDiscs())
    std::cout << "Skipped " << image.Path << ": " << image.Reason << "\n";
}

// Why `disc` cannot give `wanted`: the tracks it does not have, with those
// it has; "" when it has them all.
std::string MissingTracks(const TDisc& disc, const std::vector<int>& wanted) {
  std::vector<int> missing;
  for (int track : wanted)
    if (!disc.Track(track)) missing.push_back(track);
  if (missing.empty()) return "";
  const int count = static_cast<int>(disc.Toc().tracks.size());
  std::vector<int> data = disc.DataTracks();
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

// What the report says of a track. A failed run writes no file and leaves
// an earlier file of the name as it was (the writers' contract).
std::string Outcome(const TTrackOutcome& outcome, const std::string& name) {
  switch (outcome.Result) {
    case TTrackResult::Written:
      return "ok" + (outcome.Verification.empty() ? "" : ", " + outcome.Verification) +
             (outcome.Crc ? ", CRC " + CrcText(*outcome.Crc) : "");
    case TTrackResult::Stopped:
      return "stopped";
    case TTrackResult::NotReached:
      return "not ripped";
    case TTrackResult::Failed:
      break;
  }
  return "failed: " + OneLine(outcome.Error) + " (no file written" +
         (outcome.EarlierKept ? "; the earlier " + name + " was kept)" : ")");
}

// The command line's side of the job: the chosen tracks in order, a
// progress bar on a terminal, one line per track, and Ctrl-C as Stop all.
class TCliJob : public TJobFrontEnd {
 public:
  TCliJob(TRipJob& job, const TFormat& format, int drive, std::vector<int> tracks)
      : job_(job), format_(format), drive_(drive), tracks_(std::move(tracks)) {}

  bool AllWritten() const { return allWritten_; }
  // Each track's file below the folder, by number; TrackNN when missing.
  std::map<int, std::string> Names;

  std::optional<TJobTrack> NextTrack() override {
    if (next_ >= tracks_.size()) return std::nullopt;
    const int track = tracks_[next_++];
    const auto named = Names.find(track);
    return TJobTrack{static_cast<uint64_t>(track),
                     {drive_, track},
                     named != Names.end() ? named->second : "Track" + TwoDigits(track),
                     &format_};
  }
  void Serve() override {
    // A hand-off ends the wait at once; a signal is seen within the slice.
    TMainThreadQueue::Instance().WaitAndServe(std::chrono::milliseconds(50));
    if (interrupted && !job_.StoppingAll()) job_.StopAll();
    bar_.Show(current_, job_.Progress());
  }
  void TrackStarting(const TJobTrack& track) override { current_ = track.Name + format_.Extension; }
  void TrackEnded(const TJobTrack& track, const TTrackOutcome& outcome) override {
    bar_.Clear();
    const std::string name = track.Name + format_.Extension;
    std::cout << name << ": " << Outcome(outcome, name) << std::endl;
    allWritten_ = allWritten_ && outcome.Result == TTrackResult::Written;
  }

 private:
  TRipJob& job_;
  const TFormat& format_;
  int drive_;
  std::vector<int> tracks_;
  size_t next_ = 0;
  TProgressBar bar_;
  std::string current_;
  bool allWritten_ = true;
};

// Fills `tracks` with those to rip and returns 0; otherwise says why there
// are none and returns the exit status: 2 for a track the disc lacks, which
// is a bad command line. Without a readable disc each track given fails on
// its own line.
int ChooseTracks(const TDisc& disc, const TCliOptions& o, int drive, std::vector<int>& tracks) {
  if (auto missing = disc.Readable() ? MissingTracks(disc, o.Tracks) : ""; !missing.empty())
    return UsageError(missing);
  tracks = o.Tracks.empty() ? disc.AudioTracks() : o.Tracks;
  if (!tracks.empty()) return 0;
  std::cerr << "cd-extractor-cli: "
            << (disc.Readable() ? "no audio track to rip on" : "no readable disc in") << " drive "
            << drive << "\n";
  return 1;
}

TVerifySettings CliVerifySettings(const TCliOptions& o) {
  TVerifySettings settings;
  settings.Verify = !o.NoVerify;
  settings.TestAndCopy = o.TestAndCopy;
  settings.ReadOffset = [offset = o.Offset](int) { return offset; };
  settings.OffsetSource = "user (--offset)";
  settings.Format = o.Format->Caption;
  return settings;
}

int CheckLog(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) {
    std::cerr << "cd-extractor-cli: cannot read the log " << path << "\n";
    return 1;
  }
  const verify::TLogCheck check = verify::CheckRipLog(text.str());
  std::cout << path << ": " << verify::LogCheckText(check) << "\n";
  return check == verify::TLogCheck::Unchanged ? 0 : 1;
}

int Rip(TExtractor& ex, const TCliOptions& o, int drive) {
  TRipJob job(ex, o.OutDir);
  std::vector<int> tracks;
  if (int status = ChooseTracks(job.Discs().Of(drive), o, drive, tracks); status != 0)
    return status;
  TTagStage tags(ex);
  tags.Tagging = !o.NoTags;
  std::map<int, std::string> names;
  std::string problem;
  if (!PrepareNames(job.Discs().Of(drive), o, tracks, tags, names, std::cout, problem))
    return UsageError(problem);
  std::error_code ec;
  std::filesystem::create_directories(o.OutDir, ec);
  ApplyFormatOptions(ex.Settings.For(*o.Format), o);
  job.AddStage(tags);
  TVerifyStage verify(o.OutDir, CliVerifySettings(o));
  job.AddStage(verify);
  TCliJob frontEnd(job, *o.Format, drive, std::move(tracks));
  frontEnd.Names = std::move(names);
  TEjectStage eject;
  if (o.Eject) job.AddStage(eject);
  job.Run(frontEnd);
  for (const std::string& note : tags.Notes()) std::cout << note << "\n";
  if (!verify.EndError().empty()) std::cerr << "cd-extractor-cli: " << verify.EndError() << "\n";
  // The files are what was asked for: a tray that stays shut is said, and
  // changes no exit status.
  for (const std::string& problem : eject.Problems())
    std::cerr << "cd-extractor-cli: " << problem << "\n";
  return frontEnd.AllWritten() && verify.EndError().empty() && !interrupted ? 0 : 1;
}

// The drive that --drive or --image names (the first drive by default),
// or -1 after a usage error. `onlyByImage` tells a drive that only
// --image makes one: it has no number that --drive would take.
int ChooseDrive(const TCliOptions& o, bool& onlyByImage) {
  int listed = static_cast<int>(ListDrives().size());
  onlyByImage = false;
  if (!o.Image.empty()) {
    std::string why;
    int drive = AddImageDrive(o.Image, why);
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

int List(const TCliOptions& o, int drive, bool onlyByImage) {
  const std::vector<TDriveInfo> drives = ListDrives();
  if (o.Drive >= 0 || !o.Image.empty()) {
    ListDrive(drives.at(drive), onlyByImage ? "Image" : "Drive " + std::to_string(drive), o);
    return 0;
  }
  for (const TDriveInfo& d : drives) ListDrive(d, "Drive " + std::to_string(d.Index), o);
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
  if (!options.CheckLog.empty()) return CheckLog(options.CheckLog);
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  try {
    auto extractor = MakeComponent<TExtractor>();
    TExtractor& ex = *extractor;
    bool onlyByImage = false;
    int drive = ChooseDrive(options, onlyByImage);
    if (drive < 0) return 2;
    if (options.List) return List(options, drive, onlyByImage);
    int code = Rip(ex, options, drive);
    return interrupted ? 130 : code;
  } catch (const std::exception& e) {
    std::cerr << "cd-extractor-cli: " << OneLine(e.what()) << "\n";
    return 1;
  }
}
