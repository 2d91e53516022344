// Frames encoded on worker threads: the file is the one a single thread
// writes, a write that fails at any frame fails the run, and no worker
// outlives the compressor, whether the run finished, failed or was dropped.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/apecompress/ApeTestSupport.h"
#include "tests/support/TestSources.h"

namespace apetest {
namespace {

using namespace apecompress;

size_t ThreadsOfThisProcess() {
  // ThreadSanitizer's runtime adds a thread of its own when the first one
  // starts; have that happen before anything is counted.
  static const bool warmedUp = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)warmedUp;
  return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                              std::filesystem::directory_iterator()));
}

// The count once the joined workers have left: a joined thread is still
// listed for a moment after it has woken its joiner. A worker that was not
// joined stays, and the count with it.
size_t ThreadsOnceSettledAt(size_t expected) {
  size_t count = ThreadsOfThisProcess();
  for (int tries = 0; tries < 200 && count != expected; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    count = ThreadsOfThisProcess();
  }
  return count;
}

// Frames of every kind and of very different sizes, so workers finish out of order.
Pcm MixedFrames(uint32_t frame, int channels) {
  Pcm pcm;
  for (Signal s : {Signal::kNoise, Signal::kSilence, Signal::kSweep, Signal::kMonoInBoth,
                   Signal::kClicks, Signal::kNoise, Signal::kSquare, Signal::kSilence}) {
    const Pcm part = Generate(s, 3 * frame + 7, channels, uint32_t(pcm.size()));
    pcm.insert(pcm.end(), part.begin(), part.end());
  }
  return pcm;
}

struct SameFileCase {
  int level;
  int channels;
  uint32_t blocksPerFrame;
};

void PrintTo(const SameFileCase& c, std::ostream* out) {
  *out << "level " << c.level << ", " << c.channels << " channels, frames of " << c.blocksPerFrame;
}

class SameFile : public ::testing::TestWithParam<SameFileCase> {};

TEST_P(SameFile, WhateverTheNumberOfThreads) {
  const SameFileCase& c = GetParam();
  TempDir dir;
  const std::vector<uint8_t> input = ToBytes(MixedFrames(c.blocksPerFrame, c.channels));
  EncodeSettings s;
  s.level = c.level;
  s.channels = c.channels;
  s.blocksPerFrame = c.blocksPerFrame;
  s.piece = 4093;  // frames complete in the middle of a hand-over
  s.threads = 1;
  ASSERT_EQ(Encode(dir.File("one.ape"), input, s).finish, 0);
  const std::vector<uint8_t> single = ReadFile(dir.File("one.ape"));
  for (unsigned threads : {0u, 2u, 3u, 8u}) {
    s.threads = threads;
    const std::string path = dir.File(std::to_string(threads) + ".ape");
    const EncodeResult r = Encode(path, input, s);
    EXPECT_EQ(r.unlock, 0) << threads;
    EXPECT_EQ(r.finish, 0) << threads;
    EXPECT_TRUE(ReadFile(path) == single) << threads << " threads";
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, SameFile,
                         ::testing::Values(SameFileCase{1000, 2, 1000}, SameFileCase{2000, 1, 999},
                                           SameFileCase{3000, 2, 1500}, SameFileCase{4000, 2, 2000},
                                           SameFileCase{5000, 1, 1024}));

// The file may not grow past the first byte of frame `failing`: writing
// that frame fails, whichever thread encoded it and whenever it is written.
struct FailureCase {
  const char* name;
  int failing;  // frame index; -1 for the last
  unsigned threads;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name;
}

class WriteFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WriteFailure, AtAnyFrameFailsTheRunAndRemovesTheFile) {
  const FailureCase& c = GetParam();
  TempDir dir;
  const std::vector<uint8_t> input = ToBytes(MixedFrames(700, 2));
  EncodeSettings s;
  s.blocksPerFrame = 700;
  s.threads = c.threads;
  ASSERT_EQ(Encode(dir.File("whole.ape"), input, s).finish, 0);
  const std::vector<uint8_t> whole = ReadFile(dir.File("whole.ape"));
  const uint32_t frames = Le32(whole, 64);
  const uint32_t failing = c.failing < 0 ? frames - 1 : uint32_t(c.failing);
  const uint32_t frameStart = Le32(whole, 76 + 4 * size_t(failing));

