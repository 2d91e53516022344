#include "writers/ACS_Vorbis.h"

#include <strings.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "writers/LittleEndian.h"

namespace cdx {

namespace {

constexpr char kVorbisEncodeFailed[] = "The Ogg Vorbis encoder failed.";

bool SameFieldName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Decoders reject a field name with anything but printable ASCII other
// than "=" in it.
bool ValidFieldName(std::string_view name) {
  return std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c <= 0x7D; });
}

// The value of the first line whose field name is `name`, letter case aside.
std::string FirstValueOf(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos &&
        SameFieldName(std::string_view(line).substr(0, equals), name))
      return line.substr(equals + 1);
  }
  return {};
}

}  // namespace

int VorbisBitsPerSecond(int ordinal) {
  if (ordinal < 1 || ordinal > static_cast<int>(kVorbisBitRatesKbps.size())) return -1;
  return kVorbisBitRatesKbps[static_cast<size_t>(ordinal - 1)] * 1000;
}

std::vector<TVorbisField> VorbisCommentFields(const std::vector<std::string>& lines) {
  std::vector<TVorbisField> fields;
  for (const std::string& line : lines) {
    const size_t equals = line.find('=');
    if (equals == 0 || equals == std::string::npos) {
      fields.emplace_back("COMMENT", equals == 0 ? line.substr(1) : line);
      continue;
    }
    if (!ValidFieldName(std::string_view(line).substr(0, equals))) {
      fields.emplace_back("COMMENT", line);
      continue;
    }
    std::string name = line.substr(0, equals);
    std::string value = FirstValueOf(lines, name);
    fields.emplace_back(std::move(name), std::move(value));
  }
  return fields;
}

TVorbisOut::TVorbisOut(TComponent* owner) : TACSFileOut(owner) {
  if (!OggLoaded) throw EACSException("ogg.dll library could not be loaded.");
  if (!VorbisLoaded) throw EACSException("vorbis.dll library could not be loaded.");
  if (!VorbisFileLoaded) throw EACSException("vorbisfile.dll library could not be loaded.");
  if (!VorbisEncLoaded) throw EACSException("vorbisenc.dll library could not be loaded.");
}

TVorbisOut::~TVorbisOut() = default;

void TVorbisBitrates::SetNominal(TVorbisBitRate value) {
  if (value > bbr499) return;
  Nominal = value;
  if (Nominal < Minimum) Minimum = Nominal;
  if (Nominal > Maximum) Maximum = Nominal;
  if (Nominal == bbrAutoSelect) Maximum = bbrAutoSelect;
}

void TVorbisBitrates::SetMaximum(TVorbisBitRate value) {
  if (value > bbr499 || Nominal == bbrAutoSelect) return;
  if (value == bbrAutoSelect || value >= Nominal) Maximum = value;
}

void TVorbisBitrates::SetMinimum(TVorbisBitRate value) {
  if (value <= Nominal) Minimum = value;
}

void TVorbisOut::StartFile(TACSInput& input) {
  CheckInputFormat(input);
  FEndOfStream = false;
  FCarry = 0;
  const int32_t serial = Appending() ? FreeSerial() : FSerial;
  SetUpEncoder();
  AddComments();
  if (vorbis_analysis_init(&FState.Dsp, &FState.Info) != 0)
    throw EACSException(kVorbisEncodeFailed);
  FState.DspReady = true;
  if (vorbis_block_init(&FState.Dsp, &FState.Block) != 0) throw EACSException(kVorbisEncodeFailed);
  FState.BlockReady = true;
  if (ogg_stream_init(&FState.Stream, serial) != 0) throw EACSException(kVorbisEncodeFailed);
  FState.StreamReady = true;
  WriteHeaders();
}

void TVorbisOut::CheckInputFormat(TACSInput& input) {
  // Any other sample width or layout would be read as 16-bit samples of
  // one or two channels: a file of noise.
  if (input.GetBitsPerSample() != 16)
    throw EACSException("The Ogg Vorbis writer takes 16-bit samples only.");
  FChannels = input.GetChannels();
  if (FChannels != 1 && FChannels != 2)
    throw EACSException("The Ogg Vorbis writer takes mono or stereo input only.");
  FSampleRate = input.GetSampleRate();
}

void TVorbisOut::SetUpEncoder() {
  vorbis_info_init(&FState.Info);
  FState.InfoReady = true;
  vorbis_info* info = &FState.Info;
  int result = 0;
  if (FBitrates.Nominal == bbrAutoSelect) {
    result = vorbis_encode_setup_vbr(info, FChannels, FSampleRate, FCompression);
    if (result == 0) result = vorbis_encode_setup_init(info);
  } else {
    const long nominal = VorbisBitsPerSecond(FBitrates.Nominal);
    const long maximum = std::max<long>(VorbisBitsPerSecond(FBitrates.Maximum), nominal);
    const long minimum =
        FBitrates.Minimum == bbrAutoSelect ? nominal : VorbisBitsPerSecond(FBitrates.Minimum);
    result = vorbis_encode_init(info, FChannels, FSampleRate, maximum, nominal, minimum);
  }
  // A refused set-up leaves the encoder unusable: no audio may follow.
  if (result != 0) throw EACSException(DescribeSetUp());
}

std::string TVorbisOut::DescribeSetUp() const {
  char text[256];
  const char* channels = FChannels == 1 ? "mono" : "stereo";
  if (FBitrates.Nominal == bbrAutoSelect) {
    std::snprintf(text, sizeof text,
                  "The Ogg Vorbis encoder refused the quality mode at quality %.2f for %d Hz %s.",
                  FCompression, FSampleRate, channels);
  } else {
    const int nominal = VorbisBitsPerSecond(FBitrates.Nominal);
    const int maximum = std::max(VorbisBitsPerSecond(FBitrates.Maximum), nominal);
    const int minimum =
        FBitrates.Minimum == bbrAutoSelect ? nominal : VorbisBitsPerSecond(FBitrates.Minimum);
    std::snprintf(text, sizeof text,
                  "The Ogg Vorbis encoder refused the managed mode at nominal %d, maximum %d and "
                  "minimum %d bit/s for %d Hz %s.",
                  nominal, maximum, minimum, FSampleRate, channels);
  }
  return text;
}

