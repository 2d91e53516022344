#include "platform/apecompress/Predictor.h"

namespace apecompress {
namespace {

int32_t Sample(const uint8_t* p) {
  return int16_t(uint16_t(p[0] | p[1] << 8));
}
int32_t Wrap32(int64_t v) {
  return int32_t(uint32_t(v));
}
int64_t Sign(int64_t v) {
  return (v > 0) - (v < 0);
}

// Pre-emphasis: e(n) = t(n) - floor(31 t(n-1) / 32).
int32_t Emphasise(int32_t t, int32_t previous) {
  return t - ((31 * previous) >> 5);
}

struct OwnTaps {
  int64_t c[4] = {360, 317, -109, 98};
};
struct CrossTaps {
  int64_t c[5] = {0, 0, 0, 0, 0};
};

// History of a stream's pre-emphasised values: h[0] = e(n-1), h[1] = e(n-2)...
struct History {
  int32_t h[5] = {0, 0, 0, 0, 0};
  void Push(int32_t e) {
    h[4] = h[3];
    h[3] = h[2];
    h[2] = h[1];
    h[1] = h[0];
    h[0] = e;
  }
};

int64_t OwnSum(const OwnTaps& own, const int32_t a[4]) {
  return own.c[0] * a[0] + own.c[1] * a[1] + own.c[2] * a[2] + own.c[3] * a[3];
}

void Adapt(int64_t* c, const int32_t* taps, int count, int64_t residualSign) {
  for (int j = 0; j < count; ++j) c[j] += Sign(taps[j]) * residualSign;
}

// One stereo step for stream value e with own history `self` and the
// cross input sequence u (u[0] = u(n), u[1] = u(n-1)...).
template <bool kWide>
bool StereoStep(int32_t e, const History& self, const int32_t u[5], OwnTaps& own, CrossTaps& cross,
                int32_t* residual) {
  const int32_t* h = self.h;
  const int32_t a[4] = {h[0], h[0] - h[1], h[1] - h[2], h[2] - h[3]};
  const int32_t b[5] = {u[0], u[0] - u[1], u[1] - u[2], u[2] - u[3], u[3] - u[4]};
  const int64_t sa = OwnSum(own, a);
  const int64_t sb = cross.c[0] * b[0] + cross.c[1] * b[1] + cross.c[2] * b[2] + cross.c[3] * b[3] +
                     cross.c[4] * b[4];
  int64_t r;
  if constexpr (kWide) {
    r = int64_t(e) - ((sa + (sb >> 1)) >> 10);
    if (r < INT32_MIN || r > INT32_MAX) return false;
  } else {
    const int32_t p = Wrap32(int64_t(Wrap32(sa)) + (Wrap32(sb) >> 1)) >> 10;
    r = Wrap32(int64_t(e) - p);
  }
  *residual = int32_t(r);
  const int64_t s = Sign(r);
  Adapt(own.c, a, 4, s);
  Adapt(cross.c, b, 5, s);
  return true;
}

template <bool kWide>
bool Stereo(const uint8_t* pcm, uint32_t blocks, int32_t* residualY, int32_t* residualX) {
  OwnTaps ownY, ownX;
  CrossTaps crossY, crossX;
  History histY, histX;
  int32_t lastY = 0, lastX = 0;
  for (uint32_t n = 0; n < blocks; ++n, pcm += 4) {
    const int32_t ch0 = Sample(pcm), ch1 = Sample(pcm + 2);
    const int32_t y = ch1 - ch0;
    const int32_t x = ch0 + y / 2;  // truncating, as the decoder undoes it
    const int32_t eY = Emphasise(y, lastY);
    const int32_t eX = Emphasise(x, lastX);
    // Y sees the X values of earlier blocks only; X then sees Y's current one.
    if (!StereoStep<kWide>(eY, histY, histX.h, ownY, crossY, &residualY[n])) return false;
    const int32_t uX[5] = {eY, histY.h[0], histY.h[1], histY.h[2], histY.h[3]};
    if (!StereoStep<kWide>(eX, histX, uX, ownX, crossX, &residualX[n])) return false;
    histY.Push(eY);
    histX.Push(eX);
    lastY = y;
    lastX = x;
  }
  return true;
}

}  // namespace

bool PredictStereo(const uint8_t* pcm, uint32_t blocks, bool wide, int32_t* residualY,
                   int32_t* residualX) {
  return wide ? Stereo<true>(pcm, blocks, residualY, residualX)
              : Stereo<false>(pcm, blocks, residualY, residualX);
}

void PredictMono(const uint8_t* pcm, uint32_t blocks, size_t strideBytes, int32_t* residual) {
  OwnTaps own;
  History hist;
  int32_t last = 0;
  for (uint32_t n = 0; n < blocks; ++n, pcm += strideBytes) {
    const int32_t t = Sample(pcm);
    const int32_t e = Emphasise(t, last);
    const int32_t* h = hist.h;
    const int32_t a[4] = {h[0], h[0] - h[1], h[1] - h[2], h[2] - h[3]};
    const int32_t p = Wrap32(OwnSum(own, a)) >> 10;
    const int32_t r = Wrap32(int64_t(e) - p);
    residual[n] = r;
    Adapt(own.c, a, 4, Sign(r));
    hist.Push(e);
    last = t;
  }
}

}  // namespace apecompress
