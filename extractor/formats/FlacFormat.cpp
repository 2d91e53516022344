#include "extractor/formats/FlacFormat.h"

#include "extractor/formats/Rows.h"

namespace cdx {

namespace {

using Flac = TFlacSettings;

TSetting LevelSetting() {
  TOptionDomain levels = IntegerBetween(0, static_cast<int>(kFLACLevels.size()) - 1, 0);
  levels.Default = "";  // the window's encoder settings, which are no preset
  TSetting level = CommandLineOnly(IntegerSetting<Flac>(
      "level", levels, "libFLAC's preset, 0 fastest to 8 smallest (default: the window's)",
      &Flac::Level));
  level.Get = [](const TFormatSettings& s) {
    const int value = static_cast<const Flac&>(s).Level;
    return value < 0 ? std::vector<std::string>{} : std::vector<std::string>{std::to_string(value)};
  };
  return level;
}

}  // namespace

TFormat FlacFormat() {
  TFormat flac{"Flac", "flac", ".flac"};
  flac.Settings = {
      LevelSetting(),
      FlagSetting<Flac>("best-model-search", "exhaustive model search: smaller files, slower",
                        &Flac::BestModelSearch),
      RateSetting<Flac>(&Flac::Rate, kFlacChainRates),
      ChannelsSetting<Flac>(&Flac::Channels),
  };
  flac.Defaults = [] { return std::make_unique<Flac>(); };
  flac.CreateParts = [](TComponent& owner) {
    return TFormatParts{CreateComponent<TFLACOut>(owner), NewRateConverter(owner, 22050),
                        NewChannelConverter(owner)};
  };
  flac.Output = [](const TFormatSettings& s) {
    const auto& flac = static_cast<const Flac&>(s);
    return TStreamShape{flac.Rate, flac.Channels, 16};
  };
  flac.Configure = [](TACSFileOut& out, const TFormatSettings& s, const TTrackRun&) {
    auto& writer = static_cast<TFLACOut&>(out);
    const auto& flac = static_cast<const Flac&>(s);
    // The preset first, so the search asked for beside it still counts.
    if (flac.Level >= 0) ApplyFLACLevel(writer, flac.Level);
    writer.SetBestModelSearch(flac.BestModelSearch);
  };
  return flac;
}

}  // namespace cdx
