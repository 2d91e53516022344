// The Ogg Vorbis writer: encodes the 16-bit PCM of its input with
// libvorbis/libvorbisenc and frames it with libogg. The three header packets
// stand on pages of their own, flushed before any audio; audio pages are
// written as libogg fills them. A run that meets the end of its input, and
// a stopped run too, ends with the stream's end-of-stream page, so every
// file kept is a complete Ogg stream. Appending adds a new complete stream,
// with a serial number of its own, after the file's bytes. A write that
// fails fails the run (see TACSFileOut for what a failed run leaves).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pipeline/ACS_Classes.h"
#include "writers/VorbisState.h"

namespace cdx {

// The bitrates of the managed mode; the values rise with the ordinal.
enum TVorbisBitRate : uint8_t {
  bbrAutoSelect,
  bbr45,
  bbr48,
  bbr56,
  bbr64,
  bbr80,
  bbr96,
  bbr112,
  bbr128,
  bbr144,
  bbr160,
  bbr192,
  bbr224,
  bbr256,
  bbr320,
  bbr499
};

// Kilobits per second of each TVorbisBitRate but bbrAutoSelect, by ordinal
// from bbr45 on; every list of bitrates (the dialog's, the command line's)
// comes from here.
inline constexpr std::array<int, 15> kVorbisBitRatesKbps{45,  48,  56,  64,  80,  96,  112, 128,
                                                         144, 160, 192, 224, 256, 320, 499};

// Bits per second of the bitrate of ordinal `ordinal`; -1 for bbrAutoSelect
// and for any ordinal outside the enumeration.
int VorbisBitsPerSecond(int ordinal);

// A Vorbis comment: its field name and its value.
using TVorbisField = std::pair<std::string, std::string>;
// The comment fields of `lines`, one per line in order: the field name is
// what stands before the first "=", the value what follows it in the first
// line of that field name (letter case aside). A line without a field name
// (no "=", or nothing before it) is free text: it becomes a COMMENT field
// holding the line's own text, since a Vorbis comment needs a name. So does
// a line whose field name holds a character that field names may not
// (anything but ASCII 0x20 to 0x7D), the whole line being the text.
std::vector<TVorbisField> VorbisCommentFields(const std::vector<std::string>& lines);

// The three bitrates of the managed mode and the rules that keep them
// together; the writer's properties follow them, and so does whatever
// keeps the settings of its runs.
struct TVorbisBitrates {
  TVorbisBitRate Nominal = bbrAutoSelect;
  TVorbisBitRate Maximum = bbrAutoSelect;
  TVorbisBitRate Minimum = bbrAutoSelect;

  // bbrAutoSelect selects the quality mode, any other value the managed
  // mode at that bitrate. Setting it lowers the minimum to it when it is
  // below, raises the maximum to it when it is above, and puts the maximum
  // back on bbrAutoSelect with the nominal value.
  void SetNominal(TVorbisBitRate value);
  // Taken only with a nominal bitrate set, and only bbrAutoSelect or a
  // value not below the nominal one.
  void SetMaximum(TVorbisBitRate value);
  // Taken only when not above the nominal bitrate.
  void SetMinimum(TVorbisBitRate value);
};

class TVorbisOut : public TACSFileOut {
 public:
  explicit TVorbisOut(TComponent* owner);
  ~TVorbisOut() override;

  // Quality of the quality mode, as libvorbisenc takes it (-0.1 to 1.0);
  // used when DesiredNominalBitrate is bbrAutoSelect.
  float Compression() const { return FCompression; }
  void SetCompression(float value) { FCompression = value; }
  // One comment per line, TAG=VALUE; emptied when a run ends, so a run's
  // comments are given anew before each Run.
  const std::vector<std::string>& Comments() const { return FComments; }
  void SetComments(std::vector<std::string> lines) { FComments = std::move(lines); }
  void AddComment(std::string line) { FComments.push_back(std::move(line)); }

  // By the rules of TVorbisBitrates.
  TVorbisBitRate DesiredNominalBitrate() const { return FBitrates.Nominal; }
  void SetDesiredNominalBitrate(TVorbisBitRate value) { FBitrates.SetNominal(value); }
  TVorbisBitRate DesiredMaximumBitrate() const { return FBitrates.Maximum; }
  void SetDesiredMaximumBitrate(TVorbisBitRate value) { FBitrates.SetMaximum(value); }
  TVorbisBitRate MinimumBitrate() const { return FBitrates.Minimum; }
  void SetMinimumBitrate(TVorbisBitRate value) { FBitrates.SetMinimum(value); }
  const TVorbisBitrates& Bitrates() const { return FBitrates; }
  // All three at once, as they were kept together elsewhere.
  void SetBitrates(const TVorbisBitrates& value) { FBitrates = value; }

  // Serial number of the stream; an append run whose file already has a
  // stream of this number takes the next free one.
  int32_t Serial() const { return FSerial; }
  void SetSerial(int32_t value) { FSerial = value; }

  // This writer honours foAppend.
  void SetFileMode(TFileOutputMode value) override { FFileMode = value; }

 protected:
  void StartFile(TACSInput& input) override;
  bool WriteBlock() override;
  void FinishFile() override;
  void ReleaseFile() noexcept override;

 private:
  static constexpr int kBufferSize = 65536;
  // Frames handed to the encoder at a time. libvorbis moves all the audio it
  // holds after each block it takes out, so feeding it a whole 65536-byte
  // block at once costs a tenth more time than feeding it in small slices.
  static constexpr int kSliceFrames = 1024;

  void CheckInputFormat(TACSInput& input);
  void SetUpEncoder();
  std::string DescribeSetUp() const;
  void AddComments();
  int32_t FreeSerial();
  void WriteHeaders();
  // Encodes the first `frames` frames of FBuffer, slice by slice.
  void Encode(int frames);
  // Hands `frames` frames (at least one) to the encoder as floats.
  void AnalyseSlice(const uint8_t* pcm, int frames);
  // Tells the encoder that the input has ended and writes the rest of the
  // stream, its end-of-stream page last.
  void EndStream();
  // Encodes every block the analysis has ready and writes the pages libogg
  // fills (all that remain once the stream has ended).
  void Drain();
  void WritePage();

  float FCompression = 0.2f;
  std::vector<std::string> FComments;
  TVorbisBitrates FBitrates;
  int32_t FSerial = 0;

  // Run state.
  std::array<uint8_t, kBufferSize> FBuffer{};
  TVorbisState FState;
  int FChannels = 2;
  int FSampleRate = 44100;
  // Bytes of an unfinished frame at the start of FBuffer.
  int FCarry = 0;
  bool FEndOfStream = false;
};

}  // namespace cdx
