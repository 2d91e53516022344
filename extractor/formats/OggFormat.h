// "Ogg": Vorbis in quality mode or with managed bitrates, stereo or mono.
#pragma once

#include "extractor/Formats.h"
#include "writers/ACS_Vorbis.h"

namespace cdx {

// "Keep as it is" and "Stereo" both leave the CD's stereo as it is.
enum class TOggChannelMode { Keep, Mono, Stereo };

struct TOggSettings : TSettingsRecord<TOggSettings> {
  int QualityHundredths = 20;  // 0 smallest to 100 best
  // All three bbrAutoSelect: the quality mode. Each is set by the rules
  // the writer keeps them by.
  TVorbisBitrates Bitrates;
  TOggChannelMode ChannelMode = TOggChannelMode::Keep;
  // TAG=VALUE lines of every file, after which the chain adds its own.
  std::vector<std::string> Comments;
};

TFormat OggFormat();

// The comment line every Ogg file of the program carries, after the user's.
inline constexpr const char* kOggMadeWith = "Made with Quorvelle";

}  // namespace cdx
