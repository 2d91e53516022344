#include "extractor/Formats.h"

#include <algorithm>

#include "extractor/Extractor.h"

namespace cdx {

TOptionDomain Flag() {
  return {};
}

TOptionDomain IntegerIn(std::vector<int> values, std::vector<std::string> words) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Integer;
  domain.Integers = std::move(values);
  domain.Words = std::move(words);
  return domain;
}

TOptionDomain IntegerBetween(int low, int high, std::vector<std::string> words) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Integer;
  domain.Low = low;
  domain.High = high;
  domain.Words = std::move(words);
  return domain;
}

TOptionDomain RealBetween(double low, double high) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Real;
  domain.Low = low;
  domain.High = high;
  return domain;
}

TOptionDomain WordIn(std::vector<std::string> words) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Word;
  domain.Words = std::move(words);
  return domain;
}

TOptionDomain AnyText(std::string placeholder) {
  TOptionDomain domain;
  domain.Kind = TValueKind::Text;
  domain.Placeholder = std::move(placeholder);
  return domain;
}

namespace {

using TIntField = int& (*)(TExtractor&);

// An option that stores its number in one field of a settings record.
TFormatOption IntegerOption(std::string name, TOptionDomain domain, std::string help,
                            TIntField field) {
  return {std::move(name), std::move(domain), std::move(help), false,
          [field](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
            field(ex) = value.Integer;
          }};
}

TFormatOption RateOption(TIntField field) {
  std::vector<int> rates;
  for (const TChainRate& rate : kChainRates) rates.push_back(rate.Hz);
  return IntegerOption("--rate", IntegerIn(std::move(rates)),
                       "sample rate (default 44100, the CD's own: no conversion)", field);
}

TFormatOption ChannelsOption(TIntField field) {
  return IntegerOption("--channels", IntegerIn({1, 2}), "mono or stereo (default 2)", field);
}

TFormat Wav() {
  TFormat wav{"Wav", "wav", ".wav"};
  wav.Writer = [](const TExtractor& ex) -> TACSFileOut* { return ex.WaveOut1; };
  wav.Build = &TExtractor::towav;
  wav.Options = {
      {"--wav-type", WordIn({"pcm", "adpcm"}), "plain samples or IMA ADPCM (default pcm)", false,
       [](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
         ex.WaveOut1->SetWavType(value.Text == "adpcm" ? wtDVIADPCM : wtPCM);
       }},
      RateOption([](TExtractor& ex) -> int& { return ex.WavSettings.Rate; }),
      ChannelsOption([](TExtractor& ex) -> int& { return ex.WavSettings.Channels; }),
      IntegerOption("--bits", IntegerIn({8, 16}), "bits per sample (default 16)",
                    [](TExtractor& ex) -> int& { return ex.WavSettings.Bits; }),
  };
  // The writer refuses 8-bit input to ADPCM, which would fail every track.
  wav.Clashes = {{"--bits", "8", "--wav-type", "adpcm",
                  "IMA ADPCM is coded from 16-bit samples (4 bits each)"}};
  return wav;
}

TFormat Ape() {
  TFormat ape{"Ape (monkey audio)", "ape", ".ape"};
  ape.Writer = [](const TExtractor& ex) -> TACSFileOut* { return ex.MACOut1; };
  ape.Build = &TExtractor::tomac;
  ape.Options = {
      {"--level", IntegerIn({kMACCompressionLevels.begin(), kMACCompressionLevels.end()}),
       "compression level, fastest first (default 3000)", false,
       [](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
         ex.MACOut1->SetCompressionLevel(value.Integer);
       }},
      RateOption([](TExtractor& ex) -> int& { return ex.ApeSettings.Rate; }),
      ChannelsOption([](TExtractor& ex) -> int& { return ex.ApeSettings.Channels; }),
  };
  return ape;
}

}  // namespace

const std::vector<TFormat>& Formats() {
  static const std::vector<TFormat> formats = {
      Wav(), {"Mp3", "mp3", ".mp3"}, {"Ogg", "ogg", ".ogg"}, {"Flac", "flac", ".flac"}, Ape(),
  };
  return formats;
}

const TFormat* FindFormat(std::string_view name, const std::vector<TFormat>& formats) {
  auto found = std::find_if(formats.begin(), formats.end(),
                            [&](const TFormat& format) { return format.Name == name; });
  return found == formats.end() ? nullptr : &*found;
}

const TFormat* FormatOfWriter(const TExtractor& extractor, const TACSOutput* writer) {
  for (const TFormat& format : Formats())
    if (format.Writer && format.Writer(extractor) == writer) return &format;
  return nullptr;
}

}  // namespace cdx
