// The FLAC writer: encodes the PCM of its input with libFLAC's stream
// encoder. The encoder writes the file through callbacks on the run's file
// stream and, when it finishes, seeks back to complete the stream header
// (total samples, MD5, frame sizes), so a stopped run leaves a complete file
// of the audio encoded so far. A write the encoder cannot make fails the run
// (see TACSFileOut for what a failed run leaves).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/ACS_Classes.h"
#include "writers/FLAC.h"

namespace cdx {

class TFLACOut : public TACSFileOut {
 public:
  explicit TFLACOut(TComponent* owner);
  ~TFLACOut() override;

  // The encoder settings, read when a run starts.
  bool BestModelSearch() const { return FBestModelSearch; }
  // True also turns mid-side stereo on and loose mid-side stereo off.
  void SetBestModelSearch(bool value);
  // Frames per FLAC frame, and per block read from the input; 0 lets the
  // encoder choose.
  uint16_t BlockSize() const { return FBlockSize; }
  void SetBlockSize(uint16_t value) { FBlockSize = value; }
  // The two mid-side settings apply to stereo input only.
  bool EnableMidSideStereo() const { return FEnableMidSideStereo; }
  void SetEnableMidSideStereo(bool value) { FEnableMidSideStereo = value; }
  bool EnableLooseMidSideStereo() const { return FEnableLooseMidSideStereo; }
  // True also turns mid-side stereo on.
  void SetEnableLooseMidSideStereo(bool value);
  uint16_t MaxLPCOrder() const { return FMaxLPCOrder; }
  void SetMaxLPCOrder(uint16_t value) { FMaxLPCOrder = value; }
  uint16_t MaxResidualPartitionOrder() const { return FMaxResidualPartitionOrder; }
  void SetMaxResidualPartitionOrder(uint16_t value) { FMaxResidualPartitionOrder = value; }
  uint16_t MinResidualPartitionOrder() const { return FMinResidualPartitionOrder; }
  void SetMinResidualPartitionOrder(uint16_t value) { FMinResidualPartitionOrder = value; }
  // A run lowers it to what the input's sample width allows, and it keeps
  // the lowered value.
  uint16_t QLPCoeffPrecision() const { return FQLPCoeffPrecision; }
  void SetQLPCoeffPrecision(uint16_t value) { FQLPCoeffPrecision = value; }
  bool QLPCoeffPrecisionSearch() const { return FQLPCoeffPrecisionSearch; }
  void SetQLPCoeffPrecisionSearch(bool value) { FQLPCoeffPrecisionSearch = value; }
  bool Verify() const { return FVerify; }
  void SetVerify(bool value) { FVerify = value; }
  // The window functions of the LPC analysis, in libFLAC's notation
  // ("tukey(5e-1)"); empty leaves the encoder's own.
  const std::string& Apodization() const { return FApodization; }
  void SetApodization(std::string value) { FApodization = std::move(value); }
  // Room left after the stream header, so that tags written into the
  // finished file fit there and the audio stays where it is. The default
  // holds the usual text fields; a cover needs its size more (see
  // FLACPaddingFor). At most 2^24 - 1 bytes, a FLAC block's limit; 0 is no
  // padding block.
  static constexpr uint32_t kDefaultPadding = 4096;
  uint32_t Padding() const { return FPadding; }
  void SetPadding(uint32_t bytes) { FPadding = std::min<uint32_t>(bytes, (1u << 24) - 1); }

 protected:
  void StartFile(TACSInput& input) override;
  bool WriteBlock() override;
  void FinishFile() override;
  void ReleaseFile() noexcept override;

 private:
  void SetUpEncoder(TACSInput& input);
  void SetTotalSamplesEstimate(TACSInput& input);
  void SetPaddingBlock();
  void WritePadding(const FLAC__byte header[4]);
  // An offset as the encoder counts it, in the file, and back.
  int64_t InFile(int64_t offset) const;
  int64_t ForEncoder(int64_t at) const;
  void InitEncoder();
  void AllocateBlock();
  // Reads until the block is full or the input ends; returns the bytes held.
  int FillBlock();
  void EncodeBlock(int bytes);

  static FLAC__StreamEncoderWriteStatus WriteCallback(const FLAC__StreamEncoder* encoder,
                                                      const FLAC__byte buffer[], size_t bytes,
                                                      uint32_t samples, uint32_t currentFrame,
                                                      void* client);
  static FLAC__StreamEncoderSeekStatus SeekCallback(const FLAC__StreamEncoder* encoder,
                                                    FLAC__uint64 offset, void* client);
  static FLAC__StreamEncoderTellStatus TellCallback(const FLAC__StreamEncoder* encoder,
                                                    FLAC__uint64* offset, void* client);

  bool FBestModelSearch = false;
  uint16_t FBlockSize = 4608;
  bool FEnableMidSideStereo = true;
  bool FEnableLooseMidSideStereo = false;
  uint16_t FMaxLPCOrder = 0;
  uint16_t FMaxResidualPartitionOrder = 0;
  uint16_t FMinResidualPartitionOrder = 0;
  uint16_t FQLPCoeffPrecision = 0;
  bool FQLPCoeffPrecisionSearch = false;
  bool FVerify = false;
  std::string FApodization;
  uint32_t FPadding = kDefaultPadding;

  // Run state, set up by StartFile. Both buffers hold one block and are
  // sized once per run: nothing is allocated per block.
  TFLACEncoder FEncoder;
  // The padding block, which the encoder reads until it finishes. The
  // encoder knows it as empty; its bytes go into the file as a hole
  // (zeros, without writing them, or the encoder zeroing a buffer of that
  // size), so the encoder's offsets past it are shifted by FPadding.
  TFLACMetadata FPaddingBlock;
  FLAC__StreamMetadata* FMetadata[1] = {};
  bool FPaddingDue = false;
  int64_t FShiftedFrom = INT64_MAX;  // where the padding's bytes begin
  int FBitsPerSample = 16;
  int FChannels = 2;
  std::vector<uint8_t> FBlock;
  std::vector<FLAC__int32> FSamples;
};

// The compression levels 0 to 8 as libFLAC defines them, as writer
// settings; what the level leaves out stays at the writer's defaults.
struct TFLACLevel {
  uint16_t BlockSize;
  bool MidSide;
  bool LooseMidSide;
  uint16_t MaxLPCOrder;
  uint16_t MaxResidualPartitionOrder;
  const char* Apodization;
};

inline constexpr std::array<TFLACLevel, 9> kFLACLevels{{
    {1152, false, false, 0, 3, "tukey(5e-1)"},
    {1152, true, true, 0, 3, "tukey(5e-1)"},
    {1152, true, false, 0, 3, "tukey(5e-1)"},
    {4096, false, false, 6, 4, "tukey(5e-1)"},
    {4096, true, true, 8, 4, "tukey(5e-1)"},
    {4096, true, false, 8, 5, "tukey(5e-1)"},
    {4096, true, false, 8, 6, "subdivide_tukey(2)"},
    {4096, true, false, 12, 6, "subdivide_tukey(2)"},
    {4096, true, false, 12, 6, "subdivide_tukey(3)"},
}};

// Sets every encoder setting of `writer` to compression level `level`
// (0 to 8); other levels change nothing.
void ApplyFLACLevel(TFLACOut& writer, int level);

}  // namespace cdx
