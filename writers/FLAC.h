// Binding of libFLAC's stream encoder: one encoder instance, freed with its
// owner. The library is linked into the program, so the loaded flag is true.
#pragma once

#include <FLAC/stream_encoder.h>

#include <memory>

namespace cdx {

constexpr bool LibFLACLoaded = true;

struct TFLACEncoderDeleter {
  void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
};

using TFLACEncoder = std::unique_ptr<FLAC__StreamEncoder, TFLACEncoderDeleter>;

// A new encoder with the library's default settings; null when the library
// has no memory for one.
inline TFLACEncoder NewFLACEncoder() {
  return TFLACEncoder(FLAC__stream_encoder_new());
}

}  // namespace cdx
