#include "converters/ACS_Converters.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "converters/RateFilter.h"
#include "pipeline/Rounding.h"

namespace cdx {

static_assert(std::endian::native == std::endian::little, "samples are handled as host integers");

namespace {

constexpr int OutBufBytes = 32768;

// Round(value x ratio), halves to even, with the product taken exactly: an
// int32 times a 24-bit mantissa fits the mantissa of a long double (or is
// at least rounded far less often than in a double).
int32_t RoundedProduct(int32_t value, float ratio) {
  const long double p = static_cast<long double>(value) * ratio;
  const long double f = std::floor(p);
  int64_t r = static_cast<int64_t>(f);
  const long double d = p - f;
  if (d > 0.5L || (d == 0.5L && (r & 1))) ++r;
  return static_cast<int32_t>(static_cast<uint32_t>(r));
}

// Position of a converter whose Size scales the input's: the input's
// progress carried over. Without a usable input Size it counts the bytes
// handed out.
int32_t ScaledPosition(int32_t size, int32_t position, int delivered, int32_t inSize,
                       int32_t inPosition) {
  if (size < 0 || inSize <= 0) return position + delivered;
  return RoundHalfEven(static_cast<double>(size) / inSize * inPosition);
}

// Reads from `read` until `bytes` are there or it returns 0; `*ended` tells
// whether the input ran dry. Returns the bytes read.
template <class Read>
int FillFrom(Read read, uint8_t* buffer, int bytes, bool* ended) {
  int got = std::max(read(buffer, bytes), 0);
  if (got == 0) return 0;
  int last = got;
  while (last > 0 && got < bytes) {
    last = std::max(read(buffer + got, bytes - got), 0);
    got += last;
  }
  if (last == 0) *ended = true;
  return got;
}

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

}  // namespace

// --- TRateConverter -------------------------------------------------------

TRateConverter::TRateConverter(TComponent* owner) : TACSConverter(owner) {}

int TRateConverter::GetChannels() {
  return RequireInput().GetChannels();
}

void TRateConverter::SetKernelWidth(int Value) {
  if (Value > 1 && !Busy()) FKernelWidth = Value;
}

void TRateConverter::SetOutSampleRate(int Value) {
  if (Value > 0 && !Busy()) FOutSampleRate = Value;
}

void TRateConverter::OpenStream() {
  TACSInput& input = RequireInput();
  input.OpenStream();
  const int inRate = input.GetSampleRate();
  if (inRate <= 0) {
    input.CloseStream();
    throw EACSException("Invalid input sample rate");
  }
  FPosition = 0;
  BufStart = 1;
  BufEnd = 0;
  FEndOfInput = false;

  const int N = FKernelWidth;
  const float ratio = static_cast<float>(static_cast<double>(FOutSampleRate) / inRate);
  // One block's output must fit the output buffer. At least one frame, so
  // that an extreme ratio cannot read nothing and end the run.
  FInBufSize = 32768;
  if (ratio > 1) FInBufSize = std::max(static_cast<int>(32768.0 / ratio) & ~3, 4);

  FInBuf.assign(FInBufSize / 2, 0);
  FOutBuf.assign(OutBufBytes / 2, 0);
  FWindow.assign(static_cast<size_t>(N - 1) * 2 + FInBufSize / 2, 0.0);
  FPicks.assign(FInBufSize / 2, 0);
  FValues.assign(static_cast<size_t>(N - 1) * 2 + OutBufBytes / 2, 0.0);
  FBlockFrames = FNextFrame = 0;
  FHistoryKind = 0;

  const int32_t inSize = input.Size();
  FSize = inSize == -1 ? -1 : RoundedProduct(inSize, ratio);
  FRemainder = -1;
  const float cutoff = static_cast<float>(0.4 * (ratio > 1 ? 1.0 / ratio : ratio));
  FKernel.assign(N, 0.0);
  MakeSincKernel(FKernel.data(), N, FFilterWindow, cutoff);
  FBusy = true;
}

// Under InputLock: a swap of the input either comes first (and the new
// input is the one closed here) or finds the converter closed and closes
// what it opened; no input is closed twice or left open.
void TRateConverter::CloseStream() {
  CloseInput();
  Release(FInBuf);
  Release(FOutBuf);
  Release(FWindow);
  Release(FPicks);
  FBlockFrames = FNextFrame = 0;
}

int TRateConverter::ReadData(void* Buffer, int Count) {
  if (!Busy()) throw EACSException("The Stream is not opened");
  // A block may convert to nothing (a few frames at a steep ratio); that is
  // not the end of the stream, so go on to the next one.
  while (BufStart > BufEnd) {
    if (FNextFrame >= FBlockFrames) {
      if (FEndOfInput) return 0;
      const int got = FillInputBuffer();
      if (got == 0) return 0;
      BeginBlock(got);
    }
    BufStart = 1;
    BufEnd = ConvertBlock();
  }
  const int n = std::max(0, std::min(Count, BufEnd - BufStart + 1));
  std::memcpy(Buffer, reinterpret_cast<const uint8_t*>(FOutBuf.data()) + BufStart - 1, n);
  BufStart += n;
  UpdatePosition(n);
  return n;
}

int TRateConverter::FillInputBuffer() {
  auto read = [this](uint8_t* p, int bytes) { return ReadInput(p, bytes); };
  return FillFrom(read, reinterpret_cast<uint8_t*>(FInBuf.data()), FInBufSize, &FEndOfInput);
}

void TRateConverter::BeginBlock(int got) {
  {
    TInputLockGuard hold(InputLock);
    TACSInput& input = RequireInput();
    FBlockInRate = input.GetSampleRate();
    FBlockChannels = input.GetChannels() == 1 ? 1 : 2;
  }
  if (FBlockInRate <= 0) throw EACSException("Invalid input sample rate");
  FBlockFrames = got / (2 * FBlockChannels);
  FNextFrame = 0;
}

int TRateConverter::ConvertBlock() {
  const bool down = FBlockInRate > FOutSampleRate;
  const int kind = (down ? 10 : 20) + FBlockChannels;
  if (kind != FHistoryKind) {
    // The carried History belongs to another path or layout (the input was
    // exchanged for one of another format): start that path afresh.
    if (FHistoryKind != 0) {
      std::fill(FWindow.begin(), FWindow.end(), 0.0);
      std::fill(FValues.begin(), FValues.end(), 0.0);
    }
    FHistoryKind = kind;
  }
  return down ? Downsample() : Upsample();
}

int TRateConverter::Downsample() {
  const int C = FBlockChannels, N = FKernelWidth, n = FBlockFrames;
  const int64_t in = FBlockInRate, out = FOutSampleRate;
  if (FRemainder < 0) FRemainder = out;
  int count = 0;
  int64_t r = FRemainder;
  for (int j = 0; j < n; ++j) {
    if (r > out) {
      r -= out;
    } else {
      FPicks[count++] = j;
      r += in - out;
    }
  }
  FRemainder = r;

  double* window = FWindow.data();
  const int history = (N - 1) * C;
  std::copy(FInBuf.data(), FInBuf.data() + n * C, window + history);
  ratefilter::FilterPicks(C, window, FPicks.data(), count, FKernel.data(), N, FOutBuf.data());
  // The last N-1 frames seen, older History included when the block is short.
  std::memmove(window, window + n * C, sizeof(double) * history);
  FNextFrame = n;
  return count * 2 * C;
}

int TRateConverter::Upsample() {
  const int C = FBlockChannels, N = FKernelWidth, n = FBlockFrames;
  if (FRemainder < 0) FRemainder = 0;
  const ratefilter::TInterpolation job{.x = FInBuf.data(),
                                       .frames = n,
                                       .prev = PrevSample.data(),
                                       .in = FBlockInRate,
                                       .out = FOutSampleRate,
                                       .N = N,
                                       .values = FValues.data(),
                                       .capacity = OutBufBytes / (2 * C)};
  int stoppedAt = n;
  const int m = ratefilter::Interpolate(C, job, FNextFrame, FRemainder, &stoppedAt);
  if (stoppedAt == n && n > 0) std::copy_n(FInBuf.data() + (n - 1) * C, C, PrevSample.begin());
  FNextFrame = stoppedAt;
  ratefilter::FilterValues(C, FValues.data(), m, FKernel.data(), N, FOutBuf.data());
  return m * 2 * C;
}

void TRateConverter::UpdatePosition(int delivered) {
  int32_t inSize = -1, inPosition = 0;
  InputSizeAndPosition(inSize, inPosition);
  FPosition = ScaledPosition(Size(), Position(), delivered, inSize, inPosition);
}

// --- TInPlaceConverter ----------------------------------------------------

void TInPlaceConverter::OpenStream() {
  TACSInput& input = RequireInput();
  input.OpenStream();
  FPosition = 0;
  BufStart = 1;
  BufEnd = 0;
  EndOfInput = false;
  const bool reducing = Reducing(input);
  ReadSize = reducing ? BufferSize : BufferSize / 2;
  const int32_t inSize = input.Size();
  // An unknown size stays unknown instead of turning into a bogus number.
  const auto bits = static_cast<uint32_t>(inSize);
  FSize = inSize < 0 ? -1 : static_cast<int32_t>(reducing ? bits >> 1 : bits << 1);
  FBusy = true;
}

void TInPlaceConverter::CloseStream() {
  CloseInput();
}

int TInPlaceConverter::ReadData(void* Buffer, int Count) {
  if (!Busy()) throw EACSException("The Stream is not opened");
  if (BufStart > BufEnd) {
    if (EndOfInput) return 0;
    // The direction (and with it the read size) is fixed before the read, so
    // that a growing block always fits the buffer, even if the input was
    // exchanged for one of another format.
    TBlockFormat format;
    {
      TInputLockGuard hold(InputLock);
      TACSInput& input = RequireInput();
      format.reducing = Reducing(input);
      format.channels = std::max(input.GetChannels(), 1);
    }
    ReadSize = format.reducing ? BufferSize : BufferSize / 2;
    const int got = FillBuffer();
    if (got == 0) return 0;
    BufStart = 1;
    BufEnd = Transform(got, format);
  }
  const int n = std::max(0, std::min(Count, BufEnd - BufStart + 1));
  std::memcpy(Buffer, this->Buffer.data() + BufStart - 1, n);
  BufStart += n;
  UpdatePosition(n);
  return n;
}

int TInPlaceConverter::FillBuffer() {
  auto read = [this](uint8_t* p, int bytes) { return ReadInput(p, bytes); };
  return FillFrom(read, Buffer.data(), ReadSize, &EndOfInput);
}

void TInPlaceConverter::UpdatePosition(int delivered) {
  int32_t inSize = -1, inPosition = 0;
  InputSizeAndPosition(inSize, inPosition);
  FPosition = ScaledPosition(Size(), Position(), delivered, inSize, inPosition);
}

int16_t TInPlaceConverter::Sample16(int index) const {
  int16_t v;
  std::memcpy(&v, Buffer.data() + 2 * index, 2);
  return v;
}

void TInPlaceConverter::SetSample16(int index, int16_t value) {
  std::memcpy(Buffer.data() + 2 * index, &value, 2);
}

// --- TMSConverter ---------------------------------------------------------

int TMSConverter::GetChannels() {
  return RequireInput().GetChannels() == 1 ? 2 : 1;
}

int TMSConverter::GetSampleRate() {
  return RequireInput().GetSampleRate();
}

bool TMSConverter::Reducing(TACSInput& input) {
  return input.GetChannels() == 2;
}

int TMSConverter::Transform(int got, const TBlockFormat& format) {
  if (format.reducing) {
    // Mix, first frame to last: each mono sample lands at or before the
    // frame it came from.
    const int frames = got / 4;
    for (int i = 0; i < frames; ++i) {
      const int32_t sum = int32_t{Sample16(2 * i)} + Sample16(2 * i + 1);
      SetSample16(i, static_cast<int16_t>(sum / 2));
    }
    return frames * 2;
  }
  // Expand, last sample to first, so no unread sample is overwritten.
  const TMSConverterMode mode = Mode();
  const int samples = got / 2;
  for (int i = samples - 1; i >= 0; --i) {
    const int16_t x = Sample16(i);
    SetSample16(2 * i, mode == msmMonoToLeft ? int16_t{0} : x);
    SetSample16(2 * i + 1, mode == msmMonoToRight ? int16_t{0} : x);
  }
  return samples * 4;
}

// --- TSampleConverter -----------------------------------------------------

int TSampleConverter::GetBitsPerSample() {
  return RequireInput().GetBitsPerSample() == 16 ? 8 : 16;
}

int TSampleConverter::GetChannels() {
  return RequireInput().GetChannels();
}

int TSampleConverter::GetSampleRate() {
  return RequireInput().GetSampleRate();
}

bool TSampleConverter::Reducing(TACSInput& input) {
  return input.GetBitsPerSample() == 16;
}

int TSampleConverter::Transform(int got, const TBlockFormat& format) {
  if (format.reducing) {
    // Narrow, first to last; only whole frames.
    const int frameBytes = 2 * format.channels;
    const int samples = got / frameBytes * format.channels;
    for (int i = 0; i < samples; ++i) {
      const auto biased = static_cast<uint16_t>(Sample16(i) + 32768);
      Buffer[i] = static_cast<uint8_t>(biased >> 8);
    }
    return samples;
  }
  // Widen, last to first.
  const int samples = got / format.channels * format.channels;
  for (int i = samples - 1; i >= 0; --i)
    SetSample16(i, static_cast<int16_t>((Buffer[i] - 128) * 256));
  return samples * 2;
}

}  // namespace cdx
