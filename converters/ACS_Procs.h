// Window functions and the windowed-sinc kernel of the rate converter.
#pragma once

#include <cstdint>

namespace cdx {

enum TFilterWindowType : uint8_t { fwHamming = 0, fwHann = 1, fwBlackman = 2 };

// Periodic windows: N values for i = 0 .. N-1 over a period of N.
void HammingWindow(double* w, int N);
void HannWindow(double* w, int N);
void BlackmanWindow(double* w, int N);

// Fills Taps[0 .. Width-1] with a low-pass kernel of `Cutoff` cycles per
// sample, centred on tap Width div 2 and normalised to a sum of 1.
void MakeSincKernel(double* Taps, int Width, TFilterWindowType WindowType, double Cutoff);

}  // namespace cdx
