// The output formats, each one row: its names, its settings (declared once,
// see Settings.h), the components of its chains, what its chains hand the
// writer, and how its settings reach the writer. The window's format list,
// its options dialogs, the saved settings, the job's chains and the command
// line (its parsing and its help) all read this table, so a format is added
// with its writer, its row (extractor/formats/) and its dialog.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "extractor/Settings.h"

namespace cdx {

class TComponent;
class TACSFileOut;
class TRateConverter;
class TMSConverter;
class TSampleConverter;

struct TChainRate {
  int Hz;
  const char* Caption;  // in the dialogs
};

// The sample rates a chain converts to, as the dialogs list them. 44100 is
// the CD's own rate: choosing it inserts no rate converter.
inline constexpr std::array<TChainRate, 6> kChainRates{{{88200, "88200 (not recommended)"},
                                                        {44100, "44100"},
                                                        {32000, "32000"},
                                                        {22050, "22050"},
                                                        {11025, "11025"},
                                                        {8000, "8000"}}};

// The FLAC chain offers every rate of kChainRates but 88200.
inline constexpr std::span<const TChainRate> kFlacChainRates{kChainRates.begin() + 1,
                                                             kChainRates.end()};

// The audio a chain hands its writer. The CD source gives 44100 Hz, two
// channels, 16 bits; the chain converts to whatever else a row asks for.
struct TStreamShape {
  int Rate = 44100;
  int Channels = 2;
  int Bits = 16;
};

// The components of one format's chains, created by its row and owned by
// the extractor. A converter a format never needs is null.
struct TFormatParts {
  TACSFileOut* Writer = nullptr;
  TRateConverter* Rate = nullptr;     // when the output rate is not the CD's
  TMSConverter* Channels = nullptr;   // when the output is mono
  TSampleConverter* Width = nullptr;  // when the output has 8-bit samples
};

// The track whose chain is about to be built: settings that change from
// file to file (a track number in a tag) read it.
struct TTrackRun {
  int Track = 0;       // on the disc
  int FileInJob = 0;   // 0 for the job's first file of this format, then 1, 2...
  std::string Name{};  // the file's base name
};

// Two setting values a format cannot write together; the command line
// refuses them before anything is written, instead of failing every track.
struct TOptionClash {
  std::string Option{};  // "bits"
  std::string Value{};   // "8", as the setting takes it
  std::string OtherOption{};
  std::string OtherValue{};
  std::string Why{};  // "IMA ADPCM is coded from 16-bit samples"
};

struct TFormat {
  std::string Caption{};    // in the window's format list
  std::string Name{};       // after --format; also how a dialog names the format it edits
  std::string Extension{};  // of the files, with its dot
  std::vector<TSetting> Settings{};
  std::vector<TOptionClash> Clashes{};
  // A record holding every setting's default.
  std::function<std::unique_ptr<TFormatSettings>()> Defaults{};
  // Creates the format's writer and converters, owned by `owner`; null
  // while the format has no writer.
  std::function<TFormatParts(TComponent& owner)> CreateParts{};
  // What the chain must hand the writer with these settings; the converters
  // that make it follow from it, in one order (rate, channels, width).
  std::function<TStreamShape(const TFormatSettings&)> Output{};
  // Puts the settings into the writer before each run.
  std::function<void(TACSFileOut& writer, const TFormatSettings&, const TTrackRun&)> Configure{};

  bool Available() const { return static_cast<bool>(CreateParts); }
  const TSetting* FindSetting(std::string_view name) const;
};

// Every format, in the order of the window's list.
const std::vector<TFormat>& Formats();
// The format called `name` on the command line, or null.
const TFormat* FindFormat(std::string_view name, const std::vector<TFormat>& formats = Formats());

// One settings record per format of a table, each at its defaults to begin
// with: what the window's dialogs edit and the job's chains read.
class TSettingsSet {
 public:
  explicit TSettingsSet(const std::vector<TFormat>& formats = Formats());
  TFormatSettings& For(const TFormat& format);
  const TFormatSettings& For(const TFormat& format) const;
  // The record of the format called `name`, as the record type it has.
  template <class Record>
  Record& Of(const std::string& name) {
    return static_cast<Record&>(*records_.at(name));
  }

 private:
  std::map<std::string, std::unique_ptr<TFormatSettings>> records_;
};

}  // namespace cdx
