#include "tests/converters/ConverterTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace cdx::test {

namespace {

// Nearest integer, halves to even (the default rounding mode), saturated.
int16_t ReferenceSample(double y, bool* clipped) {
  const double r = std::nearbyint(y);
  if (r < -32768 || r > 32767) *clipped = true;
  return static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
}

void Downsample(const int16_t* x, int n, int C, long long in, long long out,
                const std::vector<double>& h, std::vector<double>& history, long long& rem,
                TReferenceRun& run) {
  const int N = static_cast<int>(h.size());
  if (rem < 0) rem = out;
  for (int j = 0; j < n; ++j) {
    if (rem > out) {
      rem -= out;
      continue;
    }
    for (int c = 0; c < C; ++c) {
      double y = 0;
      for (int k = 0; k < N; ++k) {
        const double s = j - k >= 0 ? x[(j - k) * C + c] : history[(N - 1 + j - k) * C + c];
        y += h[N - 1 - k] * s;
      }
      run.samples.push_back(ReferenceSample(y, &run.clipped));
    }
    rem += in - out;
  }
  std::vector<double> seen(history);
  seen.insert(seen.end(), x, x + n * C);
  history.assign(seen.end() - (N - 1) * C, seen.end());
}

void Upsample(const int16_t* x, int n, int C, long long in, long long out,
              const std::vector<double>& h, std::vector<double>& history, long long& rem,
              TReferenceRun& run) {
  const int N = static_cast<int>(h.size());
  const long long most = n * out / in + 2;
  std::vector<double> acc((N + most) * C, 0.0);
  std::copy(history.begin(), history.end(), acc.begin());
  std::fill(history.begin(), history.end(), 0.0);
  if (rem < 0) rem = 0;
  long long m = 0;
  for (int j = 0; j < n; ++j) {
    const int16_t* a = j == 0 ? run.prev.data() : x + (j - 1) * C;
    const int16_t* b = x + j * C;
    while (rem < out) {
      for (int c = 0; c < C; ++c) {
        const long long num = (out - rem) * a[c] + rem * b[c];
        const double v = std::nearbyint(static_cast<double>(num) / out);
        for (int k = 0; k < N; ++k) acc[(m + k) * C + c] += v * h[k];
      }
      ++m;
      rem += in;
    }
    rem -= out;
  }
  if (n > 0) std::copy(x + (n - 1) * C, x + n * C, run.prev.begin());
  for (long long i = 0; i < m * C; ++i)
    run.samples.push_back(ReferenceSample(acc[i], &run.clipped));
  std::copy(acc.begin() + m * C, acc.begin() + (m + N - 1) * C, history.begin());
}

}  // namespace

std::vector<double> ReferenceKernel(int N, double cutoff) {
  const double twoPi = 6.28318530718, fourPi = 12.56637061436;
  std::vector<double> h(N);
  double sum = 0;
  for (int i = 0; i < N; ++i) {
    const double w = 0.42 - 0.5 * std::cos(twoPi * i / N) + 0.08 * std::cos(fourPi * i / N);
    const int m = i - N / 2;
    h[i] = m == 0 ? twoPi * cutoff * w : std::sin(twoPi * cutoff * m) / m * w;
    sum += h[i];
  }
  for (double& t : h) t /= sum;
  return h;
}

TReferenceRun ReferenceRate(const std::vector<int16_t>& input, int channels, int inRate,
                            int outRate, std::array<int16_t, 2> prev, int N) {
  const float ratio = static_cast<float>(static_cast<double>(outRate) / inRate);
  const int inBufSize = ratio > 1 ? static_cast<int>(32768.0 / ratio) & ~3 : 32768;
  const float cutoff = static_cast<float>(0.4 * (ratio > 1 ? 1.0 / ratio : ratio));
  const std::vector<double> h = ReferenceKernel(N, cutoff);
  const int C = channels;
  const int blockSamples = inBufSize / 2;
  std::vector<double> history((N - 1) * C, 0.0);
  long long rem = -1;
  TReferenceRun run;
  run.prev = prev;
  for (size_t at = 0; at < input.size(); at += blockSamples) {
    const int samples = static_cast<int>(std::min<size_t>(blockSamples, input.size() - at));
    const int n = samples / C;
    if (inRate > outRate)
      Downsample(input.data() + at, n, C, inRate, outRate, h, history, rem, run);
    else
      Upsample(input.data() + at, n, C, inRate, outRate, h, history, rem, run);
  }
  return run;
}

std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EACSException& e) {
    return e.what();
  }
  return "";
}

std::vector<uint8_t> Drain(TACSInput& source, int count) {
  std::vector<uint8_t> all, piece(count);
  for (;;) {
    const int n = source.ReadData(piece.data(), count);
    EXPECT_LE(n, count);
    if (n <= 0) break;
    all.insert(all.end(), piece.begin(), piece.begin() + n);
  }
  return all;
}

int TLoggingSource::ReadData(void* buffer, int bufferSize) {
  const int32_t offset = Position();
  const int n = TMemorySource::ReadData(buffer, bufferSize);
  if (n > 0) {
    log_->reads.push_back({id_, offset, n});
    const auto* p = static_cast<const uint8_t*>(buffer);
    log_->bytes.insert(log_->bytes.end(), p, p + n);
  }
  return n;
}

void TCollectingOutput::BeginOutput() {
  data_.clear();
  blocks_ = 0;
  RequireInput().OpenStream();
}

bool TCollectingOutput::WriteNextBlock(bool Abort) {
  if (!CanOutput) return true;
  if (Abort) return false;
  const int n = ReadInput(buffer_.data(), static_cast<int>(buffer_.size()));
  data_.insert(data_.end(), buffer_.begin(), buffer_.begin() + n);
  if (AfterBlock) AfterBlock(++blocks_);
  return n > 0;
}

void TCollectingOutput::EndOutput() {
  if (TACSInput* input = Input()) input->CloseStream();
}

}  // namespace cdx::test
