// MP3 rips by the command-line front end, run as a program on generated
// disc images; the files are read by ffmpeg, ffprobe and mutagen.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "tests/support/Mp3Tools.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

class CliMp3 : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp_.File("drives"));
    std::filesystem::create_directories(temp_.File("none"));
    dm::WriteImage(cue_, tracks_);
  }
  // The front end's command line with only the image as a drive.
  std::string Command(const std::string& args) const {
    return "CDX_NO_DEVICES=1 CDX_DISCS_DIR=" + temp_.File("none") +
           " CDX_DRIVES_DIR=" + temp_.File("drives") + " " + CDX_CLI_FLAT + " --image " + cue_ +
           " --format mp3 --out " + out_ + " " + args;
  }
  int Run(const std::string& args, std::string* output) {
    return RunCommand(Command(args), output);
  }
  std::string File(int track) const { return out_ + "/Track0" + std::to_string(track) + ".mp3"; }
  int64_t TrackFrames(int track) const {
    return int64_t{dm::TrackSectors(tracks_[track - 1])} * dm::kFramesPerSector;
  }

  TTempDir temp_;
  std::vector<dm::TrackSpec> tracks_ = {dm::Sine(150, 440), dm::Data(30), dm::Noise(110, 9, 0.3),
                                        dm::Square(60, 1000, 0.4)};
  std::string cue_ = temp_.File("disc.cue");
  std::string out_ = temp_.File("out");
};

TEST_F(CliMp3, RipsEveryAudioTrackWithItsLengthAndTheTagsGiven) {
  std::string text;
  ASSERT_EQ(Run("--title 'Ein Lied' --artist 'Björk' --album 'Ça ira' --year 2001 --track auto "
                "--comment 'naïve' --genre Jazz",
                &text),
            0)
      << text;
  for (int track : {1, 3, 4}) {
    EXPECT_NE(text.find("Track0" + std::to_string(track) + ".mp3: ok"), std::string::npos) << text;
    const TDecodedMp3 decoded = DecodeMp3(File(track));
    ASSERT_TRUE(decoded.Ok) << decoded.Errors;
    EXPECT_EQ(decoded.SampleRate, 44100);
    EXPECT_EQ(decoded.Channels, 2);
    EXPECT_EQ(decoded.BitRate, 128000);
    EXPECT_NEAR(decoded.Frames, TrackFrames(track), 1152) << track;
    auto view = MutagenView(File(track));
    EXPECT_NEAR(std::stod(view["length"]), TrackFrames(track) / 44100.0, 1152 / 44100.0);
    view.erase("length");
    EXPECT_EQ(view, (std::map<std::string, std::string>{{"mode", "0"},
                                                        {"bitrate_mode", "CBR"},
                                                        {"title", "Ein Lied"},
                                                        {"artist", "Björk"},
                                                        {"album", "Ça ira"},
                                                        {"year", "2001"},
                                                        {"track", std::to_string(track)},
                                                        {"comment", "naïve"},
                                                        {"genre", "Jazz"}}));
  }
  EXPECT_FALSE(std::filesystem::exists(File(2)));
}

TEST_F(CliMp3, EncoderOptionsReachTheFile) {
  const struct {
    const char* args;
    int rate, channels, mode;
    int lowest, highest;  // frame bitrates, kbit/s
    bool crc, copyright, original;
  } cases[] = {
      {"", 44100, 2, 0, 128, 128, false, false, true},
      {"--bitrate 192 --rate 48000 --crc --copyright --no-original", 48000, 2, 0, 192, 192, true,
       true, false},
      {"--bitrate 64 --mode mono --rate 22050 --quality 9", 22050, 1, 3, 64, 64, false, false,
       true},
      {"--mode stereo --rate 44100 --quality 1", 44100, 2, 0, 128, 128, false, false, true},
      {"--vbr --vbr-quality 1 --vbr-min 96 --vbr-max 160 --vbr-header", 44100, 2, 0, 96, 160, false,
       false, true},
      {"--vbr --vbr-min 256 --vbr-max 112 --rate 32000", 32000, 2, 0, 112, 256, false, false, true},
  };
  for (const auto& c : cases) {
    std::string text;
    ASSERT_EQ(Run(std::string("--tracks 3 ") + c.args, &text), 0) << c.args << "\n" << text;
    const TDecodedMp3 decoded = DecodeMp3(File(3));
    ASSERT_TRUE(decoded.Ok) << c.args << decoded.Errors;
    EXPECT_EQ(decoded.SampleRate, c.rate) << c.args;
    EXPECT_EQ(decoded.Channels, c.channels) << c.args;
    EXPECT_NEAR(decoded.Frames, std::lround(TrackFrames(3) * (c.rate / 44100.0)), 1152) << c.args;
    const auto frames = Mp3Frames(ReadFile(File(3)));
    ASSERT_GT(frames.size(), 10u) << c.args;
    int lowest = 1000, highest = 0;
    for (size_t k = 1; k < frames.size(); ++k) {
      // The last frame, mostly the encoder's padding, may go below a
      // variable minimum: the library keeps that minimum for sound only.
      if (k + 1 < frames.size()) lowest = std::min(lowest, frames[k].BitRate);
      highest = std::max(highest, frames[k].BitRate);
      ASSERT_EQ(frames[k].Mode, c.mode) << c.args;
      ASSERT_EQ(frames[k].Crc, c.crc) << c.args;
      ASSERT_EQ(frames[k].Copyright, c.copyright) << c.args;
      ASSERT_EQ(frames[k].Original, c.original) << c.args;
    }
    EXPECT_GE(lowest, c.lowest) << c.args;
    EXPECT_LE(highest, c.highest) << c.args;
    if (c.lowest == c.highest) {
      EXPECT_EQ(lowest, c.lowest) << c.args;
    }
  }
}

