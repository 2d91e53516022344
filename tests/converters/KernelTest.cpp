// The window functions and the windowed-sinc kernel builder.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "converters/ACS_Procs.h"

namespace cdx::test {
namespace {

std::vector<double> Kernel(int N, TFilterWindowType window, double cutoff) {
  std::vector<double> h(N);
  MakeSincKernel(h.data(), N, window, cutoff);
  return h;
}

// The values the converter's filter is known by: Blackman, 30 taps, cutoff
// 0.2 and 0.4 as 32-bit floats (7 decimals given, so 5e-8).
TEST(SincKernel, BlackmanThirtyTapsHasTheKnownTaps) {
  const auto h = Kernel(30, fwBlackman, 0.2f);
  EXPECT_NEAR(h[15], 0.3999442, 5e-8);
  EXPECT_NEAR(h[14], 0.2972877, 5e-8);
  EXPECT_NEAR(h[16], 0.2972877, 5e-8);
  EXPECT_NEAR(h[1], -0.0000867, 5e-8);
  EXPECT_NEAR(h[0], 0.0, 1e-15);  // the periodic window is 0 at i = 0
  EXPECT_NEAR(Kernel(30, fwBlackman, 0.4f)[15], 0.7999885, 5e-8);
}

TEST(SincKernel, IsNormalisedAndPeaksAtTheCentreTap) {
  for (TFilterWindowType window : {fwHamming, fwHann, fwBlackman}) {
    for (int N : {2, 7, 30, 31, 64}) {
      const auto h = Kernel(N, window, 0.2f);
      EXPECT_NEAR(std::accumulate(h.begin(), h.end(), 0.0), 1.0, 1e-14);
      const int mid = N / 2;
      for (int i = 0; i < N; ++i) EXPECT_LE(h[i], h[mid]) << "window " << window << " N " << N;
      // For even N the periodic window is symmetric around the centre tap
      // (up to the shortened 2 pi); tap 0 has no partner.
      if (N % 2 == 0) {
        for (int d = 1; mid + d < N; ++d) EXPECT_NEAR(h[mid - d], h[mid + d], 1e-12);
      }
    }
  }
}

TEST(WindowFunctions, ArePeriodicWithTheShortenedConstants) {
  std::vector<double> w(4);
  HammingWindow(w.data(), 4);
  EXPECT_NEAR(w[0], 0.08, 1e-15);
  EXPECT_NEAR(w[1], 0.54, 1e-12);
  EXPECT_NEAR(w[2], 1.0, 1e-15);
  EXPECT_NEAR(w[3], 0.54, 1e-12);
  BlackmanWindow(w.data(), 4);
  EXPECT_NEAR(w[0], 0.0, 1e-15);
  EXPECT_NEAR(w[1], 0.34, 1e-12);
  EXPECT_NEAR(w[2], 1.0, 1e-15);
  HannWindow(w.data(), 4);
  EXPECT_NEAR(w[0], 0.0, 1e-15);
  EXPECT_NEAR(w[2], 1.0, 1e-15);
  // 2 pi is 6.28318530718 here, not the full value: at a quarter period the
  // cosine is about -1.03e-13 instead of 0, so Hann gives 0.5 + 5.2e-14.
  EXPECT_NEAR(w[1] - 0.5, 5.17e-14, 0.05e-14);
}

}  // namespace
}  // namespace cdx::test
