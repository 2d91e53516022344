// Every file the compressor writes must decode, with frame CRC checking
// made fatal, to exactly the PCM it was fed, and report the exact length.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/apecompress/ApeTestSupport.h"

namespace apetest {
namespace {

void ExpectRoundTrip(const Pcm& pcm, const EncodeSettings& settings) {
  TempDir dir;
  const std::string path = dir.File("out.ape");
  const std::vector<uint8_t> input = ToBytes(pcm);
  const EncodeResult r = Encode(path, input, settings);
  ASSERT_EQ(r.start, 0);
  ASSERT_EQ(r.unlock, 0);
  ASSERT_EQ(r.finish, 0);
  const Decoded decoded = DecodeWithFfmpeg(path);
  EXPECT_EQ(decoded.exitCode, 0);
  EXPECT_EQ(decoded.messages, "");
  EXPECT_TRUE(decoded.pcm == input)
      << "decoded " << decoded.pcm.size() << " bytes of " << input.size();
  const uint64_t blocks = pcm.size() / size_t(settings.channels);
  const Probe probe = ProbeWithFfprobe(path);
  EXPECT_EQ(probe.codec, "ape");
  EXPECT_EQ(probe.rate, settings.rate);
  EXPECT_EQ(probe.channels, settings.channels);
  EXPECT_EQ(probe.durationTs, int64_t(blocks));
  const uint32_t frame = settings.blocksPerFrame != 0
                             ? settings.blocksPerFrame
                             : apecompress::BlocksPerFrameFor(settings.level);
  EXPECT_EQ(probe.frames, int64_t((blocks + frame - 1) / frame));
}

// Levels x channels x generated signals, several small frames each.
using SignalCase = std::tuple<int, int, Signal>;
class SignalRoundTrip : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalRoundTrip, DecodesToTheInput) {
  const auto [level, channels, signal] = GetParam();
  EncodeSettings s;
  s.level = level;
  s.channels = channels;
  s.blocksPerFrame = kSmallFrame;
  ExpectRoundTrip(Generate(signal, 3 * kSmallFrame + 1234, channels), s);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, SignalRoundTrip,
    ::testing::Combine(::testing::Values(1000, 2000, 3000, 4000, 5000), ::testing::Values(1, 2),
                       ::testing::Values(Signal::kSilence, Signal::kSquare, Signal::kNyquistSquare,
                                         Signal::kNoise, Signal::kMonoInBoth, Signal::kClicks,
                                         Signal::kSweep)),
    [](const auto& info) {
      return "L" + std::to_string(std::get<0>(info.param)) + "_Ch" +
             std::to_string(std::get<1>(info.param)) + "_" + SignalName(std::get<2>(info.param));
    });

// Sample rates other than 44100, with the real frame length (and so the
// default seek-table reserve, over 1500 spare entries at 96 kHz).
using RateCase = std::tuple<int, int, int>;
class RateRoundTrip : public ::testing::TestWithParam<RateCase> {};

TEST_P(RateRoundTrip, DecodesToTheInput) {
  const auto [rate, channels, level] = GetParam();
  EncodeSettings s;
  s.rate = rate;
  s.channels = channels;
  s.level = level;
  ExpectRoundTrip(Generate(Signal::kSweep, uint32_t(rate) / 2, channels), s);
}

INSTANTIATE_TEST_SUITE_P(Rates, RateRoundTrip,
                         ::testing::Combine(::testing::Values(8000, 22050, 48000, 96000),
                                            ::testing::Values(1, 2), ::testing::Values(2000, 4000)),
                         [](const auto& info) {
                           return std::to_string(std::get<0>(info.param)) + "Hz_Ch" +
                                  std::to_string(std::get<1>(info.param)) + "_L" +
                                  std::to_string(std::get<2>(info.param));
                         });

// Lengths around frame boundaries; the frame length given 0 means the real one.
struct LengthCase {
  const char* name;
  uint32_t blocks;
  uint32_t frame;
  int level;
  int channels;
};
class LengthRoundTrip : public ::testing::TestWithParam<LengthCase> {};

TEST_P(LengthRoundTrip, DecodesToTheInput) {
  const LengthCase& c = GetParam();
  EncodeSettings s;
  s.level = c.level;
  s.channels = c.channels;
  if (c.frame != 0) s.blocksPerFrame = c.frame;
  ExpectRoundTrip(Generate(Signal::kNoise, c.blocks, c.channels, c.blocks), s);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, LengthRoundTrip,
    ::testing::Values(LengthCase{"OneSampleStereo", 1, 0, 2000, 2},
                      LengthCase{"OneSampleMono", 1, 0, 4000, 1},
                      LengthCase{"TwoBlocks", 2, 0, 3000, 2},
                      LengthCase{"ExactlyOneSmallFrame", kSmallFrame, kSmallFrame, 5000, 2},
                      LengthCase{"SmallFramePlusOne", kSmallFrame + 1, kSmallFrame, 1000, 1},
                      LengthCase{"OneBlockFrames", 7, 1, 2000, 2},
                      LengthCase{"ExactlyOneFrame", 73728, 0, 2000, 2},
                      LengthCase{"OneFramePlusOne", 73729, 0, 2000, 2},
                      LengthCase{"OneFramePlusOneMono", 294913, 0, 4000, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Real music over several frames, at every level; higher levels must also
// compress it better.
TEST(MusicRoundTrip, EveryLevelDecodesExactlyAndHigherLevelsAreSmaller) {
  const Pcm music = DecodeMusic("freezingpoint.ogg", 20, 15);
  ASSERT_EQ(music.size(), size_t(15 * 44100 * 2)) << "extremetuxracer-data is needed";
  std::vector<size_t> sizes;
  for (int level : {1000, 2000, 3000, 4000, 5000}) {
    SCOPED_TRACE(level);
    TempDir dir;
    const std::string path = dir.File("music.ape");
    EncodeSettings s;
    s.level = level;
    const std::vector<uint8_t> input = ToBytes(music);
    ASSERT_EQ(Encode(path, input, s).finish, 0);
    const Decoded decoded = DecodeWithFfmpeg(path);
    EXPECT_EQ(decoded.messages, "");
    EXPECT_TRUE(decoded.pcm == input);
    sizes.push_back(ReadFile(path).size());
  }
  EXPECT_LT(sizes[1], sizes[0]);
  EXPECT_LT(sizes[3], sizes[1]);
  EXPECT_LT(sizes[4], sizes[3]);
}

}  // namespace
}  // namespace apetest
