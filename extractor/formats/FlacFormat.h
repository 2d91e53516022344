// "Flac": libFLAC at the window's encoder settings or one of its presets,
// at the rates and channel counts of the chain.
#pragma once

#include "extractor/Formats.h"
#include "writers/ACS_FLAC.h"

namespace cdx {

struct TFlacSettings : TSettingsRecord<TFlacSettings> {
  int Level = -1;  // a preset of kFLACLevels; -1 keeps the writer's own settings
  bool BestModelSearch = false;
  int Rate = 44100;
  int Channels = 2;
};

TFormat FlacFormat();

}  // namespace cdx
