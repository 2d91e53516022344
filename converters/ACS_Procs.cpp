#include "converters/ACS_Procs.h"

#include <cmath>
#include <vector>

namespace cdx {

namespace {

// These shortened constants are part of the filter's definition: the
// kernels (and so every converted sample) depend on them.
constexpr double TwoPi = 6.28318530718;
constexpr double FourPi = 12.56637061436;

}  // namespace

void HammingWindow(double* w, int N) {
  for (int i = 0; i < N; ++i) w[i] = 0.54 - 0.46 * std::cos(TwoPi * i / N);
}

void HannWindow(double* w, int N) {
  for (int i = 0; i < N; ++i) w[i] = (1.0 - std::cos(TwoPi * i / N)) / 2.0;
}

void BlackmanWindow(double* w, int N) {
  for (int i = 0; i < N; ++i)
    w[i] = 0.42 - 0.5 * std::cos(TwoPi * i / N) + 0.08 * std::cos(FourPi * i / N);
}

void MakeSincKernel(double* Taps, int Width, TFilterWindowType WindowType, double Cutoff) {
  if (Width <= 0) return;
  std::vector<double> w(Width);
  switch (WindowType) {
    case fwHamming:
      HammingWindow(w.data(), Width);
      break;
    case fwHann:
      HannWindow(w.data(), Width);
      break;
    default:  // fwBlackman, and any value outside the enumeration
      BlackmanWindow(w.data(), Width);
      break;
  }
  const int mid = Width / 2;
  double sum = 0.0;
  for (int i = 0; i < Width; ++i) {
    const int m = i - mid;
    if (m == 0)
      Taps[i] = TwoPi * Cutoff * w[i];
    else
      Taps[i] = std::sin(TwoPi * Cutoff * m) / m * w[i];
    sum += Taps[i];
  }
  for (int i = 0; i < Width; ++i) Taps[i] /= sum;
}

}  // namespace cdx
