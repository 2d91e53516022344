// The channel converter (stereo <-> mono) and the sample-width converter
// (16 <-> 8 bits): their transforms, block sizes, formats, Size, Position
// and failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "converters/ACS_Converters.h"
#include "tests/converters/ConverterTestKit.h"

namespace cdx::test {
namespace {

std::vector<uint8_t> Pump(TACSConverter& converter, std::vector<uint8_t> bytes, int channels,
                          int bits, int chunk = 1 << 20, int count = 1 << 20) {
  auto source = MakeComponent<TMemorySource>(std::move(bytes), 44100, channels, bits);
  source->Chunk = chunk;
  converter.SetInput(source.get());
  converter.OpenStream();
  auto out = Drain(converter, count);
  converter.CloseStream();
  converter.SetInput(nullptr);
  return out;
}

std::vector<int16_t> Mix(const std::vector<int16_t>& stereo) {
  auto ms = MakeComponent<TMSConverter>();
  return Samples(Pump(*ms, PcmBytes(stereo), 2, 16));
}

std::vector<int16_t> Expand(const std::vector<int16_t>& mono, TMSConverterMode mode) {
  auto ms = MakeComponent<TMSConverter>();
  ms->SetMode(mode);
  return Samples(Pump(*ms, PcmBytes(mono), 1, 16));
}

std::vector<uint8_t> Narrow(const std::vector<int16_t>& samples) {
  auto sc = MakeComponent<TSampleConverter>();
  return Pump(*sc, PcmBytes(samples), 1, 16);
}

std::vector<int16_t> Widen(const std::vector<uint8_t>& bytes) {
  auto sc = MakeComponent<TSampleConverter>();
  return Samples(Pump(*sc, bytes, 1, 8));
}

using V16 = std::vector<int16_t>;
using V8 = std::vector<uint8_t>;

TEST(Transforms, MixAveragesTruncatingTowardZero) {
  EXPECT_EQ(Mix({1, 0, -1, 0, -3, 0, -32768, -32768, 32767, 32767}),
            (V16{0, 0, -1, -32768, 32767}));
}

TEST(Transforms, ExpandPlacesTheSignalAsModeSays) {
  EXPECT_EQ(Expand({5, 7}, msmMonoToBoth), (V16{5, 5, 7, 7}));
  EXPECT_EQ(Expand({5, 7}, msmMonoToLeft), (V16{0, 5, 0, 7}));
  EXPECT_EQ(Expand({5, 7}, msmMonoToRight), (V16{5, 0, 7, 0}));
}

TEST(Transforms, NarrowTakesTheHighByteOfTheOffsetSample) {
  EXPECT_EQ(Narrow({-32768, -1, 0, 255, 256, 32767}), (V8{0, 127, 128, 128, 129, 255}));
}

TEST(Transforms, WidenCentresAndScales) {
  EXPECT_EQ(Widen({0, 128, 255, 1}), (V16{-32768, 0, 32512, -32512}));
}

// Whole streams of several blocks, delivered and read in odd pieces, against
// the transforms applied one sample at a time.
struct TStreamCase {
  std::string name;
  int channels, bits;
  std::function<ComponentPtr<TACSConverter>()> make;
  std::function<V8(const V8&)> expected;
};

class WholeStream : public ::testing::TestWithParam<TStreamCase> {};

TEST_P(WholeStream, MatchesTheTransformSampleBySample) {
  const auto& c = GetParam();
  const V8 input = PcmBytes(Noise(50000, 1, 77));  // 100000 bytes
  const V8 expected = c.expected(input);
  auto converter = c.make();
  EXPECT_EQ(Pump(*converter, input, c.channels, c.bits, 997, 333), expected);
  EXPECT_EQ(Pump(*converter, input, c.channels, c.bits, 1, 1 << 20), expected);
}

template <class T>
std::function<ComponentPtr<TACSConverter>()> Maker(std::function<void(T&)> setup = {}) {
  return [setup] {
    auto c = MakeComponent<T>();
    if (setup) setup(*c);
    return ComponentPtr<TACSConverter>(c.release());
  };
}

V8 MixAll(const V8& in) {
  const auto s = Samples(in);
  V16 out;
  for (size_t i = 0; i + 1 < s.size(); i += 2)
    out.push_back(static_cast<int16_t>((s[i] + s[i + 1]) / 2));
  return PcmBytes(out);
}

V8 ExpandAll(const V8& in, int mode) {
  V16 out;
  for (int16_t x : Samples(in)) {
    out.push_back(mode == msmMonoToLeft ? 0 : x);
    out.push_back(mode == msmMonoToRight ? 0 : x);
  }
  return PcmBytes(out);
}

V8 NarrowAll(const V8& in) {
  V8 out;
  for (int16_t x : Samples(in)) out.push_back(static_cast<uint8_t>((x + 32768) >> 8));
  return out;
}

V8 WidenAll(const V8& in) {
  V16 out;
  for (uint8_t u : in) out.push_back(static_cast<int16_t>((u - 128) * 256));
  return PcmBytes(out);
}

INSTANTIATE_TEST_SUITE_P(
    Converters, WholeStream,
    ::testing::Values(TStreamCase{"Mix", 2, 16, Maker<TMSConverter>(), MixAll},
                      TStreamCase{"ExpandBoth", 1, 16, Maker<TMSConverter>(),
                                  [](const V8& in) { return ExpandAll(in, msmMonoToBoth); }},
                      TStreamCase{"ExpandLeft", 1, 16, Maker<TMSConverter>([](TMSConverter& c) {
                                    c.SetMode(msmMonoToLeft);
                                  }),
                                  [](const V8& in) { return ExpandAll(in, msmMonoToLeft); }},
                      TStreamCase{"ExpandRight", 1, 16, Maker<TMSConverter>([](TMSConverter& c) {
                                    c.SetMode(msmMonoToRight);
                                  }),
                                  [](const V8& in) { return ExpandAll(in, msmMonoToRight); }},
                      TStreamCase{"NarrowStereo", 2, 16, Maker<TSampleConverter>(), NarrowAll},
                      TStreamCase{"WidenStereo", 2, 8, Maker<TSampleConverter>(), WidenAll}),
    [](const auto& info) { return info.param.name; });

// --- Blocks -----------------------------------------------------------------

// The first ReadData with room for everything hands out exactly one block.
std::pair<int, int32_t> FirstBlock(TACSConverter& converter, int channels, int bits) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(100000), 44100, channels, bits);
  converter.SetInput(source.get());
  converter.OpenStream();
  std::vector<uint8_t> buf(1 << 17);
  const int n = converter.ReadData(buf.data(), static_cast<int>(buf.size()));
  const int32_t taken = source->Position();
  converter.CloseStream();
  return {n, taken};
}

