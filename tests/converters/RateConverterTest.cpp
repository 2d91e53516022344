// The sample-rate converter: sample-exact agreement with the reference,
// the white-box cases of its two paths, saturation, Size and Position, the
// property rules, and a tone that keeps its frequency and level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <tuple>

#include "converters/ACS_Converters.h"
#include "pipeline/Rounding.h"
#include "tests/converters/ConverterTestKit.h"

namespace cdx::test {
namespace {

int ExpectedInBufSize(int inRate, int outRate) {
  const float ratio = static_cast<float>(static_cast<double>(outRate) / inRate);
  return ratio > 1 ? static_cast<int>(32768.0 / ratio) & ~3 : 32768;
}

// Runs `input` (16-bit, interleaved) through a converter of `outRate`,
// served by a source in `chunk`-byte pieces and read `count` bytes at a time.
std::vector<int16_t> Convert(TRateConverter& converter, const std::vector<int16_t>& input,
                             int channels, int inRate, int chunk = 1001, int count = 777) {
  auto source = MakeComponent<TMemorySource>(PcmBytes(input), inRate, channels);
  source->Chunk = chunk;
  converter.SetInput(source.get());
  converter.OpenStream();
  const auto bytes = Drain(converter, count);
  converter.CloseStream();
  converter.SetInput(nullptr);
  return Samples(bytes);
}

std::vector<int16_t> Convert(const std::vector<int16_t>& input, int channels, int inRate,
                             int outRate, int kernelWidth = 30) {
  auto converter = MakeComponent<TRateConverter>();
  converter->SetOutSampleRate(outRate);
  converter->SetKernelWidth(kernelWidth);
  return Convert(*converter, input, channels, inRate);
}

// --- Agreement with the reference, sample for sample -----------------------

using RatePair = std::tuple<int, int, int>;  // input rate, output rate, channels

class RateAgreement : public ::testing::TestWithParam<RatePair> {};

TEST_P(RateAgreement, OverSeveralBlocksEndingInABlockShorterThanTheKernel) {
  const auto [inRate, outRate, channels] = GetParam();
  const int blockFrames = ExpectedInBufSize(inRate, outRate) / (2 * channels);
  // Two full blocks and then 7 frames, fewer than N - 1 = 29.
  const auto input = Noise(2 * blockFrames + 7, channels, 1234 + inRate + channels, 30000);
  const auto expected = ReferenceRate(input, channels, inRate, outRate);
  const auto got = Convert(input, channels, inRate, outRate);
  ASSERT_EQ(got.size(), expected.samples.size());
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_EQ(got[i], expected.samples[i]) << "sample " << i << " of " << got.size();
}

TEST_P(RateAgreement, WhenTheWholeRunIsShorterThanTheKernel) {
  const auto [inRate, outRate, channels] = GetParam();
  const auto input = Noise(5, channels, 99, 30000);
  EXPECT_EQ(Convert(input, channels, inRate, outRate),
            ReferenceRate(input, channels, inRate, outRate).samples);
}

TEST_P(RateAgreement, PrevSampleCarriesIntoTheNextRun) {
  const auto [inRate, outRate, channels] = GetParam();
  auto converter = MakeComponent<TRateConverter>();
  converter->SetOutSampleRate(outRate);
  const auto first = Noise(3000, channels, 7, 20000);
  const auto second = Noise(3000, channels, 8, 20000);
  const auto run1 = ReferenceRate(first, channels, inRate, outRate);
  EXPECT_EQ(Convert(*converter, first, channels, inRate), run1.samples);
  EXPECT_EQ(Convert(*converter, second, channels, inRate),
            ReferenceRate(second, channels, inRate, outRate, run1.prev).samples);
}

INSTANTIATE_TEST_SUITE_P(Rates, RateAgreement,
                         ::testing::Values(RatePair{44100, 22050, 1}, RatePair{44100, 22050, 2},
                                           RatePair{22050, 44100, 1}, RatePair{22050, 44100, 2},
                                           RatePair{44100, 48000, 1}, RatePair{44100, 48000, 2},
                                           RatePair{44100, 44100, 1}, RatePair{44100, 44100, 2},
                                           RatePair{44100, 88200, 2}, RatePair{44100, 8000, 2},
                                           RatePair{8000, 44100, 1}),
                         [](const auto& info) {
                           return std::to_string(std::get<0>(info.param)) + "to" +
                                  std::to_string(std::get<1>(info.param)) + "x" +
                                  std::to_string(std::get<2>(info.param));
                         });

// A longer run: dozens of blocks, the phase counter through many periods,
// full-scale noise (so saturation too).
TEST(RateConverter, FiveSecondsOfNoiseAgreeToTheLastSample) {
  for (auto [inRate, outRate] : {std::pair{44100, 22050}, std::pair{44100, 48000}}) {
    const auto input = Noise(5 * inRate, 2, 4242, 32767);
    const auto expected = ReferenceRate(input, 2, inRate, outRate).samples;
    const auto got = Convert(input, 2, inRate, outRate);
    ASSERT_EQ(got.size(), expected.size());
    size_t differing = 0;
    for (size_t i = 0; i < got.size(); ++i) differing += got[i] != expected[i];
    EXPECT_EQ(differing, 0u) << inRate << " -> " << outRate;
  }
}

TEST(RateConverter, OutputDoesNotDependOnHowTheSourceOrTheReaderSplitTheStream) {
  const auto input = Noise(20000, 2, 5, 25000);
  auto convert = [&](int chunk, int count) {
    auto converter = MakeComponent<TRateConverter>();  // new: PrevSample 0
    converter->SetOutSampleRate(48000);
    return Convert(*converter, input, 2, 44100, chunk, count);
  };
  const auto whole = convert(1 << 20, 1 << 20);
  EXPECT_EQ(convert(3, 5), whole);
  EXPECT_EQ(convert(4 * 8192 + 1, 1), whole);
}

// --- The two paths, seen through a kernel of two taps ----------------------
// With KernelWidth 2 the Blackman kernel is (0, 1): down-sampling hands out
// the picked frames themselves, up-sampling the interpolated values one
// frame late.

TEST(RateConverterPaths, HalvingKeepsTheFirstThirdFifthFrame) {
  const std::vector<int16_t> input{10, 11, 12, 13, 14, 15, 16, 17, 18};
  EXPECT_EQ(Convert(input, 1, 44100, 22050, 2), (std::vector<int16_t>{10, 12, 14, 16, 18}));
}

TEST(RateConverterPaths, DoublingInterpolatesMidpointsHalvesToEven) {
  // Intervals (0,3) (3,0) (0,1) (1,5) (5,-1) (-1,-2) (-2,7) give
  // 0 2 | 3 2 | 0 0 | 1 3 | 5 2 | -1 -2 | -2 2; the output is one frame
  // late and the last value stays in the filter.
  const std::vector<int16_t> input{3, 0, 1, 5, -1, -2, 7};
  EXPECT_EQ(Convert(input, 1, 22050, 44100, 2),
            (std::vector<int16_t>{0, 0, 2, 3, 2, 0, 0, 1, 3, 5, 2, -1, -2, -2}));
}

TEST(RateConverterPaths, FullScaleInterpolationStaysBetweenNeighbours) {
  // At 88200 the products (Out - Remainder) x a need more than 32 bits.
  const std::vector<int16_t> left{32767, 32767, -32768, -32768, 32767, -32768, 32767};
  std::vector<int16_t> input;
  for (int16_t v : left) {
    input.push_back(v);
    input.push_back(static_cast<int16_t>(-1 - v));  // the right channel mirrored
  }
  const auto got = Convert(input, 2, 44100, 88200, 2);
  // Each interval (a, b) gives a, then (a + b) / 2 rounded halves to even,
  // which lies between them.
  std::vector<int16_t> values;
  std::array<int, 2> a{0, 0};  // PrevSample of a new converter
  for (int16_t l : left) {
    const std::array<int, 2> b{l, -1 - l};
    values.insert(values.end(), {static_cast<int16_t>(a[0]), static_cast<int16_t>(a[1])});
    for (int c : {0, 1})
      values.push_back(static_cast<int16_t>(std::nearbyint((a[c] + b[c]) / 2.0)));
    a = b;
  }
  values.insert(values.begin(), {0, 0});  // one frame late
  values.resize(values.size() - 2);       // the last value stays in the filter
  EXPECT_EQ(got, values);
}

TEST(RateConverterPaths, EqualRatesStartFromPrevSampleAndFollowOneFrameLate) {
  auto converter = MakeComponent<TRateConverter>();
  converter->SetOutSampleRate(44100);
  converter->SetKernelWidth(2);
  const std::vector<int16_t> first{5, 6, 7, 8};
  // Values: PrevSample 0, then 5 6 7; one more frame of delay in the filter.
  EXPECT_EQ(Convert(*converter, first, 1, 44100), (std::vector<int16_t>{0, 0, 5, 6}));
  // The next run starts from the last frame of this one; the filter does not.
  EXPECT_EQ(Convert(*converter, {1, 2, 3}, 1, 44100), (std::vector<int16_t>{0, 8, 1}));
}

TEST(RateConverterPaths, EqualRatesAtFullWidthAreTheInputLowPassed) {
  // A slow sine passes the 0.4 cutoff unchanged but for the delay: one frame
  // of interpolation and 15 of the filter (its centre tap), to within 2 LSB.
  const auto input = SineWave(2000, 1, 441, 44100, 20000);
  const auto got = Convert(input, 1, 44100, 44100);
  ASSERT_EQ(got.size(), input.size());
  for (size_t i = 100; i < got.size(); ++i) ASSERT_NEAR(got[i], input[i - 16], 2) << i;
}

// --- Saturation -------------------------------------------------------------

class Saturation : public ::testing::TestWithParam<int> {};

TEST_P(Saturation, FullScaleSquareWaveOvershootIsClippedNotWrapped) {
  const int outRate = GetParam();
  std::vector<int16_t> input;
  for (int i = 0; i < 6000; ++i) {
    const int16_t v = (i / 50) % 2 ? int16_t{-32768} : int16_t{32767};
    input.insert(input.end(), {v, static_cast<int16_t>(-1 - v)});
  }
  const auto expected = ReferenceRate(input, 2, 44100, outRate);
  ASSERT_TRUE(expected.clipped) << "the filter must overshoot for this test to mean anything";
  const auto got = Convert(input, 2, 44100, outRate);
  EXPECT_EQ(got, expected.samples);
  EXPECT_GT(std::count(got.begin(), got.end(), 32767), 0);
  EXPECT_GT(std::count(got.begin(), got.end(), -32768), 0);
  // On each plateau (away from its edges) the sign never flips. The filter
  // delays the output by about 15 taps (7 frames at 22050 Hz, 16 with the
  // interpolation when up-sampling).
  const double framesPerPlateau = 50.0 * outRate / 44100;
  const double delay = outRate < 44100 ? 7 : 16;
  for (size_t f = 100; f < got.size() / 2; ++f) {
    const double phase = std::fmod((f - delay) / framesPerPlateau, 2.0);
    if (std::fabs(phase - 0.5) < 0.2) {
      ASSERT_GT(got[2 * f], 0) << "frame " << f;
    }
    if (std::fabs(phase - 1.5) < 0.2) {
      ASSERT_LT(got[2 * f], 0) << "frame " << f;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, Saturation, ::testing::Values(22050, 48000, 88200));

// --- A tone keeps its frequency and level -------------------------------------

struct TToneMeasure {
  double frequency;
  double rms;
};

// Frequency from the upward zero crossings (interpolated between samples),
// RMS over the same whole periods; skips the filter's start.
TToneMeasure MeasureTone(const std::vector<int16_t>& mono, int rate) {
  std::vector<double> crossings;
  for (size_t i = 200; i + 1 < mono.size(); ++i)
    if (mono[i] < 0 && mono[i + 1] >= 0)
      crossings.push_back(i + static_cast<double>(-mono[i]) / (mono[i + 1] - mono[i]));
  if (crossings.size() < 2) return {0, 0};
  const double span = crossings.back() - crossings.front();
  double sum = 0;
  const auto from = static_cast<size_t>(std::ceil(crossings.front()));
  const auto to = static_cast<size_t>(crossings.back());
  for (size_t i = from; i <= to; ++i) sum += static_cast<double>(mono[i]) * mono[i];
  return {(crossings.size() - 1) / span * rate, std::sqrt(sum / (to - from + 1))};
}

TEST(RateConverterTone, OneKilohertzKeepsItsFrequencyAndLevel) {
  const double amplitude = 16000, inputRms = amplitude / std::sqrt(2.0);
  const auto input = SineWave(44100, 2, 1000, 44100, amplitude);
  for (int outRate : {22050, 88200}) {
    const auto out = Convert(input, 2, 44100, outRate);
    std::vector<int16_t> left;
    for (size_t i = 0; i < out.size(); i += 2) left.push_back(out[i]);
    const auto tone = MeasureTone(left, outRate);
    // Tolerances: 0.05 Hz and 0.05 dB; 1 kHz lies deep in the passband.
    EXPECT_NEAR(tone.frequency, 1000.0, 0.05) << outRate;
    EXPECT_NEAR(20 * std::log10(tone.rms / inputRms), 0.0, 0.05) << outRate;
  }
}

// --- Opening: buffer sizes, kernel, Size, Position ----------------------------

TEST(RateConverterOpen, InBufSizeKeepsOneBlockWithinTheOutputBuffer) {
  for (auto [in, out, size] : {std::tuple{44100, 22050, 32768}, std::tuple{22050, 44100, 16384},
                               std::tuple{44100, 48000, 30104}, std::tuple{44100, 44100, 32768}}) {
    auto source = MakeComponent<TMemorySource>(std::vector<uint8_t>(400), in, 2);
    auto converter = MakeComponent<TRateConverter>();
    converter->SetOutSampleRate(out);
    converter->SetInput(source.get());
    converter->OpenStream();
    EXPECT_EQ(converter->InBufSize(), size) << in << " -> " << out;
    converter->CloseStream();
  }
}

TEST(RateConverterOpen, KernelCutoffIsPointFourOfTheLowerRateOverTheHigher) {
  for (auto [in, out, centre] :
       {std::tuple{44100, 22050, 0.3999442}, std::tuple{44100, 88200, 0.3999442},
        std::tuple{44100, 44100, 0.7999885}}) {
    auto source = MakeComponent<TMemorySource>(std::vector<uint8_t>(400), in, 2);
    auto converter = MakeComponent<TRateConverter>();
    converter->SetOutSampleRate(out);
    converter->SetInput(source.get());
    converter->OpenStream();
    ASSERT_EQ(converter->Kernel().size(), 30u);
    EXPECT_NEAR(converter->Kernel()[15], centre, 5e-8) << in << " -> " << out;
    converter->CloseStream();
  }
}

int32_t SizeFor(int32_t inputBytes, int inRate, int outRate, bool reportSize = true) {
  auto source = MakeComponent<TMemorySource>(std::vector<uint8_t>(inputBytes), inRate, 2);
  source->ReportSize = reportSize;
  auto converter = MakeComponent<TRateConverter>();
  converter->SetOutSampleRate(outRate);
  converter->SetInput(source.get());
  converter->OpenStream();
  const int32_t size = converter->Size();
  converter->CloseStream();
  return size;
}

TEST(RateConverterOpen, SizeIsTheInputSizeTimesTheFloatRatioHalvesToEven) {
  // 48000 / 44100 as a 32-bit float is 1.088435411453247.
  EXPECT_EQ(static_cast<double>(static_cast<float>(48000.0 / 44100)), 1.088435411453247);
  EXPECT_EQ(SizeFor(1000000, 44100, 48000), 1088435);
  EXPECT_EQ(SizeFor(5, 44100, 22050), 2);  // 2.5
  EXPECT_EQ(SizeFor(7, 44100, 22050), 4);  // 3.5
  EXPECT_EQ(SizeFor(400, 22050, 44100), 800);
}

TEST(RateConverterOpen, UnknownInputSizeStaysUnknown) {
  EXPECT_EQ(SizeFor(4000, 44100, 22050, false), -1);
  EXPECT_EQ(SizeFor(4000, 22050, 44100, false), -1);
}

TEST(RateConverterRead, PositionFollowsTheInputNotTheBytesHandedOut) {
  auto source = MakeComponent<TMemorySource>(PcmBytes(Noise(40000, 2, 3, 1000)), 44100, 2);
  auto converter = MakeComponent<TRateConverter>();
  converter->SetOutSampleRate(22050);
  converter->SetInput(source.get());
  converter->OpenStream();
  std::vector<uint8_t> piece(100);
  ASSERT_EQ(converter->ReadData(piece.data(), 100), 100);
  // One block of 32768 input bytes has been taken: half of it is the
  // position, whatever has been handed out yet.
  EXPECT_EQ(converter->Position(), 16384);
  Drain(*converter, 4096);
  EXPECT_EQ(converter->Position(), converter->Size());
  converter->CloseStream();
}

TEST(RateConverterRead, WithoutAnInputSizePositionCountsTheBytesHandedOut) {
  auto source = MakeComponent<TMemorySource>(PcmBytes(Noise(40000, 2, 3, 1000)), 44100, 2);
  source->ReportSize = false;
  auto converter = MakeComponent<TRateConverter>();
  converter->SetInput(source.get());
  converter->OpenStream();
  const auto bytes = Drain(*converter, 1000);
  EXPECT_EQ(converter->Position(), static_cast<int32_t>(bytes.size()));
  converter->CloseStream();
}

// --- Properties and failures -------------------------------------------------

TEST(RateConverterProperties, InvalidValuesAndChangesWhileBusyAreIgnored) {
  auto source = MakeComponent<TMemorySource>(std::vector<uint8_t>(400), 44100, 2);
  auto converter = MakeComponent<TRateConverter>();
  EXPECT_EQ(converter->OutSampleRate(), 22050);
  EXPECT_EQ(converter->KernelWidth(), 30);
  EXPECT_EQ(converter->FilterWindow(), fwBlackman);
  converter->SetOutSampleRate(0);
  converter->SetOutSampleRate(-8000);
  converter->SetKernelWidth(1);
  converter->SetKernelWidth(0);
  EXPECT_EQ(converter->OutSampleRate(), 22050);
  EXPECT_EQ(converter->KernelWidth(), 30);
  converter->SetKernelWidth(2);
  EXPECT_EQ(converter->KernelWidth(), 2);

  converter->SetInput(source.get());
  converter->OpenStream();
  converter->SetOutSampleRate(8000);
  converter->SetKernelWidth(64);
  EXPECT_EQ(converter->OutSampleRate(), 22050);
  EXPECT_EQ(converter->KernelWidth(), 2);
  EXPECT_EQ(converter->GetSampleRate(), 22050);
  converter->CloseStream();
  converter->SetOutSampleRate(8000);
  EXPECT_EQ(converter->GetSampleRate(), 8000);
}

TEST(RateConverterFailures, HaveTheirMessages) {
  auto converter = MakeComponent<TRateConverter>();
  EXPECT_EQ(converter->GetBitsPerSample(), 16);
  EXPECT_EQ(converter->GetSampleRate(), 22050);  // needs no input
  std::vector<uint8_t> buf(16);
  EXPECT_EQ(ErrorOf([&] { converter->GetChannels(); }), "Input not assigned");
  EXPECT_EQ(ErrorOf([&] { converter->OpenStream(); }), "Input not assigned");
  EXPECT_EQ(ErrorOf([&] { converter->ReadData(buf.data(), 16); }), "The Stream is not opened");
}

TEST(RateConverterFailures, InputFailuresPassThroughAndCloseClosesTheInput) {
  auto source = MakeComponent<TMemorySource>(PcmBytes(Noise(20000, 2, 1, 1000)), 44100, 2);
  source->FailAtByte = 40000;
  auto converter = MakeComponent<TRateConverter>();
  converter->SetInput(source.get());
  converter->OpenStream();
  EXPECT_TRUE(source->Busy());
  EXPECT_EQ(ErrorOf([&] { Drain(*converter, 4096); }), "read failed");
  converter->CloseStream();
  EXPECT_FALSE(source->Busy());
  EXPECT_FALSE(converter->Busy());
}

TEST(RateConverterRead, AnEmptyInputEndsTheRunAtOnce) {
  auto source = MakeComponent<TMemorySource>(std::vector<uint8_t>{}, 44100, 2);
  auto converter = MakeComponent<TRateConverter>();
  converter->SetInput(source.get());
  converter->OpenStream();
  std::vector<uint8_t> buf(64);
  EXPECT_EQ(converter->ReadData(buf.data(), 64), 0);
  EXPECT_EQ(converter->ReadData(buf.data(), 64), 0);
  converter->CloseStream();
}

// An input exchanged for one of another rate (or layout) during a run: the
// converter follows the new rate from the next block, never overruns its
// buffers (11025 -> 48000 makes four times more output per block than the
// buffer holds) and never lets a History of the other path leak in.
TEST(RateConverterRead, FollowsAnInputOfAnotherRateExchangedDuringTheRun) {
  TDeliveryLog log;
  const int rates[] = {44100, 11025, 96000, 22050};
  const int channels[] = {2, 2, 2, 1};
  std::vector<ComponentPtr<TLoggingSource>> sources;
  for (int i = 0; i < 4; ++i)
    sources.push_back(MakeComponent<TLoggingSource>(
        PcmBytes(SineWave(3 * rates[i], channels[i], 1000, rates[i], 10000)), i, &log, rates[i],
        channels[i]));
  auto converter = MakeComponent<TRateConverter>();
  converter->SetOutSampleRate(48000);
  converter->SetInput(sources[0].get());
  converter->OpenStream();
  const int block = converter->InBufSize();
  std::vector<uint8_t> out, piece(4096);
  for (int i = 0; i < 4; ++i) {
    if (i > 0) converter->SetInput(sources[i].get());  // a swap while Busy
    // Two blocks from each input but the last, which runs to its end.
    const size_t stopAt = i < 3 ? log.bytes.size() + 2 * block : SIZE_MAX;
    while (log.bytes.size() < stopAt) {
      const int n = converter->ReadData(piece.data(), 4096);
      if (n == 0) break;
      out.insert(out.end(), piece.begin(), piece.begin() + n);
    }
  }
  converter->CloseStream();
  double expectedBytes = 0;
  for (const auto& read : log.reads) expectedBytes += read.count * 48000.0 / rates[read.source];
  // A frame or so per block either way, from where the counter stands.
  EXPECT_NEAR(static_cast<double>(out.size()), expectedBytes, 100.0);
  for (int16_t v : Samples(out)) ASSERT_LE(std::abs(v), 11000);
}

}  // namespace
}  // namespace cdx::test
