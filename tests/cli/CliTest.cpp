// The command-line front end, run as a program on generated disc images,
// its files checked byte for byte and by independent tools.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <thread>

#include "cli/Options.h"
#include "extractor/Extractor.h"
#include "tests/support/FlacTools.h"
#include "tests/support/JobOutcomes.h"
#include "tests/support/OggTools.h"
#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp_.Path() + "/drives");
    shelf_ = temp_.File("discs/shelf.cue");
    std::filesystem::create_directories(temp_.Path() + "/discs");
    dm::WriteImage(shelf_, {dm::Sine(10, 440)});
    cue_ = temp_.File("disc.cue");
    dm::WriteImage(cue_, tracks_);
    out_ = temp_.File("out");
  }
  // Runs the front end with one image in its discs folder (drive 0) and
  // no devices; `shell` comes first on the shell's command line.
  int Run(const std::string& args, std::string* output = nullptr, const std::string& shell = "") {
    return RunCommand(shell + Env() + CDX_CLI_FLAT + " " + args, output);
  }
  std::string Env() const {
    return "CDX_ACCURATERIP_URL=http://127.0.0.1:1 CDX_NO_DEVICES=1 CDX_DISCS_DIR=" + temp_.Path() +
           "/discs CDX_DRIVES_DIR=" + temp_.Path() + "/drives ";
  }
  std::vector<uint8_t> Expected(int track) {
    auto starts = dm::StartSectors(tracks_);
    return dm::TrackBytes(tracks_[track - 1], starts[track - 1]);
  }

  TTempDir temp_;
  std::vector<dm::TrackSpec> tracks_ = {dm::Sine(80, 440), dm::Data(30), dm::Noise(41, 9),
                                        dm::Square(10, 1000)};
  std::string shelf_, cue_, out_;
};

TEST_F(Cli, ListsTheImageDriveWithItsTracks) {
  std::string text;
  ASSERT_EQ(Run("--list --image " + cue_, &text), 0) << text;
  EXPECT_NE(text.find("Image: "), std::string::npos) << text;
  EXPECT_NE(text.find("    1  audio       0  00:01.05"), std::string::npos) << text;
  EXPECT_NE(text.find("    2  data       80  00:00.30"), std::string::npos) << text;
  EXPECT_NE(text.find("    4  audio     151  00:00.10"), std::string::npos) << text;
}

// TagLib brings the shared C++ runtime into the program: a copy of its own
// would not share the runtime's state (streams could not format numbers).
TEST(CliProgram, CarriesNoCopyOfTheCxxRuntime) {
  std::string defined;
  ASSERT_EQ(RunCommand("nm --defined-only " CDX_CLI_PATH " | grep -c ' T __cxa_throw$' || true",
                       &defined),
            0);
  EXPECT_EQ(std::stoi(defined), 0) << "the program defines the runtime's own functions";
  std::string libraries;
  ASSERT_EQ(RunCommand("ldd " CDX_CLI_PATH, &libraries), 0);
  EXPECT_NE(libraries.find("libstdc++.so"), std::string::npos) << libraries;
}

TEST_F(Cli, RipsEveryAudioTrackToExactPcmWavFiles) {
  std::string text;
  ASSERT_EQ(Run("--image " + cue_ + " --format wav --out " + out_, &text), 0) << text;
  EXPECT_NE(text.find("Track01.wav: ok"), std::string::npos) << text;
  EXPECT_EQ(text.find("Track02"), std::string::npos) << "data tracks are not ripped by default";
  for (int track : {1, 3, 4}) {
    std::string path = out_ + "/Track0" + std::to_string(track) + ".wav";
    auto file = ReadFile(path);
    auto pcm = Expected(track);
    ASSERT_EQ(file.size(), 44 + pcm.size()) << path;
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(U32(file, 4), pcm.size() + 36);
    EXPECT_EQ(U16(file, 20), 1);
    EXPECT_EQ(U16(file, 22), 2);
    EXPECT_EQ(U32(file, 24), 44100u);
    EXPECT_EQ(U32(file, 28), 176400u);
    EXPECT_EQ(U16(file, 32), 4);
    EXPECT_EQ(U16(file, 34), 16);
    EXPECT_EQ(U32(file, 40), pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44)) << path;
    std::string info;
    EXPECT_EQ(RunCommand("sox --i " + path, &info), 0) << info;
    EXPECT_NE(info.find("44100"), std::string::npos) << info;
    EXPECT_EQ(RunCommand("ffprobe -v error " + path, &info), 0) << info;
    EXPECT_TRUE(info.empty()) << info;
  }
}

TEST_F(Cli, ReportsEachTrackAndFailsWhenOneFails) {
  std::string text;
  EXPECT_EQ(Run("--image " + cue_ + " --tracks 1-2 --format wav --out " + out_, &text), 1);
  EXPECT_NE(text.find("Track01.wav: ok"), std::string::npos) << text;
  EXPECT_NE(text.find("Track02.wav: failed: Trying to rip a data track (no file written)\n"),
            std::string::npos)
      << text;
}

// Track 3 is cut short, track 4 missing: the disc is the first two.
TEST_F(Cli, AnImageShorterThanItsSheetHasOnlyTheTracksItHoldsWhole) {
  auto bin = temp_.File("disc.bin");
  std::filesystem::resize_file(bin, (80 + 30 + 20) * dm::kSectorBytes);
  const std::string lost =
      "disc.bin ends at sector 130 but track 4 starts at 151, so tracks 3 to 4 are missing";
  std::string text;
  EXPECT_EQ(Run("--image " + cue_ + " --tracks 1,3 --format wav --out " + out_, &text), 1) << text;
  EXPECT_EQ(text,
            "cd-extractor-cli: the disc has no track 3; its tracks are 1 to 2 (data track: 2) (" +
                lost + ")\n");
  EXPECT_EQ(Run("--list --image " + cue_, &text), 0) << text;
  EXPECT_NE(text.find("    2  data       80  00:00.30\n  " + lost + "\n"), std::string::npos)
      << text;
  EXPECT_EQ(Run("--image " + cue_ + " --format wav --out " + out_, &text), 1) << text;
  EXPECT_EQ(text.rfind("cd-extractor-cli: " + lost + "\nTrack01.wav: ok", 0), 0u) << text;
  const auto file = ReadFile(out_ + "/Track01.wav");
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + std::min<size_t>(44, file.size()), file.end()),
            Expected(1));
}