TEST(Blocks, ReducingReads32768AndGrowingReads16384Bytes) {
  auto ms = MakeComponent<TMSConverter>();
  auto sc = MakeComponent<TSampleConverter>();
  EXPECT_EQ(FirstBlock(*ms, 2, 16), (std::pair<int, int32_t>{16384, 32768}));
  EXPECT_EQ(FirstBlock(*ms, 1, 16), (std::pair<int, int32_t>{32768, 16384}));
  EXPECT_EQ(FirstBlock(*sc, 2, 16), (std::pair<int, int32_t>{16384, 32768}));
  EXPECT_EQ(FirstBlock(*sc, 2, 8), (std::pair<int, int32_t>{32768, 16384}));
}

TEST(Blocks, ModeIsReadAtEveryBlock) {
  auto source = MakeComponent<TMemorySource>(PcmBytes(V16(3 * 8192, 9)), 44100, 1, 16);
  auto ms = MakeComponent<TMSConverter>();
  ms->SetInput(source.get());
  ms->OpenStream();
  std::vector<uint8_t> buf(16384);
  ASSERT_EQ(ms->ReadData(buf.data(), 16384), 16384);  // half of the first block
  ms->SetMode(msmMonoToLeft);
  ASSERT_EQ(ms->ReadData(buf.data(), 16384), 16384);  // its second half, converted already
  EXPECT_EQ(Samples(buf)[0], 9);
  ASSERT_EQ(ms->ReadData(buf.data(), 16384), 16384);  // the next block
  EXPECT_EQ(Samples(buf)[0], 0);
  EXPECT_EQ(Samples(buf)[1], 9);
  ms->CloseStream();
}

