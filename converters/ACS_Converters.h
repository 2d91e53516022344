// The sample-format converters: sample rate (windowed-sinc FIR), channel
// count (stereo <-> mono) and sample width (16 <-> 8 bits).
//
// Each is a pull-pipeline converter: it fills a fixed buffer from its input
// one block at a time inside ReadData, on the thread that pulls, and hands
// the converted block out in whatever pieces the caller asks for. Buffers
// are allocated when a run opens; nothing is allocated per block.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "converters/ACS_Procs.h"
#include "pipeline/ACS_Classes.h"

namespace cdx {

// Changes the sample rate of 16-bit mono or stereo audio.
//
// Down-sampling (input rate above OutSampleRate) low-pass filters the input
// and keeps the frames picked by the Remainder counter; up-sampling and
// equal rates interpolate linearly to the output rate and filter that
// stream by overlap-add. Output samples that overshoot the 16-bit range are
// saturated (a wrapped value would be a full-scale click).
class TRateConverter : public TACSConverter {
 public:
  explicit TRateConverter(TComponent* owner);

  int GetBitsPerSample() override { return 16; }
  int GetChannels() override;
  int GetSampleRate() override { return FOutSampleRate; }
  void OpenStream() override;
  int ReadData(void* Buffer, int Count) override;
  void CloseStream() override;

  TFilterWindowType FilterWindow() const { return FFilterWindow; }
  void SetFilterWindow(TFilterWindowType Value) { FFilterWindow = Value; }
  int KernelWidth() const { return FKernelWidth; }
  // Taken only when greater than 1 and not Busy; otherwise ignored.
  void SetKernelWidth(int Value);
  int OutSampleRate() const { return FOutSampleRate; }
  // Taken only when greater than 0 and not Busy; otherwise ignored.
  void SetOutSampleRate(int Value);

  // Of the current (or last) run.
  int InBufSize() const { return FInBufSize; }
  const std::vector<double>& Kernel() const { return FKernel; }

 private:
  int FillInputBuffer();
  void BeginBlock(int got);
  int ConvertBlock();
  int Downsample();
  int Upsample();
  void UpdatePosition(int delivered);

  int FOutSampleRate = 22050;
  int FKernelWidth = 30;
  TFilterWindowType FFilterWindow = fwBlackman;
  int FInBufSize = 32768;
  bool FEndOfInput = false;
  // Phase counter; 64 bits so that Remainder + In cannot overflow at any
  // pair of 32-bit rates.
  int64_t FRemainder = -1;
  std::vector<double> FKernel;

  // Per-run buffers. One set serves both channel layouts (each is sized for
  // the larger), so an input exchanged for one of another format during a
  // run cannot overrun them.
  std::vector<int16_t> FInBuf;   // InBufSize bytes
  std::vector<int16_t> FOutBuf;  // 32768 bytes
  // Down-sampling: the History (last N-1 input frames) followed by the
  // block, as 64-bit floats, so the filter reads one contiguous window.
  std::vector<double> FWindow;
  std::vector<int32_t> FPicks;  // frames of the block that yield an output
  // Up-sampling: the interpolated values, after the last N-1 of the block
  // before (the History). Each output frame adds its N terms oldest value
  // first, the order in which an overlap-add accumulator would receive
  // them, so the sums (and samples) are the same as with one; reading the
  // values instead of scattering into partial sums keeps the loop free of
  // stores.
  std::vector<double> FValues;

  // The block being converted. Up-sampling stops early when the output
  // buffer is full (an input of a lower rate exchanged in during a run can
  // make a block worth more than it holds); the next ReadData goes on with
  // the rest of the block.
  int FBlockFrames = 0;
  int FBlockChannels = 0;
  int FNextFrame = 0;
  int FBlockInRate = 0;
  int FHistoryKind = 0;  // path and channel count the History belongs to

  std::array<int16_t, 2> PrevSample{0, 0};  // last input frame, kept across runs
};

// Shared design of the channel and sample-width converters: a 32768-byte
// buffer inside the object, filled from the input and transformed in place.
// The direction follows the input's format, checked again at every block.
class TInPlaceConverter : public TACSConverter {
 public:
  explicit TInPlaceConverter(TComponent* owner) : TACSConverter(owner) {}

  void OpenStream() override;
  int ReadData(void* Buffer, int Count) override;
  void CloseStream() override;

 protected:
  static constexpr int BufferSize = 32768;
  struct TBlockFormat {
    bool reducing = true;
    int channels = 1;
  };
  // Whether the input's current format takes the halving direction.
  virtual bool Reducing(TACSInput& input) = 0;
  // Converts `got` bytes at the start of Buffer in place; returns the bytes
  // made. Only whole frames are converted, so the output stays aligned.
  virtual int Transform(int got, const TBlockFormat& format) = 0;

  int16_t Sample16(int index) const;
  void SetSample16(int index, int16_t value);

  std::array<uint8_t, BufferSize> Buffer{};

 private:
  int FillBuffer();
  void UpdatePosition(int delivered);

  int ReadSize = BufferSize;
  bool EndOfInput = false;
};

enum TMSConverterMode : uint8_t { msmMonoToBoth = 0, msmMonoToLeft = 1, msmMonoToRight = 2 };

// 16-bit stereo -> mono by averaging; 16-bit mono -> stereo as Mode says.
class TMSConverter : public TInPlaceConverter {
 public:
  explicit TMSConverter(TComponent* owner) : TInPlaceConverter(owner) {}

  int GetBitsPerSample() override { return 16; }
  int GetChannels() override;
  int GetSampleRate() override;

  // Read at every block: a change during a run applies from the next one.
  TMSConverterMode Mode() const { return FMode.load(std::memory_order_relaxed); }
  void SetMode(TMSConverterMode Value) { FMode.store(Value, std::memory_order_relaxed); }

 protected:
  bool Reducing(TACSInput& input) override;
  int Transform(int got, const TBlockFormat& format) override;

 private:
  std::atomic<TMSConverterMode> FMode{msmMonoToBoth};
};

// 16-bit signed -> 8-bit unsigned, and 8-bit unsigned -> 16-bit signed.
class TSampleConverter : public TInPlaceConverter {
 public:
  explicit TSampleConverter(TComponent* owner) : TInPlaceConverter(owner) {}

  int GetBitsPerSample() override;
  int GetChannels() override;
  int GetSampleRate() override;

 protected:
  bool Reducing(TACSInput& input) override;
  int Transform(int got, const TBlockFormat& format) override;
};

}  // namespace cdx