  const size_t threadsBefore = ThreadsOfThisProcess();
  const std::string path = dir.File("cut.ape");
  EncodeResult r;
  {
    cdx::test::TFileSizeLimit limit(frameStart + 1);
    r = Encode(path, input, s);
  }
  EXPECT_EQ(r.unlock != 0 ? r.unlock : r.finish, kErrorIoWrite);
  EXPECT_EQ(r.finish, kErrorIoWrite);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(ThreadsOnceSettledAt(threadsBefore), threadsBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, WriteFailure,
    ::testing::Values(FailureCase{"FirstOneThread", 0, 1}, FailureCase{"FirstFourThreads", 0, 4},
                      FailureCase{"TenthOneThread", 9, 1}, FailureCase{"TenthFourThreads", 9, 4},
                      FailureCase{"LastOneThread", -1, 1}, FailureCase{"LastFourThreads", -1, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// Dropped while every worker has a frame and more are waiting.
TEST(Workers, DestroyMidRunEndsThemAndRemovesTheFile) {
  TempDir dir;
  const std::string path = dir.File("a.ape");
  const std::vector<uint8_t> input = ToBytes(Generate(Signal::kNoise, 40 * 4000, 2));
  const size_t threadsBefore = ThreadsOfThisProcess();
  CompressorOptions options;
  options.blocksPerFrame = 4000;
  options.threads = 4;
  int error = -1;
  APE_COMPRESS_HANDLE handle = CreateCompressor(options, &error);
  ASSERT_EQ(error, 0);
  WAVEFORMATEX format;
  FillWaveFormatEx(&format, 44100, 16, 2);
  ASSERT_EQ(c_APECompress_Start(handle, path.c_str(), &format, -1, 5000, nullptr, -1), 0);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore + 4);
  for (size_t done = 0; done < input.size();) {
    int available = 0;
    unsigned char* buffer = c_APECompress_LockBuffer(handle, &available);
    ASSERT_NE(buffer, nullptr);
    const size_t piece = std::min(input.size() - done, size_t(available));
    std::copy_n(input.data() + done, piece, buffer);
    done += piece;
    ASSERT_EQ(c_APECompress_UnlockBuffer(handle, int(piece), 1), 0);
  }
  c_APECompress_Destroy(handle);
  EXPECT_EQ(ThreadsOnceSettledAt(threadsBefore), threadsBefore);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Workers, EndWithFinish) {
  TempDir dir;
  const size_t threadsBefore = ThreadsOfThisProcess();
  CompressorOptions options;
  options.threads = 3;
  int error = -1;
  APE_COMPRESS_HANDLE handle = CreateCompressor(options, &error);
  WAVEFORMATEX format;
  FillWaveFormatEx(&format, 44100, 16, 1);
  ASSERT_EQ(c_APECompress_Start(handle, dir.File("a.ape").c_str(), &format, -1, 2000, nullptr, -1),
            0);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore + 3);
  int available = 0;
  std::fill_n(c_APECompress_LockBuffer(handle, &available), 2000, uint8_t(9));
  ASSERT_EQ(c_APECompress_UnlockBuffer(handle, 2000, 1), 0);
  EXPECT_EQ(c_APECompress_Finish(handle, nullptr, 0, 0), 0);
  EXPECT_EQ(ThreadsOnceSettledAt(threadsBefore), threadsBefore);
  c_APECompress_Destroy(handle);
}

}  // namespace
}  // namespace apetest
