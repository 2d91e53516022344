// The Opus writer with the real libopusenc: files checked by opusinfo,
// opusdec and ffprobe, through rates, modes, comments, stops and failures.
#include <gtest/gtest.h>

#include <opusenc.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <functional>
#include <optional>
#include <sstream>

#include "tests/support/OggTools.h"
#include "tests/support/WriterRun.h"
#include "writers/ACS_Opus.h"

namespace {
// The writer's settings calls come here (the program is linked with
// --wrap), so a test can have the library refuse one request; each request
// the writer makes carries one 32-bit integer.
std::atomic<int> gRefusedRequest{0};
}  // namespace

extern "C" int __real_ope_encoder_ctl(OggOpusEnc* encoder, int request, ...);
extern "C" int __wrap_ope_encoder_ctl(OggOpusEnc* encoder, int request, ...) {
  va_list arguments;
  va_start(arguments, request);
  const opus_int32 value = va_arg(arguments, opus_int32);
  va_end(arguments);
  return request == gRefusedRequest ? OPE_UNIMPLEMENTED
                                    : __real_ope_encoder_ctl(encoder, request, value);
}

namespace cdx::test {
namespace {

struct TOpusRun : TWriterRun<TOpusOut> {
  TOpusRun(std::vector<uint8_t> bytes, int channels, int rate = 44100, int bits = 16)
      : TWriterRun("out.opus", std::move(bytes), channels, rate, bits) {}
};

// What opusinfo says of a file, which it must find clean (opusinfo is
// ogginfo cut down to Opus, and words its findings the same).
std::string CleanReport(const std::string& file) {
  TOggInfo info;
  info.Status = RunCommand("opusinfo '" + file + "'", &info.Output);
  EXPECT_TRUE(info.Clean()) << info.Output;
  return info.Output;
}

// Raw PCM as opusdec decodes it, pre-skip and end trimming honoured, at
// `rate` or at the original rate the header names.
std::vector<uint8_t> Opusdec(const std::string& file, int rate = 0) {
  const std::string option = rate > 0 ? " --rate " + std::to_string(rate) : "";
  RunCommand("opusdec --quiet --no-dither" + option + " '" + file + "' '" + file + ".raw'");
  return ReadFile(file + ".raw");
}

// Two different tones, so a swap of the channels shows as a large error.
std::vector<uint8_t> TwoTones(int frames, int channels, int rate) {
  std::vector<int16_t> samples = SineWave(frames, channels, 440.0, rate, 12000.0);
  const auto right = SineWave(frames, 1, 1250.0, rate, 5000.0);
  for (int i = 0; channels == 2 && i < frames; ++i) samples[2 * size_t(i) + 1] = right[i];
  return PcmBytes(samples);
}

struct RoundTripCase {
  const char* name;
  int channels, rate, frames, chunk;  // chunk: most bytes handed out per read
  std::function<void(TOpusOut&)> settings;
  // Of the decoded audio, per channel (RelativeError); 0 compares nothing:
  // at the lowest bitrate Opus keeps the sound, not the waveform.
  double maxError;
  const char* report = "";  // what opusinfo must also say
  int stopAtRead = 0;
};

const RoundTripCase kRoundTrips[] = {
    {"stereo_at_the_defaults", 2, 44100, 100000, 1 << 30, [](TOpusOut&) {}, 0.02},
    {"mono_with_comments", 1, 22050, 33333, 65536,
     [](TOpusOut& w) {
       w.SetComments({"TITLE=a", "ARTIST=b", "title=c", "Made with Q", "E="});
     },
     0.02, "\tTITLE=a\n\tARTIST=b\n\ttitle=a\n\tCOMMENT=Made with Q\n\tE=\n"},
    {"frames_split_across_reads", 2, 44100, 60001, 4099, [](TOpusOut&) {}, 0.02},
    {"no_resampling_at_48k", 2, 48000, 12345, 1 << 30, [](TOpusOut&) {}, 0.02},
    {"lowest_bitrate_and_complexity_odd_rate", 1, 8000, 999, 1 << 30,
     [](TOpusOut& w) {
       w.SetBitrate(kOpusMinBitrateKbps);
       w.SetComplexity(0);
     },
     0},
    {"highest_bitrate", 2, 44100, 50000, 1 << 30,
     [](TOpusOut& w) { w.SetBitrate(kOpusMaxBitrateKbps); }, 0.02},
    // libopusenc drains a stream that never had a write into a broken end.
    {"empty_input", 1, 48000, 0, 1 << 30, [](TOpusOut&) {}, 0, "Playback length: 0m:00.000s"},
    {"stopped_in_the_fifth_read", 2, 44100, 400000, 30000, [](TOpusOut&) {}, 0.02, "", 5},
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
  *out << c.name;
}

class OpusRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(OpusRoundTrip, ToolsAcceptTheFileAndDecodeTheInputsLengthInItsChannels) {
  const RoundTripCase& c = GetParam();
  TOpusRun run(TwoTones(c.frames, c.channels, c.rate), c.channels, c.rate);
  run.source->Chunk = c.chunk;
  run.source->OnRead = [&] {
    if (run.source->ReadCalls == c.stopAtRead) run.writer->Stop();
  };
  c.settings(*run.writer);
  EXPECT_EQ(run.Run().Result, c.stopAtRead ? TRunResult::Stopped : TRunResult::Done);
  EXPECT_EQ(run.Done(), 1);
  EXPECT_EQ(run.Errors().size() + run.writer->Comments().size(), 0u) << "comments: one run's";
  const std::string report = CleanReport(run.file);
  for (const std::string& said : {"Channels: " + std::to_string(c.channels) + "\n",
                                  "Original sample rate: " + std::to_string(c.rate) + " Hz\n",
                                  std::string("Logical stream 1 ended\n"), std::string(c.report)})
    EXPECT_NE(report.find(said), std::string::npos) << said << " in:\n" << report;

