// The handle interface's contract: the wave format record, refusals at
// Start, the buffer hand-over, errors that must surface, and what is left
// on disk when a run ends without audio or without Finish.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/apecompress/ApeTestSupport.h"

namespace apetest {
namespace {

using namespace apecompress;

struct Handle {
  explicit Handle(uint32_t blocksPerFrame = 0) {
    CompressorOptions options;
    options.blocksPerFrame = blocksPerFrame;
    int error = -1;
    h = CreateCompressor(options, &error);
    EXPECT_EQ(error, 0);
  }
  ~Handle() { c_APECompress_Destroy(h); }
  int Start(const std::string& path, int channels = 2, int level = 2000) {
    WAVEFORMATEX format;
    FillWaveFormatEx(&format, 44100, 16, channels);
    return c_APECompress_Start(h, path.c_str(), &format, -1, level, nullptr, -1);
  }
  // Hands over `bytes` in the pieces offered; returns the first error.
  int Give(const std::vector<uint8_t>& bytes) {
    for (size_t done = 0; done < bytes.size();) {
      int available = 0;
      unsigned char* buffer = c_APECompress_LockBuffer(h, &available);
      if (buffer == nullptr || available <= 0) return -1;
      const size_t piece = std::min(bytes.size() - done, size_t(available));
      std::copy_n(bytes.data() + done, piece, buffer);
      done += piece;
      if (int e = c_APECompress_UnlockBuffer(h, int(piece), 1); e != 0) return e;
    }
    return 0;
  }
  APE_COMPRESS_HANDLE h;
};

TEST(WaveFormat, FillsAPcmRecord) {
  WAVEFORMATEX f;
  std::memset(&f, 0xAB, sizeof f);
  ASSERT_EQ(FillWaveFormatEx(&f, 22050, 16, 1), 0);
  EXPECT_EQ(f.wFormatTag, 1);
  EXPECT_EQ(f.nChannels, 1);
  EXPECT_EQ(f.nSamplesPerSec, 22050u);
  EXPECT_EQ(f.nAvgBytesPerSec, 44100u);
  EXPECT_EQ(f.nBlockAlign, 2);
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.cbSize, 0);
  EXPECT_EQ(FillWaveFormatEx(nullptr, 44100, 16, 2), kErrorInvalidFunctionParameter);
}

struct Refusal {
  const char* name;
  std::function<void(WAVEFORMATEX&, int& level, std::string& path)> change;
  int code;
};

class StartRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(StartRefusal, ReturnsTheCodeAndCreatesNoFile) {
  TempDir dir;
  std::string path = dir.File("out.ape");
  WAVEFORMATEX format;
  FillWaveFormatEx(&format, 44100, 16, 2);
  int level = 2000;
  GetParam().change(format, level, path);
  Handle handle;
  EXPECT_EQ(c_APECompress_Start(handle.h, path.c_str(), &format, -1, level, nullptr, -1),
            GetParam().code);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.ape")));
  int available = -1;
  EXPECT_EQ(c_APECompress_LockBuffer(handle.h, &available), nullptr);
  EXPECT_EQ(available, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Start, StartRefusal,
    ::testing::Values(
        Refusal{"MissingDirectory", [](auto&, int&, auto& p) { p += ".d/x.ape"; },
                kErrorInvalidOutputFile},
        Refusal{"PathIsADirectory", [](auto&, int&, auto& p) { p = "/tmp"; },
                kErrorInvalidOutputFile},
        Refusal{"EightBit", [](auto& f, int&, auto&) { FillWaveFormatEx(&f, 44100, 8, 2); },
                kErrorUnsupportedBitDepth},
        Refusal{"TwentyFourBit", [](auto& f, int&, auto&) { FillWaveFormatEx(&f, 44100, 24, 2); },
                kErrorUnsupportedBitDepth},
        Refusal{"ThreeChannels", [](auto& f, int&, auto&) { FillWaveFormatEx(&f, 44100, 16, 3); },
                kErrorUnsupportedChannelCount},
        Refusal{"NoChannels", [](auto& f, int&, auto&) { FillWaveFormatEx(&f, 44100, 16, 0); },
                kErrorUnsupportedChannelCount},
        Refusal{"RateZero", [](auto& f, int&, auto&) { FillWaveFormatEx(&f, 0, 16, 2); },
                kErrorUnsupportedSampleRate},
        Refusal{"NotPcm", [](auto& f, int&, auto&) { f.wFormatTag = 3; },
                kErrorUnsupportedFileType},
        Refusal{"BlockAlignWrong", [](auto& f, int&, auto&) { f.nBlockAlign = 2; },
                kErrorInvalidFunctionParameter},
        Refusal{"Level2500", [](auto&, int& l, auto&) { l = 2500; }, kErrorBadParameter},
        Refusal{"Level0", [](auto&, int& l, auto&) { l = 0; }, kErrorBadParameter}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Calls, OutOfOrderOrOutOfRangeCallsAreRefused) {
  TempDir dir;
  Handle handle(100);
  EXPECT_EQ(c_APECompress_UnlockBuffer(handle.h, 4, 1), kErrorInvalidFunctionParameter);
  EXPECT_EQ(c_APECompress_Finish(handle.h, nullptr, 0, 0), kErrorInvalidFunctionParameter);
  ASSERT_EQ(handle.Start(dir.File("a.ape")), 0);
  EXPECT_EQ(handle.Start(dir.File("b.ape")), kErrorInvalidFunctionParameter);
  int available = 0;
  ASSERT_NE(c_APECompress_LockBuffer(handle.h, &available), nullptr);
  EXPECT_EQ(available, 400);  // one frame of 100 stereo blocks
  EXPECT_EQ(c_APECompress_UnlockBuffer(handle.h, 401, 1), kErrorInvalidFunctionParameter);
  EXPECT_EQ(c_APECompress_UnlockBuffer(handle.h, -1, 1), kErrorInvalidFunctionParameter);
  EXPECT_EQ(c_APECompress_UnlockBuffer(handle.h, 150, 1), 0);
  c_APECompress_LockBuffer(handle.h, &available);
  EXPECT_EQ(available, 250);  // less than asked: the rest of the frame
  EXPECT_EQ(c_APECompress_Finish(handle.h, nullptr, 5, 0), kErrorInvalidFunctionParameter);
  EXPECT_EQ(c_APECompress_UnlockBuffer(nullptr, 0, 1), kErrorInvalidFunctionParameter);
}

// A 64 KiB block handed over through a compressor whose frame is smaller,
// in pieces that split samples, as well as in single bytes.
class HandOver : public ::testing::TestWithParam<size_t> {};

TEST_P(HandOver, PiecesOfferedSmallerThanTheBlockAllArrive) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  const std::vector<uint8_t> input = ToBytes(Generate(Signal::kSweep, 65536 / 4 * 3, 2));
  EncodeSettings s;
  s.blocksPerFrame = 5000;  // 20000 bytes offered at most
  s.piece = GetParam();
  const EncodeResult r = Encode(path, input, s);
  ASSERT_EQ(r.unlock, 0);
  ASSERT_EQ(r.finish, 0);
  const Decoded d = DecodeWithFfmpeg(path);
  EXPECT_EQ(d.messages, "");
  EXPECT_TRUE(d.pcm == input);
}

INSTANTIATE_TEST_SUITE_P(Pieces, HandOver, ::testing::Values(65536, 999, 1));

TEST(Finish, NoSampleAtAllLeavesNoFile) {
  TempDir dir;
  const std::string path = dir.File("empty.ape");
  Handle handle;
  ASSERT_EQ(handle.Start(path), 0);
  EXPECT_EQ(handle.Give({1, 2, 3}), 0);  // less than one block
  EXPECT_EQ(c_APECompress_Finish(handle.h, nullptr, 0, 0), kErrorInputFileTooSmall);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Finish, DestroyWithoutFinishRemovesTheUnfinishedFile) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  {
    Handle handle(100);
    ASSERT_EQ(handle.Start(path), 0);
    ASSERT_EQ(handle.Give(ToBytes(Generate(Signal::kNoise, 250, 2))), 0);
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Finish, TrailingPartialBlockIsDroppedAndReported) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  const std::vector<uint8_t> whole = ToBytes(Generate(Signal::kSweep, 100, 2));
  std::vector<uint8_t> input = whole;
  input.insert(input.end(), {7, 7});
  Handle handle;
  ASSERT_EQ(handle.Start(path), 0);
  ASSERT_EQ(handle.Give(input), 0);
  EXPECT_EQ(c_APECompress_Finish(handle.h, nullptr, 0, 0), kErrorInvalidFunctionParameter);
  const Decoded d = DecodeWithFfmpeg(path);
  EXPECT_EQ(d.messages, "");
  EXPECT_TRUE(d.pcm == whole);
}

// /dev/full accepts the open and fails every write, like a full disk. Frames
// are written a few frames after they are handed over; forty frames are
// more than are ever in flight.
TEST(Finish, WriteFailureSurfacesFromUnlockAndFinish) {
  Handle handle(100);
  ASSERT_EQ(handle.Start("/dev/full"), 0);
  EXPECT_EQ(handle.Give(ToBytes(Generate(Signal::kNoise, 40 * 100, 2))), kErrorIoWrite);
  EXPECT_EQ(c_APECompress_UnlockBuffer(handle.h, 0, 1), kErrorIoWrite);
  int available = -1;
  EXPECT_EQ(c_APECompress_LockBuffer(handle.h, &available), nullptr);
  EXPECT_EQ(available, 0);
  EXPECT_EQ(c_APECompress_Finish(handle.h, nullptr, 0, 0), kErrorIoWrite);
  struct stat info {};
  ASSERT_EQ(::stat("/dev/full", &info), 0);  // a device is never removed
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

}  // namespace
}  // namespace apetest
