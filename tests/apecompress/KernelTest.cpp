// The SIMD loops of the adaptive filters against the portable ones, on
// input loud enough to wrap the 32-bit dot product and the 16-bit weights,
// and long enough to slide the history buffer many times.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "platform/apecompress/FrameEncoder.h"
#include "tests/apecompress/ApeTestSupport.h"

namespace apetest {
namespace {

using apecompress::NNFilter;
using apecompress::NNKernel;

// A long run of one huge value keeps the stage input positive, so every
// weight grows until it wraps; then full-scale alternation and wide noise.
std::vector<int32_t> LoudValues() {
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> wide(-70000, 70000);
  std::vector<int32_t> v(40000, 2000000000);
  for (int i = 0; i < 20000; ++i)
    v.push_back((i / 700) % 2 ? wide(random) : (i % 2 ? 32767 : -32768));
  return v;
}

using KernelCase = std::tuple<NNKernel, int, int>;
class FilterKernel : public ::testing::TestWithParam<KernelCase> {};

TEST_P(FilterKernel, MatchesThePortableLoop) {
  const auto [kernel, order, shift] = GetParam();
  if (!apecompress::NNKernelSupported(kernel)) GTEST_SKIP() << "processor lacks it";
  std::vector<int32_t> expected = LoudValues(), actual = expected;
  NNFilter reference(order, shift, NNKernel::kScalar), tested(order, shift, kernel);
  reference.Encode(expected.data(), uint32_t(expected.size()));
  tested.Encode(actual.data(), uint32_t(actual.size()));
  EXPECT_TRUE(actual == expected);
}

INSTANTIATE_TEST_SUITE_P(Stages, FilterKernel,
                         ::testing::Combine(::testing::Values(NNKernel::kSse2, NNKernel::kAvx2),
                                            ::testing::Values(16, 256, 1280),
                                            ::testing::Values(11, 15)));

// Whole stereo frames, whose two streams go through each stage together,
// at every level with adaptive filters (orders 16 to 1280).
TEST(FrameKernel, FramesAreIdenticalWithEveryKernel) {
  const std::vector<uint8_t> pcm = ToBytes(Generate(Signal::kNoise, 6000, 2));
  for (int level : {2000, 3000, 4000, 5000}) {
    apecompress::FrameEncoder reference(level, 2, 6000, NNKernel::kScalar);
    ASSERT_TRUE(reference.Encode(pcm.data(), 6000));
    const std::vector<uint8_t> expected(reference.Data(), reference.Data() + reference.Size());
    for (NNKernel k : {NNKernel::kSse2, NNKernel::kAvx2, NNKernel::kAuto}) {
      if (!apecompress::NNKernelSupported(k)) continue;
      apecompress::FrameEncoder tested(level, 2, 6000, k);
      ASSERT_TRUE(tested.Encode(pcm.data(), 6000));
      EXPECT_TRUE(std::vector<uint8_t>(tested.Data(), tested.Data() + tested.Size()) == expected)
          << level;
    }
  }
}

}  // namespace
}  // namespace apetest
