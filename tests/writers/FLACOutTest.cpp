// The FLAC writer with the real libFLAC: files checked by flac, metaflac and
// md5sum, stops, settings and failures. The command line's tests hold the
// levels against the flac command's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>

#include "tests/support/FlacTools.h"
#include "tests/support/TestSources.h"
#include "tests/support/WriterRun.h"
#include "writers/ACS_FLAC.h"

namespace cdx::test {
namespace {

struct TFlacRun : TWriterRun<TFLACOut> {
  TFlacRun(std::vector<uint8_t> bytes, int channels, int rate = 44100, int bits = 16)
      : TWriterRun("out.flac", std::move(bytes), channels, rate, bits) {}
};

// Music-like test audio: a tone with a burst of noise in its middle third.
std::vector<uint8_t> ToneAndNoise(int frames, int channels, int rate) {
  auto samples = SineWave(frames, channels, 997.0, rate, 12000.0);
  auto noise = Noise(frames / 3, channels, 5, 9000);
  std::copy(noise.begin(), noise.end(), samples.begin() + samples.size() / 3);
  return PcmBytes(samples);
}

// 8-bit samples with the ends and the middle of the range among them.
std::vector<uint8_t> EightBitRamp(size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + i / 300) % 256);
  bytes[0] = 0;
  bytes[1] = 128;
  bytes[2] = 255;
  return bytes;
}

// The samples as FLAC holds them: 8-bit ones signed.
std::vector<uint8_t> AsFlacSamples(std::vector<uint8_t> bytes, int bits) {
  if (bits == 8)
    for (uint8_t& b : bytes) b ^= 0x80;
  return bytes;
}

struct RoundTripCase {
  const char* name;
  int channels, rate, bits;
  std::vector<uint8_t> bytes;
  int chunk = 1 << 30;
  bool reportSize = true;
  std::function<void(TFLACOut&)> settings = [](TFLACOut&) {};
  uint32_t padding = TFLACOut::kDefaultPadding;
};

std::vector<RoundTripCase> RoundTripCases() {
  return {
      {"stereo", 2, 44100, 16, ToneAndNoise(100000, 2, 44100), 5000},
      {"mono", 1, 22050, 16, ToneAndNoise(50000, 1, 22050), 4099},
      {"eight_bit_mono", 1, 8000, 8, EightBitRamp(30001), 7000},
      {"ends_on_a_block_boundary", 2, 44100, 16, ToneAndNoise(3 * 4608, 2, 44100), 4608 * 4},
      {"size_unknown", 2, 32000, 16, ToneAndNoise(40000, 2, 32000), 65536, false},
      {"encoder_chooses_the_block_size", 2, 44100, 16, ToneAndNoise(30000, 2, 44100), 1 << 30, true,
       [](TFLACOut& w) { w.SetBlockSize(0); }},
      {"every_search_and_verify", 2, 44100, 16, ToneAndNoise(20000, 2, 44100), 1 << 30, true,
       [](TFLACOut& w) {
         ApplyFLACLevel(w, 8);
         w.SetBestModelSearch(true);
         w.SetQLPCoeffPrecisionSearch(true);
         w.SetVerify(true);
       }},
      // Room for a cover, left as zeros the tagger overwrites, with and
      // without frames after it; and no room at all.
      {"room_for_a_cover", 2, 44100, 16, ToneAndNoise(30000, 2, 44100), 5000, true,
       [](TFLACOut& w) { w.SetVerify(true); }, 600000},
      {"room_for_a_cover_and_no_audio", 2, 44100, 16, {}, 5000, true, [](TFLACOut&) {}, 600000},
      {"no_room", 2, 44100, 16, ToneAndNoise(30000, 2, 44100), 5000, true, [](TFLACOut&) {}, 0},
  };
}

void PrintTo(const RoundTripCase& c, std::ostream* out) {
  *out << c.name;
}

class FlacRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(FlacRoundTrip, ReferenceToolsAcceptTheFileAndDecodeWhatWasFed) {
  const RoundTripCase& c = GetParam();
  TFlacRun run(c.bytes, c.channels, c.rate, c.bits);
  run.source->Chunk = c.chunk;
  run.source->ReportSize = c.reportSize;
  c.settings(*run.writer);
  run.writer->SetPadding(c.padding);
  EXPECT_EQ(run.Run().Result, TRunResult::Done);
  EXPECT_TRUE(run.Errors().empty()) << run.Errors().front();
  EXPECT_EQ(run.Done(), 1);
  EXPECT_FALSE(run.source->Busy());
  std::string errors;
  // flac -t cannot check a stream of no samples.
  EXPECT_TRUE(c.bytes.empty() || FlacTestPasses(run.file, &errors)) << errors;
  EXPECT_TRUE(DecodeFlac(run.file, c.bits == 8) == c.bytes);
  const std::vector<uint8_t> held = AsFlacSamples(c.bytes, c.bits);
  EXPECT_TRUE(DecodeFlac(run.file) == held) << "as FLAC holds the samples";

