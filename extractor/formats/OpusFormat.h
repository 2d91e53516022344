// "Opus": libopusenc's bitrate, bitrate mode and complexity, stereo or
// mono. The CD's 44.1 kHz goes to the library as it is (it resamples to the
// 48 kHz Opus codes at), so the chain converts only the channels.
#pragma once

#include "extractor/Formats.h"
#include "writers/ACS_Opus.h"

namespace cdx {

struct TOpusSettings : TSettingsRecord<TOpusSettings> {
  int Bitrate = 128;  // kbit/s of the whole stream
  TOpusBitrateMode Mode = obmVBR;
  int Complexity = kOpusMaxComplexity;
  int Channels = 2;
};

TFormat OpusFormat();

}  // namespace cdx