TEST_F(Cli, AdpcmFilesOpenInAnIndependentDecoder) {
  std::string text;
  ASSERT_EQ(
      Run("--image " + cue_ + " --tracks 1 --format wav --wav-type adpcm --out " + out_, &text), 0)
      << text;
  std::string info;
  EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=codec_name,channels,sample_rate "
                       "-of compact " +
                           out_ + "/Track01.wav",
                       &info),
            0);
  EXPECT_NE(info.find("codec_name=adpcm_ima_wav"), std::string::npos) << info;
  EXPECT_NE(info.find("sample_rate=44100"), std::string::npos) << info;
}

TEST_F(Cli, ConvertersFollowTheWavOptions) {
  std::string text;
  ASSERT_EQ(Run("--image " + cue_ +
                    " --tracks 1 --format wav --rate 22050 --channels 1 "
                    "--bits 8 --out " +
                    out_,
                &text),
            0)
      << text;
  std::string info;
  ASSERT_EQ(RunCommand("sox --i " + out_ + "/Track01.wav", &info), 0) << info;
  EXPECT_NE(info.find("Channels       : 1"), std::string::npos) << info;
  EXPECT_NE(info.find("Sample Rate    : 22050"), std::string::npos) << info;
  EXPECT_NE(info.find("Precision      : 8-bit"), std::string::npos) << info;
  // 80 sectors of 588 frames, halved by the rate, one byte per frame.
  auto file = ReadFile(out_ + "/Track01.wav");
  EXPECT_EQ(U32(file, 40), 80u * 588 / 2);
}

TEST_F(Cli, ApeFilesDecodeBackToTheTrack) {
  std::string text;
  ASSERT_EQ(Run("--image " + cue_ + " --tracks 3 --format ape --level 4000 --out " + out_, &text),
            0)
      << text;
  std::string raw = out_ + "/Track03.raw", errors;
  ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -err_detect crccheck+explode -i " + out_ +
                           "/Track03.ape -f s16le " + raw,
                       &errors),
            0)
      << errors;
  EXPECT_TRUE(errors.empty()) << errors;
  EXPECT_EQ(ReadFile(raw), Expected(3));

  ASSERT_EQ(
      Run("--image " + cue_ + " --tracks 1 --format ape --channels 1 --rate 11025 --out " + out_,
          &text),
      0)
      << text;
  std::string info;
  RunCommand("ffprobe -v error -show_entries stream=channels,sample_rate -of compact " + out_ +
                 "/Track01.ape",
             &info);
  EXPECT_NE(info.find("sample_rate=11025|channels=1"), std::string::npos) << info;
}

TEST_F(Cli, FlacFilesPassFlacTestAndDecodeToTheTracks) {
  std::string text;
  ASSERT_EQ(Run("--image " + cue_ + " --format flac --out " + out_, &text), 0) << text;
  for (int track : {1, 3, 4}) {
    const std::string path = out_ + "/Track0" + std::to_string(track) + ".flac";
    EXPECT_NE(text.find("Track0" + std::to_string(track) + ".flac: ok"), std::string::npos) << text;
    std::string errors;
    EXPECT_TRUE(FlacTestPasses(path, &errors)) << path << errors;
    EXPECT_TRUE(DecodeFlac(path) == Expected(track)) << path;
    auto info = FlacStreamInfo(path);
    EXPECT_EQ(info["total samples"], std::to_string(Expected(track).size() / 4)) << path;
    EXPECT_EQ(info["MD5 signature"], Md5Hex(Expected(track))) << path;
  }
}

