#include "extractor/Formats.h"

#include <algorithm>
#include <cmath>

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

TFormatOption RateOption(TIntField field, std::span<const TChainRate> offered = kChainRates) {
  std::vector<int> rates;
  for (const TChainRate& rate : offered) rates.push_back(rate.Hz);
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

// An option that stores its text in one field of the MP3 writer's tags.
TFormatOption Mp3TagOption(std::string name, std::string help, std::string TMP3Tags::*field) {
  return {std::move(name), AnyText("TEXT"), std::move(help), false,
          [field](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
            TMP3Tags tags = ex.MP3Out1->Id3Tags();
            tags.*field = value.Text;
            ex.MP3Out1->SetId3Tags(std::move(tags));
          }};
}

// An option that turns one of the MP3 writer's switches to `on`.
TFormatOption Mp3FlagOption(std::string name, std::string help, void (TMP3Out::*set)(bool),
                            bool on = true) {
  return {
      std::move(name), Flag(), std::move(help), false,
      [set, on](TExtractor& ex, const TOptionValue&, const TTrackRun&) { (ex.MP3Out1->*set)(on); }};
}

// The output rates the MP3 writer can ask for, in ascending order.
std::vector<int> Mp3OutputRates() {
  std::vector<int> rates(kMP3SampleRates.begin() + 1, kMP3SampleRates.end());  // not "default"
  std::sort(rates.begin(), rates.end());
  return rates;
}

template <class Enum, size_t N>
Enum IndexOf(const std::array<int, N>& values, int value) {
  return static_cast<Enum>(std::find(values.begin(), values.end(), value) - values.begin());
}

std::vector<TFormatOption> Mp3EncoderOptions() {
  using V = const TOptionValue&;
  using R = const TTrackRun&;
  return {
      {"--bitrate", IntegerIn({kMP3BitRates.begin(), kMP3BitRates.end()}),
       "constant bitrate in kbit/s (default 128)", false,
       [](TExtractor& ex, V value, R) {
         ex.MP3Out1->SetBitRate(IndexOf<TMP3BitRate>(kMP3BitRates, value.Integer));
       }},
      {"--quality", IntegerBetween(0, 9),
       "encoder quality at a constant bitrate, 0 best (default 5)", false,
       [](TExtractor& ex, V value, R) {
         ex.MP3Out1->SetQuality(static_cast<TMP3Quality>(value.Integer));
       }},
      Mp3FlagOption("--vbr", "variable bitrate instead of --bitrate", &TMP3Out::SetEnableVBR),
      {"--vbr-quality", IntegerBetween(0, 9), "variable-bitrate quality, 0 best (default 5)", false,
       [](TExtractor& ex, V value, R) {
         ex.MP3Out1->SetVBRQuality(static_cast<TMP3Quality>(value.Integer));
       }},
      {"--vbr-min", IntegerBetween(8, 320), "lowest variable bitrate in kbit/s (default 128)",
       false, [](TExtractor& ex, V value, R) { ex.MP3Out1->SetVBRMinBitrate(value.Integer); }},
      {"--vbr-max", IntegerBetween(8, 320), "highest variable bitrate in kbit/s (default 192)",
       false, [](TExtractor& ex, V value, R) { ex.MP3Out1->SetVBRMaxBitrate(value.Integer); }},
      Mp3FlagOption("--vbr-header", "with --vbr, ask for the header frame (written anyway)",
                    &TMP3Out::SetWriteVBRHeader),
      {"--mode", WordIn({"stereo", "joint", "dual", "mono"}), "channel mode (default stereo)",
       false,
       [](TExtractor& ex, V value, R) { ex.MP3Out1->SetMode(static_cast<TMP3Mode>(value.Word)); }},
      {"--rate", IntegerIn(Mp3OutputRates()), "output sample rate (default: the encoder chooses)",
       false,
       [](TExtractor& ex, V value, R) {
         ex.MP3Out1->SetSampleRate(IndexOf<TMP3SampleRate>(kMP3SampleRates, value.Integer));
       }},
      Mp3FlagOption("--crc", "protect each frame with a checksum", &TMP3Out::SetCRC),
      Mp3FlagOption("--copyright", "set the copyright bit", &TMP3Out::SetCopyright),
      Mp3FlagOption("--no-original", "clear the original bit", &TMP3Out::SetOriginal, false),
  };
}

std::vector<TFormatOption> Mp3TagOptions() {
  return {
      Mp3TagOption("--title", "tag: title", &TMP3Tags::Title),
      Mp3TagOption("--artist", "tag: artist", &TMP3Tags::Artist),
      Mp3TagOption("--album", "tag: album", &TMP3Tags::Album),
      Mp3TagOption("--year", "tag: year", &TMP3Tags::Year),
      {"--track", IntegerBetween(1, 255, {"auto"}), "tag: track number; auto: the CD's", false,
       [](TExtractor& ex, const TOptionValue& value, const TTrackRun& run) {
         TMP3Tags tags = ex.MP3Out1->Id3Tags();
         tags.Track = std::to_string(value.Word == 0 ? run.Track : value.Integer);
         ex.MP3Out1->SetId3Tags(std::move(tags));
       }},
      Mp3TagOption("--comment", "tag: comment", &TMP3Tags::Comment),
      Mp3TagOption("--genre", "tag: genre, a name of the ID3v1 list (any other: Other)",
                   &TMP3Tags::Genre),
  };
}

TFormat Mp3() {
  TFormat mp3{"Mp3", "mp3", ".mp3"};
  mp3.Writer = [](const TExtractor& ex) -> TACSFileOut* { return ex.MP3Out1; };
  mp3.Build = &TExtractor::tomp3;
  mp3.Options = Mp3EncoderOptions();
  for (TFormatOption& option : Mp3TagOptions()) mp3.Options.push_back(std::move(option));
  return mp3;
}

// A bitrate option of the Ogg format: the kilobits per second of the
// writer's bitrate table, or "auto".
TFormatOption OggBitrateOption(std::string name, std::string help,
                               void (TVorbisOut::*setter)(TVorbisBitRate)) {
  return {std::move(name),
          IntegerIn({kVorbisBitRatesKbps.begin(), kVorbisBitRatesKbps.end()}, {"auto"}),
          std::move(help), false,
          [setter](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
            const auto& rates = kVorbisBitRatesKbps;
            const auto place = std::find(rates.begin(), rates.end(), value.Integer);
            const int ordinal = value.Word == 0 ? 0 : static_cast<int>(place - rates.begin()) + 1;
            (ex.VorbisOut1->*setter)(static_cast<TVorbisBitRate>(ordinal));
          }};
}

TFormat Ogg() {
  TFormat ogg{"Ogg", "ogg", ".ogg"};
  ogg.Writer = [](const TExtractor& ex) -> TACSFileOut* { return ex.VorbisOut1; };
  ogg.Build = &TExtractor::toogg;
  // The bitrates come in this order, so each setter sees the nominal
  // bitrate it is checked against.
  ogg.Options = {
      {"--quality", RealBetween(0, 1),
       "quality, 0.00 smallest to 1.00 best, in hundredths (default 0.20)", false,
       [](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
         // In hundredths, as the dialog's track bar sets it.
         ex.VorbisOut1->SetCompression(static_cast<float>(std::lround(value.Real * 100)) / 100);
       }},
      OggBitrateOption("--nominal", "kbit/s of the managed mode (default auto: the quality mode)",
                       &TVorbisOut::SetDesiredNominalBitrate),
      OggBitrateOption("--max", "highest kbit/s, not below --nominal (default auto: the nominal)",
                       &TVorbisOut::SetDesiredMaximumBitrate),
      OggBitrateOption("--min", "lowest kbit/s, not above --nominal (default auto: the nominal)",
                       &TVorbisOut::SetMinimumBitrate),
      {"--channels", IntegerIn({1, 2}), "mono or stereo (default 2)", false,
       [](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
         ex.OggSettings.ChannelMode =
             value.Integer == 1 ? TOggChannelMode::Mono : TOggChannelMode::Stereo;
       }},
      {"--comment", AnyText("TAG=VALUE"), "a comment of each file", true,
       [](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
         ex.VorbisOut1->AddComment(value.Text);
       }},
  };
  return ogg;
}

TFormat Flac() {
  TFormat flac{"Flac", "flac", ".flac"};
  flac.Writer = [](const TExtractor& ex) -> TACSFileOut* { return ex.FLACOut1; };
  flac.Build = &TExtractor::toflac;
  // --level comes first, so --best-model-search given with it still counts.
  flac.Options = {
      {"--level", IntegerBetween(0, static_cast<int>(kFLACLevels.size()) - 1),
       "libFLAC's preset, 0 fastest to 8 smallest (default: the window's)", false,
       [](TExtractor& ex, const TOptionValue& value, const TTrackRun&) {
         ApplyFLACLevel(*ex.FLACOut1, value.Integer);
       }},
      {"--best-model-search", Flag(), "exhaustive model search: smaller files, slower", false,
       [](TExtractor& ex, const TOptionValue&, const TTrackRun&) {
         ex.FLACOut1->SetBestModelSearch(true);
       }},
      RateOption([](TExtractor& ex) -> int& { return ex.FlacSettings.Rate; }, kFlacChainRates),
      ChannelsOption([](TExtractor& ex) -> int& { return ex.FlacSettings.Channels; }),
  };
  return flac;
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
      Wav(), Mp3(), Ogg(), Flac(), Ape(),
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
