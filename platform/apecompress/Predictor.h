// The fixed-structure adaptive predictor that runs before the adaptive
// filters: channel decorrelation into the streams Y (ch1 - ch0) and X, a
// first-order pre-emphasis, then a 4-tap predictor on the stream's own past
// and, in stereo, a 5-tap one on the other stream. Its state is reset at
// every frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace apecompress {

// Interleaved 16-bit little-endian stereo PCM -> residuals of Y and X.
// `wide` selects the 64-bit prediction sums of level 5000. Returns false if
// a level-5000 residual left the 32-bit range (cannot happen for frames of
// at most kMaxBlocksPerFrame blocks, see FrameEncoder.h; checked anyway).
bool PredictStereo(const uint8_t* pcm, uint32_t blocks, bool wide, int32_t* residualY,
                   int32_t* residualX);

// One 16-bit little-endian sample every `strideBytes` bytes -> residuals.
// Used for mono files and for the pseudo-stereo frames of stereo files.
void PredictMono(const uint8_t* pcm, uint32_t blocks, size_t strideBytes, int32_t* residual);

}  // namespace apecompress