// Each way to choose the encoder's settings on the command line gives the
// frames of the flac command that users know for it.
TEST_F(Cli, FlacOptionsGiveTheFramesOfTheFlacCommand) {
  // A chord over coloured noise that is the same in both channels for
  // 50 ms, then different for 50 ms: the levels' predictors, windows,
  // stereo modes and model search all leave their mark on such audio.
  // 88200 frames fill whole sectors.
  const std::vector<int16_t> root = SineWave(88200, 1, 523.25, 44100, 6000),
                             third = SineWave(88200, 1, 659.25, 44100, 4000),
                             fifth = SineWave(88200, 1, 783.99, 44100, 3000),
                             hissLeft = Noise(88200, 1, 11, 1500),
                             hissRight = Noise(88200, 1, 12, 1500);
  std::vector<int16_t> samples;
  double left = 0, right = 0;
  for (size_t f = 0; f < root.size(); ++f) {
    left = 0.9 * left + hissLeft[f];
    right = 0.9 * right + hissRight[f];
    const bool shared = (f / 2205) % 2;
    const double chord = root[f] + third[f] + fifth[f];
    for (double sample : {chord + left, chord + (shared ? left : right)})
      samples.push_back(static_cast<int16_t>(std::clamp(sample, -32768.0, 32767.0)));
  }
  const std::string pcm = temp_.File("music.raw"), cue = temp_.File("music.cue");
  WriteFile(pcm, PcmBytes(samples));
  dm::WriteImage(cue, {dm::Raw(pcm)});
  const struct {
    const char* ours;
    const char* reference;
  } cases[] = {
      {"", "-b 4608 -m -l 0 -r 0"},
      {"--level 0", "-0"},
      {"--level 1", "-1"},
      {"--level 2", "-2"},
      {"--level 3", "-3"},
      {"--level 4", "-4"},
      {"--level 5", "-5"},
      {"--level 6", "-6"},
      {"--level 7", "-7"},
      {"--level 8", "-8"},
      // The search turns plain mid-side stereo on, as the dialog's does.
      {"--level 3 --best-model-search", "-3 -e -m"},
      {"--level 5 --best-model-search", "-5 -e -m"},
      {"--level 8 --best-model-search", "-8 -e -m"},
      {"--best-model-search --level 1", "-1 -e -m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ours);
    std::string text;
    ASSERT_EQ(Run("--image " + cue + " --format flac " + c.ours + " --out " + out_, &text), 0)
        << text;
    const std::string reference = temp_.File("reference.flac");
    ASSERT_EQ(RunCommand(std::string("flac -s -f --force-raw-format --endian=little ") +
                             "--sign=signed --channels=2 --bps=16 --sample-rate=44100 " +
                             c.reference + " -o " + reference + " " + pcm,
                         &text),
              0)
        << text;
    const std::vector<uint8_t> frames = FlacFrames(out_ + "/Track01.flac");
    EXPECT_FALSE(frames.empty());
    EXPECT_TRUE(frames == FlacFrames(reference));
  }
}

TEST_F(Cli, OggRipsAreCleanWholeAndCarryTheirCommentsOnce) {
  std::string text;
  ASSERT_EQ(Run("--image " + cue_ + " --tracks 1,3 --format ogg --comment TITLE=Sea --comment " +
                    "'ARTIST=A B' --comment title=x --out " + out_,
                &text),
            0)
      << text;
  EXPECT_NE(text.find("Track03.ogg: ok"), std::string::npos) << text;
  for (int track : {1, 3}) {
    const std::string file = out_ + "/Track0" + std::to_string(track) + ".ogg";
    const TOggInfo info = OggInfo(file);
    EXPECT_TRUE(info.Clean()) << info.Output;
    ASSERT_EQ(info.Streams.size(), 1u) << info.Output;
    EXPECT_EQ(info.Streams[0].Channels, 2);
    EXPECT_EQ(info.Streams[0].Rate, 44100);
    EXPECT_EQ(DecodeWithOggdec(file).size(), Expected(track).size()) << file;
    // The same comments in every file: none left over from the track before.
    EXPECT_EQ(VorbisCommentsOf(file),
              (std::vector<std::string>{"TITLE=Sea", "ARTIST=A B", "title=Sea",
                                        "COMMENT=Made with Quorvelle"}))
        << file;
  }
}

TEST_F(Cli, OggOptionsGiveTheirModeAndChannels) {
  const struct {
    const char* options;
    int channels;
    double nominal, upper, lower;  // kb/s as ogginfo reports them, -1 not set
  } cases[] = {
      {"", 2, 96, -1, -1},
      {"--quality 0.5", 2, 160, -1, -1},
      {"--quality 0", 2, 64, -1, -1},
      {"--nominal 128", 2, 128, 128, 128},
      {"--min 64 --max 192 --nominal 128", 2, 128, 192, 64},
      {"--nominal 128 --max 96", 2, 128, 128, 128},
      {"--max 192", 2, 96, -1, -1},
      {"--nominal 112 --channels 1", 1, 112, 112, 112},
      {"--nominal auto --max 192 --min 64 --channels 2", 2, 96, -1, -1},
  };
  for (const auto& c : cases) {
    std::string text;
    const std::string file = out_ + "/Track04.ogg";
    ASSERT_EQ(
        Run("--image " + cue_ + " --tracks 4 --format ogg " + c.options + " --out " + out_, &text),
        0)
        << c.options << text;
    const TOggInfo info = OggInfo(file);
    EXPECT_TRUE(info.Clean()) << c.options << info.Output;
    ASSERT_EQ(info.Streams.size(), 1u) << c.options << info.Output;
    const TOggStream& s = info.Streams[0];
    EXPECT_EQ(s.Channels, c.channels) << c.options;
    EXPECT_EQ(static_cast<int>(s.Nominal), c.nominal) << c.options;
    EXPECT_EQ(s.Upper, c.upper) << c.options;
    EXPECT_EQ(s.Lower, c.lower) << c.options;
    EXPECT_EQ(DecodeWithOggdec(file).size(), Expected(4).size() / (3 - c.channels)) << c.options;
  }
}

// The Opus options reach the encoder: opusinfo finds each file clean, in
// the channels asked for and, in CBR, at the bitrate asked for; opusdec
// gives the track's length at 48 kHz, and the very samples of opusenc at
// the same settings on the same PCM.
TEST_F(Cli, OpusOptionsReachTheEncoder) {
  const struct {
    const char* options;
    int channels;
    int cbrKbps;          // 0: a variable bitrate
    const char* opusenc;  // the same settings; null: no stereo to compare
  } cases[] = {
      {"", 2, 0, "--bitrate 128 --vbr --comp 10"},
      {"--bitrate 64 --vbr-mode cbr --channels 1", 1, 64, nullptr},
      {"--bitrate 200 --vbr-mode cbr --complexity 0", 2, 200, "--bitrate 200 --hard-cbr --comp 0"},
      {"--vbr-mode cvbr --bitrate 6 --channels 2", 2, 0, "--bitrate 6 --cvbr --comp 10"},
  };
  const std::string file = out_ + "/Track01.opus", pcm = temp_.File("track.raw");
  WriteFile(pcm, Expected(1));
  auto decode = [](const std::string& opus, const char* rate) {
    RunCommand("opusdec --quiet --no-dither " + std::string(rate) + " '" + opus + "' '" + opus +
               ".raw'");
    return ReadFile(opus + ".raw");
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    std::string text;
    ASSERT_EQ(
        Run("--image " + cue_ + " --tracks 1 --format opus " + c.options + " --out " + out_, &text),
        0)
        << text;
    TOggInfo info;
    info.Status = RunCommand("opusinfo '" + file + "'", &info.Output);
    EXPECT_TRUE(info.Clean()) << info.Output;
    EXPECT_NE(info.Output.find("Channels: " + std::to_string(c.channels) + "\n"), std::string::npos)
        << info.Output;
    EXPECT_EQ(info.Output.find("(hard-CBR)") != std::string::npos, c.cbrKbps > 0) << info.Output;
    const size_t rate = info.Output.find("w/o overhead: ");
    ASSERT_NE(rate, std::string::npos) << info.Output;
    // Within the rounding of a short track to whole packets.
    if (c.cbrKbps > 0) {
      EXPECT_NEAR(std::atof(info.Output.c_str() + rate + 14), c.cbrKbps, c.cbrKbps / 25.0);
    }
    const int64_t frames = static_cast<int64_t>(Expected(1).size()) / 4;
    EXPECT_EQ(static_cast<int64_t>(decode(file, "--rate 48000").size()),
              (frames * 48000 + 44099) / 44100 * 2 * c.channels);
    if (!c.opusenc) continue;
    const std::string reference = temp_.File("reference.opus");
    ASSERT_EQ(RunCommand("opusenc --quiet " + std::string(c.opusenc) +
                             " --raw --raw-bits 16 --raw-chan 2 --raw-rate 44100 '" + pcm + "' '" +
                             reference + "'",
                         &text),
              0)
        << text;
    EXPECT_TRUE(decode(file, "") == decode(reference, "")) << "not the samples of opusenc";
  }
}

TEST_F(Cli, OggSetUpTheEncoderRefusesFailsTheTrackWithItsReason) {
  std::string text;
  EXPECT_EQ(
      Run("--image " + cue_ + " --tracks 4 --format ogg --channels 1 --nominal 320 --out " + out_,
          &text),
      1);
  EXPECT_NE(text.find("Track04.ogg: failed: The Ogg Vorbis encoder refused the managed mode at "
                      "nominal 320000, maximum 320000 and minimum 320000 bit/s for 44100 Hz mono."),
            std::string::npos)
      << text;
  EXPECT_FALSE(std::filesystem::exists(out_ + "/Track04.ogg"));
  EXPECT_TRUE(PartFilesIn(out_).empty());
}

// The command line of a rip of `cue`'s track 1 into `out`, for the shell.
std::string RipCommand(const std::string& temp, const std::string& cue, const std::string& out,
                       const std::string& format = "wav") {
  return "CDX_NO_DEVICES=1 CDX_DISCS_DIR=" + temp + "/none CDX_DRIVES_DIR=" + temp +
         "/drives exec " + CDX_CLI_FLAT + " --image " + cue + " --tracks 1 --format " + format +
         " --out " + out + " >/dev/null 2>&1";
}

pid_t Spawn(const std::string& command) {
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t pid = -1;
  posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ);
  return pid;
}

