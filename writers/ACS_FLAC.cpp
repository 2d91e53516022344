#include "writers/ACS_FLAC.h"

#include <cstdio>

#include "pipeline/Rounding.h"

namespace cdx {

namespace {

constexpr char kInitFailed[] = "Failed to initialize FLAC encoder.";
constexpr char kFlacEncodeFailed[] = "Failed to encode data.";

// The encoder's integer samples from little-endian PCM: 16-bit samples
// sign-extended, unsigned 8-bit ones centred on 0 (0 -> -128, 255 -> 127).
void WidenSamples(const uint8_t* bytes, int count, int bitsPerSample, FLAC__int32* samples) {
  if (bitsPerSample == 16) {
    for (int i = 0; i < count; ++i)
      samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  } else {
    for (int i = 0; i < count; ++i) samples[i] = bytes[i] - 128;
  }
}

}  // namespace

TFLACOut::TFLACOut(TComponent* owner) : TACSFileOut(owner) {
  if (!LibFLACLoaded) throw EACSException("libFLAC.dll library could not be loaded.");
}

TFLACOut::~TFLACOut() = default;

void TFLACOut::SetBestModelSearch(bool value) {
  if (value) {
    FEnableMidSideStereo = true;
    FEnableLooseMidSideStereo = false;
  }
  FBestModelSearch = value;
}

void TFLACOut::SetEnableLooseMidSideStereo(bool value) {
  if (value) FEnableMidSideStereo = true;
  FEnableLooseMidSideStereo = value;
}

void TFLACOut::StartFile(TACSInput& input) {
  FEncoder = NewFLACEncoder();
  if (!FEncoder) throw EACSException(kInitFailed);
  FBitsPerSample = input.GetBitsPerSample();
  FChannels = input.GetChannels();
  // Samples of any other width would be read as 8-bit ones: a file of noise.
  if (FBitsPerSample != 8 && FBitsPerSample != 16) throw EACSException(kInitFailed);
  SetUpEncoder(input);
  InitEncoder();
  AllocateBlock();
}

void TFLACOut::SetUpEncoder(TACSInput& input) {
  FLAC__StreamEncoder* encoder = FEncoder.get();
  FLAC__stream_encoder_set_verify(encoder, FVerify);
  FLAC__stream_encoder_set_channels(encoder, FChannels);
  FLAC__stream_encoder_set_bits_per_sample(encoder, FBitsPerSample);
  FLAC__stream_encoder_set_sample_rate(encoder, input.GetSampleRate());
  if (FChannels == 2) {
    FLAC__stream_encoder_set_do_mid_side_stereo(encoder, FEnableMidSideStereo);
    FLAC__stream_encoder_set_loose_mid_side_stereo(encoder, FEnableLooseMidSideStereo);
  }
  FLAC__stream_encoder_set_blocksize(encoder, FBlockSize);
  FLAC__stream_encoder_set_max_lpc_order(encoder, FMaxLPCOrder);
  if (!FApodization.empty()) FLAC__stream_encoder_set_apodization(encoder, FApodization.c_str());
  // The coefficients and the samples must fit the encoder's 32-bit sums.
  if (FBitsPerSample + FQLPCoeffPrecision > 31)
    FQLPCoeffPrecision = static_cast<uint16_t>(31 - FBitsPerSample);
  FLAC__stream_encoder_set_qlp_coeff_precision(encoder, FQLPCoeffPrecision);
  FLAC__stream_encoder_set_do_qlp_coeff_prec_search(encoder, FQLPCoeffPrecisionSearch);
  FLAC__stream_encoder_set_min_residual_partition_order(encoder, FMinResidualPartitionOrder);
  FLAC__stream_encoder_set_max_residual_partition_order(encoder, FMaxResidualPartitionOrder);
  FLAC__stream_encoder_set_do_exhaustive_model_search(encoder, FBestModelSearch);
  SetTotalSamplesEstimate(input);
  SetPaddingBlock();
}

void TFLACOut::SetPaddingBlock() {
  FPaddingBlock.reset();
  FPaddingDue = false;
  FShiftedFrom = INT64_MAX;
  if (FPadding == 0) return;
  FPaddingBlock.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
  if (!FPaddingBlock) throw EACSException(kInitFailed);
  FPaddingBlock->length = 0;
  FPaddingDue = true;
  FMetadata[0] = FPaddingBlock.get();
  FLAC__stream_encoder_set_metadata(FEncoder.get(), FMetadata, 1);
}

void TFLACOut::SetTotalSamplesEstimate(TACSInput& input) {
  const int32_t size = input.Size();
  if (size <= 0) return;
  const double frames = static_cast<double>(size) / (FBitsPerSample / 8) / FChannels;
  FLAC__stream_encoder_set_total_samples_estimate(
      FEncoder.get(), static_cast<FLAC__uint64>(RoundHalfEven64(frames)));
}

void TFLACOut::InitEncoder() {
  // With seek and tell callbacks the encoder completes the stream header
  // itself when it finishes.
  const FLAC__StreamEncoderInitStatus status = FLAC__stream_encoder_init_stream(
      FEncoder.get(), WriteCallback, SeekCallback, TellCallback, nullptr, this);
  if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) throw EACSException(kInitFailed);
}

