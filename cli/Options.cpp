#include "cli/Options.h"

#include "extractor/FileNames.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "extractor/VerifyStage.h"

namespace cdx {

namespace {

// Where the help text of an option starts.
constexpr size_t kHelpColumn = 28;

bool ToInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

// A format option as it stands on the command line, before the format is
// known.
struct TRawOption {
  std::string Name;
  std::string Value;
};

std::string OptionOf(const TSetting& setting) {
  return "--" + setting.Name;
}

// Some format's setting that `name` gives. All formats agree on whether an
// option of a name takes a value, so it can be read before the format is
// known.
const TSetting* AnyFormatSetting(const std::vector<TFormat>& formats, const std::string& name) {
  for (const TFormat& format : formats)
    for (const TSetting& setting : format.Settings)
      if (OptionOf(setting) == name) return &setting;
  return nullptr;
}

// Takes the value of an option that needs one.
bool TakeValue(int argc, const char* const* argv, int& i, std::string& value,
               std::string& problem) {
  if (i + 1 >= argc) {
    problem = std::string("option ") + argv[i] + " needs a value";
    return false;
  }
  value = argv[++i];
  return true;
}

bool TakeDrive(int argc, const char* const* argv, int& i, int& drive, std::string& problem) {
  std::string text;
  if (!TakeValue(argc, argv, i, text, problem)) return false;
  if (!ToInt(text, drive) || drive < 0) problem = "bad value for --drive: " + text;
  return problem.empty();
}

// A read offset correction: a signed number of samples, "+6" as the
// drive lists give it.
bool TakeOffset(int argc, const char* const* argv, int& i, int& offset, std::string& problem) {
  std::string text;
  if (!TakeValue(argc, argv, i, text, problem)) return false;
  const std::string digits = !text.empty() && text[0] == '+' ? text.substr(1) : text;
  if (!ToInt(digits, offset) || offset < -kMaxReadOffset || offset > kMaxReadOffset)
    problem = "bad value for --offset: " + text + " (samples, -" + std::to_string(kMaxReadOffset) +
              " to +" + std::to_string(kMaxReadOffset) + ")";
  return problem.empty();
}

bool TakeFormat(int argc, const char* const* argv, int& i, const std::vector<TFormat>& formats,
                const TFormat*& format, std::string& problem) {
  std::string name;
  if (!TakeValue(argc, argv, i, name, problem)) return false;
  format = FindFormat(name, formats);
  if (!format || !format->Available()) problem = "unknown or unavailable format: " + name;
  return problem.empty();
}

// The album's fields of every format; the MP3 row's tag options of the
// same names take them too, for its ID3v1 tag.
const std::map<std::string, std::string TAlbumFields::*>& AlbumOptions() {
  static const std::map<std::string, std::string TAlbumFields::*> fields = {
      {"--artist", &TAlbumFields::Artist},
      {"--album", &TAlbumFields::Album},
      {"--album-artist", &TAlbumFields::AlbumArtist},
      {"--year", &TAlbumFields::Year},
      {"--genre", &TAlbumFields::Genre}};
  return fields;
}

// The front end's own options, each of which may be given once.
const std::set<std::string>& OwnOptions() {
  static const std::set<std::string> names = {
      "--help",   "--version",      "--list",    "--drive",         "--image",     "--out",
      "--tracks", "--format",       "--eject",   "--test-and-copy", "--no-verify", "--check-log",
      "--offset", "--template",     "--release", "--no-lookup",     "--no-tags",   "--artist",
      "--album",  "--album-artist", "--year",    "--genre"};
  return names;
}

// An album field given: kept for every format, and handed to the format's
// own option of that name, if it has one.
bool TakeAlbumField(int argc, const char* const* argv, int& i, TCliOptions& o,
                    std::vector<TRawOption>& album, std::string& problem) {
  const std::string name = argv[i];
  std::string value;
  if (!TakeValue(argc, argv, i, value, problem)) return false;
  o.Album.*AlbumOptions().at(name) = value;
  album.push_back({name, value});
  return true;
}

bool ParseOne(int argc, const char* const* argv, int& i, const std::vector<TFormat>& formats,
              TCliOptions& o, std::set<std::string>& seen, std::vector<TRawOption>& raw,
              std::vector<TRawOption>& album, std::string& problem) {
  std::string arg = argv[i] == std::string("-h") ? "--help" : argv[i];
  std::string text;
  if (OwnOptions().count(arg) && !seen.insert(arg).second) {
    problem = arg + " given twice";
    return false;
  }
  if (arg == "--help") return o.Help = true;
  if (arg == "--version") return o.Version = true;
  if (arg == "--list") return o.List = true;
  if (arg == "--drive") return TakeDrive(argc, argv, i, o.Drive, problem);
  if (arg == "--image") return TakeValue(argc, argv, i, o.Image, problem);
  if (arg == "--out") return TakeValue(argc, argv, i, o.OutDir, problem);
  if (arg == "--eject") return o.Eject = true;
  if (arg == "--tracks") {
    if (!TakeValue(argc, argv, i, text, problem)) return false;
    if (!ParseTrackList(text, o.Tracks)) problem = "bad track list: " + text;
    return problem.empty();
  }
  if (arg == "--format") return TakeFormat(argc, argv, i, formats, o.Format, problem);
  if (arg == "--template") {
    if (!TakeValue(argc, argv, i, o.Template, problem)) return false;
    problem = TemplateProblem(o.Template);
    return problem.empty();
  }
  if (arg == "--release") return TakeValue(argc, argv, i, o.Release, problem);
  if (arg == "--no-lookup") return o.NoLookup = true;
  if (arg == "--no-tags") return o.NoTags = true;
  if (AlbumOptions().count(arg)) return TakeAlbumField(argc, argv, i, o, album, problem);
  if (arg == "--test-and-copy") return o.TestAndCopy = true;
  if (arg == "--no-verify") return o.NoVerify = true;
  if (arg == "--check-log") return TakeValue(argc, argv, i, o.CheckLog, problem);
  if (arg == "--offset") return TakeOffset(argc, argv, i, o.Offset, problem);
  if (const TSetting* setting = AnyFormatSetting(formats, arg)) {
    TRawOption given{arg, ""};
    if (setting->Domain.Kind != TValueKind::Flag && !TakeValue(argc, argv, i, given.Value, problem))
      return false;
    raw.push_back(given);
    return true;
  }
  problem = "unknown option: " + arg;
  return false;
}

// Checks each format option given against the chosen format's settings.
// An option of another format is a mistake worth saying, not ignoring.
bool TakeFormatOptions(const std::vector<TRawOption>& raw, TCliOptions& o, std::string& problem) {
  const std::vector<TSetting>& settings = o.Format->Settings;
  std::vector<std::vector<TOptionValue>> values(settings.size());
  for (const TRawOption& given : raw) {
    auto setting = std::find_if(settings.begin(), settings.end(), [&](const TSetting& known) {
      return OptionOf(known) == given.Name;
    });
    if (setting == settings.end()) {
      problem = given.Name + " does not apply to this format";
      return false;
    }
    TOptionValue value;
    if (!ReadOptionValue(setting->Domain, given.Value, value)) {
      problem = "bad value for " + given.Name + ": " + given.Value;
      return false;
    }
    auto& slot = values[setting - settings.begin()];
    if (!setting->Repeatable && !slot.empty()) {
      problem = given.Name + " given twice";
      return false;
    }
    slot.push_back(value);
  }
  o.FormatOptions.clear();
  for (size_t k = 0; k < settings.size(); ++k)
    if (!values[k].empty()) o.FormatOptions.push_back({&settings[k], std::move(values[k])});
  return true;
}

bool SameValue(const TOptionDomain& domain, const TOptionValue& a, const TOptionValue& b) {
  if (a.Word >= 0 || b.Word >= 0) return a.Word == b.Word;
  switch (domain.Kind) {
    case TValueKind::Integer:
      return a.Integer == b.Integer;
    case TValueKind::Real:
      return a.Real == b.Real;
    default:
      return a.Text == b.Text;
  }
}

// Whether `option` was given with the value that `text` names; values are
// compared as read ("08" is 8), not as typed.
bool GivenWith(const TCliOptions& o, const std::string& setting, const std::string& text) {
  for (const TGivenOption& given : o.FormatOptions) {
    TOptionValue named;
    if (given.Setting->Name != setting || !ReadOptionValue(given.Setting->Domain, text, named))
      continue;
    for (const TOptionValue& value : given.Values)
      if (SameValue(given.Setting->Domain, value, named)) return true;
  }
  return false;
}

// "--bits 8 and --wav-type adpcm exclude each other"
std::string DescribeClash(const TOptionClash& clash) {
  return "--" + clash.Option + " " + clash.Value + " and --" + clash.OtherOption + " " +
         clash.OtherValue + " exclude each other";
}

bool CheckClashes(const TCliOptions& o, std::string& problem) {
  for (const TOptionClash& clash : o.Format->Clashes)
    if (GivenWith(o, clash.Option, clash.Value) &&
        GivenWith(o, clash.OtherOption, clash.OtherValue)) {
      problem = DescribeClash(clash) + ": " + clash.Why;
      return false;
    }
  return true;
}

// What a list of drives cannot take: the options of a rip.
bool CheckList(const TCliOptions& o, const std::vector<TRawOption>& raw, std::string& problem) {
  std::string ripOption = o.Format            ? "--format"
                          : !o.OutDir.empty() ? "--out"
                          : !o.Tracks.empty() ? "--tracks"
                          : o.Eject           ? "--eject"
                          : !raw.empty()      ? raw.front().Name
                                              : "";
  if (!ripOption.empty()) problem = "--list rips nothing, so it takes no " + ripOption;
  return problem.empty();
}

std::string Join(const std::vector<std::string>& parts, const std::string& between,
                 const std::string& last) {
  std::string text;
  for (size_t k = 0; k < parts.size(); ++k)
    text += (k == 0 ? "" : k + 1 == parts.size() ? last : between) + parts[k];
  return text;
}

std::string DescribeOption(const TSetting& setting) {
  std::string synopsis = "  " + OptionOf(setting);
  if (setting.Domain.Kind != TValueKind::Flag) synopsis += " " + DescribeDomain(setting.Domain);
  // A long synopsis puts its help on a line of its own.
  synopsis += synopsis.size() + 2 > kHelpColumn ? "\n" + std::string(kHelpColumn, ' ')
                                                : std::string(kHelpColumn - synopsis.size(), ' ');
  std::string help = setting.Help;
  if (!setting.Domain.Default.empty()) help += " (default " + setting.Domain.Default + ")";
  return synopsis + help + (setting.Repeatable ? " (may be repeated)" : "") + "\n";
}

std::string NameOptionsHelp() {
  std::string help =
      "\nname options (every format):\n"
      "  --template TEMPLATE       the files' names below DIR (default " +
      std::string(kDefaultTemplate) +
      ")\n"
      "  --release N|MBID          the MusicBrainz release to use, as the list shows them\n"
      "  --no-lookup               names from the disc only, MusicBrainz is not asked\n"
      "  --no-tags                 files as the format writes them: no tags, gain or cover\n"
      "  --artist TEXT             artist of every track (and of the album)\n"
      "  --album-artist TEXT       artist of the album\n"
      "  --album TEXT              album title\n"
      "  --year TEXT               date, YYYY[-MM[-DD]]\n"
      "  --genre TEXT              genre\n"
      "  TEMPLATE variables:\n";
  for (const TTemplateVariable& v : kTemplateVariables)
    help += std::string("    %") + v.Letter + "  " + v.Meaning + "\n";
  return help;
}

}  // namespace

bool ParseTrackList(const std::string& text, std::vector<int>& tracks) {
  std::set<int> found;
  std::stringstream parts(text);
  std::string part;
  while (std::getline(parts, part, ',')) {
    size_t dash = part.find('-');
    int first = 0, last = 0;
    bool ok = dash == std::string::npos
                  ? ToInt(part, first) && (last = first, true)
                  : ToInt(part.substr(0, dash), first) && ToInt(part.substr(dash + 1), last);
    if (!ok || first < 1 || last < first || last > 99) return false;
    for (int t = first; t <= last; ++t) found.insert(t);
  }
  if (found.empty() || text.back() == ',') return false;
  tracks.assign(found.begin(), found.end());
  return true;
}

bool ParseCliOptions(int argc, const char* const* argv, TCliOptions& o, std::string& problem,
                     const std::vector<TFormat>& formats) {
  std::set<std::string> seen;
  std::vector<TRawOption> raw, album;
  for (int i = 1; i < argc; ++i)
    if (!ParseOne(argc, argv, i, formats, o, seen, raw, album, problem)) return false;
  if (o.Help || o.Version || !o.CheckLog.empty()) return true;
  if (o.Drive >= 0 && !o.Image.empty()) {
    problem = "--drive and --image exclude each other";
    return false;
  }
  if (o.List) return CheckList(o, raw, problem);
  if (!o.Format || o.OutDir.empty()) {
    problem = "a rip needs --format and --out";
    return false;
  }
  for (const TRawOption& field : album)
    if (o.Format->FindSetting(field.Name.substr(2))) raw.push_back(field);
  return TakeFormatOptions(raw, o, problem) && CheckClashes(o, problem);
}

std::string CliUsage(const std::vector<TFormat>& formats) {
  std::vector<std::string> names;
  std::string options;
  for (const TFormat& format : formats) {
    if (!format.Available()) continue;
    names.push_back(format.Name);
    options += "\n" + format.Name + " options:\n";
    for (const TSetting& setting : format.Settings) options += DescribeOption(setting);
    for (const TOptionClash& clash : format.Clashes)
      options += "  (" + DescribeClash(clash) + ")\n";
  }
  return "usage:\n"
         "  cd-extractor-cli --list [--drive N | --image FILE]\n"
         "  cd-extractor-cli [--drive N | --image FILE] [--tracks LIST] --format FORMAT\n"
         "                   [FORMAT OPTIONS] [NAME OPTIONS] --out DIR [--eject]\n"
         "                   [--offset SAMPLES] [--test-and-copy] [--no-verify]\n"
         "  cd-extractor-cli --check-log LOG\n"
         "  cd-extractor-cli --help | --version\n"
         "\n"
         "  N       a drive's number as --list shows it (default: the first drive)\n"
         "  FILE    a disc image (.cue, .toc or .nrg) to use as the drive\n"
         "  LIST    track numbers like 1,3-5 (default: every audio track)\n"
         "  --eject opens the drive's tray once every track is written (not for an image)\n"
         "  FORMAT  " +
         Join(names, ", ", " or ") + "\n" + NameOptionsHelp() +
         "\n"
         "  --offset SAMPLES        the drive's read offset correction (default 0, right\n"
         "                          for images), as the drive offset lists give it: +6\n"
         "  --test-and-copy         read each track twice; differing CRCs fail the track\n"
         "  --no-verify             do not ask the AccurateRip database (the address is\n"
         "                          CDX_ACCURATERIP_URL, if set)\n"
         "  --check-log LOG         tell whether a rip log was changed after it was written\n" +
         options +
         "\n"
         "Each option may be given once, except those that may be repeated. Each track\n"
         "goes to DIR/TEMPLATE.<format> named from the disc's CD-Text or CUE sheet or\n"
         "from MusicBrainz (TrackNN when nothing names it); DIR and the template's\n"
         "folders are made when missing. One line per track says\n"
         "ok with its AccurateRip result and CRC, stopped, failed with the error (an\n"
         "earlier file of the name is kept), or, after Ctrl-C, not ripped. A rip log and a\n"
         "CUE sheet, disc-CDDBID.log and .cue, go beside the files. The exit status is 0\n"
         "when every track was ripped and the log written, 1 when not, 2 for a bad command\n"
         "line (then nothing is ripped), 130 after Ctrl-C. --check-log exits with 0 for an\n"
         "unchanged log, 1 otherwise.\n";
}

void ApplyFormatOptions(TFormatSettings& settings, const TCliOptions& options) {
  for (const TGivenOption& given : options.FormatOptions) {
    if (given.Setting->Clear) given.Setting->Clear(settings);
    for (const TOptionValue& value : given.Values) given.Setting->Set(settings, value);
  }
}

}  // namespace cdx
