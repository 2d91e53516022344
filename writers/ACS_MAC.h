// The Monkey's Audio writer: hands the PCM of its input to the compressor,
// which writes the file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "pipeline/ACS_Classes.h"
#include "writers/MACDll.h"

namespace cdx {

// The compression levels the writer takes, fastest first; every list of
// levels (the options dialog's ladder, the command line) comes from here.
inline constexpr std::array<int, 4> kMACCompressionLevels{1000, 2000, 3000, 4000};

class TMACOut : public TACSFileOut {
 public:
  explicit TMACOut(TComponent* owner);
  ~TMACOut() override;

  int CompressionLevel() const { return FCompressionLevel; }
  // A level of kMACCompressionLevels is taken; anything else stores 2000.
  void SetCompressionLevel(int value);
  int MaxAudioBytes() const { return FMaxAudioBytes; }
  void SetMaxAudioBytes(int value) { FMaxAudioBytes = value; }

 protected:
  void StartFile(TACSInput& input) override;
  bool WriteBlock() override;
  void FinishFile() override;
  void ReleaseFile() noexcept override;

 private:
  static constexpr int kBufferSize = 65536;

  void HandOver(int count);

  std::vector<uint8_t> FBuffer;
  std::unique_ptr<TAPECompress> FAPECompress;
  WAVEFORMATEX FFormat{};
  int FCompressionLevel = 2000;
  int FMaxAudioBytes = -1;
};

}  // namespace cdx
