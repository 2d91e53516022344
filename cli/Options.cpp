#include "cli/Options.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <sstream>

namespace cdx {

namespace {

bool ToInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

bool OneOf(int value, std::initializer_list<int> allowed) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

bool ParseFormat(const std::string& name, int& format) {
  static const char* const kNames[] = {"wav", "mp3", "ogg", "flac", "ape"};
  for (int i = 0; i < 5; ++i)
    if (name == kNames[i]) format = i;
  // Only these formats have writers so far.
  return name == "wav" || name == "ape";
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

bool TakeInt(int argc, const char* const* argv, int& i, int& value,
             std::initializer_list<int> allowed, std::string& problem) {
  std::string text;
  if (!TakeValue(argc, argv, i, text, problem)) return false;
  std::string option = argv[i - 1];
  if (!ToInt(text, value) || (allowed.size() > 0 && !OneOf(value, allowed))) {
    problem = "bad value for " + option + ": " + text;
    return false;
  }
  return true;
}

bool ParseOne(int argc, const char* const* argv, int& i, TCliOptions& o, bool& formatGiven,
              std::set<std::string>& given, std::string& problem) {
  std::string arg = argv[i];
  given.insert(arg);
  std::string text;
  if (arg == "--help" || arg == "-h") return o.Help = true;
  if (arg == "--list") return o.List = true;
  if (arg == "--drive") {
    if (!TakeInt(argc, argv, i, o.Drive, {}, problem)) return false;
    if (o.Drive < 0) problem = "bad value for --drive: " + std::to_string(o.Drive);
    return o.Drive >= 0;
  }
  if (arg == "--image") return TakeValue(argc, argv, i, o.Image, problem);
  if (arg == "--out") return TakeValue(argc, argv, i, o.OutDir, problem);
  if (arg == "--tracks") {
    if (!TakeValue(argc, argv, i, text, problem)) return false;
    if (!ParseTrackList(text, o.Tracks)) problem = "bad track list: " + text;
    return problem.empty();
  }
  if (arg == "--format") {
    if (!TakeValue(argc, argv, i, text, problem)) return false;
    formatGiven = true;
    if (!ParseFormat(text, o.Format)) problem = "unknown or unavailable format: " + text;
    return problem.empty();
  }
  if (arg == "--wav-type") {
    if (!TakeValue(argc, argv, i, o.WavType, problem)) return false;
    if (o.WavType != "pcm" && o.WavType != "adpcm") problem = "bad wav type: " + o.WavType;
    return problem.empty();
  }
  if (arg == "--rate")
    return TakeInt(argc, argv, i, o.Rate, {88200, 44100, 32000, 22050, 11025, 8000}, problem);
  if (arg == "--channels") return TakeInt(argc, argv, i, o.Channels, {1, 2}, problem);
  if (arg == "--bits") return TakeInt(argc, argv, i, o.Bits, {8, 16}, problem);
  if (arg == "--level") return TakeInt(argc, argv, i, o.Level, {1000, 2000, 3000, 4000}, problem);
  problem = "unknown option: " + arg;
  return false;
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

namespace {

// An option of another format is a mistake worth saying, not ignoring.
bool OptionsFitTheFormat(const TCliOptions& o, const std::set<std::string>& given,
                         std::string& problem) {
  const std::pair<const char*, int> owners[] = {{"--wav-type", 0}, {"--bits", 0}, {"--level", 4}};
  for (const auto& [option, format] : owners) {
    if (given.count(option) && o.Format != format) {
      problem = std::string(option) + " does not apply to this format";
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseCliOptions(int argc, const char* const* argv, TCliOptions& o, std::string& problem) {
  bool formatGiven = false;
  std::set<std::string> given;
  for (int i = 1; i < argc; ++i)
    if (!ParseOne(argc, argv, i, o, formatGiven, given, problem)) return false;
  if (o.Help || o.List) return true;
  if (o.Drive >= 0 && !o.Image.empty()) {
    problem = "--drive and --image exclude each other";
    return false;
  }
  if (!formatGiven || o.OutDir.empty()) {
    problem = "a rip needs --format and --out";
    return false;
  }
  return OptionsFitTheFormat(o, given, problem);
}

std::string CliUsage() {
  return "usage:\n"
         "  cd-extractor-cli --list [--drive N | --image FILE]\n"
         "  cd-extractor-cli [--drive N | --image FILE] [--tracks LIST] --format FORMAT\n"
         "                   [FORMAT OPTIONS] --out DIR\n"
         "\n"
         "  LIST       track numbers like 1,3-5 (default: every audio track)\n"
         "  FORMAT     wav or ape\n"
         "  wav:       [--wav-type pcm|adpcm] [--rate R] [--channels 1|2] [--bits 8|16]\n"
         "  ape:       [--level 1000|2000|3000|4000] [--rate R] [--channels 1|2]\n"
         "  R          88200, 44100, 32000, 22050, 11025 or 8000 (default 44100)\n"
         "\n"
         "Each track goes to DIR/TrackNN.<format>; one line per track tells ok or the\n"
         "error. The exit status is 0 only when every track was ripped.\n";
}

}  // namespace cdx