void TFLACOut::AllocateBlock() {
  // Block size 0 leaves the choice to the encoder, which has made it now.
  const int frames = static_cast<int>(FLAC__stream_encoder_get_blocksize(FEncoder.get()));
  const size_t samples = static_cast<size_t>(frames) * FChannels;
  FBlock.assign(samples * (FBitsPerSample / 8), 0);
  FSamples.assign(samples, 0);
}

bool TFLACOut::WriteBlock() {
  const int bytes = FillBlock();
  if (bytes == 0) return false;
  EncodeBlock(bytes);
  return true;
}

int TFLACOut::FillBlock() {
  const int size = static_cast<int>(FBlock.size());
  int held = 0;
  while (held < size) {
    const int count = ReadInput(FBlock.data() + held, size - held);
    if (count <= 0) {
      EndOfInput = true;
      break;
    }
    held += count;
  }
  return held;
}

void TFLACOut::EncodeBlock(int bytes) {
  const int samples = bytes * 8 / FBitsPerSample;
  WidenSamples(FBlock.data(), samples, FBitsPerSample, FSamples.data());
  if (!FLAC__stream_encoder_process_interleaved(FEncoder.get(), FSamples.data(),
                                                static_cast<uint32_t>(samples / FChannels)))
    throw EACSException(kFlacEncodeFailed);
}

void TFLACOut::FinishFile() {
  // A failed run's file is thrown away: there is nothing to complete.
  if (RunFailed()) return;
  // The last frame and the completed header are written here, and can fail.
  if (!FLAC__stream_encoder_finish(FEncoder.get())) throw EACSException(kFlacEncodeFailed);
}

void TFLACOut::ReleaseFile() noexcept {
  FEncoder.reset();
  FPaddingBlock.reset();
}

// The encoder hands out each metadata block on its own; the padding block
// is its last, a bare header.
void TFLACOut::WritePadding(const FLAC__byte header[4]) {
  FPaddingDue = false;
  const FLAC__byte sized[4] = {header[0], static_cast<FLAC__byte>(FPadding >> 16),
                               static_cast<FLAC__byte>(FPadding >> 8),
                               static_cast<FLAC__byte>(FPadding)};
  FStream->Write(sized, 4);
  FShiftedFrom = FStream->Position();
  // The last zero written makes the file as long as the block says, even
  // if no frame follows.
  FStream->Seek(FShiftedFrom + FPadding - 1, SEEK_SET);
  const FLAC__byte zero = 0;
  FStream->Write(&zero, 1);
}

int64_t TFLACOut::InFile(int64_t offset) const {
  return offset >= FShiftedFrom ? offset + FPadding : offset;
}

int64_t TFLACOut::ForEncoder(int64_t at) const {
  return at >= FShiftedFrom ? at - FPadding : at;
}

FLAC__StreamEncoderWriteStatus TFLACOut::WriteCallback(const FLAC__StreamEncoder*,
                                                       const FLAC__byte buffer[], size_t bytes,
                                                       uint32_t samples, uint32_t, void* client) {
  try {
    auto* self = static_cast<TFLACOut*>(client);
    const bool padding = self->FPaddingDue && samples == 0 && bytes == 4 &&
                         (buffer[0] & 0x7F) == FLAC__METADATA_TYPE_PADDING;
    if (padding)
      self->WritePadding(buffer);
    else
      self->FStream->Write(buffer, static_cast<int64_t>(bytes));
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
  } catch (...) {
    return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
  }
}

FLAC__StreamEncoderSeekStatus TFLACOut::SeekCallback(const FLAC__StreamEncoder*,
                                                     FLAC__uint64 offset, void* client) {
  try {
    auto* self = static_cast<TFLACOut*>(client);
    self->FStream->Seek(self->InFile(static_cast<int64_t>(offset)), SEEK_SET);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
  } catch (...) {
    return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
  }
}

FLAC__StreamEncoderTellStatus TFLACOut::TellCallback(const FLAC__StreamEncoder*,
                                                     FLAC__uint64* offset, void* client) {
  try {
    auto* self = static_cast<TFLACOut*>(client);
    *offset = static_cast<FLAC__uint64>(self->ForEncoder(self->FStream->Position()));
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
  } catch (...) {
    return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
  }
}

void ApplyFLACLevel(TFLACOut& writer, int level) {
  if (level < 0 || level >= static_cast<int>(kFLACLevels.size())) return;
  const TFLACLevel& l = kFLACLevels[static_cast<size_t>(level)];
  writer.SetBestModelSearch(false);
  writer.SetBlockSize(l.BlockSize);
  writer.SetEnableMidSideStereo(l.MidSide);
  writer.SetEnableLooseMidSideStereo(l.LooseMidSide);
  writer.SetMaxLPCOrder(l.MaxLPCOrder);
  writer.SetMinResidualPartitionOrder(0);
  writer.SetMaxResidualPartitionOrder(l.MaxResidualPartitionOrder);
  writer.SetQLPCoeffPrecision(0);
  writer.SetQLPCoeffPrecisionSearch(false);
  writer.SetApodization(l.Apodization);
}

}  // namespace cdx
