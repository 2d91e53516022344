// Binding of libFLAC's stream encoder: one encoder instance, freed with its
// owner. The library is linked into the program, so the loaded flag is true.
#pragma once

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <memory>

namespace cdx {

constexpr bool LibFLACLoaded = true;

struct TFLACEncoderDeleter {
  void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
};

using TFLACEncoder = std::unique_ptr<FLAC__StreamEncoder, TFLACEncoderDeleter>;

struct TFLACMetadataDeleter {
  void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
};

using TFLACMetadata = std::unique_ptr<FLAC__StreamMetadata, TFLACMetadataDeleter>;

// A new encoder with the library's default settings; null when the library
// has no memory for one.
inline TFLACEncoder NewFLACEncoder() {
  return TFLACEncoder(FLAC__stream_encoder_new());
}

}  // namespace cdx
