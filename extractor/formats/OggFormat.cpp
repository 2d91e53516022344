#include "extractor/formats/OggFormat.h"

#include <algorithm>
#include <cmath>

#include "extractor/formats/Rows.h"

namespace cdx {

namespace {

using Ogg = TOggSettings;

// A bitrate of the writer's table in kbit/s, or "auto".
TSetting BitrateSetting(std::string name, std::string help, TVorbisBitRate TVorbisBitrates::*field,
                        void (TVorbisBitrates::*set)(TVorbisBitRate)) {
  TOptionDomain rates =
      IntegerIn({kVorbisBitRatesKbps.begin(), kVorbisBitRatesKbps.end()}, 0, {"auto"});
  rates.Default = "auto";
  TSetting rate{std::move(name), rates, std::move(help)};
  rate.Get = [field](const TFormatSettings& s) {
    const int ordinal = static_cast<const Ogg&>(s).Bitrates.*field;
    return std::vector<std::string>{
        ordinal == bbrAutoSelect ? "auto" : std::to_string(kVorbisBitRatesKbps[ordinal - 1])};
  };
  rate.Set = [set](TFormatSettings& s, const TOptionValue& v) {
    const auto& kbps = kVorbisBitRatesKbps;
    const auto place = std::find(kbps.begin(), kbps.end(), v.Integer) - kbps.begin();
    (static_cast<Ogg&>(s).Bitrates.*
     set)(static_cast<TVorbisBitRate>(v.Word == 0 ? 0 : static_cast<int>(place) + 1));
  };
  return rate;
}

TSetting QualitySetting() {
  TSetting quality{"quality", RealBetween(0, 1, 0.01, "0.20"),
                   "quality, 0.00 smallest to 1.00 best, in hundredths"};
  quality.Get = [](const TFormatSettings& s) {
    return std::vector<std::string>{
        TwoDecimals(static_cast<const Ogg&>(s).QualityHundredths / 100.0)};
  };
  quality.Set = [](TFormatSettings& s, const TOptionValue& v) {
    static_cast<Ogg&>(s).QualityHundredths = static_cast<int>(std::lround(v.Real * 100));
  };
  return quality;
}

TSetting ChannelSetting() {
  TSetting channels{"channels", IntegerIn({1, 2}, 2), "mono or stereo"};
  channels.Get = [](const TFormatSettings& s) {
    return std::vector<std::string>{
        static_cast<const Ogg&>(s).ChannelMode == TOggChannelMode::Mono ? "1" : "2"};
  };
  channels.Set = [](TFormatSettings& s, const TOptionValue& v) {
    // "Keep as it is" is stereo too, and stays what it is.
    TOggChannelMode& mode = static_cast<Ogg&>(s).ChannelMode;
    if (v.Integer == 1)
      mode = TOggChannelMode::Mono;
    else if (mode == TOggChannelMode::Mono)
      mode = TOggChannelMode::Stereo;
  };
  return channels;
}

TSetting CommentSetting() {
  TSetting comment{"comment", AnyText("TAG=VALUE"), "a comment of each file", true, false};
  comment.Get = [](const TFormatSettings& s) { return static_cast<const Ogg&>(s).Comments; };
  comment.Set = [](TFormatSettings& s, const TOptionValue& v) {
    static_cast<Ogg&>(s).Comments.push_back(v.Text);
  };
  comment.Clear = [](TFormatSettings& s) { static_cast<Ogg&>(s).Comments.clear(); };
  return comment;
}

void ConfigureOgg(TACSFileOut& out, const TFormatSettings& s, const TTrackRun&) {
  auto& writer = static_cast<TVorbisOut&>(out);
  const auto& ogg = static_cast<const Ogg&>(s);
  writer.SetCompression(static_cast<float>(ogg.QualityHundredths) / 100);
  writer.SetBitrates(ogg.Bitrates);
  std::vector<std::string> comments = ogg.Comments;
  comments.push_back(kOggMadeWith);
  writer.SetComments(std::move(comments));
}

}  // namespace

TFormat OggFormat() {
  TFormat ogg{"Ogg", "ogg", ".ogg"};
  ogg.Settings = {
      QualitySetting(),
      // In this order, so each is set against the nominal bitrate given.
      BitrateSetting("nominal", "kbit/s of the managed mode; auto: the quality mode",
                     &TVorbisBitrates::Nominal, &TVorbisBitrates::SetNominal),
      BitrateSetting("max", "highest kbit/s, not below --nominal; auto: the nominal",
                     &TVorbisBitrates::Maximum, &TVorbisBitrates::SetMaximum),
      BitrateSetting("min", "lowest kbit/s, not above --nominal; auto: the nominal",
                     &TVorbisBitrates::Minimum, &TVorbisBitrates::SetMinimum),
      ChannelSetting(),
      CommentSetting(),
  };
  ogg.Defaults = [] { return std::make_unique<Ogg>(); };
  ogg.CreateParts = [](TComponent& owner) {
    return TFormatParts{CreateComponent<TVorbisOut>(owner), nullptr, NewChannelConverter(owner)};
  };
  ogg.Output = [](const TFormatSettings& s) {
    const bool mono = static_cast<const Ogg&>(s).ChannelMode == TOggChannelMode::Mono;
    return TStreamShape{44100, mono ? 1 : 2, 16};
  };
  ogg.Configure = ConfigureOgg;
  return ogg;
}

}  // namespace cdx
