// The output formats, each described once. The window's format list and its
// "Options" button, the job's chain builders, and the command line (its
// parsing and its help) all read this table, so a format is added with its
// writer, its dialog and one entry here. A format's settings record and
// writer live in TExtractor beside its chain builder; its options say how
// each command-line value reaches them.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cdx {

class TExtractor;
class TACSFileOut;
class TACSOutput;

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

enum class TValueKind { Flag, Integer, Real, Word, Text };

// The values a command-line option takes.
struct TOptionDomain {
  TValueKind Kind = TValueKind::Flag;
  // Integer: the numbers taken; when empty, any number from Low to High.
  std::vector<int> Integers;
  // Integer without a list, and Real: the range, both ends included.
  double Low = 0;
  double High = 0;
  // Word: the choices. Integer: words taken instead of a number ("auto").
  std::vector<std::string> Words;
  // Text: how the help names the value ("TEXT", "TAG=VALUE").
  std::string Placeholder;
};

TOptionDomain Flag();
TOptionDomain IntegerIn(std::vector<int> values, std::vector<std::string> words = {});
TOptionDomain IntegerBetween(int low, int high, std::vector<std::string> words = {});
TOptionDomain RealBetween(double low, double high);
TOptionDomain WordIn(std::vector<std::string> words);
TOptionDomain AnyText(std::string placeholder);

// A command-line value, checked against its option's domain.
struct TOptionValue {
  std::string Text;  // as given; empty for a flag
  int Integer = 0;   // Integer: the number
  double Real = 0;   // Real: the number
  int Word = -1;     // the place in Words of the word given, -1 for none
};

// The track whose chain is about to be built: options that change from
// file to file (a track number in a tag) read it.
struct TTrackRun {
  int Track = 0;
};

struct TFormatOption {
  std::string Name{};  // "--rate"
  TOptionDomain Domain{};
  std::string Help{};  // one line of --help
  // Each occurrence adds a value; otherwise it may be given once.
  bool Repeatable = false;
  // Applies one value to the extractor's settings or writer. Every value
  // given is applied before each track's chain is built, the options in
  // the table's order, a repeated option's values in the order given.
  std::function<void(TExtractor&, const TOptionValue&, const TTrackRun&)> Apply{};
};

// Two option values a format cannot write together; the command line
// refuses them before anything is written, instead of failing every track.
struct TOptionClash {
  std::string Option{};  // "--bits"
  std::string Value{};   // "8", as the option takes it
  std::string OtherOption{};
  std::string OtherValue{};
  std::string Why{};  // "IMA ADPCM is coded from 16-bit samples"
};

using TChainBuilder = TACSOutput* (TExtractor::*)(const std::string& path,
                                                  const std::string& outputDirectory,
                                                  const std::string& caption);

struct TFormat {
  std::string Caption{};    // in the window's format list
  std::string Name{};       // after --format; also how a dialog names the format it edits
  std::string Extension{};  // of the files, with its dot
  // The writer of the format's chains and the builder that wires and runs
  // them; both null while the format has no writer.
  TACSFileOut* (*Writer)(const TExtractor&) = nullptr;
  TChainBuilder Build = nullptr;
  std::vector<TFormatOption> Options{};
  std::vector<TOptionClash> Clashes{};

  bool Available() const { return Build != nullptr; }
};

// Every format, in the order of the window's list.
const std::vector<TFormat>& Formats();
// The format called `name` on the command line, or null.
const TFormat* FindFormat(std::string_view name, const std::vector<TFormat>& formats = Formats());
// The format whose chains `writer` ends, or null.
const TFormat* FormatOfWriter(const TExtractor& extractor, const TACSOutput* writer);

}  // namespace cdx
