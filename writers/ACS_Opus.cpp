#include "writers/ACS_Opus.h"

#include <opusenc.h>

#include <bit>
#include <cstring>
#include <utility>

#include "writers/ACS_Vorbis.h"

namespace cdx {

namespace {

const char* ModeName(TOpusBitrateMode mode) {
  switch (mode) {
    case obmCVBR:
      return "the constrained VBR mode";
    case obmCBR:
      return "the CBR mode";
    default:
      return "the VBR mode";
  }
}

// The input's samples are little-endian; the library takes them in the
// machine's order.
void ToMachineOrder(int16_t* samples, int count) {
  if constexpr (std::endian::native == std::endian::big)
    for (int i = 0; i < count; ++i)
      samples[i] = static_cast<int16_t>(static_cast<uint16_t>(samples[i]) >> 8 |
                                        static_cast<uint16_t>(samples[i]) << 8);
}

}  // namespace

TOpusOut::TOpusOut(TComponent* owner) : TACSFileOut(owner) {
  if (!OpusEncLoaded) throw EACSException("libopusenc library could not be loaded.");
}

TOpusOut::~TOpusOut() = default;

void TOpusOut::SetBitrate(int kbps) {
  if (kbps >= kOpusMinBitrateKbps && kbps <= kOpusMaxBitrateKbps) FBitrate = kbps;
}

void TOpusOut::SetBitrateMode(TOpusBitrateMode value) {
  if (value <= obmCBR) FBitrateMode = value;
}

void TOpusOut::SetComplexity(int value) {
  if (value >= 0 && value <= kOpusMaxComplexity) FComplexity = value;
}

void TOpusOut::StartFile(TACSInput& input) {
  CheckInputFormat(input);
  FCarry = 0;
  FWriteFailure = nullptr;
  CreateEncoder(MakeComments());
  ApplySettings();
  // The header goes out now, with the settings in force, before any audio.
  Check(ope_encoder_flush_header(FEncoder.get()), "write the header");
  // libopusenc sets up the stream's position only at the first write: a
  // stream drained without one (an empty input) ends on a granule position
  // read from uninitialised memory. A write of no samples sets it up.
  Check(ope_encoder_write(FEncoder.get(), FBuffer.data(), 0), "start the stream");
}

void TOpusOut::CheckInputFormat(TACSInput& input) {
  // Any other sample width or layout would be read as 16-bit samples of
  // one or two channels: a file of noise.
  if (input.GetBitsPerSample() != 16)
    throw EACSException("The Opus writer takes 16-bit samples only.");
  FChannels = input.GetChannels();
  if (FChannels != 1 && FChannels != 2)
    throw EACSException("The Opus writer takes mono or stereo input only.");
  FSampleRate = input.GetSampleRate();
}

TOpusComments TOpusOut::MakeComments() {
  // A new set holds the vendor string, libopus's and libopusenc's versions.
  TOpusComments comments(ope_comments_create());
  if (!comments) throw EACSException("The Opus encoder could not make its comment header.");
  for (const auto& [name, value] : VorbisCommentFields(FComments)) {
    const int code = ope_comments_add(comments.get(), name.c_str(), value.c_str());
    if (code != OPE_OK)
      throw EACSException("The Opus encoder refused the comment " + name + "=" + value + ": " +
                          OpusEncErrorText(code) + ".");
  }
  return comments;
}

void TOpusOut::CreateEncoder(const TOpusComments& comments) {
  static constexpr OpusEncCallbacks kCallbacks{WriteCallback, CloseCallback};
  int code = OPE_OK;
  // Mapping family 0: one stream, mono or a coupled stereo pair. The
  // encoder copies the comments.
  FEncoder.reset(ope_encoder_create_callbacks(&kCallbacks, this, comments.get(), FSampleRate,
                                              FChannels, 0, &code));
  if (!FEncoder)
    throw EACSException("The Opus encoder refused " + std::to_string(FSampleRate) + " Hz " +
                        (FChannels == 1 ? "mono" : "stereo") + " input: " + OpusEncErrorText(code) +
                        ".");
}

void TOpusOut::ApplySettings() {
  Set(OPUS_SET_BITRATE_REQUEST, FBitrate * 1000,
      "the bitrate of " + std::to_string(FBitrate) + " kbit/s");
  const char* mode = ModeName(FBitrateMode);
  Set(OPUS_SET_VBR_REQUEST, FBitrateMode != obmCBR, mode);
  // libopus constrains its VBR unless told otherwise.
  if (FBitrateMode != obmCBR) Set(OPUS_SET_VBR_CONSTRAINT_REQUEST, FBitrateMode == obmCVBR, mode);
  Set(OPUS_SET_COMPLEXITY_REQUEST, FComplexity, "complexity " + std::to_string(FComplexity));
  // The samples are 16-bit: the encoder need spend no bits below their last.
  Set(OPUS_SET_LSB_DEPTH_REQUEST, 16, "a depth of 16 bits");
}

void TOpusOut::Set(int request, int value, const std::string& what) {
  const int code = ope_encoder_ctl(FEncoder.get(), request, static_cast<opus_int32>(value));
  if (code != OPE_OK)
    throw EACSException("The Opus encoder refused " + what + ": " + OpusEncErrorText(code) + ".");
}

void TOpusOut::Check(int code, const char* what) {
  if (code == OPE_OK) return;
  if (FWriteFailure) std::rethrow_exception(std::exchange(FWriteFailure, nullptr));
  throw EACSException(std::string("The Opus encoder could not ") + what + ": " +
                      OpusEncErrorText(code) + ".");
}

bool TOpusOut::WriteBlock() {
  const int count = ReadInput(BufferBytes() + FCarry, kBufferBytes - FCarry);
  if (count <= 0) return false;
  const int frameBytes = 2 * FChannels;
  const int bytes = FCarry + count;
  const int frames = bytes / frameBytes;
  if (frames > 0) {
    ToMachineOrder(FBuffer.data(), frames * FChannels);
    Check(ope_encoder_write(FEncoder.get(), FBuffer.data(), frames), "encode the audio");
  }
  // A block that ends inside a frame keeps that frame's first bytes for the
  // next one, so the channels never swap.
  FCarry = bytes - frames * frameBytes;
  std::memmove(BufferBytes(), BufferBytes() + frames * frameBytes, static_cast<size_t>(FCarry));
  return true;
}

void TOpusOut::FinishFile() {
  // A failed run's file is thrown away: there is nothing to complete.
  if (RunFailed()) return;
  // A stopped run ends its stream too, with the audio read so far.
  Check(ope_encoder_drain(FEncoder.get()), "end the stream");
}

void TOpusOut::ReleaseFile() noexcept {
  FEncoder.reset();
  FComments.clear();
  FCarry = 0;
  FWriteFailure = nullptr;
}

int TOpusOut::WriteCallback(void* client, const unsigned char* bytes, int32_t length) {
  auto* self = static_cast<TOpusOut*>(client);
  try {
    self->FStream->Write(bytes, length);
    return 0;
  } catch (...) {
    self->FWriteFailure = std::current_exception();
    return 1;
  }
}

// The base class closes the file.
int TOpusOut::CloseCallback(void*) {
  return 0;
}

}  // namespace cdx
