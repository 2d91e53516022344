// The Opus writer: encodes the 16-bit PCM of its input into an Ogg Opus
// file with libopusenc, which writes every page through callbacks on the
// run's file stream. The input goes to the library at its own rate (the
// library resamples to the 48 kHz Opus always codes at, and notes the
// original rate in the header). The settings reach the encoder before the
// header is written, so a setting the library refuses fails the run before
// any audio, with the library's reason. A run that meets the end of its
// input, and a stopped run too, drains the encoder and ends the stream, so
// every file kept is a complete Ogg Opus stream. A write that fails fails
// the run (see TACSFileOut for what a failed run leaves).
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "pipeline/ACS_Classes.h"
#include "writers/OpusEnc.h"

namespace cdx {

// How the encoder spends the bitrate: free to follow the audio, held close
// to it packet by packet, or exactly it in every packet.
enum TOpusBitrateMode : uint8_t { obmVBR, obmCVBR, obmCBR };

// The modes' names on the command line, by ordinal.
inline constexpr std::array<const char*, 3> kOpusBitrateModeNames{"vbr", "cvbr", "cbr"};

// The bitrates the writer takes, in kbit/s: the range Opus gives one
// stream. Mono and stereo are both one stream (a lone channel or a coupled
// pair), so the range is the same for both.
inline constexpr int kOpusMinBitrateKbps = 6;
inline constexpr int kOpusMaxBitrateKbps = 256;
inline constexpr int kOpusMaxComplexity = 10;

class TOpusOut : public TACSFileOut {
 public:
  explicit TOpusOut(TComponent* owner);
  ~TOpusOut() override;

  // The encoder settings, read when a run starts; values out of range are
  // ignored and the old value stays.
  // Target bitrate of the whole stream, kbit/s (128 at creation).
  int Bitrate() const { return FBitrate; }
  void SetBitrate(int kbps);
  TOpusBitrateMode BitrateMode() const { return FBitrateMode; }
  void SetBitrateMode(TOpusBitrateMode value);
  // 0 (fastest) to 10 (best, at creation).
  int Complexity() const { return FComplexity; }
  void SetComplexity(int value);

  // One comment per line, TAG=VALUE, under the rules of the Ogg Vorbis
  // writer's comments (VorbisCommentFields); emptied when a run ends, so a
  // run's comments are given anew before each Run.
  const std::vector<std::string>& Comments() const { return FComments; }
  void SetComments(std::vector<std::string> lines) { FComments = std::move(lines); }
  void AddComment(std::string line) { FComments.push_back(std::move(line)); }

 protected:
  void StartFile(TACSInput& input) override;
  bool WriteBlock() override;
  void FinishFile() override;
  void ReleaseFile() noexcept override;

 private:
  static constexpr int kBufferSamples = 32768;
  static constexpr int kBufferBytes = 2 * kBufferSamples;

  void CheckInputFormat(TACSInput& input);
  TOpusComments MakeComments();
  void CreateEncoder(const TOpusComments& comments);
  void ApplySettings();
  void Set(int request, int value, const std::string& what);
  // Raises the failure behind the library's result `code` (a failed write
  // of the file first of all) when `code` is not success.
  void Check(int code, const char* what);
  uint8_t* BufferBytes() { return reinterpret_cast<uint8_t*>(FBuffer.data()); }

  static int WriteCallback(void* client, const unsigned char* bytes, int32_t length);
  static int CloseCallback(void* client);

  int FBitrate = 128;
  TOpusBitrateMode FBitrateMode = obmVBR;
  int FComplexity = kOpusMaxComplexity;
  std::vector<std::string> FComments;

  // Run state. The buffer lives inside the object: nothing is allocated
  // per block.
  std::array<int16_t, kBufferSamples> FBuffer{};
  TOpusEncoder FEncoder;
  int FChannels = 2;
  int FSampleRate = 44100;
  // Bytes of an unfinished frame at the start of FBuffer.
  int FCarry = 0;
  // What the file stream raised inside the write callback, which must not
  // throw through the library; raised again once the library returns.
  std::exception_ptr FWriteFailure;
};

}  // namespace cdx
