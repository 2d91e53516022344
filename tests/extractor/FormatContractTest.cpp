// What every format of the table must do alike, through the job on a real
// image drive: a stopped track keeps a complete file of the audio read so
// far, and a full disk fails the track with one line, keeping the earlier
// file byte for byte. The files are read back by ffmpeg, which decodes all
// six formats.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "tests/support/JobTracks.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

constexpr int kTrackSeconds = 20;
const std::vector<uint8_t> kEarlierFile{1, 2, 3};

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
    UseImageDrive(temp_, {dm::Noise(75 * kTrackSeconds, 7, 0.5)});
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
      TListedTracks track({1});
      track.Format = &format;
      track.Names = {"Track01"};
      // Stopped once it has come some way.
      track.OnServe = [&, stop = c.stop]() mutable {
        if (!stop || job.Progress() < 5) return;
        stop = false;
        job.Stop();
      };
      const TJobSummary summary = job.Run(track);
      full.reset();
      unsetenv("CDX_IMAGE_SPEED");
      ASSERT_EQ(track.Outcomes.size(), 1u);
      const TTrackOutcome& outcome = track.Outcomes[0];
      EXPECT_EQ(outcome.File, file);
      EXPECT_TRUE(PartFilesIn(folder).empty());
      if (c.stop) {
        EXPECT_EQ(outcome.Result, TTrackResult::Stopped) << outcome.Error;
        EXPECT_EQ(summary.Stopped, 1);
        EXPECT_GT(outcome.StoppedAt, 0);
        EXPECT_LT(outcome.StoppedAt, 100);
        // Beside the earlier file, which a stopped run must not replace.
        EXPECT_EQ(ReadFile(file), kEarlierFile);
        EXPECT_NE(outcome.KeptAs, file);
        const TDecoded decoded = Decode(outcome.KeptAs);
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
