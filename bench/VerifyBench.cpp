// What the proof of a rip costs a whole-disc WAV rip through the job, on
// real music (Debian's extremetuxracer music, decoded by ffmpeg), in the
// same run, taking turns:
//
// 1. the job with the verification stage (checksums of every track, the
//    disc ids, the log and the CUE sheet) against the job without it: the
//    ratio is the target's (at most 1.02), from memory and from the image
//    read like a 48x drive (two rounds); and without the log and CUE
//    sheet, which are flushed to the disk;
// 2. test and copy against a single read (at most 2.1);
// 3. the longest time any track's end waited for the database, with the
//    server down (connection refused) and with one that accepts but never
//    answers (at most 3 s).
//
// Every figure is the median of ROUNDS rounds (default 15), the kinds of
// rip from memory taking turns going first; their CPU time (user and
// system, all threads) is printed beside the wall time, as it depends far
// less on other work and on the disk.
//
//   build/bin/bench_verify            (after ./check or ./run)
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchTimes.h"
#include "extractor/VerifyStage.h"
#include "pipeline/MainThreadQueue.h"
#include "tools/discmaker.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace cdx;

using cdx::bench::CpuSeconds;
using cdx::bench::Median;

namespace {

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::vector<discmaker::TrackSpec> DecodeMusic(const std::string& folder, double& seconds) {
  std::vector<fs::path> oggs;
  for (const auto& e : fs::directory_iterator("/usr/share/games/etr/music"))
    if (e.path().extension() == ".ogg") oggs.push_back(e.path());
  std::sort(oggs.begin(), oggs.end());
  std::vector<discmaker::TrackSpec> tracks;
  seconds = 0;
  for (const auto& ogg : oggs) {
    std::string raw = folder + "/" + ogg.stem().string() + ".raw";
    std::string command =
        "ffmpeg -v error -y -i '" + ogg.string() + "' -f s16le -ar 44100 -ac 2 '" + raw + "'";
    if (std::system(command.c_str()) != 0) continue;
    seconds += fs::file_size(raw) / 176400.0;
    tracks.push_back(discmaker::Raw(raw));
  }
  return tracks;
}

// Every audio track of drive 0, one after another, as the command line
// rips them.
class TBenchFrontEnd : public TJobFrontEnd {
 public:
  TBenchFrontEnd(const TFormat& format, int drive, int tracks)
      : format_(format), drive_(drive), tracks_(tracks) {}
  std::optional<TJobTrack> NextTrack() override {
    if (next_ >= tracks_) return std::nullopt;
    ++next_;
    return TJobTrack{
        static_cast<uint64_t>(next_), {drive_, next_}, "Track" + std::to_string(next_), &format_};
  }
  void Serve() override {
    TMainThreadQueue::Instance().WaitAndServe(std::chrono::milliseconds(50));
  }
  void TrackEnded(const TJobTrack&, const TTrackOutcome& outcome) override {
    if (outcome.Result != TTrackResult::Written) {
      std::fprintf(stderr, "bench_verify: a track failed: %s\n", outcome.Error.c_str());
      std::exit(1);
    }
  }

 private:
  const TFormat& format_;
  int drive_, tracks_, next_ = 0;
};

// The stage, with the longest wait of a track's end measured.
class TTimedStage : public TVerifyStage {
 public:
  using TVerifyStage::TVerifyStage;
  void TrackEnded(const TJobTrack& track, TTrackOutcome& outcome) override {
    const auto begun = Clock::now();
    TVerifyStage::TrackEnded(track, outcome);
    Longest = std::max(Longest, Seconds(Clock::now() - begun));
  }
  void JobEnded(const TJobSummary& summary) override {
    if (WriteFiles) TVerifyStage::JobEnded(summary);
  }
  double Longest = 0;
  bool WriteFiles = true;
};

struct TRun {
  bool Stage = false;
  bool TestAndCopy = false;
  bool Verify = false;
  bool Log = true;  // the log and the CUE sheet at the end
};

// The wall time of the whole job, and the longest wait of a track's end.
double RipDisc(TExtractor& ex, const std::string& out, int drive, int tracks, const TRun& run,
               double* longest = nullptr) {
  fs::remove_all(out);
  fs::create_directories(out);
  TRipJob job(ex, out);
  TVerifySettings settings;
  settings.Verify = run.Verify;
  settings.TestAndCopy = run.TestAndCopy;
  TTimedStage stage(out, settings);
  stage.WriteFiles = run.Log;
  if (run.Stage) job.AddStage(stage);
  TBenchFrontEnd frontEnd(*FindFormat("wav"), drive, tracks);
  const auto begun = Clock::now();
  job.Run(frontEnd);
  const double wall = Seconds(Clock::now() - begun);
  if (!stage.EndError().empty())
    std::fprintf(stderr, "bench_verify: %s\n", stage.EndError().c_str());
  if (longest) *longest = stage.Longest;
  return wall;
}

// A port that takes connections and never answers; the socket stays open.
int SilentServer() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), size) != 0 || listen(s, 8) != 0) std::exit(1);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
  return ntohs(a.sin_port);
}

}  // namespace