  // A granule position counts whole samples at 48 kHz, so n samples at rate
  // r end inside the 48 kHz sample ceil(n * 48000 / r): the stream must end
  // exactly there (one more adds audio, one fewer cuts the last input sample
  // short), which converted back is n again.
  const int64_t frames = run.source->Position() / (2 * c.channels);
  const int64_t at48k = static_cast<int64_t>(Opusdec(run.file, 48000).size()) / (2 * c.channels);
  EXPECT_EQ(at48k, (frames * 48000 + c.rate - 1) / c.rate) << "pre-skip and end trimming honoured";
  EXPECT_EQ(at48k * c.rate / 48000, frames);
  EXPECT_EQ(frames, c.stopAtRead ? c.stopAtRead * c.chunk / (2 * c.channels) : c.frames);
  const std::vector<uint8_t> decoded = Opusdec(run.file);
  EXPECT_EQ(static_cast<int64_t>(decoded.size()), frames * 2 * c.channels) << "at the input's rate";
  for (double error : RelativeError(run.source->Bytes(), decoded, c.channels))
    EXPECT_TRUE(c.maxError == 0 || error < c.maxError) << error << ": not the tones fed";
}

INSTANTIATE_TEST_SUITE_P(, OpusRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpusOut, EachBitrateModeSpendsTheBitrateSetAsItShould) {
  const struct {
    TOpusBitrateMode mode;
    int channels, kbps;
  } cases[] = {{obmCBR, 2, 64},  {obmCBR, 1, 32}, {obmCVBR, 2, 64},
               {obmCVBR, 1, 48}, {obmVBR, 2, 64}, {obmVBR, 1, 48}};
  for (const auto& c : cases) {
    // A second each of silence, loud noise and a tone.
    std::vector<int16_t> audio(44100 * size_t(c.channels), 0);
    for (const auto& part :
         {Noise(44100, c.channels, 3, 10000), SineWave(44100, c.channels, 440.0, 44100, 12000.0)})
      audio.insert(audio.end(), part.begin(), part.end());
    TOpusRun run(PcmBytes(audio), c.channels);
    // Values out of range are ignored.
    for (int kbps : {c.kbps, kOpusMinBitrateKbps - 1, kOpusMaxBitrateKbps + 1})
      run.writer->SetBitrate(kbps);
    for (int mode : {int(c.mode), 3}) run.writer->SetBitrateMode(TOpusBitrateMode(mode));
    for (int complexity : {-1, kOpusMaxComplexity + 1}) run.writer->SetComplexity(complexity);
    EXPECT_EQ(run.writer->Complexity(), kOpusMaxComplexity);
    ASSERT_EQ(run.Run().Result, TRunResult::Done);
    const std::string name = kOpusBitrateModeNames[c.mode] + std::to_string(c.channels);
    EXPECT_EQ(CleanReport(run.file).find("(hard-CBR)") != std::string::npos, c.mode == obmCBR);

    // Every packet holds 20 ms; the first 45 are silence, the noise starts
    // at the 46th.
    std::string out;
    RunCommand("ffprobe -v error -show_entries packet=size -of csv=p=0 '" + run.file + "'", &out);
    std::istringstream lines(out);
    std::vector<int> sizes;
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) sizes.push_back(std::stoi(line));
    ASSERT_GT(sizes.size(), 140u) << out;
    const int target = c.kbps * 1000 / 8 / 50;
    const long all = long(sizes.size()), loud = all - 65;
    const long small = std::count_if(sizes.begin(), sizes.begin() + 45,
                                     [&](int size) { return size < target / 4; });
    const long held = std::count_if(sizes.begin() + 60, sizes.end() - 5, [&](int size) {
      return std::abs(size - target) * 20 <= target;  // within 5 %
    });
    EXPECT_TRUE(c.mode != obmCBR || std::count(sizes.begin(), sizes.end(), target) == all) << name;
    EXPECT_TRUE(c.mode == obmCBR || small == 45) << name << ": silence costs next to nothing";
    EXPECT_TRUE(c.mode != obmCVBR || held * 10 >= loud * 9) << name << ": held to the target";
    EXPECT_TRUE(c.mode != obmVBR || held * 2 <= loud) << name << ": free to follow the audio";
  }
}

TEST(OpusOut, FailedRunSaysWhyInOneLineAndKeepsTheEarlierFile) {
  const struct {
    const char* name;
    int channels, rate, bits, refusedRequest;
    uint64_t sizeLimit;  // bytes a file may grow to, 0 for no limit
    const char* fileName;
    const char* message;  // the message, or the part of it with the system's reason
  } cases[] = {
      {"rate", 2, 0, 16, 0, 0, "out.opus",
       "The Opus encoder refused 0 Hz stereo input: invalid argument."},
      {"bitrate", 2, 44100, 16, OPUS_SET_BITRATE_REQUEST, 0, "out.opus",
       "The Opus encoder refused the bitrate of 128 kbit/s: request not implemented."},
      {"complexity", 1, 44100, 16, OPUS_SET_COMPLEXITY_REQUEST, 0, "out.opus",
       "The Opus encoder refused complexity 10: request not implemented."},
      {"6 channels", 6, 44100, 16, 0, 0, "out.opus",
       "The Opus writer takes mono or stereo input only."},
      {"8 bits", 2, 44100, 8, 0, 0, "out.opus", "The Opus writer takes 16-bit samples only."},
      {"no folder", 2, 44100, 16, 0, 0, "missing/out.opus", "No such file or directory"},
      {"full in the header", 2, 44100, 16, 0, 100, "out.opus", "File too large"},
      {"full in the audio", 2, 44100, 16, 0, 16384, "out.opus", "File too large"},
  };
  for (const auto& c : cases) {
    TOpusRun run(TwoTones(400000, 2, 44100), c.channels, c.rate, c.bits);
    WriteFile(run.file, {1, 2, 3});
    run.writer->SetFileName(run.dir.File(c.fileName));
    const int fds = OpenFdCount();
    gRefusedRequest = c.refusedRequest;
    {
      std::optional<TFileSizeLimit> full;
      if (c.sizeLimit > 0) full.emplace(c.sizeLimit);
      EXPECT_EQ(run.Run().Result, TRunResult::Failed) << c.name;
    }
    gRefusedRequest = 0;
    ASSERT_EQ(run.Errors().size(), 1u) << c.name;
    const std::string message = run.Errors().front();
    EXPECT_NE(message.find(c.message), std::string::npos) << c.name << ": " << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    // Only a full disk past the header has read audio.
    EXPECT_EQ(run.source->ReadCalls > 0, c.sizeLimit > 1000) << c.name;
    EXPECT_EQ(run.source->CloseCount, run.source->OpenCount) << c.name;
    EXPECT_EQ(OpenFdCount(), fds) << c.name;
    EXPECT_EQ(ReadFile(run.file), (std::vector<uint8_t>{1, 2, 3})) << c.name;
    EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty()) << c.name;
  }
}

}  // namespace
}  // namespace cdx::test
