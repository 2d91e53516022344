// The components of the program and the chain builders of every format,
// free of any window toolkit: the window and the command-line front end
// both drive their jobs through this one class, so they build identical
// chains.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cd/ACS_CDROM.h"
#include "converters/ACS_Converters.h"
#include "extractor/Formats.h"
#include "pipeline/ACS_Classes.h"
#include "writers/ACS_FLAC.h"
#include "writers/ACS_LAME.h"
#include "writers/ACS_MAC.h"
#include "writers/ACS_Vorbis.h"
#include "writers/ACS_Wave.h"

namespace cdx {

struct TWavSettings {
  int Rate = 44100;
  int Channels = 2;
  int Bits = 16;
};

// "Keep as it is" and "Stereo" both leave the CD's stereo as it is.
enum class TOggChannelMode { Keep, Mono, Stereo };

struct TOggSettings {
  TOggChannelMode ChannelMode = TOggChannelMode::Keep;
};

struct TFlacSettings {
  int Rate = 44100;
  int Channels = 2;
};

struct TApeSettings {
  int Rate = 44100;
  int Channels = 2;
};

// What the tag dialog's two check boxes ask of the MP3 files of a job: the
// row's caption as the title, and track numbers counted up from FirstTrack,
// one per file.
struct TMp3TagRules {
  bool FilenameAsTitle = false;
  bool IncrementTrack = false;
  int FirstTrack = 1;
};

// A track number that cannot be read from a track file's name.
class EConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The file the chain builders write for `caption` in `outputDirectory`.
std::string TrackFileName(const std::string& outputDirectory, const std::string& caption,
                          const TFormat& format);

class TExtractor : public TComponent {
 public:
  explicit TExtractor(TComponent* owner = nullptr);

  // Components, created in this order with their initial values.
  TCDIn* CDIn1;
  TWaveOut* WaveOut1;
  TMP3Out* MP3Out1;
  TVorbisOut* VorbisOut1;
  TMACOut* MACOut1;
  TFLACOut* FLACOut1;
  TRateConverter* RateConverter1;
  TRateConverter* RateConverter2;
  TRateConverter* RateConverter3;
  TMSConverter* MSConverter1;
  TMSConverter* MSConverter2;
  TMSConverter* MSConverter3;
  TMSConverter* MSConverter4;
  TSampleConverter* SampleConverter1;
  TSampleConverter* SampleConverter2;
  TSampleConverter* SampleConverter3;
  TCDPlayer* CDPlayer1;

  TWavSettings WavSettings;
  TOggSettings OggSettings;
  TFlacSettings FlacSettings;
  TApeSettings ApeSettings;
  TMp3TagRules Mp3TagRules;

  // The writers of the formats that have one, in the order Stop visits them.
  std::vector<TACSOutput*> WriterSet() const;
  // Called with the writer whose OnProgress fired (main thread); set it
  // before the chain is built to have the run report its progress.
  std::function<void(TACSOutput* writer)> OnWriterProgress;

  // Root folder of the first CD drive, "" when there is none.
  std::string FindCdDrive();
  // Points CDIn1 at the drive whose root holds `path` and at the track its
  // name gives. Raises EACSException for a path on no drive and
  // EConvertError for a name without a track number.
  void setcd(const std::string& path);

  // A job starts: the MP3 track numbers of Mp3TagRules count from the
  // first again.
  void BeginJob() { mp3FilesInJob_ = 0; }

  // Chain builders: wire CDIn1 -> converters -> writer for `path`, name the
  // file outputDirectory + "/" + caption + extension, and Run the writer,
  // which they return: its run's end (WaitForRunEnd) is the track's end.
  TACSOutput* towav(const std::string& path, const std::string& outputDirectory,
                    const std::string& caption);
  TACSOutput* tomp3(const std::string& path, const std::string& outputDirectory,
                    const std::string& caption);
  // Adds the comment line "Made with Quorvelle" to VorbisOut1's comments
  // first; a chain that cannot be built drops the run's comments again.
  TACSOutput* toogg(const std::string& path, const std::string& outputDirectory,
                    const std::string& caption);
  TACSOutput* toflac(const std::string& path, const std::string& outputDirectory,
                     const std::string& caption);
  TACSOutput* tomac(const std::string& path, const std::string& outputDirectory,
                    const std::string& caption);
  // Runs the builder of `format`; raises EACSException for a format that
  // has no writer.
  TACSOutput* BuildChain(const TFormat& format, const std::string& path,
                         const std::string& outputDirectory, const std::string& caption);

  // Stop: stops every writer of the set that is running.
  void StopRunning();

 private:
  TACSOutput* StartRun(TACSFileOut* writer, TACSInput* tail, const std::string& outputDirectory,
                       const std::string& caption);
  // The tag texts of the next MP3 file by Mp3TagRules.
  void ApplyMp3TagRules(const std::string& caption);

  int mp3FilesInJob_ = 0;
};

}  // namespace cdx