void TVorbisOut::AddComments() {
  vorbis_comment_init(&FState.Comment);
  FState.CommentReady = true;
  for (const auto& [name, value] : VorbisCommentFields(FComments))
    vorbis_comment_add_tag(&FState.Comment, name.c_str(), value.c_str());
}

int32_t TVorbisOut::FreeSerial() {
  // Every page of every stream of the file names its stream's serial number
  // at byte 14; a page-like pattern inside audio data only rules out one
  // more number.
  constexpr int kPageHead = 18;
  std::vector<uint32_t> used;
  uint8_t* buffer = FBuffer.data();
  int held = 0;
  FStream->Seek(0, SEEK_SET);
  for (;;) {
    const int got = static_cast<int>(FStream->Read(buffer + held, kBufferSize - held));
    held += got;
    for (int at = 0; at + kPageHead <= held; ++at)
      if (std::memcmp(buffer + at, "OggS", 5) == 0) used.push_back(GetLE32(buffer + at + 14));
    if (got == 0) break;
    const int keep = std::min(held, kPageHead - 1);
    std::memmove(buffer, buffer + held - keep, static_cast<size_t>(keep));
    held = keep;
  }
  FStream->Seek(0, SEEK_END);
  uint32_t serial = static_cast<uint32_t>(FSerial);
  while (std::find(used.begin(), used.end(), serial) != used.end()) ++serial;
  return static_cast<int32_t>(serial);
}

void TVorbisOut::WriteHeaders() {
  if (vorbis_analysis_headerout(&FState.Dsp, &FState.Comment, &FState.Identification,
                                &FState.CommentHeader, &FState.Setup) != 0)
    throw EACSException(kVorbisEncodeFailed);
  for (ogg_packet* packet : {&FState.Identification, &FState.CommentHeader, &FState.Setup})
    if (ogg_stream_packetin(&FState.Stream, packet) != 0) throw EACSException(kVorbisEncodeFailed);
  // The headers stand on pages of their own, before any audio page.
  while (ogg_stream_flush(&FState.Stream, &FState.Page) != 0) WritePage();
}

bool TVorbisOut::WriteBlock() {
  const int count = ReadInput(FBuffer.data() + FCarry, kBufferSize - FCarry);
  if (count == 0) {
    EndStream();
    EndOfInput = true;
    return true;
  }
  const int frameBytes = 2 * FChannels;
  const int bytes = FCarry + count;
  const int frames = bytes / frameBytes;
  Encode(frames);
  // A block that ends inside a frame keeps that frame's first bytes for the
  // next one, so the channels never swap.
  FCarry = bytes - frames * frameBytes;
  std::memmove(FBuffer.data(), FBuffer.data() + frames * frameBytes, static_cast<size_t>(FCarry));
  return true;
}

void TVorbisOut::Encode(int frames) {
  const uint8_t* pcm = FBuffer.data();
  const int frameBytes = 2 * FChannels;
  for (int first = 0; first < frames; first += kSliceFrames) {
    AnalyseSlice(pcm + first * frameBytes, std::min(kSliceFrames, frames - first));
    Drain();
  }
}

void TVorbisOut::AnalyseSlice(const uint8_t* pcm, int frames) {
  float** channels = vorbis_analysis_buffer(&FState.Dsp, frames);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < FChannels; ++c)
      channels[c][i] = SampleAt(pcm, i * FChannels + c) / 32768.0f;
  vorbis_analysis_wrote(&FState.Dsp, frames);
}

void TVorbisOut::EndStream() {
  vorbis_analysis_wrote(&FState.Dsp, 0);
  Drain();
  // The last packet carries the end-of-stream mark, which makes libogg
  // hand out its page; this only guards against a stream left open.
  while (!FEndOfStream && ogg_stream_flush(&FState.Stream, &FState.Page) != 0) WritePage();
}

void TVorbisOut::Drain() {
  while (vorbis_analysis_blockout(&FState.Dsp, &FState.Block) == 1) {
    if (vorbis_analysis(&FState.Block, nullptr) != 0 || vorbis_bitrate_addblock(&FState.Block) != 0)
      throw EACSException(kVorbisEncodeFailed);
    while (vorbis_bitrate_flushpacket(&FState.Dsp, &FState.Packet) == 1) {
      if (ogg_stream_packetin(&FState.Stream, &FState.Packet) != 0)
        throw EACSException(kVorbisEncodeFailed);
      while (!FEndOfStream && ogg_stream_pageout(&FState.Stream, &FState.Page) != 0) WritePage();
    }
  }
}

void TVorbisOut::WritePage() {
  FStream->Write(FState.Page.header, FState.Page.header_len);
  FStream->Write(FState.Page.body, FState.Page.body_len);
  if (ogg_page_eos(&FState.Page)) FEndOfStream = true;
}

void TVorbisOut::FinishFile() {
  // A failed run's file is thrown away: there is nothing to complete.
  if (RunFailed()) return;
  // A stopped run still ends its stream, with the audio read so far, so
  // the file is complete and a later append follows a finished stream.
  if (!FEndOfStream) EndStream();
}

void TVorbisOut::ReleaseFile() noexcept {
  FState.Clear();
  FComments.clear();
  FCarry = 0;
}

}  // namespace cdx
