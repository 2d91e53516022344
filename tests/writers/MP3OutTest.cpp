// The MP3 writer with the real libmp3lame: files checked by ffmpeg, ffprobe,
// mutagen and their own frame headers; stops, failures, and the text of the
// tags.
#include <gtest/gtest.h>

#include <lame/lame.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>

#include "tests/support/Mp3Tools.h"
#include "tests/support/TestSources.h"
#include "tests/support/WriterRun.h"
#include "writers/ACS_LAME.h"

namespace {
// The writer's call to lame_init_params comes here (the test program is
// linked with --wrap), so a test can have the library refuse its settings.
std::atomic<bool> gRefuseInitParams{false};
}  // namespace

extern "C" int __real_lame_init_params(lame_global_flags* flags);
extern "C" int __wrap_lame_init_params(lame_global_flags* flags) {
  return gRefuseInitParams ? -1 : __real_lame_init_params(flags);
}

namespace cdx::test {
namespace {

// One samples frame of slack: the encoder's granularity.
constexpr int64_t kFrameSlack = 1152;

struct TMp3Run : TWriterRun<TMP3Out> {
  TMp3Run(std::vector<uint8_t> bytes, int channels, int rate = 44100)
      : TWriterRun("out.mp3", std::move(bytes), channels, rate, 16) {}
  int64_t SourceFrames() const {
    return static_cast<int64_t>(source->Bytes().size()) / (2 * source->GetChannels());
  }
};

// Music-like input: a tone with noise over it.
std::vector<uint8_t> Music(double seconds, int channels, int rate) {
  const int frames = static_cast<int>(seconds * rate);
  auto samples = SineWave(frames, channels, 330.0, rate, 12000.0);
  const auto noise = Noise(frames, channels, 11, 3000);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(samples[i] + noise[i]);
  return PcmBytes(samples);
}

struct TFileCase {
  const char* name;
  int channels, inRate;
  bool vbr;
  TMP3BitRate bitRate;
  TMP3Mode mode;
  TMP3SampleRate rate;
  int fileRate, fileChannels;
  int kbps;  // every frame's, CBR; 0 for VBR (between 128 and 192)
};

class Mp3Files : public ::testing::TestWithParam<TFileCase> {};

TEST_P(Mp3Files, DecodeWithTheirLengthRateChannelsBitrateAndMode) {
  const TFileCase c = GetParam();
  TMp3Run run(Music(3.3, c.channels, c.inRate), c.channels, c.inRate);
  run.source->Chunk = 10000;  // short blocks, encoded as they come
  run.writer->SetEnableVBR(c.vbr);
  run.writer->SetBitRate(c.bitRate);
  run.writer->SetMode(c.mode);
  run.writer->SetSampleRate(c.rate);
  run.writer->SetId3Tags({.Title = c.name});
  ASSERT_EQ(run.Run().Result, TRunResult::Done) << run.Errors().front();

  const TDecodedMp3 decoded = DecodeMp3(run.file);
  ASSERT_TRUE(decoded.Ok) << decoded.Errors;
  EXPECT_EQ(decoded.SampleRate, c.fileRate);
  EXPECT_EQ(decoded.Channels, c.fileChannels);
  const double seconds = static_cast<double>(run.SourceFrames()) / c.inRate;
  const auto expectedFrames = static_cast<int64_t>(std::lround(seconds * c.fileRate));
  EXPECT_NEAR(decoded.Frames, expectedFrames, kFrameSlack) << "the length players get";
  EXPECT_NEAR(decoded.Duration, seconds, 2.0 * kFrameSlack / c.fileRate) << "ffprobe's duration";
  auto view = MutagenView(run.file);
  ASSERT_FALSE(view.empty());
  EXPECT_NEAR(std::stod(view["length"]), seconds, double(kFrameSlack) / c.fileRate);
  EXPECT_EQ(view["mode"], std::to_string(c.mode));
  EXPECT_EQ(view["bitrate_mode"], c.vbr ? "VBR" : "CBR");
  EXPECT_EQ(view["title"], c.name);

  const auto bytes = ReadFile(run.file);
  const auto frames = Mp3Frames(bytes);
  ASSERT_GT(frames.size(), 10u);
  EXPECT_EQ(Mp3FramesEnd(bytes), static_cast<int64_t>(bytes.size()) - 128)
      << "frames, then the ID3v1 tag, and nothing else";
  for (size_t k = 1; k < frames.size(); ++k) {
    const TMp3Frame& f = frames[k];
    ASSERT_EQ(f.SampleRate, c.fileRate) << k;
    ASSERT_EQ(f.Mode, c.mode) << k;
    // The last frame, mostly padding, may go below a variable minimum.
    const bool last = k + 1 == frames.size();
    const bool bitRateAsAsked =
        c.kbps ? f.BitRate == c.kbps : f.BitRate <= 192 && (last || f.BitRate >= 128);
    ASSERT_TRUE(bitRateAsAsked) << k << ": " << f.BitRate;
  }
  if (c.channels == 1 && c.fileChannels == 2) {
    int64_t apart = 0;
    for (size_t i = 0; i + 1 < decoded.Pcm.size(); i += 2)
      apart = std::max<int64_t>(apart, std::abs(decoded.Pcm[i] - decoded.Pcm[i + 1]));
    EXPECT_LE(apart, 64) << "a mono input is given as both channels";
  }
}

INSTANTIATE_TEST_SUITE_P(
    , Mp3Files,
    ::testing::Values(
        TFileCase{"Defaults", 2, 44100, false, br128, STEREO, srDefault, 44100, 2, 128},
        TFileCase{"Vbr", 2, 44100, true, br128, STEREO, srDefault, 44100, 2, 0},
        TFileCase{"MonoInputStereoFile", 1, 44100, false, br128, STEREO, srDefault, 44100, 2, 128},
        TFileCase{"MonoInputMonoFile", 1, 44100, false, br64, MONO, srDefault, 44100, 1, 64},
        TFileCase{"MonoInputVbr", 1, 44100, true, br128, JOINT_STEREO, srDefault, 44100, 2, 0},
        TFileCase{"Joint22k", 2, 44100, false, br64, JOINT_STEREO, sr22kHz, 22050, 2, 64},
        TFileCase{"Dual48k", 2, 44100, false, br320, DUAL_CHANNEL, sr48kHz, 48000, 2, 320},
        TFileCase{"Asked41000Gives44100", 2, 44100, false, br192, STEREO, sr41kHz, 44100, 2, 192},
        TFileCase{"Mono11k", 2, 44100, false, br32, MONO, sr11kHz, 11025, 1, 32},
        TFileCase{"Input32kKeepsItsRate", 2, 32000, false, br96, STEREO, srDefault, 32000, 2, 96}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mp3Out, HeaderBitsFollowTheFlags) {
  const struct {
    bool copyright, original, crc;
  } cases[] = {{false, true, false}, {true, false, true}, {true, true, false}};
  for (const auto& c : cases) {
    TMp3Run run(Music(1, 2, 44100), 2);
    run.writer->SetCopyright(c.copyright);
    run.writer->SetOriginal(c.original);
    run.writer->SetCRC(c.crc);
    ASSERT_EQ(run.Run().Result, TRunResult::Done);
    const auto frames = Mp3Frames(ReadFile(run.file));
    ASSERT_GT(frames.size(), 10u);
    for (const TMp3Frame& f : frames) {
      ASSERT_EQ(f.Copyright, c.copyright) << f.Offset;
      ASSERT_EQ(f.Original, c.original) << f.Offset;
      ASSERT_EQ(f.Crc, c.crc) << f.Offset;
    }
    EXPECT_TRUE(DecodeMp3(run.file).Ok);
  }
}

TEST(Mp3Out, ReversedVbrLimitsAreExchangedForGoodAndBindTheBitrates) {
  TMp3Run run(Music(3, 2, 44100), 2);
  run.writer->SetEnableVBR(true);
  run.writer->SetVBRQuality(ql0);
  run.writer->SetVBRMinBitrate(256);
  run.writer->SetVBRMaxBitrate(128);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(run.Run().Result, TRunResult::Done);
    EXPECT_EQ(run.writer->VBRMinBitrate(), 128);
    EXPECT_EQ(run.writer->VBRMaxBitrate(), 256);
    const auto frames = Mp3Frames(ReadFile(run.file));
    ASSERT_GT(frames.size(), 10u);
    int highest = 0;
    // Not the last frame, mostly padding: the library keeps a variable
    // minimum for sound only.
    for (size_t k = 1; k + 1 < frames.size(); ++k) {
      ASSERT_TRUE(frames[k].BitRate >= 128 && frames[k].BitRate <= 256) << frames[k].BitRate;
      highest = std::max(highest, frames[k].BitRate);
    }
    EXPECT_GT(highest, 192) << "the exchanged maximum is 256, not 192";
  }
}

TEST(Mp3Out, StoppedRunLeavesAPlayableFileOfWhatWasEncodedWithItsTag) {
  TMp3Run run(Music(10, 2, 44100), 2);
  run.writer->SetEnableVBR(true);
  run.writer->SetId3Tags({.Title = "Stopped", .Track = "3"});
  int reads = 0;
  run.source->OnRead = [&] {
    if (++reads == 20) run.writer->Stop();
  };
  ASSERT_EQ(run.Run().Result, TRunResult::Stopped);
  EXPECT_TRUE(run.Errors().empty());
  const TDecodedMp3 decoded = DecodeMp3(run.file);
  ASSERT_TRUE(decoded.Ok) << decoded.Errors;
  const int64_t encoded = 20 * 16384 / 4;
  EXPECT_NEAR(decoded.Frames, encoded, kFrameSlack);
  auto view = MutagenView(run.file);
  EXPECT_NEAR(std::stod(view["length"]), encoded / 44100.0, kFrameSlack / 44100.0)
      << "the header frame tells the length of what was encoded";
  EXPECT_EQ(view["title"], "Stopped");
  EXPECT_EQ(view["track"], "3");
}

struct TTagCase {
  const char* name;
  TMP3Tags given;
  std::map<std::string, std::string> read;  // as mutagen reads the file
};

class Mp3Tags : public ::testing::TestWithParam<TTagCase> {};

TEST_P(Mp3Tags, ReadBackAsGivenInLatin1) {
  const TTagCase& c = GetParam();
  TMp3Run run(Music(0.5, 2, 44100), 2);
  run.writer->SetId3Tags(c.given);
  ASSERT_EQ(run.Run().Result, TRunResult::Done);
  auto view = MutagenView(run.file);
  ASSERT_FALSE(view.empty());
  for (const char* key : {"length", "mode", "bitrate_mode"}) view.erase(key);
  EXPECT_EQ(view, c.read);
  EXPECT_TRUE(DecodeMp3(run.file).Ok);
}

INSTANTIATE_TEST_SUITE_P(
    , Mp3Tags,
    ::testing::Values(
        TTagCase{"Ascii",
                 {"Title", "Artist", "Album", "1999", "7", "A comment", "Rock"},
                 {{"title", "Title"},
                  {"artist", "Artist"},
                  {"album", "Album"},
                  {"year", "1999"},
                  {"track", "7"},
                  {"comment", "A comment"},
                  {"genre", "Rock"}}},
        TTagCase{
            "Latin1",
            {.Title = "Björk", .Artist = "Sigur Rós", .Album = "Ça ira", .Comment = "naïve café"},
            {{"title", "Björk"},
             {"artist", "Sigur Rós"},
             {"album", "Ça ira"},
             {"comment", "naïve café"}}},
        TTagCase{"BeyondLatin1",
                 {.Title = "日本 – Æ", .Artist = "\xff\xc3"},
                 {{"title", "?? ? Æ"}, {"artist", "??"}}},
        TTagCase{"Empty", {}, {}},
        TTagCase{"LongTitleCutToTheField",
                 {.Title = "A title of far more than thirty characters"},
                 {{"title", "A title of far more than thirt"}}},
        TTagCase{"GenreNotInTheList", {.Genre = "Chiptune"}, {{"genre", "Other"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mp3Out, EveryGenreOfTheListGetsItsNumberInTheFile) {
  const std::vector<std::string> genres = LameGenreNames();
  ASSERT_GE(genres.size(), 126u);
  EXPECT_EQ(genres[0], "Blues");
  EXPECT_EQ(genres[125], "Dance Hall");
  TMp3Run run(Music(0.05, 2, 44100), 2);
  for (int number = 0; number < 126; ++number) {
    run.writer->SetId3Tags({.Genre = genres[number]});
    ASSERT_EQ(run.Run().Result, TRunResult::Done);
    const auto bytes = ReadFile(run.file);
    ASSERT_GT(bytes.size(), 128u);
    ASSERT_EQ(std::string(bytes.end() - 128, bytes.end() - 125), "TAG");
    EXPECT_EQ(bytes.back(), number) << genres[number];
  }
}

TEST(Mp3Latin1, UnicodeTextBecomesLatin1) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"Bj\xc3\xb6rk", "Bj\xf6rk"},
      {"\xc2\x80\xc3\xbf", "\x80\xff"},
      {"\xe2\x80\x93", "?"},        // en dash, three bytes
      {"\xf0\x9f\x8e\xb5!", "?!"},  // a note, four bytes
      {"\xc3", "?"},                // cut short
      {"\xc3(", "?("},              // not continued
      {"\xc0\xaf", "??"},           // overlong
      {"\x80x", "?x"},              // a lone continuation byte
      {"", ""}};
  for (const auto& [utf8, latin1] : cases) EXPECT_EQ(ToLatin1(utf8), latin1) << utf8;
}

// --- failures -------------------------------------------------------------

TEST(Mp3Out, FullDiskFailsTheRunAndKeepsTheEarlierFile) {
  TMp3Run run(Music(20, 2, 44100), 2);
  WriteFile(run.file, {1, 2, 3});
  {
    TFileSizeLimit full(65536);  // about four seconds of the file
    EXPECT_EQ(run.Run().Result, TRunResult::Failed);
  }
  ASSERT_EQ(run.Errors().size(), 1u);
  EXPECT_EQ(run.Errors().front(), "Cannot write to file \"" + run.file + "\": File too large");
  EXPECT_EQ(run.Done(), 0) << "a failed run never reports done";
  EXPECT_EQ(ReadFile(run.file), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty());
}

TEST(Mp3Out, NegativeEncodeResultFailsTheRunWithTheLibrarysCode) {
  // Mono 8 kHz made into 48 kHz at 320 kbit/s: one block of input gives more
  // than the MP3 buffer holds, which the library refuses.
  TMp3Run run(Music(3, 1, 8000), 1, 8000);
  WriteFile(run.file, {9});
  run.writer->SetSampleRate(sr48kHz);
  run.writer->SetBitRate(br320);
  EXPECT_EQ(run.Run().Result, TRunResult::Failed);
  ASSERT_EQ(run.Errors().size(), 1u);
  EXPECT_EQ(run.Errors().front(),
            "MP3 encoding failed: lame_encode_buffer returned -1 (the MP3 buffer was too small)");
  EXPECT_EQ(run.Done(), 0);
  EXPECT_EQ(ReadFile(run.file), (std::vector<uint8_t>{9})) << "no cut-off file replaces it";
}

TEST(Mp3Out, RefusedSettingsFailTheStartBeforeAnyAudioIsRead) {
  TMp3Run run(Music(1, 2, 44100), 2);
  gRefuseInitParams = true;
  const TRunEnd end = run.Run();
  gRefuseInitParams = false;
  EXPECT_EQ(end.Result, TRunResult::Failed);
  EXPECT_EQ(end.Message, "The MP3 encoder refused its settings: lame_init_params returned -1");
  EXPECT_EQ(run.source->ReadCalls, 0);
  EXPECT_FALSE(run.source->Busy());
  EXPECT_FALSE(std::filesystem::exists(run.file));
  EXPECT_EQ(run.Run().Result, TRunResult::Done) << "the next run starts afresh";
}

TEST(Mp3Out, InputsItCannotTakeFailTheStart) {
  const struct {
    const char* file;  // "" : none assigned
    int bits;
    std::string message;
  } cases[] = {
      {"missing/folder/out.mp3", 16, "Cannot create file \"%\": No such file or directory"},
      {"", 16, "File name is not assigned."},
      {"out.mp3", 8, "The MP3 writer takes 16-bit samples, not 8-bit ones"},
  };
  for (const auto& c : cases) {
    TMp3Run run(std::vector<uint8_t>(4000, 128), 2);
    const std::string file = *c.file ? run.dir.File(c.file) : "";
    run.writer->SetFileName(file);
    run.source->SetFormat(44100, 2, c.bits);
    std::string message = c.message;
    if (const size_t at = message.find('%'); at != std::string::npos) message.replace(at, 1, file);
    EXPECT_EQ(run.Run().Message, message);
    EXPECT_EQ(run.source->ReadCalls, 0);
    EXPECT_FALSE(run.source->Busy());
    EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty());
  }
}

}  // namespace
}  // namespace cdx::test
