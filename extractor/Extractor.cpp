#include "extractor/Extractor.h"

#include <algorithm>

#include "extractor/FileNames.h"

namespace cdx {

namespace {

const TFormat& FormatNamed(const char* name) {
  return *FindFormat(name);
}

}  // namespace

std::string TrackFileName(const std::string& outputDirectory, const std::string& caption,
                          const TFormat& format) {
  // A name's "/" are the folders a file-name template asked for; each part
  // is made safe on its own.
  std::string path = outputDirectory;
  size_t from = 0;
  for (size_t slash; (slash = caption.find('/', from)) != std::string::npos; from = slash + 1)
    path += "/" + SafeFolderName(caption.substr(from, slash - from), "_");
  return path + "/" + SafeFileName(caption.substr(from), format.Extension, "Track");
}

std::string StoppedTrackFileName(const std::string& file, int percent) {
  return StoppedFileName(file, percent);
}

TExtractor::TExtractor(TComponent* owner)
    : TComponent(owner),
      WavSettings(Settings.Of<TWavSettings>("wav")),
      Mp3Settings(Settings.Of<TMp3Settings>("mp3")),
      OggSettings(Settings.Of<TOggSettings>("ogg")),
      FlacSettings(Settings.Of<TFlacSettings>("flac")),
      ApeSettings(Settings.Of<TApeSettings>("ape")) {
  CDIn1 = CreateComponent<TCDIn>(*this);
  for (const TFormat& format : Formats())
    parts_.push_back(format.CreateParts ? format.CreateParts(*this) : TFormatParts{});
  const TFormatParts& wav = Parts(FormatNamed("wav"));
  const TFormatParts& flac = Parts(FormatNamed("flac"));
  const TFormatParts& ape = Parts(FormatNamed("ape"));
  WaveOut1 = dynamic_cast<TWaveOut*>(wav.Writer);
  MP3Out1 = dynamic_cast<TMP3Out*>(Parts(FormatNamed("mp3")).Writer);
  VorbisOut1 = dynamic_cast<TVorbisOut*>(Parts(FormatNamed("ogg")).Writer);
  FLACOut1 = dynamic_cast<TFLACOut*>(flac.Writer);
  MACOut1 = dynamic_cast<TMACOut*>(ape.Writer);
  RateConverter1 = wav.Rate;
  RateConverter2 = flac.Rate;
  RateConverter3 = ape.Rate;
  MSConverter1 = wav.Channels;
  MSConverter2 = flac.Channels;
  MSConverter3 = ape.Channels;
  MSConverter4 = Parts(FormatNamed("ogg")).Channels;
  SampleConverter1 = wav.Width;
  TestRead = CreateComponent<TDiscardOut>(*this);
  CDPlayer1 = CreateComponent<TCDPlayer>(*this);
  CDPlayer1->SetLVolume(0);
  CDPlayer1->SetRVolume(0);
}

const TFormatParts& TExtractor::Parts(const TFormat& format) const {
  const auto& formats = Formats();
  for (size_t i = 0; i < formats.size(); ++i)
    if (formats[i].Name == format.Name) return parts_[i];
  throw EACSException("The " + format.Extension + " format is not available");
}

std::vector<TACSOutput*> TExtractor::WriterSet() const {
  std::vector<TACSOutput*> writers;
  for (const TFormatParts& parts : parts_)
    if (parts.Writer) writers.push_back(parts.Writer);
  writers.push_back(TestRead);
  return writers;
}

std::string TExtractor::FindCdDrive() {
  // Every drive of the CD library is a CD-ROM drive.
  return CDIn1->DriveCount() > 0 ? CDIn1->DriveRoot(0) : std::string();
}

TACSOutput* TExtractor::BuildChain(const TFormat& format, const TFormatSettings& settings,
                                   const TDisc& disc, int track, const std::string& file,
                                   const TTrackRun& run,
                                   const std::function<void(TACSFileOut&)>& beforeRun) {
  if (!format.Available())
    throw EACSException("The " + format.Extension + " format is not available");
  const TFormatParts& parts = Parts(format);
  CDIn1->SetDiscTrack(disc.Drive(), disc.SharedToc(), track);
  const TStreamShape out = format.Output(settings);
  const TStreamShape cd{CDIn1->GetSampleRate(), CDIn1->GetChannels(), CDIn1->GetBitsPerSample()};
  TACSInput* tail = CDIn1;
  // One order for every format: rate, then channels, then width.
  if (out.Rate != cd.Rate && parts.Rate) {
    parts.Rate->SetOutSampleRate(out.Rate);
    parts.Rate->SetInput(tail);
    tail = parts.Rate;
  }
  if (out.Channels != cd.Channels && parts.Channels) {
    parts.Channels->SetInput(tail);
    tail = parts.Channels;
  }
  if (out.Bits != cd.Bits && parts.Width) {
    parts.Width->SetInput(tail);
    tail = parts.Width;
  }
  TACSFileOut& writer = *parts.Writer;
  writer.SetInput(tail);
  writer.SetFileName(file);
  format.Configure(writer, settings, run);
  if (beforeRun)
    beforeRun(writer);
  else
    CDIn1->SetSampleSinks({});
  writer.Run();
  return &writer;
}

TACSOutput* TExtractor::ReadTrack(const TDisc& disc, int track,
                                  const std::function<void()>& beforeRun) {
  CDIn1->SetDiscTrack(disc.Drive(), disc.SharedToc(), track);
  TestRead->SetInput(CDIn1);
  beforeRun();
  TestRead->Run();
  return TestRead;
}

void TExtractor::StopRunning() {
  for (TACSOutput* writer : WriterSet())
    if (writer->Status() == 0) writer->Stop();
}

}  // namespace cdx