TEST(Blocks, OnlyWholeFramesAreConverted) {
  // Two stereo frames and half of a third.
  EXPECT_EQ(Mix({4, 6, -4, -6, 100}), (V16{5, -5}));
  auto sc = MakeComponent<TSampleConverter>();
  EXPECT_EQ(Pump(*sc, PcmBytes({0, 0, 256}), 2, 16), (V8{128, 128}));
}

// --- Formats, Size, Position ----------------------------------------------------

TEST(Formats, FollowTheInput) {
  auto mono = MakeComponent<TMemorySource>(V8{}, 32000, 1, 16);
  auto stereo8 = MakeComponent<TMemorySource>(V8{}, 11025, 2, 8);
  auto ms = MakeComponent<TMSConverter>();
  auto sc = MakeComponent<TSampleConverter>();
  EXPECT_EQ(ms->GetBitsPerSample(), 16);  // without an input too
  ms->SetInput(mono.get());
  EXPECT_EQ(ms->GetChannels(), 2);
  EXPECT_EQ(ms->GetSampleRate(), 32000);
  ms->SetInput(stereo8.get());
  EXPECT_EQ(ms->GetChannels(), 1);
  EXPECT_EQ(ms->GetBitsPerSample(), 16);
  sc->SetInput(mono.get());
  EXPECT_EQ(sc->GetBitsPerSample(), 8);
  EXPECT_EQ(sc->GetChannels(), 1);
  sc->SetInput(stereo8.get());
  EXPECT_EQ(sc->GetBitsPerSample(), 16);
  EXPECT_EQ(sc->GetChannels(), 2);
  EXPECT_EQ(sc->GetSampleRate(), 11025);
}

TEST(Formats, ChannelConverterTreatsEightBitInputAsSixteenBitSamples) {
  auto ms = MakeComponent<TMSConverter>();
  EXPECT_EQ(Pump(*ms, V8{1, 2, 3, 4}, 1, 8), (V8{1, 2, 1, 2, 3, 4, 3, 4}));
}

int32_t SizeOf(TACSConverter& converter, int32_t bytes, int channels, int bits, bool known) {
  auto source = MakeComponent<TMemorySource>(V8(bytes), 44100, channels, bits);
  source->ReportSize = known;
  converter.SetInput(source.get());
  converter.OpenStream();
  const int32_t size = converter.Size();
  converter.CloseStream();
  return size;
}

TEST(Sizes, HalveOrDoubleTheInputSizeAndAnUnknownSizeStaysUnknown) {
  auto ms = MakeComponent<TMSConverter>();
  auto sc = MakeComponent<TSampleConverter>();
  EXPECT_EQ(SizeOf(*ms, 1000000, 2, 16, true), 500000);
  EXPECT_EQ(SizeOf(*ms, 1000000, 1, 16, true), 2000000);
  EXPECT_EQ(SizeOf(*sc, 1000000, 2, 16, true), 500000);
  EXPECT_EQ(SizeOf(*sc, 1000000, 2, 8, true), 2000000);
  EXPECT_EQ(SizeOf(*ms, 1001, 2, 16, true), 500);
  for (auto [channels, bits] : {std::pair{2, 16}, std::pair{1, 16}, std::pair{1, 8}}) {
    EXPECT_EQ(SizeOf(*ms, 1000, channels, bits, false), -1);
    EXPECT_EQ(SizeOf(*sc, 1000, channels, bits, false), -1);
  }
}