int main() {
  const int rounds = std::getenv("ROUNDS") ? std::max(1, std::atoi(std::getenv("ROUNDS"))) : 15;
  char pattern[] = "/tmp/cdx-verify-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string folder = pattern;
  double seconds = 0;
  const auto tracks = DecodeMusic(folder, seconds);
  if (seconds < 300) {
    std::fprintf(stderr, "bench_verify: only %.0f s of music found\n", seconds);
    fs::remove_all(folder);
    return 1;
  }
  fs::create_directories(folder + "/discs");
  discmaker::WriteImage(folder + "/discs/music.cue", tracks);
  // A disc whose rip is over long before any answer could come.
  discmaker::WriteImage(folder + "/discs/short.cue", {discmaker::Sine(75, 440)});
  setenv("CDX_NO_DEVICES", "1", 1);
  setenv("CDX_DISCS_DIR", (folder + "/discs").c_str(), 1);
  setenv("CDX_DRIVES_DIR", (folder + "/drives").c_str(), 1);
  auto extractor = MakeComponent<TExtractor>();
  const std::string out = folder + "/out";
  const int count = static_cast<int>(tracks.size());
  int music = -1, short_ = -1;
  for (const TDriveInfo& drive : ListDrives())
    (drive.Path.find("short.cue") != std::string::npos ? short_ : music) = drive.Index;
  std::printf("music: %d pieces, %.0f s; rounds %d\n", count, seconds, rounds);

  // Without the stage, the checksums alone, with the log and CUE sheet, and
  // test and copy. The kinds take turns going first: the files of one rip
  // are still being written back to the disk during the next ones.
  const TRun kinds[] = {{}, {true, false, false, false}, {true, false, false}, {true, true, false}};
  std::vector<double> wall[4], cpu[4];
  for (int r = 0; r < rounds; ++r)
    for (int k = 0; k < 4; ++k) {
      const int kind = r % 2 == 0 ? k : 3 - k;
      const double before = CpuSeconds();
      wall[kind].push_back(RipDisc(*extractor, out, music, count, kinds[kind]));
      cpu[kind].push_back(CpuSeconds() - before);
    }
  const auto ratio = [&](int a, int b) {
    char text[64];
    std::snprintf(text, sizeof text, "ratio %.4f (CPU time %.4f)",
                  Median(wall[a]) / Median(wall[b]), Median(cpu[a]) / Median(cpu[b]));
    return std::string(text);
  };
  std::printf("whole-disc WAV rip: %.3f s without the checks, %.3f s with; %s\n", Median(wall[0]),
              Median(wall[2]), ratio(2, 0).c_str());
  std::printf("  the checksums alone, no log and CUE sheet written: %.3f s; %s\n", Median(wall[1]),
              ratio(1, 0).c_str());
  std::printf("test and copy: %.3f s; to a single read %s\n", Median(wall[3]), ratio(3, 2).c_str());

  // As a drive reads: the checks against the time of the reads.
  setenv("CDX_IMAGE_SPEED", "48", 1);
  std::vector<double> pacedPlain, pacedChecked, pacedTwice;
  for (int r = 0; r < 2; ++r) {
    pacedPlain.push_back(RipDisc(*extractor, out, music, count, {}));
    pacedChecked.push_back(RipDisc(*extractor, out, music, count, {true, false, false}));
    pacedTwice.push_back(RipDisc(*extractor, out, music, count, {true, true, false}));
  }
  unsetenv("CDX_IMAGE_SPEED");
  std::printf("the same image read like a 48x drive: %.3f s without, %.3f s with; ratio %.4f\n",
              Median(pacedPlain), Median(pacedChecked), Median(pacedChecked) / Median(pacedPlain));
  std::printf("  test and copy: %.3f s; ratio to a single read %.3f\n", Median(pacedTwice),
              Median(pacedTwice) / Median(pacedChecked));

  for (const auto& [name, url] :
       {std::pair<const char*, std::string>{"server down", "http://127.0.0.1:1"},
        {"server silent", "http://127.0.0.1:" + std::to_string(SilentServer())}}) {
    setenv("CDX_ACCURATERIP_URL", url.c_str(), 1);
    double longest = 0, shortest = 0;
    const double wall = RipDisc(*extractor, out, music, count, {true, false, true}, &longest);
    RipDisc(*extractor, out, short_, 1, {true, false, true}, &shortest);
    std::printf(
        "%s: the longest wait of a track for the database %.3f s (whole rip %.3f s); of a "
        "1-second disc %.3f s\n",
        name, longest, wall, shortest);
  }
  fs::remove_all(folder);
  return 0;
}
