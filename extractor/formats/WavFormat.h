// "Wav": PCM or IMA ADPCM, at any rate, width and channel count of the
// chain.
#pragma once

#include "extractor/Formats.h"
#include "writers/ACS_Wave.h"

namespace cdx {

struct TWavSettings : TSettingsRecord<TWavSettings> {
  TWavType Type = wtPCM;
  int Rate = 44100;
  int Channels = 2;
  int Bits = 16;
};

TFormat WavFormat();

}  // namespace cdx
