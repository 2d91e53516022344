// The components of the program, free of any window toolkit: the CD
// source, each format's writer and converters (made by the format's row),
// the settings record of each format, and the one chain builder. The window
// and the command line both run their jobs on it (RipJob.h), so they build
// identical chains.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cd/ACS_CDROM.h"
#include "converters/ACS_Converters.h"
#include "extractor/Disc.h"
#include "extractor/Formats.h"
#include "extractor/formats/ApeFormat.h"
#include "extractor/formats/FlacFormat.h"
#include "extractor/formats/Mp3Format.h"
#include "extractor/formats/OggFormat.h"
#include "extractor/formats/WavFormat.h"
#include "pipeline/ACS_Classes.h"
#include "writers/ACS_Discard.h"

namespace cdx {

// The file the chains write for `caption` in `outputDirectory`.
std::string TrackFileName(const std::string& outputDirectory, const std::string& caption,
                          const TFormat& format);
// Where what a stopped run ripped goes when an earlier `file` must stay:
// "Track01 (stopped at 22 %).flac" beside it, on a name not taken yet.
std::string StoppedTrackFileName(const std::string& file, int percent);

class TExtractor : public TComponent {
 public:
  explicit TExtractor(TComponent* owner = nullptr);

  // The CD source of every chain and the CD-audio line's volume.
  TCDIn* CDIn1;
  TCDPlayer* CDPlayer1;
  // The components the rows of the five first formats made, by the names
  // the window has always given them.
  TWaveOut* WaveOut1;
  TMP3Out* MP3Out1;
  TVorbisOut* VorbisOut1;
  TMACOut* MACOut1;
  TFLACOut* FLACOut1;
  TRateConverter* RateConverter1;      // the WAV chain's
  TRateConverter* RateConverter2;      // the FLAC chain's
  TRateConverter* RateConverter3;      // the APE chain's
  TMSConverter* MSConverter1;          // WAV
  TMSConverter* MSConverter2;          // FLAC
  TMSConverter* MSConverter3;          // APE
  TMSConverter* MSConverter4;          // Ogg
  TSampleConverter* SampleConverter1;  // WAV
  // The test read of test and copy, into no file.
  TDiscardOut* TestRead;

  // The settings each format's chains are built with; the options dialogs
  // edit them, and a change reaches every chain built afterwards.
  TSettingsSet Settings;
  TWavSettings& WavSettings;
  TMp3Settings& Mp3Settings;
  TOggSettings& OggSettings;
  TFlacSettings& FlacSettings;
  TApeSettings& ApeSettings;

  const TFormatParts& Parts(const TFormat& format) const;
  // The writers of the formats that have one, then the test read: the
  // order Stop visits them.
  std::vector<TACSOutput*> WriterSet() const;

  // Root folder of the first CD drive, "" when there is none.
  std::string FindCdDrive();
  // The drive and track of a TrackNN.cda path (see TrackOfPath).
  TDiscTrack setcd(const std::string& path) const { return TrackOfPath(path); }

  // Wires CDIn1 -> the converters the format's output asks for -> its
  // writer for `track` of `disc`, configures the writer with `settings`,
  // calls `beforeRun` with it, and runs it into `file`. Returns the writer:
  // its run's end (WaitForRunEnd) is the track's end. Raises EACSException
  // when the chain cannot start.
  TACSOutput* BuildChain(const TFormat& format, const TFormatSettings& settings, const TDisc& disc,
                         int track, const std::string& file, const TTrackRun& run,
                         const std::function<void(TACSFileOut&)>& beforeRun = {});

  // Wires CDIn1 -> the test read for `track` of `disc`, calls `beforeRun`
  // (where the source's sinks are set), and runs it. Returns the test
  // read: its run's end is the read's end. Raises EACSException when the
  // read cannot start.
  TACSOutput* ReadTrack(const TDisc& disc, int track, const std::function<void()>& beforeRun);

  // Stop: stops every writer of the set that is running.
  void StopRunning();

 private:
  std::vector<TFormatParts> parts_;  // in the order of Formats()
};

}  // namespace cdx