  auto info = FlacStreamInfo(run.file);
  EXPECT_EQ(info["sample_rate"], std::to_string(c.rate));
  EXPECT_EQ(info["channels"], std::to_string(c.channels));
  EXPECT_EQ(info["bits-per-sample"], std::to_string(c.bits));
  EXPECT_EQ(info["total samples"], std::to_string(c.bytes.size() / (c.bits / 8) / c.channels));
  EXPECT_EQ(info["MD5 signature"], Md5Hex(held));
  const std::string room = c.padding ? std::to_string(c.padding) : "";
  EXPECT_EQ(FlacStreamInfo(run.file, "PADDING")["length"], room);
  EXPECT_GT(std::filesystem::file_size(run.file), c.padding) << "the room is in the file";
}

INSTANTIATE_TEST_SUITE_P(, FlacRoundTrip, ::testing::ValuesIn(RoundTripCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlacOut, StoppedRunLeavesACompleteFileOfTheSamplesHandedOver) {
  const std::vector<uint8_t> bytes = ToneAndNoise(400000, 2, 44100);
  TFlacRun run(bytes, 2);
  run.source->Chunk = 30000;
  int reads = 0;
  run.source->OnRead = [&] {
    if (++reads == 5) run.writer->Stop();
  };
  EXPECT_EQ(run.Run().Result, TRunResult::Stopped);
  EXPECT_TRUE(run.Errors().empty());
  const size_t delivered = static_cast<size_t>(run.source->Position());
  ASSERT_GT(delivered, 0u);
  ASSERT_LT(delivered, bytes.size());
  std::string errors;
  EXPECT_TRUE(FlacTestPasses(run.file, &errors)) << errors;
  const std::vector<uint8_t> written(bytes.begin(), bytes.begin() + delivered);
  EXPECT_EQ(FlacStreamInfo(run.file)["total samples"], std::to_string(delivered / 4));
  EXPECT_EQ(FlacStreamInfo(run.file)["MD5 signature"], Md5Hex(written));
  EXPECT_TRUE(DecodeFlac(run.file) == written);
}

// Total samples in the STREAMINFO a file starts with (still the estimate
// while the run goes on); -1 when the file is too short.
int64_t HeaderTotalSamples(const std::vector<uint8_t>& f) {
  if (f.size() < 42) return -1;
  int64_t total = f[21] & 0x0F;
  for (int i = 22; i < 26; ++i) total = (total << 8) | f[i];
  return total;
}

TEST(FlacOut, TheHeaderAnnouncesTheInputsSizeInFramesUntilTheRealCountReplacesIt) {
  const struct {
    size_t bytes;
    int channels, bits;
    bool reportSize;
    int64_t announced, total;
  } cases[] = {
      {10584000, 2, 16, true, 2646000, 2646000},
      {14, 2, 16, true, 4, 3},  // 3.5 frames: halves go to even
      {10, 2, 16, true, 2, 2},  // 2.5
      {7, 2, 8, true, 4, 3},
      {7, 1, 8, true, 7, 7},
      {5000, 2, 16, false, 0, 1250},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytes) + " bytes, " + std::to_string(c.channels) + " x " +
                 std::to_string(c.bits));
    TFlacRun run(std::vector<uint8_t>(c.bytes, 0x40), c.channels, 44100, c.bits);
    run.source->ReportSize = c.reportSize;
    int64_t announced = -1;
    run.source->OnRead = [&] {
      if (announced < 0)
        announced = HeaderTotalSamples(ReadFile(PartFilesIn(run.dir.Path()).at(0)));
    };
    EXPECT_EQ(run.Run().Result, TRunResult::Done);
    EXPECT_EQ(announced, c.announced);
    EXPECT_EQ(HeaderTotalSamples(ReadFile(run.file)), c.total);
    EXPECT_TRUE(FlacTestPasses(run.file));
  }
}

