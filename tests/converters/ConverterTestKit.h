// What the converter tests share: an independent reference of the rate
// conversion, written straight from its definition with doubles everywhere
// (one block at a time, overlap-add accumulator and all), and small helpers
// to drain a converter and to watch what its inputs deliver.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/ACS_Classes.h"
#include "tests/support/TestSources.h"

namespace cdx::test {

// Blackman windowed-sinc kernel, N taps, as the converter must build it.
std::vector<double> ReferenceKernel(int N, double cutoff);

struct TReferenceRun {
  std::vector<int16_t> samples;       // interleaved output
  std::array<int16_t, 2> prev{0, 0};  // PrevSample after the run
  bool clipped = false;               // some sum lay outside the 16-bit range
};

// Converts 16-bit interleaved `input` from `inRate` to `outRate` in the
// converter's blocks (InBufSize bytes each), starting from `prev`.
TReferenceRun ReferenceRate(const std::vector<int16_t>& input, int channels, int inRate,
                            int outRate, std::array<int16_t, 2> prev = {0, 0}, int N = 30);

// The message of the EACSException that `call` raises ("" when none).
std::string ErrorOf(const std::function<void()>& call);

// Reads `source` until it returns 0, `count` bytes asked each time (each
// answer checked to be at most that); returns every byte.
std::vector<uint8_t> Drain(TACSInput& source, int count);

// A memory source that records every byte it hands out, and from where, in
// a log shared with other sources: the exact stream a converter received.
struct TDeliveryLog {
  struct TRead {
    int source;
    int32_t offset;
    int count;
  };
  std::vector<TRead> reads;
  std::vector<uint8_t> bytes;
};

class TLoggingSource : public TMemorySource {
 public:
  TLoggingSource(TComponent* owner, std::vector<uint8_t> bytes, int id, TDeliveryLog* log,
                 int rate = 44100, int channels = 2, int bits = 16)
      : TMemorySource(owner, std::move(bytes), rate, channels, bits), id_(id), log_(log) {}
  int ReadData(void* buffer, int bufferSize) override;

 private:
  int id_;
  TDeliveryLog* log_;
};

// An output that keeps what it pulls, `block` bytes per WriteNextBlock, on
// its real worker thread. AfterBlock, when set, runs on the worker after
// each block, outside every lock. Read Data() once the run is over.
class TCollectingOutput : public TACSOutput {
 public:
  explicit TCollectingOutput(TComponent* owner, int block = 4096)
      : TACSOutput(owner), buffer_(block) {}
  std::function<void(int block)> AfterBlock;
  const std::vector<uint8_t>& Data() const { return data_; }

 protected:
  void BeginOutput() override;
  bool WriteNextBlock(bool Abort) override;
  void EndOutput() override;

 private:
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> data_;
  int blocks_ = 0;
};

}  // namespace cdx::test
