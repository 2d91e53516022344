#include "extractor/Formats.h"

#include <algorithm>

#include "extractor/formats/ApeFormat.h"
#include "extractor/formats/FlacFormat.h"
#include "extractor/formats/Mp3Format.h"
#include "extractor/formats/OggFormat.h"
#include "extractor/formats/OpusFormat.h"
#include "extractor/formats/WavFormat.h"

namespace cdx {

const std::vector<TFormat>& Formats() {
  static const std::vector<TFormat> formats = {
      WavFormat(), Mp3Format(), OggFormat(), FlacFormat(), ApeFormat(), OpusFormat(),
  };
  return formats;
}

const TFormat* FindFormat(std::string_view name, const std::vector<TFormat>& formats) {
  auto found = std::find_if(formats.begin(), formats.end(),
                            [&](const TFormat& format) { return format.Name == name; });
  return found == formats.end() ? nullptr : &*found;
}

const TSetting* TFormat::FindSetting(std::string_view name) const {
  auto found = std::find_if(Settings.begin(), Settings.end(),
                            [&](const TSetting& setting) { return setting.Name == name; });
  return found == Settings.end() ? nullptr : &*found;
}

TSettingsSet::TSettingsSet(const std::vector<TFormat>& formats) {
  for (const TFormat& format : formats)
    if (format.Defaults) records_[format.Name] = format.Defaults();
}

TFormatSettings& TSettingsSet::For(const TFormat& format) {
  return *records_.at(format.Name);
}

const TFormatSettings& TSettingsSet::For(const TFormat& format) const {
  return *records_.at(format.Name);
}

}  // namespace cdx
