#include "extractor/Extractor.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace cdx {

namespace {

std::string FileNamePart(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The whole text as a decimal integer, or EConvertError.
int ParseTrackNumber(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(begin, &end, 10);
  bool whole = end != begin && *end == '\0' && text.find_first_of(" \t") == std::string::npos;
  if (!whole || errno == ERANGE || value < INT_MIN || value > INT_MAX)
    throw EConvertError("'" + text + "' is not a valid integer value");
  return static_cast<int>(value);
}

}  // namespace

std::string TrackFileName(const std::string& outputDirectory, const std::string& caption,
                          const TFormat& format) {
  return outputDirectory + "/" + caption + format.Extension;
}

TExtractor::TExtractor(TComponent* owner) : TComponent(owner) {
  CDIn1 = CreateComponent<TCDIn>(*this);
  WaveOut1 = CreateComponent<TWaveOut>(*this);
  MP3Out1 = CreateComponent<TMP3Out>(*this);
  MP3Out1->SetBitRate(br128);
  VorbisOut1 = CreateComponent<TVorbisOut>(*this);
  MACOut1 = CreateComponent<TMACOut>(*this);
  MACOut1->SetCompressionLevel(3000);
  FLACOut1 = CreateComponent<TFLACOut>(*this);
  RateConverter1 = CreateComponent<TRateConverter>(*this);
  RateConverter1->SetOutSampleRate(44100);
  RateConverter2 = CreateComponent<TRateConverter>(*this);
  RateConverter3 = CreateComponent<TRateConverter>(*this);
  MSConverter1 = CreateComponent<TMSConverter>(*this);
  MSConverter2 = CreateComponent<TMSConverter>(*this);
  MSConverter3 = CreateComponent<TMSConverter>(*this);
  MSConverter4 = CreateComponent<TMSConverter>(*this);
  SampleConverter1 = CreateComponent<TSampleConverter>(*this);
  SampleConverter2 = CreateComponent<TSampleConverter>(*this);
  SampleConverter3 = CreateComponent<TSampleConverter>(*this);
  CDPlayer1 = CreateComponent<TCDPlayer>(*this);
  CDPlayer1->SetLVolume(0);
  CDPlayer1->SetRVolume(0);
}

std::vector<TACSOutput*> TExtractor::WriterSet() const {
  std::vector<TACSOutput*> writers;
  for (const TFormat& format : Formats())
    if (format.Writer) writers.push_back(format.Writer(*this));
  return writers;
}

std::string TExtractor::FindCdDrive() {
  // Every drive of the CD library is a CD-ROM drive.
  return CDIn1->DriveCount() > 0 ? CDIn1->DriveRoot(0) : std::string();
}

void TExtractor::setcd(const std::string& path) {
  int drives = CDIn1->DriveCount();
  if (drives == 0) return;
  int drive = -1;
  for (int i = 0; i < drives && drive < 0; ++i) {
    std::string root = CDIn1->DriveRoot(i);
    if (!root.empty() && path.compare(0, root.size(), root) == 0) drive = i;
  }
  // A path on no drive must not rip whatever was selected before.
  if (drive < 0) throw EACSException("\"" + path + "\" is not a track of a CD drive");
  CDIn1->SetCurrentDrive(drive);
  std::string name = FileNamePart(path);
  std::string number = name.size() > 9 ? name.substr(5, name.size() - 9) : std::string();
  int track = ParseTrackNumber(number);
  // Refused before anything is written; the range tells the user what to
  // pick instead.
  int tracks = CDIn1->TrackCount();
  if (tracks > 0 && (track < 1 || track > tracks))
    throw EACSException("The disc has no track " + std::to_string(track) +
                        "; its tracks are 1 to " + std::to_string(tracks));
  CDIn1->SetStartTrack(track);
  CDIn1->SetEndTrack(track);
}

TACSOutput* TExtractor::StartRun(TACSFileOut* writer, TACSInput* tail,
                                 const std::string& outputDirectory, const std::string& caption) {
  writer->SetInput(tail);
  writer->SetFileName(TrackFileName(outputDirectory, caption, *FormatOfWriter(*this, writer)));
  // Each progress report stops the worker until the main thread has seen
  // it, so reports are asked for only when someone shows them.
  if (OnWriterProgress)
    writer->OnProgress = [this](TComponent* sender) {
      if (OnWriterProgress) OnWriterProgress(static_cast<TACSOutput*>(sender));
    };
  else
    writer->OnProgress = nullptr;
  writer->Run();
  return writer;
}

TACSOutput* TExtractor::towav(const std::string& path, const std::string& outputDirectory,
                              const std::string& caption) {
  setcd(path);
  TACSInput* tail = CDIn1;
  if (WavSettings.Rate != 44100) {
    RateConverter1->SetOutSampleRate(WavSettings.Rate);
    RateConverter1->SetInput(tail);
    tail = RateConverter1;
  }
  if (WavSettings.Channels == 1) {
    MSConverter1->SetInput(tail);
    tail = MSConverter1;
  }
  if (WavSettings.Bits == 8) {
    SampleConverter1->SetInput(tail);
    tail = SampleConverter1;
  }
  return StartRun(WaveOut1, tail, outputDirectory, caption);
}

TACSOutput* TExtractor::tomp3(const std::string& path, const std::string& outputDirectory,
                              const std::string& caption) {
  setcd(path);
  ApplyMp3TagRules(caption);
  // No converters: the encoder makes the rate and channel mode itself.
  return StartRun(MP3Out1, CDIn1, outputDirectory, caption);
}

void TExtractor::ApplyMp3TagRules(const std::string& caption) {
  const int fileInJob = mp3FilesInJob_++;
  if (!Mp3TagRules.FilenameAsTitle && !Mp3TagRules.IncrementTrack) return;
  TMP3Tags tags = MP3Out1->Id3Tags();
  if (Mp3TagRules.FilenameAsTitle) tags.Title = caption;
  if (Mp3TagRules.IncrementTrack) tags.Track = std::to_string(Mp3TagRules.FirstTrack + fileInJob);
  MP3Out1->SetId3Tags(std::move(tags));
}

TACSOutput* TExtractor::toogg(const std::string& path, const std::string& outputDirectory,
                              const std::string& caption) {
  VorbisOut1->AddComment("Made with Quorvelle");
  TACSInput* tail = CDIn1;
  try {
    setcd(path);
    if (OggSettings.ChannelMode == TOggChannelMode::Mono) {
      MSConverter4->SetInput(tail);
      tail = MSConverter4;
    }
  } catch (...) {
    // The writer empties its comments when a run ends; this run never
    // starts, and the next one must not inherit them.
    VorbisOut1->SetComments({});
    throw;
  }
  return StartRun(VorbisOut1, tail, outputDirectory, caption);
}

TACSOutput* TExtractor::toflac(const std::string& path, const std::string& outputDirectory,
                               const std::string& caption) {
  setcd(path);
  TACSInput* tail = CDIn1;
  if (FlacSettings.Rate != 44100) {
    RateConverter2->SetOutSampleRate(FlacSettings.Rate);
    RateConverter2->SetInput(tail);
    tail = RateConverter2;
  }
  if (FlacSettings.Channels == 1) {
    MSConverter2->SetInput(tail);
    tail = MSConverter2;
  }
  return StartRun(FLACOut1, tail, outputDirectory, caption);
}

TACSOutput* TExtractor::tomac(const std::string& path, const std::string& outputDirectory,
                              const std::string& caption) {
  setcd(path);
  TACSInput* tail = CDIn1;
  if (ApeSettings.Rate != 44100) {
    RateConverter3->SetOutSampleRate(ApeSettings.Rate);
    RateConverter3->SetInput(tail);
    tail = RateConverter3;
  }
  if (ApeSettings.Channels == 1) {
    MSConverter3->SetInput(tail);
    tail = MSConverter3;
  }
  return StartRun(MACOut1, tail, outputDirectory, caption);
}

TACSOutput* TExtractor::BuildChain(const TFormat& format, const std::string& path,
                                   const std::string& outputDirectory, const std::string& caption) {
  if (!format.Available())
    throw EACSException("The " + format.Extension + " format is not available");
  return (this->*format.Build)(path, outputDirectory, caption);
}

void TExtractor::StopRunning() {
  for (TACSOutput* writer : WriterSet())
    if (writer->Status() == 0) writer->Stop();
}

}  // namespace cdx
