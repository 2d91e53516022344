// The WAV file writer: stores its input as a RIFF/WAVE file, either plain
// PCM or IMA ADPCM (format tag 0x11), and can append to an existing WAV file
// whose format matches.
//
// The size fields of the header are completed at the end of every run from
// the real file length, so a stopped run leaves a file that describes
// exactly the data it holds. A failed read or write ends the run through the
// failure path of the output (OnThreadException); it is never swallowed, and
// the run leaves no file of its own (see TACSFileOut).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "pipeline/ACS_Classes.h"

namespace cdx {

enum TWavType : int { wtUnsupported = 0, wtPCM = 1, wtDVIADPCM = 2, wtMSADPCM = 3, wtACM = 4 };

// --- Header reader (append mode) ------------------------------------------

// What the header reader found. Positions are byte offsets from the start of
// the file. Type is wtUnsupported when the reader gave up.
struct TWaveHeaderInfo {
  TWavType Type = wtUnsupported;
  int64_t RiffStart = 0;
  uint32_t RiffSize = 0;
  uint32_t SampleRate = 0;
  uint16_t Channels = 0;
  uint16_t BitsPerSample = 0;
  uint16_t BlockAlign = 0;
  uint32_t FactValue = 0;
  int64_t FactPos = 0;
  uint32_t DataSize = 0;
  int64_t DataSizePos = 0;
  int64_t DataStart = 0;
};

// The reader never consumes more than this many bytes of a file.
constexpr int64_t kWaveHeaderLimit = 8192;

// Reads up to `count` bytes into `buffer` from where the previous call ended
// (the first call starts at byte 0); returns fewer only at the end.
using TWaveByteReader = std::function<int64_t(void* buffer, int64_t count)>;

TWaveHeaderInfo ReadWaveHeader(const TWaveByteReader& read);
// Reads the header of `stream` from its start.
TWaveHeaderInfo ReadWaveHeader(TFileStream& stream);

// --- IMA ADPCM encoder ------------------------------------------------------

// One channel's encoder state: the predictor and the step-table index.
struct TImaChannel {
  int Predictor = 0;
  int StepIndex = 0;
};

// Encodes one sample, updating `state`; returns the 4-bit code.
uint8_t EncodeImaSample(TImaChannel& state, int sample);

// Samples per channel in one block, as the header's 16-bit field holds it.
uint16_t ImaSamplesPerBlock(int blockSize, int channels);
// Input bytes one block takes: ImaSamplesPerBlock frames of 16-bit samples.
int ImaBlockInputBytes(int blockSize, int channels);
// Whether blocks of `blockSize` bytes can be laid out for `channels`; a mono
// block needs at least 8 bytes, a stereo one 16 and a multiple of 8 (its code
// area is made of 8-byte groups), and the samples per block must fit the
// header's 16-bit field.
bool ImaBlockSizeUsable(int blockSize, int channels);

// Encodes one block from `input` (ImaBlockInputBytes bytes of interleaved
// 16-bit little-endian samples) into `block` (blockSize bytes).
// `state` holds one entry per channel; each keeps its step index.
void EncodeImaBlock(const uint8_t* input, int channels, int blockSize, TImaChannel* state,
                    uint8_t* block);

// --- The writer -------------------------------------------------------------

class TWaveOut : public TACSFileOut {
 public:
  explicit TWaveOut(TComponent* owner);

  TWavType WavType() const { return FWavType; }
  // Ignored while Busy; only the types CanWrite takes are taken.
  void SetWavType(TWavType value);
  static bool CanWrite(TWavType type) { return type == wtPCM || type == wtDVIADPCM; }
  uint16_t BlockSize() const { return FBlockSize; }
  // Ignored while Busy, for 0 and for values that are not a multiple of 4.
  void SetBlockSize(uint16_t value);
  // Rewrite or append; other values are ignored.
  void SetFileMode(TFileOutputMode value) override;

 protected:
  void StartFile(TACSInput& input) override;
  bool WriteBlock() override;
  void FinishFile() override;

 private:
  static constexpr int kPcmBufferSize = 16384;

  // Where the size fields of the file being written lie.
  struct THeaderPlaces {
    int64_t DataSizePos = 0;
    int64_t FactPos = 0;
    int64_t DataStart = 0;
  };

  // The header of the file being continued, or none when a fresh header is
  // to be written. `append` is the run's file mode. Refuses a file that
  // appending would damage.
  std::optional<TWaveHeaderInfo> ReadAppendHeader(bool append);
  void BeginPcm(TACSInput& input, const std::optional<TWaveHeaderInfo>& appendTo);
  void BeginAdpcm(TACSInput& input, const std::optional<TWaveHeaderInfo>& appendTo);
  void WritePcmHeader(TACSInput& input);
  void WriteAdpcmHeader(TACSInput& input);
  bool WritePcmBlock();
  bool WriteAdpcmBlock();
  void ReadAdpcmBlockInput();
  void CompleteHeader();
  void PutUInt32At(int64_t position, uint32_t value);

  TWavType FWavType = wtPCM;
  uint16_t FBlockSize = 512;

  // Run state, set up by BeginOutput.
  TWavType FRunType = wtPCM;
  int FRunChannels = 0;
  THeaderPlaces FPlaces;
  std::array<TImaChannel, 2> FAdpcmState{};
  // Fixed buffers: nothing is allocated per block.
  std::array<uint8_t, kPcmBufferSize> FPcmBuffer{};
  std::vector<uint8_t> FAdpcmInput;
  std::vector<uint8_t> FAdpcmBlock;
};

}  // namespace cdx
