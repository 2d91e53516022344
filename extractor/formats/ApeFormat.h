// "Ape (monkey audio)": the compressor's level, at the rates and channel
// counts of the chain.
#pragma once

#include "extractor/Formats.h"
#include "writers/ACS_MAC.h"

namespace cdx {

struct TApeSettings : TSettingsRecord<TApeSettings> {
  int Level = 3000;
  int Rate = 44100;
  int Channels = 2;
};

TFormat ApeFormat();

}  // namespace cdx