TEST(FlacOut, SettersKeepTheStereoOptionsConsistent) {
  auto writer = MakeComponent<TFLACOut>();
  EXPECT_FALSE(writer->BestModelSearch());
  EXPECT_EQ(writer->BlockSize(), 4608);
  EXPECT_TRUE(writer->EnableMidSideStereo());
  EXPECT_FALSE(writer->EnableLooseMidSideStereo());
  EXPECT_EQ(writer->MaxLPCOrder() + writer->MinResidualPartitionOrder() +
                writer->MaxResidualPartitionOrder() + writer->QLPCoeffPrecision(),
            0);
  EXPECT_FALSE(writer->QLPCoeffPrecisionSearch());
  EXPECT_FALSE(writer->Verify());

  enum Setter { BestModel, Loose, MidSide };
  const struct {
    bool midSide, loose;  // before
    Setter setter;
    bool value;
    bool wantMidSide, wantLoose;
  } cases[] = {
      {false, true, BestModel, true, true, false},  {true, true, BestModel, true, true, false},
      {false, true, BestModel, false, false, true}, {false, false, Loose, true, true, true},
      {true, true, Loose, false, true, false},      {true, true, MidSide, false, false, true},
  };
  for (const auto& c : cases) {
    writer->SetEnableMidSideStereo(c.midSide);
    writer->SetEnableLooseMidSideStereo(c.loose);
    writer->SetEnableMidSideStereo(c.midSide);  // the loose setter may have raised it
    if (c.setter == BestModel) writer->SetBestModelSearch(c.value);
    if (c.setter == Loose) writer->SetEnableLooseMidSideStereo(c.value);
    if (c.setter == MidSide) writer->SetEnableMidSideStereo(c.value);
    SCOPED_TRACE(::testing::Message()
                 << c.midSide << c.loose << " setter " << c.setter << "=" << c.value);
    EXPECT_EQ(writer->EnableMidSideStereo(), c.wantMidSide);
    EXPECT_EQ(writer->EnableLooseMidSideStereo(), c.wantLoose);
    if (c.setter == BestModel) {
      EXPECT_EQ(writer->BestModelSearch(), c.value);
    }
  }

  writer->SetFileMode(foAppend);
  EXPECT_EQ(writer->FileMode(), foRewrite) << "every run writes a new file";
}

TEST(FlacOut, CoefficientPrecisionIsLoweredToWhatTheSampleWidthAllows) {
  const struct {
    int bits;
    uint16_t precision, kept;
    bool encoded;
  } cases[] = {{16, 20, 15, true},
               {16, 15, 15, true},
               {16, 14, 14, true},
               {8, 15, 15, true},
               {8, 20, 20, false}};  // the encoder takes no precision above 15
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bits) + " bits, precision " + std::to_string(c.precision));
    const auto bytes = c.bits == 16 ? ToneAndNoise(20000, 1, 44100) : EightBitRamp(20000);
    TFlacRun run(bytes, 1, 44100, c.bits);
    run.writer->SetMaxLPCOrder(8);
    run.writer->SetQLPCoeffPrecision(c.precision);
    EXPECT_EQ(run.Run().Result, c.encoded ? TRunResult::Done : TRunResult::Failed);
    EXPECT_EQ(run.writer->QLPCoeffPrecision(), c.kept);
    if (c.encoded) {
      EXPECT_TRUE(DecodeFlac(run.file, c.bits == 8) == bytes);
    }
  }
}

TEST(FlacOut, FailuresFailTheRunWithTheirMessageAndLeaveTheEarlierFile) {
  const struct {
    const char* name;
    uint64_t fileSizeLimit;  // 0: none
    std::function<void(TFlacRun&)> setUp;
    int frames;
    const char* message;
  } cases[] = {
      // The header (86 bytes and 4 KiB of padding) fits, the frames do not.
      {"write_fails_mid_run", 65536, [](TFlacRun&) {}, 300000, "Failed to encode data."},
      {"write_fails_when_finishing", 4400, [](TFlacRun&) {}, 1000, "Failed to encode data."},
      {"header_cannot_be_written", 20, [](TFlacRun&) {}, 1000,
       "Failed to initialize FLAC encoder."},
      {"settings_refused", 0, [](TFlacRun& r) { r.writer->SetBlockSize(8); }, 1000,
       "Failed to initialize FLAC encoder."},
      {"rate_refused", 0, [](TFlacRun& r) { r.source->SetFormat(0, 2, 16); }, 1000,
       "Failed to initialize FLAC encoder."},
      {"width_not_8_or_16", 0, [](TFlacRun& r) { r.source->SetFormat(44100, 2, 24); }, 1000,
       "Failed to initialize FLAC encoder."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TFlacRun run(PcmBytes(Noise(c.frames, 2, 4)), 2);
    c.setUp(run);
    WriteFile(run.file, {1, 2, 3});
    const int fds = OpenFdCount();
    TRunEnd end;
    {
      std::unique_ptr<TFileSizeLimit> full;
      if (c.fileSizeLimit) full = std::make_unique<TFileSizeLimit>(c.fileSizeLimit);
      end = run.Run();
    }
    EXPECT_EQ(end.Result, TRunResult::Failed);
    EXPECT_EQ(end.Message, c.message);
    EXPECT_EQ(run.Errors(), std::vector<std::string>{c.message});
    EXPECT_EQ(run.Done(), 0);
    EXPECT_EQ(ReadFile(run.file), (std::vector<uint8_t>{1, 2, 3})) << "the earlier file is kept";
    EXPECT_TRUE(PartFilesIn(run.dir.Path()).empty());
    EXPECT_EQ(run.source->OpenCount, run.source->CloseCount) << "the input is closed";
    EXPECT_FALSE(run.source->Busy());
    EXPECT_EQ(OpenFdCount(), fds) << "nothing is left open";
  }
}

}  // namespace
}  // namespace cdx::test