int ExitStatus(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Cli, ListNamesTheImagesItSkipsAndWhyAndNeverOpensAFifo) {
  const std::string discs = temp_.File("discs");
  std::filesystem::create_directories(discs + "/folder.bin");
  dm::WriteImage(discs + "/good.cue", tracks_);
  std::filesystem::copy_file(cue_, discs + "/folder.cue");
  ASSERT_EQ(mkfifo((discs + "/fifo.cue").c_str(), 0600), 0);
  const std::string env = "CDX_NO_DEVICES=1 CDX_DISCS_DIR=" + discs +
                          " CDX_DRIVES_DIR=" + temp_.Path() + "/drives timeout 60 ";
  std::string text;
  ASSERT_EQ(RunCommand(env + CDX_CLI_FLAT + " --list", &text), 0) << text;
  EXPECT_NE(text.find("good.cue)"), std::string::npos) << text;
  EXPECT_NE(text.find("Skipped " + discs + "/fifo.cue: it is a FIFO, not a file"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Skipped " + discs + "/folder.cue: its data file " + discs +
                      "/folder.bin is a folder"),
            std::string::npos)
      << text;
  EXPECT_EQ(RunCommand(env + CDX_CLI_FLAT + " --list --image " + discs + "/fifo.cue", &text), 1);
  EXPECT_NE(text.find("cannot read the disc image " + discs + "/fifo.cue: it is a FIFO"),
            std::string::npos)
      << text;
}

uintmax_t LargestPartFile(const std::string& folder) {
  uintmax_t largest = 0;
  std::error_code ec;
  for (const std::string& part : PartFilesIn(folder))
    largest = std::max(largest, std::filesystem::file_size(part, ec));
  return largest;
}

TEST(CliFiles, AKilledRipNeverLeavesACutOffFileUnderTheTracksName) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("drives"));
  std::filesystem::create_directories(temp.File("out"));
  const std::string cue = temp.File("long.cue");
  dm::WriteImage(cue, {dm::Noise(75 * 300, 4)});
  const std::string track = temp.File("out/Track01.wav");
  WriteFile(track, {1, 2, 3, 4});
  pid_t rip = Spawn(RipCommand(temp.Path(), cue, temp.File("out")));
  ASSERT_GT(rip, 0);
  // Killed once it has written a few seconds of the five minutes, wherever
  // it writes them.
  auto written = [&] {
    std::error_code ec;
    return std::max(LargestPartFile(temp.File("out")), std::filesystem::file_size(track, ec));
  };
  bool running = true;
  while (written() < 1000000 && (running = waitpid(rip, nullptr, WNOHANG) == 0))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(rip, SIGKILL);
  waitpid(rip, nullptr, 0);
  ASSERT_TRUE(running) << "the rip ended before it could be killed";
  EXPECT_EQ(ReadFile(track), (std::vector<uint8_t>{1, 2, 3, 4})) << "the earlier file was lost";
}

TEST(CliFiles, TwoRipsOfDifferentDiscsIntoOneFolderLeaveOneWholeTrack) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("drives"));
  std::vector<std::vector<uint8_t>> tracks;
  std::vector<pid_t> rips;
  for (uint32_t seconds : {20, 10}) {
    const std::string cue = temp.File("disc" + std::to_string(seconds) + ".cue");
    const dm::TrackSpec track = dm::Noise(75 * seconds, seconds);
    dm::WriteImage(cue, {track});
    tracks.push_back(dm::TrackBytes(track, 0));
    rips.push_back(Spawn(RipCommand(temp.Path(), cue, temp.File("out"))));
  }
  for (pid_t rip : rips) EXPECT_EQ(ExitStatus(rip), 0);
  // Whichever finished last, never a mix of the two.
  const auto file = ReadFile(temp.File("out/Track01.wav"));
  ASSERT_GE(file.size(), 44u);
  const std::vector<uint8_t> audio(file.begin() + 44, file.end());
  EXPECT_TRUE(audio == tracks[0] || audio == tracks[1]) << "the file mixes both discs";
  EXPECT_EQ(U32(file, 40), audio.size());
  EXPECT_TRUE(PartFilesIn(temp.File("out")).empty());
}

