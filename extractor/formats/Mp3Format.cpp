#include "extractor/formats/Mp3Format.h"

#include <algorithm>
#include <cctype>

namespace cdx {

namespace {

using Mp3 = TMp3Settings;

template <class Enum, size_t N>
Enum IndexOf(const std::array<int, N>& values, int value) {
  return static_cast<Enum>(std::find(values.begin(), values.end(), value) - values.begin());
}

// The number `text` starts with, or `otherwise` when it starts with none.
int LeadingNumber(const std::string& text, int otherwise) {
  size_t first = text.find_first_not_of(" \t");
  size_t digits = 0;
  while (first != std::string::npos && first + digits < text.size() && digits < 9 &&
         std::isdigit(static_cast<unsigned char>(text[first + digits])))
    ++digits;
  return digits > 0 ? std::stoi(text.substr(first, digits)) : otherwise;
}

TSetting ModeSetting() {
  TSetting mode{"mode", WordIn({"stereo", "mono"}, "stereo"), "channel mode"};
  mode.Get = [](const TFormatSettings& s) {
    return std::vector<std::string>{static_cast<const Mp3&>(s).Mode == MONO ? "mono" : "stereo"};
  };
  mode.Set = [](TFormatSettings& s, const TOptionValue& v) {
    static_cast<Mp3&>(s).Mode = v.Word == 1 ? MONO : STEREO;
  };
  return mode;
}

TSetting RateSetting() {
  TOptionDomain rates = IntegerIn({kMp3ListedRates.begin(), kMp3ListedRates.end()}, 0, {"default"});
  rates.Default = "default";
  TSetting rate{"rate", rates, "output sample rate; default lets the encoder choose"};
  rate.Get = [](const TFormatSettings& s) {
    const int hz = static_cast<const Mp3&>(s).Rate;
    return std::vector<std::string>{hz == 0 ? "default" : std::to_string(hz)};
  };
  rate.Set = [](TFormatSettings& s, const TOptionValue& v) {
    static_cast<Mp3&>(s).Rate = v.Word == 0 ? 0 : v.Integer;
  };
  return rate;
}

TSetting TagSetting(std::string name, std::string TMP3Tags::*field, std::string placeholder,
                    std::string help) {
  TSetting tag{std::move(name), AnyText(std::move(placeholder)), "tag: " + std::move(help)};
  tag.Get = [field](const TFormatSettings& s) {
    return std::vector<std::string>{static_cast<const Mp3&>(s).Tags.*field};
  };
  tag.Set = [field](TFormatSettings& s, const TOptionValue& v) {
    static_cast<Mp3&>(s).Tags.*field = v.Text;
  };
  return tag;
}

std::vector<TSetting> EncoderSettings() {
  const std::vector<int> ladder = Mp3BitrateLadder();
  return {
      IntegerSetting<Mp3>("bitrate", IntegerIn(ladder, 128), "constant bitrate in kbit/s",
                          &Mp3::Bitrate),
      IntegerSetting<Mp3>("quality", IntegerBetween(1, 9, 5),
                          "encoder quality at a constant bitrate, 1 best", &Mp3::Quality),
      FlagSetting<Mp3>("vbr", "variable bitrate instead of --bitrate", &Mp3::Vbr),
      IntegerSetting<Mp3>("vbr-quality", IntegerBetween(1, 9, 5),
                          "variable-bitrate quality, 1 best", &Mp3::VbrQuality),
      IntegerSetting<Mp3>("vbr-min", IntegerIn(ladder, 128), "lowest variable bitrate in kbit/s",
                          &Mp3::VbrMin),
      IntegerSetting<Mp3>("vbr-max", IntegerIn(ladder, 192), "highest variable bitrate in kbit/s",
                          &Mp3::VbrMax),
      FlagSetting<Mp3>("vbr-header", "with --vbr, ask for the header frame (written anyway)",
                       &Mp3::VbrHeader),
      ModeSetting(),
      RateSetting(),
      FlagSetting<Mp3>("crc", "protect each frame with a checksum", &Mp3::Crc),
      FlagSetting<Mp3>("copyright", "set the copyright bit", &Mp3::Copyright),
      FlagSetting<Mp3>("no-original", "clear the original bit", &Mp3::Original, false),
  };
}

std::vector<TSetting> TagSettings() {
  return {
      TagSetting("title", &TMP3Tags::Title, "TEXT", "title"),
      TagSetting("artist", &TMP3Tags::Artist, "TEXT", "artist"),
      TagSetting("album", &TMP3Tags::Album, "TEXT", "album"),
      TagSetting("year", &TMP3Tags::Year, "TEXT", "year"),
      TagSetting("track", &TMP3Tags::Track, "N|auto", "track number; auto: the CD's"),
      TagSetting("comment", &TMP3Tags::Comment, "TEXT", "comment"),
      TagSetting("genre", &TMP3Tags::Genre, "TEXT",
                 "genre, a name of the ID3v1 list (any other: Other)"),
      FlagSetting<Mp3>("title-from-name", "tag: each file's name as its title",
                       &Mp3::TitleFromName),
      FlagSetting<Mp3>("increment-track",
                       "tag: track numbers counted up from --track, file by file",
                       &Mp3::IncrementTrack),
  };
}

void ConfigureMp3(TACSFileOut& out, const TFormatSettings& s, const TTrackRun& run) {
  auto& writer = static_cast<TMP3Out&>(out);
  const auto& mp3 = static_cast<const Mp3&>(s);
  writer.SetBitRate(IndexOf<TMP3BitRate>(kMP3BitRates, mp3.Bitrate));
  writer.SetQuality(static_cast<TMP3Quality>(mp3.Quality));
  writer.SetEnableVBR(mp3.Vbr);
  writer.SetVBRQuality(static_cast<TMP3Quality>(mp3.VbrQuality));
  writer.SetVBRMinBitrate(mp3.VbrMin);
  writer.SetVBRMaxBitrate(mp3.VbrMax);
  writer.SetWriteVBRHeader(mp3.VbrHeader);
  writer.SetMode(mp3.Mode);
  writer.SetSampleRate(IndexOf<TMP3SampleRate>(kMP3SampleRates, mp3.Rate));
  writer.SetCRC(mp3.Crc);
  writer.SetCopyright(mp3.Copyright);
  writer.SetOriginal(mp3.Original);
  writer.SetId3Tags(Mp3TagsOf(mp3, run));
}

}  // namespace

std::vector<int> Mp3BitrateLadder() {
  return {std::find(kMP3BitRates.begin(), kMP3BitRates.end(), 32), kMP3BitRates.end()};
}

void TMp3Settings::HandOverTagFields() {
  Tags = UseTags ? TagFields : TMP3Tags{};
  TitleFromName = UseTags && TitleFromNameBox;
  IncrementTrack = UseTags && IncrementTrackBox;
}

TMP3Tags Mp3TagsOf(const TMp3Settings& settings, const TTrackRun& run) {
  TMP3Tags tags = settings.Tags;
  if (settings.TitleFromName) tags.Title = run.Name;
  if (tags.Track == "auto")
    tags.Track = std::to_string(run.Track);
  else if (settings.IncrementTrack)
    tags.Track = std::to_string(LeadingNumber(tags.Track, 1) + run.FileInJob);
  return tags;
}

TFormat Mp3Format() {
  TFormat mp3{"Mp3", "mp3", ".mp3"};
  mp3.Settings = EncoderSettings();
  for (TSetting& tag : TagSettings()) mp3.Settings.push_back(std::move(tag));
  mp3.Defaults = [] { return std::make_unique<Mp3>(); };
  mp3.CreateParts = [](TComponent& owner) { return TFormatParts{CreateComponent<TMP3Out>(owner)}; };
  mp3.Output = [](const TFormatSettings&) { return TStreamShape{}; };
  mp3.Configure = ConfigureMp3;
  return mp3;
}

}  // namespace cdx
