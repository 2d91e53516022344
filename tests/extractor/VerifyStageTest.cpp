// Test and copy in the job: a track read twice with the same CRC is kept,
// one whose second read differs fails with both CRCs and leaves the earlier
// file of its name as it was. The test read makes no file: the format's
// writer runs once, for the copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "extractor/VerifyStage.h"
#include "tests/support/ArAnswers.h"
#include "tests/support/JobTracks.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

// Changes the disc between the test read and the copy, as a drive that
// reads a scratch differently each time would.
class TScratch : public TJobStage {
 public:
  explicit TScratch(std::string bin) : bin_(std::move(bin)) {}
  void ChainReady(const TJobTrack&, const TDisc&, TACSFileOut&,
                  std::vector<TSampleSink*>&) override {
    std::fstream disc(bin_, std::ios::in | std::ios::out | std::ios::binary);
    disc.seekp(kAt);
    disc.write("\x7f\x7f", 2);
  }
  static constexpr long kAt = 90 * 2352 + 1000;  // inside track 2

 private:
  std::string bin_;
};

TEST(VerifyStage, TestAndCopyKeepsOnlyATrackReadTheSameTwice) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("out"));
  const std::vector<dm::TrackSpec> disc = {dm::Sine(80, 440), dm::Noise(41, 9),
                                           dm::Square(30, 1000)};
  UseImageDrive(temp, disc);
  auto extractor = MakeComponent<TExtractor>();
  const uint32_t crc = SumsOf(disc)[1].Crc32;
  for (const bool scratch : {false, true}) {
    SCOPED_TRACE(scratch ? "read differently the second time" : "read the same twice");
    dm::WriteImage(temp.File("discs/disc.cue"), disc);
    const std::string earlier = temp.File("out/Track02.wav");
    WriteFile(earlier, {'e', 'a', 'r', 'l', 'y'});
    TRipJob job(*extractor, temp.File("out"));
    TScratch scratcher(temp.File("discs/disc.bin"));
    if (scratch) job.AddStage(scratcher);
    TVerifySettings settings;
    settings.Verify = false;
    settings.TestAndCopy = true;
    TVerifyStage verify(temp.File("out"), settings);
    job.AddStage(verify);
    TListedTracks tracks({2});
    tracks.Names = {"Track02"};
    int writerRuns = 0;
    extractor->WaveOut1->OnRunEnd = [&](TComponent*, const TRunEnd&) { ++writerRuns; };
    job.Run(tracks);
    EXPECT_EQ(writerRuns, 1);
    const TTrackOutcome& outcome = tracks.Outcomes.at(0);
    ASSERT_FALSE(verify.WrittenFiles().empty()) << outcome.Error;
    const std::vector<uint8_t> logBytes = ReadFile(verify.WrittenFiles().at(0));
    const std::string logText(logBytes.begin(), logBytes.end());
    EXPECT_NE(logText.find("Test CRC32: " + CrcText(crc)), std::string::npos) << logText;
    if (!scratch) {
      EXPECT_EQ(outcome.Result, TTrackResult::Written);
      EXPECT_EQ(outcome.Crc, crc);
      EXPECT_EQ(ReadFile(earlier).size(), 44u + 41 * 2352);
      continue;
    }
    EXPECT_EQ(outcome.Result, TTrackResult::Failed);
    EXPECT_NE(outcome.Error.find("Test CRC " + CrcText(crc) + " differs from copy CRC "),
              std::string::npos)
        << outcome.Error;
    EXPECT_TRUE(outcome.EarlierKept);
    EXPECT_EQ(ReadFile(earlier), (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'y'}));
    EXPECT_NE(logText.find("Status: CRC mismatch"), std::string::npos) << logText;
  }
}

}  // namespace
}  // namespace cdx::test
