// The MP3 writer: encodes the 16-bit PCM of its input with libmp3lame.
//
// The settings are read once when a run starts; the seven tag texts are
// read at its end, when they are handed to the library right before the
// final flush, which writes them as an ID3v1 tag at the end of the file.
// The library reserves a header frame at the start of the stream; it is
// completed at the end of every run, stopped ones too, so that players
// know the length, the encoder delay and the padding. A write or encoder
// failure fails the run (OnThreadException): it never passes for the end
// of the input.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pipeline/ACS_Classes.h"
#include "writers/lame.h"

namespace cdx {

enum TMP3BitRate : uint8_t {
  br8,
  br16,
  br24,
  br32,
  br40,
  br48,
  br56,
  br64,
  br80,
  br96,
  br112,
  br128,
  br144,
  br160,
  br192,
  br224,
  br256,
  br320
};
// The kbit/s each TMP3BitRate stands for, in its order.
inline constexpr std::array<int, 18> kMP3BitRates{8,  16,  24,  32,  40,  48,  56,  64,  80,
                                                  96, 112, 128, 144, 160, 192, 224, 256, 320};

enum TMP3Quality : uint8_t { ql0, ql1, ql2, ql3, ql4, ql5, ql6, ql7, ql8, ql9 };

// The library's channel modes, in its numbering.
enum TMP3Mode : uint8_t { STEREO, JOINT_STEREO, DUAL_CHANNEL, MONO };

enum TMP3SampleRate : uint8_t { srDefault, sr11kHz, sr22kHz, sr44kHz, sr32kHz, sr41kHz, sr48kHz };
// The output rate in Hz each TMP3SampleRate asks for, in its order; 0 lets
// the library choose.
inline constexpr std::array<int, 7> kMP3SampleRates{0, 11025, 22050, 44100, 32000, 41000, 48000};

// The seven ID3 tag texts, UTF-8.
struct TMP3Tags {
  std::string Title{};
  std::string Artist{};
  std::string Album{};
  std::string Year{};
  std::string Track{};
  std::string Comment{};
  std::string Genre{};
};

class TMP3Out : public TACSFileOut {
 public:
  explicit TMP3Out(TComponent* owner);
  ~TMP3Out() override;

  TMP3BitRate BitRate() const { return FBitRate; }
  void SetBitRate(TMP3BitRate value) { FBitRate = value; }
  TMP3Quality Quality() const { return FQuality; }
  void SetQuality(TMP3Quality value) { FQuality = value; }
  TMP3SampleRate SampleRate() const { return FSampleRate; }
  void SetSampleRate(TMP3SampleRate value) { FSampleRate = value; }
  TMP3Mode Mode() const { return FMode; }
  void SetMode(TMP3Mode value) { FMode = value; }
  bool CRC() const { return FCRC; }
  void SetCRC(bool value) { FCRC = value; }
  bool Copyright() const { return FCopyright; }
  void SetCopyright(bool value) { FCopyright = value; }
  bool Original() const { return FOriginal; }
  void SetOriginal(bool value) { FOriginal = value; }
  bool WriteVBRHeader() const { return FWriteVBRHeader; }
  void SetWriteVBRHeader(bool value) { FWriteVBRHeader = value; }
  bool EnableVBR() const { return FEnableVBR; }
  void SetEnableVBR(bool value) { FEnableVBR = value; }
  TMP3Quality VBRQuality() const { return FVBRQuality; }
  void SetVBRQuality(TMP3Quality value) { FVBRQuality = value; }
  int VBRMinBitrate() const { return FVBRMinBitrate; }
  void SetVBRMinBitrate(int value) { FVBRMinBitrate = value; }
  int VBRMaxBitrate() const { return FVBRMaxBitrate; }
  void SetVBRMaxBitrate(int value) { FVBRMaxBitrate = value; }

  // The tag texts may change during a run (they are read at its end), so
  // they are kept under a lock.
  TMP3Tags Id3Tags() const;
  void SetId3Tags(TMP3Tags tags);

 protected:
  void StartFile(TACSInput& input) override;
  bool WriteBlock() override;
  void FinishFile() override;
  void ReleaseFile() noexcept override;

 private:
  static constexpr int kBlockBytes = 16384;
  // The library's worst case for one block of 8192 samples: 1.25 x 8192 + 7200.
  static constexpr int kMp3BufferBytes = 17440;

  void ApplySettings(TACSInput& input);
  void ApplyBitrateSettings();
  int Encode(int bytes);
  void HandOverTags();
  void WriteMp3Bytes(int count);
  void CompleteHeaderFrame();

  TMP3BitRate FBitRate = br128;
  TMP3Quality FQuality = ql5;
  TMP3SampleRate FSampleRate = srDefault;
  TMP3Mode FMode = STEREO;
  bool FCRC = false;
  bool FCopyright = false;
  bool FOriginal = true;
  bool FWriteVBRHeader = false;
  bool FEnableVBR = false;
  TMP3Quality FVBRQuality = ql5;
  int FVBRMinBitrate = 128;
  int FVBRMaxBitrate = 192;

  mutable std::mutex FTagsMutex;
  TMP3Tags FTags;

  // Run state: the encoder and the MP3 buffer live from StartFile to
  // ReleaseFile; the input block is part of the object.
  std::unique_ptr<TLameEncoder> FEncoder;
  std::vector<unsigned char> FMp3Buffer;
  int FRunChannels = 2;
  std::array<int16_t, kBlockBytes / 2> FBlock{};
};

}  // namespace cdx