TEST(Positions, FollowTheInputAndEndAtSize) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(100000), 44100, 2, 16);
  auto ms = MakeComponent<TMSConverter>();
  ms->SetInput(source.get());
  ms->OpenStream();
  std::vector<uint8_t> buf(100);
  ms->ReadData(buf.data(), 100);
  EXPECT_EQ(ms->Position(), 16384);  // half of the 32768 input bytes taken
  Drain(*ms, 5000);
  EXPECT_EQ(ms->Position(), 50000);
  EXPECT_EQ(ms->Size(), 50000);
  ms->CloseStream();

  source->ReportSize = false;
  ms->OpenStream();
  const auto out = Drain(*ms, 777);
  EXPECT_EQ(ms->Position(), static_cast<int32_t>(out.size()));
  ms->CloseStream();
}

// --- Failures and the input's lifetime ------------------------------------------

TEST(InPlaceFailures, HaveTheirMessages) {
  auto ms = MakeComponent<TMSConverter>();
  auto sc = MakeComponent<TSampleConverter>();
  std::vector<uint8_t> buf(8);
  for (TACSConverter* c :
       {static_cast<TACSConverter*>(ms.get()), static_cast<TACSConverter*>(sc.get())}) {
    EXPECT_EQ(ErrorOf([&] { c->OpenStream(); }), "Input not assigned");
    EXPECT_EQ(ErrorOf([&] { c->GetChannels(); }), "Input not assigned");
    EXPECT_EQ(ErrorOf([&] { c->GetSampleRate(); }), "Input not assigned");
    EXPECT_EQ(ErrorOf([&] { c->ReadData(buf.data(), 8); }), "The Stream is not opened");
  }
  EXPECT_EQ(ErrorOf([&] { sc->GetBitsPerSample(); }), "Input not assigned");
}

TEST(InPlaceFailures, EmptyInputEndsAtOnceAndCloseClosesTheInput) {
  auto source = MakeComponent<TMemorySource>(V8{}, 44100, 2, 16);
  auto sc = MakeComponent<TSampleConverter>();
  sc->SetInput(source.get());
  sc->OpenStream();
  EXPECT_TRUE(source->Busy());
  std::vector<uint8_t> buf(8);
  EXPECT_EQ(sc->ReadData(buf.data(), 8), 0);
  sc->CloseStream();
  EXPECT_FALSE(source->Busy());
  EXPECT_FALSE(sc->Busy());
}

TEST(InPlaceFailures, InputFailuresPassThrough) {
  auto source = MakeComponent<TMemorySource>(CountingBytes(100000), 44100, 2, 16);
  source->FailAtByte = 50000;
  auto ms = MakeComponent<TMSConverter>();
  ms->SetInput(source.get());
  ms->OpenStream();
  EXPECT_EQ(ErrorOf([&] { Drain(*ms, 4096); }), "read failed");
  ms->CloseStream();
}

// An input of 8 bits exchanged during a run for one opened as 16 bits: each
// block is read at the size its direction allows, so growing never
// overruns the buffer.
TEST(InPlaceFailures, AnInputOfAnotherWidthExchangedDuringTheRunFitsTheBuffer) {
  TDeliveryLog log;
  auto wide = MakeComponent<TLoggingSource>(CountingBytes(100000), 0, &log, 44100, 2, 16);
  auto narrow = MakeComponent<TLoggingSource>(CountingBytes(100000), 1, &log, 44100, 2, 8);
  auto sc = MakeComponent<TSampleConverter>();
  sc->SetInput(wide.get());
  sc->OpenStream();
  std::vector<uint8_t> buf(1 << 17);
  ASSERT_EQ(sc->ReadData(buf.data(), 1 << 17), 16384);
  sc->SetInput(narrow.get());
  int64_t total = 0;
  for (int n; (n = sc->ReadData(buf.data(), 1 << 17)) > 0;) {
    ASSERT_LE(n, 32768);
    total += n;
  }
  sc->CloseStream();
  EXPECT_EQ(total, 2 * 100000);
}

}  // namespace
}  // namespace cdx::test
