#include "extractor/formats/WavFormat.h"

#include "extractor/formats/Rows.h"

namespace cdx {

namespace {

// The types the writer can write, as the command line names them.
TSetting TypeSetting() {
  TSetting type{"wav-type", WordIn({"pcm", "adpcm"}, "pcm"), "plain samples or IMA ADPCM"};
  type.Get = [](const TFormatSettings& s) {
    return std::vector<std::string>{static_cast<const TWavSettings&>(s).Type == wtDVIADPCM ? "adpcm"
                                                                                           : "pcm"};
  };
  type.Set = [](TFormatSettings& s, const TOptionValue& v) {
    static_cast<TWavSettings&>(s).Type = v.Word == 1 ? wtDVIADPCM : wtPCM;
  };
  return type;
}

}  // namespace

TFormat WavFormat() {
  using R = TWavSettings;
  TFormat wav{"Wav", "wav", ".wav"};
  wav.Settings = {
      TypeSetting(),
      RateSetting<R>(&R::Rate),
      ChannelsSetting<R>(&R::Channels),
      IntegerSetting<R>("bits", IntegerIn({8, 16}, 16), "bits per sample", &R::Bits),
  };
  // The writer refuses 8-bit input to ADPCM, which would fail every track.
  wav.Clashes = {
      {"bits", "8", "wav-type", "adpcm", "IMA ADPCM is coded from 16-bit samples (4 bits each)"}};
  wav.Defaults = [] { return std::make_unique<R>(); };
  wav.CreateParts = [](TComponent& owner) {
    return TFormatParts{CreateComponent<TWaveOut>(owner), NewRateConverter(owner, 44100),
                        NewChannelConverter(owner), NewWidthConverter(owner)};
  };
  wav.Output = [](const TFormatSettings& s) {
    const auto& wav = static_cast<const R&>(s);
    return TStreamShape{wav.Rate, wav.Channels, wav.Bits};
  };
  wav.Configure = [](TACSFileOut& writer, const TFormatSettings& s, const TTrackRun&) {
    static_cast<TWaveOut&>(writer).SetWavType(static_cast<const R&>(s).Type);
  };
  return wav;
}

}  // namespace cdx
