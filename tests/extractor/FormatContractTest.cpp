// What every format of the table must do alike, through the job on a real
// image drive: a stopped track keeps a complete file of the audio read so
// far, and a full disk fails the track with one line, keeping the earlier
// file byte for byte. The files are read back by ffmpeg, which decodes all
// six formats.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "extractor/RipJob.h"
#include "pipeline/MainThreadQueue.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

constexpr int kTrackSeconds = 20;
const std::vector<uint8_t> kEarlierFile{1, 2, 3};

// Hands out one track of drive 0 and, when asked to, stops it once it has
// come some way.
class TOneTrack : public TJobFrontEnd {
 public:
  TOneTrack(const TFormat& format, TRipJob& job, bool stop)
      : format_(format), job_(job), stop_(stop) {}
  std::optional<TJobTrack> NextTrack() override {
    if (handedOut_) return std::nullopt;
    handedOut_ = true;
    return TJobTrack{1, {0, 1}, "Track01", &format_};
  }
  void Serve() override {
    TMainThreadQueue::Instance().WaitAndServe(std::chrono::milliseconds(5));
    if (stop_ && job_.Progress() >= 5) {
      stop_ = false;
      job_.Stop();
    }
  }
  void TrackEnded(const TJobTrack&, const TTrackOutcome& outcome) override { Outcome = outcome; }
  TTrackOutcome Outcome{};

 private:
  const TFormat& format_;
  TRipJob& job_;
  bool stop_;
  bool handedOut_ = false;
};

// The bytes of 44.1 kHz stereo that ffmpeg decodes `path` to, and what it
// said about the file besides.
struct TDecoded {
  long Bytes = -1;
  std::string Complaints;
};

TDecoded Decode(const std::string& path) {
  std::string out;
  RunCommand(
      "{ ffmpeg -nostdin -v error -i '" + path + "' -f s16le -ar 44100 -ac 2 - | wc -c; } 2>&1",
      &out);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  const size_t last = out.rfind('\n');
  TDecoded decoded;
  decoded.Bytes = std::atol(out.c_str() + (last == std::string::npos ? 0 : last + 1));
  decoded.Complaints = last == std::string::npos ? "" : out.substr(0, last);
  return decoded;
}

class FormatContract : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp_.File("discs"));
    dm::WriteImage(temp_.File("discs/disc.cue"), {dm::Noise(75 * kTrackSeconds, 7, 0.5)});
    setenv("CDX_NO_DEVICES", "1", 1);
    setenv("CDX_DISCS_DIR", temp_.File("discs").c_str(), 1);
    setenv("CDX_DRIVES_DIR", temp_.File("drives").c_str(), 1);
    extractor_ = MakeComponent<TExtractor>();
  }
  void TearDown() override { unsetenv("CDX_IMAGE_SPEED"); }

  TTempDir temp_;
  ComponentPtr<TExtractor> extractor_;
};

TEST_F(FormatContract, EveryFormatKeepsAStoppedTrackAndFailsAFullDiskAlike) {
  const struct {
    const char* name;
    bool stop;
    bool diskFull;
  } cases[] = {{"stopped", true, false}, {"full disk", false, true}};
  const long trackBytes = 44100L * 4 * kTrackSeconds;
  ASSERT_EQ(Formats().size(), 6u);
  for (const TFormat& format : Formats()) {
    for (const auto& c : cases) {
      SCOPED_TRACE(format.Name + ": " + c.name);
      const std::string folder = temp_.File(format.Name + "-" + c.name);
      std::filesystem::create_directories(folder);
      const std::string file = TrackFileName(folder, "Track01", format);
      WriteFile(file, kEarlierFile);
      // Paced, so the stop comes while the track is read; a full disk needs
      // no pacing.
      if (c.stop) setenv("CDX_IMAGE_SPEED", "8", 1);
      std::unique_ptr<TFileSizeLimit> full;
      if (c.diskFull) full = std::make_unique<TFileSizeLimit>(100000);
      TRipJob job(*extractor_, folder);
      TOneTrack track(format, job, c.stop);
      const TJobSummary summary = job.Run(track);
      full.reset();
      unsetenv("CDX_IMAGE_SPEED");
      const TTrackOutcome& outcome = track.Outcome;
      EXPECT_EQ(outcome.File, file);
      EXPECT_TRUE(PartFilesIn(folder).empty());
      if (c.stop) {
        EXPECT_EQ(outcome.Result, TTrackResult::Stopped) << outcome.Error;
        EXPECT_EQ(summary.Stopped, 1);
        EXPECT_GT(outcome.StoppedAt, 0);
        EXPECT_LT(outcome.StoppedAt, 100);
        const TDecoded decoded = Decode(file);
        EXPECT_EQ(decoded.Complaints, "") << "a complete file";
        EXPECT_GT(decoded.Bytes, 0);
        EXPECT_LT(decoded.Bytes, trackBytes * 9 / 10) << "of the audio up to the stop";
      } else {
        EXPECT_EQ(outcome.Result, TTrackResult::Failed);
        EXPECT_EQ(summary.Failed, 1);
        // The wording is each writer's own (FLAC and APE keep their
        // libraries' fixed texts); that it is one line is common.
        EXPECT_NE(outcome.Error, "");
        EXPECT_EQ(outcome.Error.find('\n'), std::string::npos) << outcome.Error;
        EXPECT_TRUE(outcome.EarlierKept);
        EXPECT_EQ(ReadFile(file), kEarlierFile);
      }
    }
  }
}

}  // namespace
}  // namespace cdx::test