// Each case: the command line, the exit status, and a line of the output.
// A bad command line (status 2) must print only its problem and where to
// find help, and write nothing.
TEST_F(Cli, CommandLinesGiveTheirStatusAndLine) {
  const std::string image = "--image " + cue_ + " ", out = " --out " + out_;
  const std::string noWrites = "trap '' XFSZ; ulimit -f 0; ";
  const std::string shelfLine = "Drive 0: " + temp_.Path() + "/drives/shelf/  (" +
                                std::filesystem::canonical(shelf_).string() + ")";
  const struct {
    std::string args;
    int status;
    std::string line;
    std::string shell = "";    // before the command, in the shell
    std::string earlier = "";  // a file of the output folder made before
  } cases[] = {
      {"--version", 0, "cd-extractor-cli " CDX_VERSION},
      {"--format wav", 2, "a rip needs --format and --out"},
      {"--bogus", 2, "unknown option: --bogus"},
      {"--image /nonexistent.cue --format wav" + out, 2,
       "cannot open the disc image /nonexistent.cue: there is no such file"},
      {image + "--format wav --out " + out_ + "/plain/sub", 1,
       "cd-extractor-cli: cannot use --out " + out_ + "/plain/sub: " + out_ +
           "/plain is a file, not a folder",
       "", "plain"},
      {image + "--format wav --out /proc/cdx-out", 1,
       "cd-extractor-cli: cannot create the output folder /proc/cdx-out: No such file or "
       "directory"},
      {image + "--format wav --wav-type mp3" + out, 2, "bad value for --wav-type: mp3"},
      {image + "--tracks 3-1 --format wav" + out, 2, "bad track list: 3-1"},
      {image + "--format ape --bits 8" + out, 2, "--bits does not apply to this format"},
      {image + "--format wav --level 1000" + out, 2, "--level does not apply to this format"},
      {image + "--format flac --rate 88200" + out, 2, "bad value for --rate: 88200"},
      {image + "--format flac --level 9" + out, 2, "bad value for --level: 9"},
      {image + "--format ape --best-model-search" + out, 2,
       "--best-model-search does not apply to this format"},
      {image + "--format wav --comment A=b" + out, 2, "--comment does not apply to this format"},
      {image + "--format ogg --nominal 100" + out, 2, "bad value for --nominal: 100"},
      {image + "--format ogg --max 0" + out, 2, "bad value for --max: 0"},
      {image + "--format ogg --min automatic" + out, 2, "bad value for --min: automatic"},
      {image + "--format ogg --quality 1.01" + out, 2, "bad value for --quality: 1.01"},
      {image + "--format ogg --channels 3" + out, 2, "bad value for --channels: 3"},
      {image + "--format ogg --nominal 128 --nominal 128" + out, 2, "--nominal given twice"},
      {image + "--drive 0 --format wav" + out, 2, "--drive and --image exclude each other"},
      {image + "--drive 0 --list", 2, "--drive and --image exclude each other"},
      {image + "--format wav --format ape" + out, 2, "--format given twice"},
      {image + "--format wav --rate 8000 --rate 8000" + out, 2, "--rate given twice"},
      {image + "--format wav --bits 08 --wav-type adpcm" + out, 2,
       "--bits 8 and --wav-type adpcm exclude each other: IMA ADPCM is coded from 16-bit "
       "samples (4 bits each)"},
      {image + "--list --format wav", 2, "--list rips nothing, so it takes no --format"},
      {image + "--tracks 1,3-9 --format wav" + out, 2,
       "the disc has no tracks 5-9; its tracks are 1 to 4 (data track: 2)"},
      {"--tracks 2 --format wav" + out, 2, "the disc has no track 2; its only track is 1"},
      {"--drive 7 --format wav" + out, 2, "there is no drive 7; the only drive is 0"},
      // A drive is listed under what chooses it again.
      {"--list", 0, shelfLine},
      {"--list --image " + shelf_, 0, shelfLine},
      {"--list --image " + cue_, 0,
       "Image: " + temp_.Path() + "/drives/disc/  (" + std::filesystem::canonical(cue_).string() +
           ")"},
      {image + "--tracks 2 --format wav" + out, 1,
       "Track02.wav: failed: Trying to rip a data track (no file written)"},
      {image + "--tracks 2 --format wav" + out, 1,
       "Track02.wav: failed: Trying to rip a data track (no file written; the earlier "
       "Track02.wav was kept)",
       "", "Track02.wav"},
      // A message of two lines, on the track's one line.
      {image + "--tracks 4 --format ape" + out, 1,
       "Track04.ape: failed: Error finishing APECompress; I/O write error (no file written)",
       noWrites},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(out_);
    if (!c.earlier.empty()) {
      std::filesystem::create_directories(out_);
      WriteFile(out_ + "/" + c.earlier, {1, 2, 3});
    }
    std::string text;
    EXPECT_EQ(Run(c.args, &text, c.shell), c.status) << c.args << "\n" << text;
    if (c.status == 2) {
      EXPECT_EQ(text, "cd-extractor-cli: " + c.line + "\nTry 'cd-extractor-cli --help'.\n")
          << c.args;
      EXPECT_FALSE(std::filesystem::exists(out_)) << c.args;
    } else {
      EXPECT_NE(("\n" + text).find("\n" + c.line + "\n"), std::string::npos) << c.args << "\n"
                                                                             << text;
    }
  }
}

// The audio tracks of discs whose data tracks come first, in the middle
// or last are listed and ripped bit-exact; a data track asked for fails.
TEST_F(Cli, MixedModeDiscsGiveTheirAudioTracksExactly) {
  const struct {
    const char* layout;
    std::vector<dm::TrackSpec> tracks;
    int data;  // the first data track
  } discs[] = {
      {"data first", {dm::Data(300), dm::Sine(60, 440), dm::Noise(45, 7)}, 1},
      {"data in the middle", {dm::Noise(45, 3), dm::Data(200), dm::Square(60, 880)}, 2},
      {"data last", {dm::Sine(60, 440), dm::Noise(45, 5), dm::Data(300), dm::Data(100)}, 3},
  };
  for (const auto& d : discs) {
    SCOPED_TRACE(d.layout);
    const std::string cue = temp_.File("mixed.cue");
    dm::WriteImage(cue, d.tracks);
    std::filesystem::remove_all(out_);
    std::string text;
    ASSERT_EQ(Run("--image " + cue + " --format wav --out " + out_, &text), 0) << text;
    const auto starts = dm::StartSectors(d.tracks);
    for (size_t k = 0; k < d.tracks.size(); ++k) {
      const std::string file = out_ + "/Track0" + std::to_string(k + 1) + ".wav";
      if (d.tracks[k].kind != dm::TrackKind::Audio) {
        EXPECT_FALSE(std::filesystem::exists(file)) << file;
        continue;
      }
      const auto bytes = ReadFile(file);
      ASSERT_GT(bytes.size(), 44u) << file;
      EXPECT_TRUE(std::vector<uint8_t>(bytes.begin() + 44, bytes.end()) ==
                  dm::TrackBytes(d.tracks[k], starts[k]))
          << file;
    }
    EXPECT_EQ(Run("--image " + cue + " --tracks " + std::to_string(d.data) +
                      " --format wav --out " + out_,
                  &text),
              1);
    EXPECT_NE(text.find("failed: Trying to rip a data track"), std::string::npos) << text;
  }
}

