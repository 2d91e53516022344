#include "writers/ACS_LAME.h"

#include <lame/lame.h>

#include <cstdio>
#include <utility>

namespace cdx {

namespace {

std::string EncodeFailure(const char* call, int code) {
  return "MP3 encoding failed: " + std::string(call) + " returned " + std::to_string(code) + " (" +
         LameErrorText(code) + ")";
}

}  // namespace

TMP3Out::TMP3Out(TComponent* owner) : TACSFileOut(owner) {
  if (!LameLoaded) throw EACSException("lame_enc.dll library could not be loaded.");
}

TMP3Out::~TMP3Out() = default;

TMP3Tags TMP3Out::Id3Tags() const {
  std::lock_guard lock(FTagsMutex);
  return FTags;
}

void TMP3Out::SetId3Tags(TMP3Tags tags) {
  std::lock_guard lock(FTagsMutex);
  FTags = std::move(tags);
}

void TMP3Out::StartFile(TACSInput& input) {
  // The samples are taken as 16-bit values; anything else would be encoded
  // as noise.
  if (input.GetBitsPerSample() != 16)
    throw EACSException("The MP3 writer takes 16-bit samples, not " +
                        std::to_string(input.GetBitsPerSample()) + "-bit ones");
  FRunChannels = input.GetChannels();
  FEncoder = std::make_unique<TLameEncoder>();
  ApplySettings(input);
  // A refusal is told now, before any audio is read, not as a run that
  // silently writes nothing.
  const int code = lame_init_params(FEncoder->Handle());
  if (code < 0)
    throw EACSException("The MP3 encoder refused its settings: lame_init_params returned " +
                        std::to_string(code));
  FMp3Buffer.assign(kMp3BufferBytes, 0);
}

void TMP3Out::ApplySettings(TACSInput& input) {
  lame_t lame = FEncoder->Handle();
  const int frameBytes = (input.GetBitsPerSample() / 8) * input.GetChannels();
  // Without a size the library's own default (length unknown) stands.
  if (input.Size() >= 1 && frameBytes > 0) lame_set_num_samples(lame, input.Size() / frameBytes);
  lame_set_in_samplerate(lame, input.GetSampleRate());
  // Always two channels: a mono input is handed over as both of them.
  lame_set_num_channels(lame, 2);
  lame_set_out_samplerate(lame, kMP3SampleRates.at(FSampleRate));
  lame_set_mode(lame, static_cast<MPEG_mode>(FMode));
  lame_set_copyright(lame, FCopyright ? 1 : 0);
  lame_set_original(lame, FOriginal ? 1 : 0);
  lame_set_error_protection(lame, FCRC ? 1 : 0);
  ApplyBitrateSettings();
}

void TMP3Out::ApplyBitrateSettings() {
  lame_t lame = FEncoder->Handle();
  if (!FEnableVBR) {
    lame_set_brate(lame, kMP3BitRates.at(FBitRate));
    lame_set_quality(lame, FQuality);
    return;
  }
  // Never switched off: the library's header frame (on by default) is what
  // tells players the length.
  if (FWriteVBRHeader) lame_set_bWriteVbrTag(lame, 1);
  lame_set_VBR(lame, vbr_rh);
  lame_set_VBR_q(lame, FVBRQuality);
  if (FVBRMaxBitrate < FVBRMinBitrate) std::swap(FVBRMinBitrate, FVBRMaxBitrate);
  lame_set_VBR_min_bitrate_kbps(lame, FVBRMinBitrate);
  lame_set_VBR_max_bitrate_kbps(lame, FVBRMaxBitrate);
}

bool TMP3Out::WriteBlock() {
  const int got = ReadInput(FBlock.data(), kBlockBytes);
  if (got <= 0) return false;
  const int produced = Encode(got);
  // Audio the encoder dropped must fail the run, not end it as if the
  // input had ended.
  if (produced < 0)
    throw EACSException(EncodeFailure(
        FRunChannels == 2 ? "lame_encode_buffer_interleaved" : "lame_encode_buffer", produced));
  WriteMp3Bytes(produced);
  return true;
}

int TMP3Out::Encode(int bytes) {
  lame_t lame = FEncoder->Handle();
  unsigned char* mp3 = FMp3Buffer.data();
  if (FRunChannels == 2)
    return lame_encode_buffer_interleaved(lame, FBlock.data(), bytes / 4, mp3, kMp3BufferBytes);
  return lame_encode_buffer(lame, FBlock.data(), FBlock.data(), bytes / 2, mp3, kMp3BufferBytes);
}

void TMP3Out::WriteMp3Bytes(int count) {
  if (count > 0) FStream->Write(FMp3Buffer.data(), count);
}

void TMP3Out::FinishFile() {
  HandOverTags();
  const int produced = lame_encode_flush(FEncoder->Handle(), FMp3Buffer.data(), kMp3BufferBytes);
  if (produced < 0) throw EACSException(EncodeFailure("lame_encode_flush", produced));
  WriteMp3Bytes(produced);
  CompleteHeaderFrame();
}

void TMP3Out::HandOverTags() {
  // Every field on every run, empty ones too. The library writes them as
  // ID3v1, which readers take as Latin-1.
  const TMP3Tags tags = Id3Tags();
  lame_t lame = FEncoder->Handle();
  id3tag_init(lame);
  id3tag_set_title(lame, ToLatin1(tags.Title).c_str());
  id3tag_set_artist(lame, ToLatin1(tags.Artist).c_str());
  id3tag_set_album(lame, ToLatin1(tags.Album).c_str());
  id3tag_set_year(lame, ToLatin1(tags.Year).c_str());
  id3tag_set_track(lame, ToLatin1(tags.Track).c_str());
  id3tag_set_comment(lame, ToLatin1(tags.Comment).c_str());
  id3tag_set_genre(lame, ToLatin1(tags.Genre).c_str());
}

void TMP3Out::CompleteHeaderFrame() {
  // The library left an empty frame at the start of the stream, which
  // decoders would play as silence and take no length from. Nothing is
  // written before the encoder's first frame (the tags go to the end), so
  // that frame starts the file.
  const size_t size =
      lame_get_lametag_frame(FEncoder->Handle(), FMp3Buffer.data(), FMp3Buffer.size());
  if (size == 0) return;  // frames too small to hold it: none was reserved
  if (size > FMp3Buffer.size()) throw EACSException("The MP3 header frame does not fit its buffer");
  const int64_t end = FStream->Position();
  FStream->Seek(0, SEEK_SET);
  FStream->Write(FMp3Buffer.data(), static_cast<int64_t>(size));
  FStream->Seek(end, SEEK_SET);
}

void TMP3Out::ReleaseFile() noexcept {
  FEncoder.reset();
  std::vector<unsigned char>().swap(FMp3Buffer);
}

}  // namespace cdx
