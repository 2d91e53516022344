#include "extractor/formats/ApeFormat.h"

#include "extractor/formats/Rows.h"

namespace cdx {

TFormat ApeFormat() {
  using R = TApeSettings;
  TFormat ape{"Ape (monkey audio)", "ape", ".ape"};
  ape.Settings = {
      IntegerSetting<R>(
          "level", IntegerIn({kMACCompressionLevels.begin(), kMACCompressionLevels.end()}, 3000),
          "compression level, fastest first", &R::Level),
      RateSetting<R>(&R::Rate),
      ChannelsSetting<R>(&R::Channels),
  };
  ape.Defaults = [] { return std::make_unique<R>(); };
  ape.CreateParts = [](TComponent& owner) {
    return TFormatParts{CreateComponent<TMACOut>(owner), NewRateConverter(owner, 22050),
                        NewChannelConverter(owner)};
  };
  ape.Output = [](const TFormatSettings& s) {
    const auto& ape = static_cast<const R&>(s);
    return TStreamShape{ape.Rate, ape.Channels, 16};
  };
  ape.Configure = [](TACSFileOut& writer, const TFormatSettings& s, const TTrackRun&) {
    static_cast<TMACOut&>(writer).SetCompressionLevel(static_cast<const R&>(s).Level);
  };
  return ape;
}

}  // namespace cdx