// One reason per kind of damage, naming the file at fault, whether the
// image is given with --image (exit 1: the command line is right, the disc
// cannot be read) or lies in a discs folder (skipped, with the reason).
TEST_F(Cli, EachKindOfBrokenImageSaysWhatIsWrongWithIt) {
  namespace fs = std::filesystem;
  const std::string discs = temp_.File("discs"), cue = discs + "/x.cue", bin = discs + "/x.bin";
  auto edit = [&](const std::string& from, const std::string& to) {
    const auto bytes = ReadFile(cue);
    std::string text(bytes.begin(), bytes.end());
    ASSERT_NE(text.find(from), std::string::npos) << text;
    text.replace(text.find(from), from.size(), to);
    WriteFile(cue, std::vector<uint8_t>(text.begin(), text.end()));
  };
  auto write = [&](const std::string& text) {
    WriteFile(cue, std::vector<uint8_t>(text.begin(), text.end()));
  };
  const struct {
    const char* kind;
    std::function<void()> damage;
    std::string reason;
  } cases[] = {
      {"missing BIN", [&] { fs::remove(bin); },
       "the data file " + bin + " named by x.cue does not exist"},
      {"empty CUE", [&] { write(" \n"); }, "x.cue is empty"},
      {"garbage CUE",
       [&] {
         write(
             std::string("\x7f"
                         "ELF\x02\x01\x01\0\0",
                         9));
       },
       "x.cue is no CUE sheet: it holds binary data"},
      {"text that is no sheet", [&] { write("hello world\n"); },
       "x.cue line 1: \"hello\" is no CUE sheet command"},
      {"100 MB CUE", [&] { fs::resize_file(cue, 100 << 20); },
       "x.cue is 100 MB, far too large for a CUE sheet"},
      {"TRACK 00", [&] { edit("TRACK 01", "TRACK 00"); },
       "x.cue line 2: TRACK 00 is not a track number"},
      {"TRACK 150", [&] { edit("TRACK 03", "TRACK 150"); },
       "x.cue line 6: TRACK 150 is not a track number"},
      {"a track left out", [&] { edit("TRACK 03", "TRACK 04"); },
       "x.cue line 6: TRACK 04 does not follow TRACK 02"},
      {"backwards time", [&] { edit("00:02:50", "00:00:50"); },
       "x.cue line 7: INDEX 01 00:00:50 comes before the time of the line before it"},
      {"FILE ... WAVE", [&] { edit("BINARY", "WAVE"); },
       "x.cue line 1: FILE \"x.bin\" WAVE: only a BINARY data file (raw sectors) can be read, "
       "not a WAVE file"},
      {"BIN shorter than track 1", [&] { fs::resize_file(bin, 50 * dm::kSectorBytes); },
       "x.bin ends at sector 50 but track 2 starts at 100, so tracks 1 to 3 are missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    dm::WriteImage(cue, {dm::Sine(100, 440), dm::Noise(100, 2), dm::Sine(100, 660)});
    c.damage();
    std::string text;
    EXPECT_EQ(Run("--image " + cue + " --format wav --out " + out_, &text), 1) << text;
    EXPECT_EQ(text, "cd-extractor-cli: cannot read the disc image " + cue + ": " + c.reason + "\n");
    EXPECT_FALSE(fs::exists(out_));
    EXPECT_EQ(Run("--list", &text), 0) << text;
    EXPECT_NE(text.find("Skipped " + cue + ": " + c.reason + "\n"), std::string::npos) << text;
  }
}

// Ctrl-C in the first of three tracks: that one stops with a file, the
// others are named as not ripped.
TEST_F(Cli, AnInterruptedRipSaysWhichTracksItDidNotReach) {
  const std::string cue = temp_.File("long.cue"), log = temp_.File("log");
  dm::WriteImage(cue, {dm::Silence(75 * 600), dm::Sine(10, 440), dm::Sine(10, 440)});
  std::filesystem::create_directories(out_);
  pid_t rip = Spawn(Env() + "exec " + CDX_CLI_FLAT + " --image " + cue + " --format wav --out " +
                    out_ + " >" + log + " 2>&1");
  ASSERT_GT(rip, 0);
  // Interrupted once the first track's file holds audio past its header.
  bool running = true;
  while (LargestPartFile(out_) <= 44 && (running = waitpid(rip, nullptr, WNOHANG) == 0))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(rip, SIGINT);
  const int status = ExitStatus(rip);
  ASSERT_TRUE(running) << "the rip ended before it could be interrupted";
  const auto bytes = ReadFile(log);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(status, 130) << text;
  EXPECT_EQ(text, "Track01.wav: stopped\nTrack02.wav: not ripped\nTrack03.wav: not ripped\n");
  EXPECT_TRUE(std::filesystem::exists(out_ + "/Track01.wav"));
  EXPECT_FALSE(std::filesystem::exists(out_ + "/Track02.wav"));
}

// The command line's side of the table the window is checked against too.
TEST_F(Cli, EachKindOfTrackHasTheOutcomeOfTheWindow) {
  dm::WriteImage(cue_, OutcomeDisc());
  for (const TOutcomeCase& c : OutcomeCases()) {
    SCOPED_TRACE(c.Name);
    std::filesystem::remove_all(out_);
    std::filesystem::create_directories(out_);
    const std::string log = temp_.File("log"), name = "Track0" + std::to_string(c.Track) + ".wav";
    const std::string limit =
        c.Provoke == TOutcomeCase::DiskFull ? "trap '' XFSZ; ulimit -f 195; " : "";
    if (c.Provoke == TOutcomeCase::StopOverEarlier) WriteFile(out_ + "/" + name, EarlierFile());
    const bool beforeAudio = c.Provoke == TOutcomeCase::StopBeforeAudio;
    // Paced, so that Ctrl-C comes while the track is read, or, at 48x,
    // during the drive's spin-up of more than a second.
    pid_t rip = Spawn(limit + "CDX_IMAGE_SPEED=" + (beforeAudio ? "48 " : "8 ") + Env() + "exec " +
                      CDX_CLI_FLAT + " --image " + cue_ + " --tracks " + std::to_string(c.Track) +
                      " --format wav --out " + out_ + " >" + log + " 2>&1");
    // A SIGTERM over the earlier file, Ctrl-C otherwise.
    const int signal = c.Provoke == TOutcomeCase::StopOverEarlier ? SIGTERM : SIGINT;
    if (c.Kind != TOutcomeKind::Written && c.Kind != TOutcomeKind::Failed) {
      // Past the WAV header unless the stop must come before any audio.
      while ((beforeAudio ? PartFilesIn(out_).empty() : LargestPartFile(out_) <= 44) &&
             waitpid(rip, nullptr, WNOHANG) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (!beforeAudio) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      kill(rip, signal);
    }
    const int status = ExitStatus(rip);
    const auto bytes = ReadFile(log);
    const std::string text(bytes.begin(), bytes.end());
    switch (c.Kind) {
      case TOutcomeKind::Written:
        // Offline: the database's word says so, and the CRC follows.
        EXPECT_TRUE(text.rfind(name + ": ok, Not verified (no answer), CRC ", 0) == 0) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_EQ(status, 0);
        break;
      case TOutcomeKind::Stopped:
        EXPECT_EQ(text, name + ": stopped\n");
        EXPECT_EQ(status, 130);
        break;
      case TOutcomeKind::StoppedBeside: {
        std::smatch said;
        ASSERT_TRUE(std::regex_match(text, said,
                                     std::regex("Track02.wav: stopped at ([0-9]+) %, kept as "
                                                "(Track02 \\(stopped at \\1 %\\)\\.wav); the "
                                                "earlier Track02.wav was kept\n")))
            << text;
        EXPECT_EQ(ReadFile(out_ + "/" + name), EarlierFile());
        const auto kept = ReadFile(out_ + "/" + said[2].str());
        const auto disc = OutcomeDisc();
        const auto pcm = dm::TrackBytes(disc[1], dm::StartSectors(disc)[1]);
        ASSERT_GT(kept.size(), 44u);
        EXPECT_TRUE(kept.size() < 44 + pcm.size() &&
                    std::equal(kept.begin() + 44, kept.end(), pcm.begin()));
        EXPECT_EQ(status, 143);
        break;
      }
      case TOutcomeKind::StoppedEmpty:
        EXPECT_EQ(text, name + ": stopped before any audio (no file written)\n");
        EXPECT_FALSE(std::filesystem::exists(out_ + "/" + name));
        EXPECT_TRUE(PartFilesIn(out_).empty());
        EXPECT_EQ(status, 130);
        break;
      case TOutcomeKind::Failed:
        // A track the disc lacks is a bad command line here: nothing is ripped.
        EXPECT_NE(text.find(c.Reason), std::string::npos) << text;
        EXPECT_EQ(status, c.Track > 4 ? 2 : 1) << text;
        break;
    }
  }
}

TEST_F(Cli, HelpDescribesTheOptionsOfEachFormatThatCanBeWritten) {
  std::string text;
  ASSERT_EQ(Run("--help", &text), 0) << text;
  EXPECT_NE(text.find("FORMAT  wav, mp3, ogg, flac, ape or opus\n"), std::string::npos) << text;
  const size_t wav = text.find("wav options:"), mp3 = text.find("mp3 options:"),
               ogg = text.find("ogg options:"), flac = text.find("flac options:"),
               ape = text.find("ape options:"), opus = text.find("opus options:");
  ASSERT_NE(wav, std::string::npos) << text;
  ASSERT_NE(mp3, std::string::npos) << text;
  ASSERT_LT(mp3, ogg) << text;
  ASSERT_LT(ogg, flac) << text;
  ASSERT_LT(flac, ape) << text;
  ASSERT_LT(ape, opus) << text;
  ASSERT_NE(opus, std::string::npos) << text;
  EXPECT_GT(text.find("--bits 8|16", wav), wav) << text;
  for (const char* option : {"--bitrate 32|40|",
                             "--quality 1..9",
                             "--vbr ",
                             "--vbr-quality 1..9",
                             "--vbr-min 32|40|",
                             "--vbr-max 32|40|",
                             "--vbr-header",
                             "--mode stereo|mono",
                             "--rate 22050|32000|44100|48000|default",
                             "--crc",
                             "--copyright",
                             "--no-original",
                             "--title TEXT",
                             "--artist TEXT",
                             "--album TEXT",
                             "--year TEXT",
                             "--track N|auto",
                             "--comment TEXT",
                             "--genre TEXT",
                             "--title-from-name",
                             "--increment-track"}) {
    const size_t at = text.find(option, mp3);
    EXPECT_TRUE(at != std::string::npos && at < ogg) << option << "\n" << text;
  }
  for (const char* option : {"--level 0..8 ", "--best-model-search ",
                             "--rate 44100|32000|22050|11025|8000\n", "--channels 1|2 "}) {
    const size_t at = text.find(option, flac);
    EXPECT_TRUE(at != std::string::npos && at < ape) << option << "\n" << text;
  }
  EXPECT_LT(text.find("--level ", ape), opus) << text;
  for (const char* option :
       {"--bitrate 6..256 ", "--vbr-mode vbr|cvbr|cbr ", "--complexity 0..10 ", "--channels 1|2 "})
    EXPECT_NE(text.find(option, opus), std::string::npos) << option << "\n" << text;
  EXPECT_LT(text.find("--nominal 45|48|56|64|80|96|112|128|144|160|192|224|256|320|499|auto", ogg),
            flac)
      << text;
  EXPECT_LT(text.find("--comment TAG=VALUE", ogg), flac) << text;
}

// The values given for `name`, as the parser read them.
std::vector<TOptionValue> Given(const TCliOptions& o, const std::string& name) {
  for (const TGivenOption& given : o.FormatOptions)
    if ("--" + given.Setting->Name == name) return given.Values;
  return {};
}

TEST(CliOptions, TrackListsAndFormatOptions) {
  std::vector<int> tracks;
  ASSERT_TRUE(ParseTrackList("1,3-5,4", tracks));
  EXPECT_EQ(tracks, (std::vector<int>{1, 3, 4, 5}));
  for (const char* bad : {"", "0", "2-1", "a", "1,", "1-", "-3", "1,,2", "100"})
    EXPECT_FALSE(ParseTrackList(bad, tracks)) << bad;

  const char* argv[] = {"cli", "--format", "wav", "--rate", "22050", "--channels",
                        "1",   "--bits",   "8",   "--out",  "d"};
  TCliOptions o;
  std::string problem;
  ASSERT_TRUE(ParseCliOptions(11, argv, o, problem)) << problem;
  ASSERT_EQ(o.FormatOptions.size(), 3u);
  EXPECT_EQ(Given(o, "--rate")[0].Integer, 22050);
  EXPECT_EQ(Given(o, "--channels")[0].Integer, 1);
  EXPECT_EQ(Given(o, "--bits")[0].Integer, 8);
  const char* badRate[] = {"cli", "--format", "wav", "--rate", "48000", "--out", "d"};
  TCliOptions p;
  EXPECT_FALSE(ParseCliOptions(7, badRate, p, problem));
  EXPECT_NE(problem.find("--rate"), std::string::npos);
}

// Formats made up to give the parser every kind of value: "a" and "b" share
// --level with different values, "c" has no writer.
TOptionDomain NoDefault(TOptionDomain domain) {
  domain.Default.clear();
  return domain;
}

const std::vector<TFormat>& MadeUpFormats() {
  static const std::vector<TFormat> formats = [] {
    auto anyWriter = [](TComponent&) { return TFormatParts{}; };
    TFormat a{"A", "a", ".a"};
    a.CreateParts = anyWriter;
    a.Settings = {{"vbr", Flag(), "variable bitrate"},
                  {"quality", NoDefault(RealBetween(0, 1, 0, "")), "the quality"},
                  {"level", NoDefault(IntegerBetween(0, 8, 0)), "the level"},
                  {"track", NoDefault(IntegerBetween(1, 99, 1, {"auto"})), "the track number"},
                  {"mode", WordIn({"stereo", "mono"}, ""), "the channel mode"},
                  {"comment", AnyText("TAG=VALUE"), "a comment", true}};
    TFormat b{"B", "b", ".b"};
    b.CreateParts = anyWriter;
    b.Settings = {{"level", IntegerIn({1000, 2000}, 2000), "the level"}};
    return std::vector<TFormat>{a, b, {"C", "c", ".c"}};
  }();
  return formats;
}

// The format options as parsed, in the order kept: "--name=v1,v2 ...", each
// value as its domain read it; or "error: " and the problem.
std::string ParseMadeUp(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"cli", "--out", "d"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  TCliOptions o;
  std::string problem;
  if (!ParseCliOptions(static_cast<int>(argv.size()), argv.data(), o, problem, MadeUpFormats()))
    return "error: " + problem;
  std::string text;
  for (const TGivenOption& given : o.FormatOptions) {
    text += std::string(text.empty() ? "" : " ") + "--" + given.Setting->Name + "=";
    for (size_t k = 0; k < given.Values.size(); ++k) {
      const TOptionValue& v = given.Values[k];
      const TValueKind kind = given.Setting->Domain.Kind;
      char real[16];
      std::snprintf(real, sizeof real, "%.2f", v.Real);
      text += (k ? "," : "") + (v.Word >= 0                   ? "#" + std::to_string(v.Word)
                                : kind == TValueKind::Integer ? std::to_string(v.Integer)
                                : kind == TValueKind::Real    ? std::string(real)
                                                              : v.Text);
    }
  }
  return text;
}

TEST(CliOptions, FormatOptionsAreReadByTheirDomainInTheFormatsOrder) {
  const struct {
    std::vector<std::string> args;
    std::string parsed;
  } cases[] = {
      {{"--format", "a", "--mode", "mono", "--vbr", "--level", "8", "--quality", "0.45", "--track",
        "auto"},
       "--vbr= --quality=0.45 --level=8 --track=#0 --mode=#1"},
      {{"--comment", "A=1", "--level", "1", "--format", "a", "--comment", "B="},
       "--level=1 --comment=A=1,B="},
      {{"--format", "a", "--level", "1", "--level", "1"}, "error: --level given twice"},
      {{"--format", "a", "--track", "7", "--quality", "1"}, "--quality=1.00 --track=7"},
      {{"--format", "b", "--level", "2000"}, "--level=2000"},
      {{"--format", "b", "--level", "5"}, "error: bad value for --level: 5"},
      {{"--format", "a", "--level", "2000"}, "error: bad value for --level: 2000"},
      {{"--format", "b", "--vbr"}, "error: --vbr does not apply to this format"},
      {{"--format", "a", "--quality", "1.01"}, "error: bad value for --quality: 1.01"},
      {{"--format", "a", "--quality", "nan"}, "error: bad value for --quality: nan"},
      {{"--format", "a", "--track", "0"}, "error: bad value for --track: 0"},
      {{"--format", "a", "--track", "automatic"}, "error: bad value for --track: automatic"},
      {{"--format", "a", "--mode", "joint"}, "error: bad value for --mode: joint"},
      {{"--format", "a", "--vbr", "yes"}, "error: unknown option: yes"},
      {{"--format", "a", "--level"}, "error: option --level needs a value"},
      {{"--format", "c"}, "error: unknown or unavailable format: c"},
      {{"--format", "d"}, "error: unknown or unavailable format: d"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    EXPECT_EQ(ParseMadeUp(c.args), c.parsed) << line;
  }
}

TEST(CliOptions, HelpShowsEachOptionWithItsValuesUnderItsFormat) {
  const std::string help = CliUsage(MadeUpFormats());
  EXPECT_NE(help.find("FORMAT  a or b\n"), std::string::npos) << help;
  const size_t a = help.find("\na options:\n"), b = help.find("\nb options:\n");
  ASSERT_NE(a, std::string::npos) << help;
  ASSERT_NE(b, std::string::npos) << help;
  EXPECT_EQ(help.find("c options"), std::string::npos) << "a format without a writer";
  const std::string aLines[] = {"  --vbr                     variable bitrate\n",
                                "  --quality 0.00..1.00      the quality\n",
                                "  --level 0..8              the level\n",
                                "  --track 1..99|auto        the track number\n",
                                "  --mode stereo|mono        the channel mode\n",
                                "  --comment TAG=VALUE       a comment (may be repeated)\n"};
  for (const std::string& line : aLines) {
    const size_t at = help.find(line, a);
    EXPECT_TRUE(at != std::string::npos && at < b) << line << help;
  }
  EXPECT_NE(help.find("  --level 1000|2000         the level (default 2000)\n", b),
            std::string::npos)
      << help;
}

// The parser reads an option's value before it knows the format, by the
// first format that has an option of that name.
TEST(CliOptions, FormatsAgreeOnWhetherAnOptionOfANameTakesAValue) {
  std::map<std::string, bool> takesValue;
  for (const TFormat& format : Formats())
    for (const TSetting& setting : format.Settings) {
      const bool valued = setting.Domain.Kind != TValueKind::Flag;
      auto [known, added] = takesValue.emplace(setting.Name, valued);
      EXPECT_EQ(known->second, valued) << format.Name << " " << setting.Name;
      EXPECT_TRUE(setting.Get && setting.Set) << format.Name << " " << setting.Name;
    }
}

}  // namespace
}  // namespace cdx::test
