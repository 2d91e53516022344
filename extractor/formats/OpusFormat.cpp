#include "extractor/formats/OpusFormat.h"

#include "extractor/formats/Rows.h"

namespace cdx {

TFormat OpusFormat() {
  using R = TOpusSettings;
  TFormat opus{"Opus", "opus", ".opus"};
  opus.Settings = {
      IntegerSetting<R>("bitrate", IntegerBetween(kOpusMinBitrateKbps, kOpusMaxBitrateKbps, 128),
                        "kbit/s of the whole stream, mono or stereo", &R::Bitrate),
      WordSetting<R>("vbr-mode",
                     WordIn({kOpusBitrateModeNames.begin(), kOpusBitrateModeNames.end()}, "vbr"),
                     "variable, constrained variable or constant bitrate", &R::Mode),
      IntegerSetting<R>("complexity", IntegerBetween(0, kOpusMaxComplexity, kOpusMaxComplexity),
                        "encoder effort, 0 fastest to 10 best", &R::Complexity),
      ChannelsSetting<R>(&R::Channels),
  };
  opus.Defaults = [] { return std::make_unique<R>(); };
  opus.CreateParts = [](TComponent& owner) {
    return TFormatParts{CreateComponent<TOpusOut>(owner), nullptr, NewChannelConverter(owner)};
  };
  opus.Output = [](const TFormatSettings& s) {
    return TStreamShape{44100, static_cast<const R&>(s).Channels, 16};
  };
  opus.Configure = [](TACSFileOut& out, const TFormatSettings& s, const TTrackRun&) {
    auto& writer = static_cast<TOpusOut&>(out);
    const auto& opus = static_cast<const R&>(s);
    writer.SetBitrate(opus.Bitrate);
    writer.SetBitrateMode(opus.Mode);
    writer.SetComplexity(opus.Complexity);
  };
  return opus;
}

}  // namespace cdx
