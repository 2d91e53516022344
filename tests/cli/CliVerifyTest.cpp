// The proof of a rip on the command line: each track judged against a
// local AccurateRip service that knows the disc's checksums, read offsets
// on a shifted image, test and copy, the rip log and the CUE sheet.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "extractor/VerifyStage.h"
#include "tests/support/ArAnswers.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;
namespace fs = std::filesystem;

constexpr int kShift = 667;  // a sector and 79 samples

std::string Text(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

class CliVerify : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(temp_.Path() + "/drives");
    fs::create_directories(temp_.Path() + "/discs");
    fs::create_directories(temp_.Path() + "/web");
    plain_ = temp_.File("plain.cue");
    dm::WriteImage(plain_, disc_);
    shifted_ = temp_.File("shifted.cue");
    dm::WriteShiftedImage(shifted_, disc_, kShift);
    out_ = temp_.File("out");
  }
  int Run(const std::string& args, std::string& output) {
    return RunCommand(
        "CDX_NO_DEVICES=1 CDX_DISCS_DIR=" + temp_.Path() + "/discs CDX_DRIVES_DIR=" + temp_.Path() +
            "/drives CDX_ACCURATERIP_URL=" + server_.Base() + " " + CDX_CLI_FLAT + " " + args,
        &output);
  }
  std::string LogPath() const {
    return out_ + "/disc-" + ComputeDiscIds(TocOf(disc_)).CddbText() + ".log";
  }

  TTempDir temp_;
  TLocalHttpServer server_{temp_.Path() + "/web"};
  std::vector<dm::TrackSpec> disc_ = {dm::Sine(80, 440), dm::Noise(41, 9), dm::Square(30, 1000)};
  std::string plain_, shifted_, out_;
};

TEST_F(CliVerify, EachTrackSaysWhatTheDatabaseFound) {
  const std::string path = ArPathOf(disc_), known = ArAnswer(disc_, 12);
  struct Case {
    const char* name;
    std::string image, options;
    TAnswer answer;
    const char* word;     // of every track
    const char* verdict;  // of the log
  } cases[] = {
      {"a disc it knows", plain_, "", Reply(200, known), "Accurate (confidence 12)",
       "All tracks accurately ripped"},
      {"tested and copied", plain_, "--test-and-copy", Reply(200, known),
       "Accurate (confidence 12)", "All tracks accurately ripped"},
      {"shifted, with its offset", shifted_, "--offset +667", Reply(200, known),
       "Accurate (confidence 12)", "All tracks accurately ripped"},
      {"shifted, without", shifted_, "", Reply(200, known), "Mismatch",
       "No track accurately ripped"},
      {"a disc it lacks", plain_, "", Reply(404, "gone"), "Not in database",
       "Disc not in database"},
      {"13 bytes", plain_, "", Reply(200, known.substr(0, 13)), "Not verified (no usable answer)",
       "Not verified (no usable answer)"},
      {"a server error", plain_, "", Reply(500, ""), "Not verified (no answer)",
       "Not verified (no answer)"},
      {"switched off", plain_, "--no-verify", Reply(200, known), "Not verified", "Not verified"},
      // Last: the server is busy with it for a while.
      {"an answer too slow", plain_, "", Reply(200, known, 8000), "Not verified (no answer)",
       "Not verified (no answer)"},
  };
  const std::vector<TTrackChecksumResult> sums = SumsOf(disc_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(out_);
    server_.Serve({{path, c.answer}});
    std::string text;
    ASSERT_EQ(Run("--image " + c.image + " --format wav --out " + out_ + " " + c.options, text), 0)
        << text;
    for (int track = 1; track <= 3; ++track) {
      std::string line = "Track0" + std::to_string(track) + ".wav: ok, " + c.word + ",";
      // The shifted image gives silence for the samples past the disc's end.
      if (c.image == plain_) line += " CRC " + CrcText(sums[track - 1].Crc32) + "\n";
      EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
    const std::string log = Text(LogPath());
    EXPECT_NE(log.find(c.verdict), std::string::npos) << log;
    EXPECT_EQ(log.find("Test CRC32") != std::string::npos, c.options == "--test-and-copy");
    EXPECT_NE(log.find(c.options.find("--offset") == std::string::npos
                           ? "Read offset correction: 0 samples (image, 0)"
                           : "Read offset correction: +667 samples (user"),
              std::string::npos)
        << log;
    ASSERT_EQ(Run("--check-log " + LogPath(), text), 0) << text;
    EXPECT_NE(text.find("The log is unchanged"), std::string::npos) << text;
  }
}

TEST_F(CliVerify, WritesTheLogAndCueSheetOrSaysWhyNot) {
  server_.Serve({{ArPathOf(disc_), Reply(200, ArAnswer(disc_, 3))}});
  std::string text;
  ASSERT_EQ(Run("--list --image " + plain_, text), 0) << text;
  const TDiscIds ids = ComputeDiscIds(TocOf(disc_));
  EXPECT_NE(text.find("AccurateRip id: " + ids.ArText()), std::string::npos) << text;
  EXPECT_NE(text.find("CDDB id: " + ids.CddbText()), std::string::npos) << text;

  ASSERT_EQ(Run("--image " + plain_ + " --format wav --out " + out_, text), 0) << text;
  const std::string cue = Text(out_ + "/disc-" + ids.CddbText() + ".cue");
  EXPECT_NE(cue.find("FILE \"Track03.wav\" WAVE\n  TRACK 03 AUDIO"), std::string::npos) << cue;
  std::string log = Text(LogPath());
  log[log.find("matched")] = 'M';
  std::ofstream(LogPath(), std::ios::binary) << log;
  EXPECT_EQ(Run("--check-log " + LogPath(), text), 1);
  EXPECT_NE(text.find("changed after it was written"), std::string::npos) << text;

  // A log that cannot take its place fails the job's end; the audio stays.
  fs::remove(LogPath());
  fs::create_directories(LogPath() + "/in-the-way");
  fs::remove(out_ + "/Track01.wav");
  EXPECT_EQ(Run("--image " + plain_ + " --format wav --out " + out_, text), 1);
  EXPECT_NE(text.find("The rip log was not written"), std::string::npos) << text;
  EXPECT_NE(text.find("Track01.wav: ok, Accurate (confidence 3)"), std::string::npos) << text;
  EXPECT_EQ(fs::file_size(out_ + "/Track01.wav"), 44u + 80 * 2352);
}

}  // namespace
}  // namespace cdx::test
