// "Mp3": LAME's settings and the ID3 tag texts. The encoder makes the
// output rate and channel mode itself, so the chain never converts.
#pragma once

#include "extractor/Formats.h"
#include "writers/ACS_LAME.h"

namespace cdx {

struct TMp3Settings : TSettingsRecord<TMp3Settings> {
  int Bitrate = 128;  // kbit/s
  int Quality = 5;
  bool Vbr = false;
  int VbrQuality = 5;
  int VbrMin = 128;
  int VbrMax = 192;
  bool VbrHeader = false;
  TMP3Mode Mode = STEREO;
  int Rate = 0;  // Hz; 0 lets the encoder choose
  bool Crc = false;
  bool Copyright = false;
  bool Original = true;

  // What the files get: the texts, with the title taken from the file's
  // name, and the track counted up from the typed one file by file. "auto"
  // as the track text gives each file its track number on the disc.
  TMP3Tags Tags;
  bool TitleFromName = false;
  bool IncrementTrack = false;

  // The tag dialog as the user left it. Its fields reach Tags only when
  // "Close" is pressed or "Use tags" is checked: HandOverTagFields.
  bool UseTags = false;
  TMP3Tags TagFields;
  bool TitleFromNameBox = false;
  bool IncrementTrackBox = false;
  // With UseTags, the fields and boxes become what the files get;
  // without it, the files get no tags.
  void HandOverTagFields();
};

TFormat Mp3Format();

// The tag texts of the file `run` of a job with these settings.
TMP3Tags Mp3TagsOf(const TMp3Settings& settings, const TTrackRun& run);

// The bitrates of the dialog's list, which are also the steps of the
// variable-bitrate limits: 32 to 320 kbit/s.
std::vector<int> Mp3BitrateLadder();
// The output rates the dialog lists after "Default", in its order.
inline constexpr std::array<int, 4> kMp3ListedRates{22050, 32000, 44100, 48000};

}  // namespace cdx
