// The job below both front ends, on a real image drive: how often it reads
// a disc's TOC, counted by the CD library itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "extractor/EjectStage.h"
#include "extractor/RipJob.h"
#include "pipeline/MainThreadQueue.h"
#include "platform/cdrip/cdrip.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

// Hands out every track of drive 0 in order, and calls `before` with each
// track number before handing it out.
class TTracks : public TJobFrontEnd {
 public:
  // `names`: the file name of each track, "TrackN" when none is given.
  TTracks(std::vector<int> tracks, std::function<void(int)> before,
          std::vector<std::string> names = {})
      : tracks_(std::move(tracks)), before_(std::move(before)), names_(std::move(names)) {}
  std::optional<TJobTrack> NextTrack() override {
    if (next_ >= tracks_.size()) return std::nullopt;
    const int track = tracks_[next_++];
    before_(track);
    return TJobTrack{static_cast<uint64_t>(track),
                     {0, track},
                     names_.empty() ? "Track" + std::to_string(track) : names_[next_ - 1],
                     FindFormat("wav")};
  }
  void Serve() override {
    TMainThreadQueue::Instance().WaitAndServe(std::chrono::milliseconds(10));
  }
  void TrackEnded(const TJobTrack&, const TTrackOutcome& outcome) override {
    results.push_back(outcome.Result);
    kept.push_back(outcome.KeptAs);
  }
  std::vector<TTrackResult> results;
  std::vector<std::string> kept;

 private:
  std::vector<int> tracks_;
  std::function<void(int)> before_;
  std::vector<std::string> names_;
  size_t next_ = 0;
};

TEST(RipJob, ReadsADiscsTocOnceAndAgainOnlyWhenTheDiscChanged) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("discs"));
  const std::string cue = temp.File("discs/disc.cue");
  const std::vector<dm::TrackSpec> disc = {dm::Sine(20, 440), dm::Noise(20, 2), dm::Sine(20, 660)};
  dm::WriteImage(cue, disc);
  setenv("CDX_NO_DEVICES", "1", 1);
  setenv("CDX_DISCS_DIR", temp.File("discs").c_str(), 1);
  setenv("CDX_DRIVES_DIR", temp.File("drives").c_str(), 1);
  auto extractor = MakeComponent<TExtractor>();
  const struct {
    const char* name;
    int changedBefore;  // the track before which the image is written again; 0: never
    uint64_t reads;
  } cases[] = {{"left alone", 0, 1}, {"written again before track 3", 3, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRipJob job(*extractor, temp.File("out-" + std::to_string(c.changedBefore)));
    std::filesystem::create_directories(temp.File("out-" + std::to_string(c.changedBefore)));
    TTracks tracks({1, 2, 3}, [&](int track) {
      if (track == c.changedBefore) dm::WriteImage(cue, disc);
    });
    const uint64_t before = cdrip::CR_GetTocReadCount();
    job.Run(tracks);
    EXPECT_EQ(cdrip::CR_GetTocReadCount() - before, c.reads);
    EXPECT_EQ(tracks.results, std::vector<TTrackResult>(3, TTrackResult::Written));
  }
}

// A row's name becomes one file in the output folder, whatever it holds.
TEST(RipJob, HostileNamesBecomeOneSafeFileInTheOutputFolder) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("discs"));
  dm::WriteImage(temp.File("discs/disc.cue"), {dm::Sine(10, 440)});
  setenv("CDX_NO_DEVICES", "1", 1);
  setenv("CDX_DISCS_DIR", temp.File("discs").c_str(), 1);
  setenv("CDX_DRIVES_DIR", temp.File("drives").c_str(), 1);
  auto extractor = MakeComponent<TExtractor>();
  std::string e_acute;
  for (int i = 0; i < 150; ++i) e_acute += "\xC3\xA9";
  const struct {
    const char* kind;
    std::string name, file;
  } cases[] = {
      {"colon", "AC-DC: Back In Black", "AC-DC: Back In Black.wav"},
      {"climbing up", "..", "_.wav"},
      {"hidden", ".hidden", "_hidden.wav"},
      {"control characters", "a\tb\nc\x7f", "a_b_c_.wav"},
      {"300 bytes", std::string(300, 'x'), std::string(251, 'x') + ".wav"},
      {"300 bytes of two-byte characters", e_acute, e_acute.substr(0, 250) + ".wav"},
      {"nothing", "", "Track.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::string out = temp.File(std::string("out-") + c.kind);
    std::filesystem::create_directories(out);
    TRipJob job(*extractor, out);
    TTracks tracks({1}, [](int) {}, {c.name});
    job.Run(tracks);
    ASSERT_EQ(tracks.results, std::vector<TTrackResult>{TTrackResult::Written});
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(out))
      files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{c.file});
    EXPECT_EQ(tracks.kept, std::vector<std::string>{out + "/" + c.file});
  }
}

TEST(RipJob, EjectsTheDrivesOnlyOfAJobThatWroteEveryTrack) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("discs"));
  dm::WriteImage(temp.File("discs/disc.cue"), {dm::Sine(10, 440), dm::Sine(10, 660)});
  setenv("CDX_NO_DEVICES", "1", 1);
  setenv("CDX_DISCS_DIR", temp.File("discs").c_str(), 1);
  setenv("CDX_DRIVES_DIR", temp.File("drives").c_str(), 1);
  auto extractor = MakeComponent<TExtractor>();
  const struct {
    const char* name;
    std::vector<int> tracks;
    bool trayRefuses;
    std::vector<int> ejected;
    size_t problems;
  } cases[] = {
      {"every track written", {1, 2}, false, {0}, 0},
      {"a track the disc lacks", {1, 9}, false, {}, 0},
      {"a tray that will not open", {2}, true, {0}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> ejected;
    TEjectStage eject([&](int drive, std::string* why) {
      ejected.push_back(drive);
      if (!c.trayRefuses) return cdrip::CR_OK;
      *why = "the drive is being read";
      return cdrip::CR_ERROR;
    });
    const std::string out = temp.File(std::string("out-") + c.name);
    std::filesystem::create_directories(out);
    TRipJob job(*extractor, out);
    job.AddStage(eject);
    TTracks tracks(c.tracks, [](int) {});
    job.Run(tracks);
    EXPECT_EQ(ejected, c.ejected);
    ASSERT_EQ(eject.Problems().size(), c.problems);
    if (c.problems) {
      EXPECT_EQ(eject.Problems()[0], "cannot eject drive 0: the drive is being read");
    }
  }
  // The library's own ejector leaves an image drive as it was.
  TEjectStage real;
  TRipJob job(*extractor, temp.File("out-real"));
  std::filesystem::create_directories(temp.File("out-real"));
  job.AddStage(real);
  TTracks tracks({1}, [](int) {});
  job.Run(tracks);
  EXPECT_TRUE(real.Problems().empty());
  EXPECT_TRUE(TDisc::Read(0).Readable());
}

}  // namespace
}  // namespace cdx::test