TEST_F(CliMp3, BadValuesAndOtherFormatsOptionsAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"--bitrate 100", "bad value for --bitrate: 100"},
      {"--quality 10", "bad value for --quality: 10"},
      {"--quality 0", "bad value for --quality: 0"},
      {"--vbr-min 400", "bad value for --vbr-min: 400"},
      {"--vbr-max 100", "bad value for --vbr-max: 100"},
      {"--mode joint", "bad value for --mode: joint"},
      {"--rate 11025", "bad value for --rate: 11025"},
      {"--level 2000", "--level does not apply to this format"},
      {"--channels 1", "--channels does not apply to this format"}};
  for (const auto& [args, problem] : cases) {
    std::string text;
    EXPECT_EQ(Run(args, &text), 2) << args;
    EXPECT_NE(text.find(problem), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(out_)) << args;
  }
}

TEST_F(CliMp3, AFullDiskFailsTheTrackInOneLineAndKeepsTheEarlierFile) {
  std::filesystem::create_directories(out_);
  WriteFile(File(1), {1, 2, 3});
  std::string text;
  // 20 KiB (the shell counts 512-byte blocks) may be written: track 4 fits,
  // track 1 does not. A real full disk says "No space left" instead.
  const int status = RunCommand("trap '' XFSZ; ulimit -f 40; " + Command("--tracks 1,4"), &text);
  EXPECT_EQ(status, 1) << text;
  const std::string line =
      "Track01.mp3: failed: Cannot write to file \"" + File(1) +
      "\": File too large (no file written; the earlier Track01.mp3 was kept)\n";
  EXPECT_NE(text.find(line), std::string::npos) << text;
  EXPECT_EQ(text.find("Track01.mp3: ok"), std::string::npos) << text;
  EXPECT_NE(text.find("Track04.mp3: ok"), std::string::npos) << "the short track fits: " << text;
  EXPECT_EQ(ReadFile(File(1)), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(PartFilesIn(out_).empty());
}

TEST_F(CliMp3, AnUnwritableFolderFailsEachTrackWithTheReason) {
  std::filesystem::create_directories(temp_.File("file"));
  WriteFile(temp_.File("file/plain"), {0});
  out_ = temp_.File("file/plain");  // a file, not a folder
  std::string text;
  EXPECT_EQ(Run("--tracks 1", &text), 1) << text;
  EXPECT_NE(text.find("Track01.mp3: failed: Cannot create file \"" + File(1) + "\": "),
            std::string::npos)
      << text;
}

TEST(CliMp3Stop, CtrlCLeavesAPlayableFileOfTheAudioSoFar) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("drives"));
  const std::string cue = temp.File("long.cue");
  dm::WriteImage(cue, {dm::Noise(75 * 300, 4, 0.3)});
  const std::string out = temp.File("out");
  const std::string command = "CDX_NO_DEVICES=1 CDX_DISCS_DIR=" + temp.File("none") +
                              " CDX_DRIVES_DIR=" + temp.File("drives") + " exec " + CDX_CLI_FLAT +
                              " --image " + cue + " --format mp3 --vbr --title Cut --out " + out +
                              " >" + temp.File("said") + " 2>&1";
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t rip = -1;
  ASSERT_EQ(posix_spawn(&rip, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ),
            0);
  // Interrupted once it has written some 200 KB of the five minutes.
  auto written = [&] {
    uintmax_t largest = 0;
    std::error_code ec;
    if (std::filesystem::exists(out))
      for (const std::string& part : PartFilesIn(out))
        largest = std::max(largest, std::filesystem::file_size(part, ec));
    return largest;
  };
  bool running = true;
  while (written() < 200000 && (running = waitpid(rip, nullptr, WNOHANG) == 0))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(running) << "the rip ended before it could be interrupted";
  kill(rip, SIGINT);
  int status = 0;
  waitpid(rip, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::vector<uint8_t> output = ReadFile(temp.File("said"));
  const std::string said(output.begin(), output.end());
  EXPECT_NE(said.find("Track01.mp3: stopped\n"), std::string::npos) << said;
  const std::string file = out + "/Track01.mp3";
  const TDecodedMp3 decoded = DecodeMp3(file);
  ASSERT_TRUE(decoded.Ok) << decoded.Errors;
  EXPECT_GT(decoded.Frames, 44100 * 5);
  EXPECT_LT(decoded.Frames, 44100 * 250);
  auto view = MutagenView(file);
  EXPECT_NEAR(std::stod(view["length"]), decoded.Frames / 44100.0, 1152 / 44100.0)
      << "the header frame tells the length of what was written";
  EXPECT_EQ(view["title"], "Cut");
}

}  // namespace
}  // namespace cdx::test
