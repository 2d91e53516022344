#include "platform/cdrip/CueCheck.h"

#include <sys/stat.h>

#include <cctype>
#include <iomanip>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "platform/cdrip/ImageFiles.h"
#include "platform/cdrip/SafeFiles.h"

namespace cdrip {

namespace {

// Sheets take a few kilobytes; a far larger file is none.
constexpr off_t kLargestSheet = 1 << 20;
constexpr int kSectorsPerSecond = 75;

struct SheetTrack {
  int number = 0;
  int line = 0;
  int sectorBytes = 2352;
  long start = -1;  // INDEX 01, in sectors of the sheet's times
};

// The bytes one sector of a track of `mode` takes in the data file; 0 for
// no mode a CUE sheet has.
int SectorBytes(const std::string& mode) {
  static const std::map<std::string, int> kModes = {
      {"AUDIO", 2352},      {"CDG", 2448},        {"MODE1/2048", 2048}, {"MODE1/2352", 2352},
      {"MODE2/2048", 2048}, {"MODE2/2324", 2324}, {"MODE2/2336", 2336}, {"MODE2/2352", 2352},
      {"CDI/2336", 2336},   {"CDI/2352", 2352}};
  auto found = kModes.find(mode);
  return found == kModes.end() ? 0 : found->second;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (unsigned char c : s)
    if (!std::isdigit(c)) return false;
  return true;
}

// "mm:ss:ff" in sectors; -1 when it is no time.
long Sectors(const std::string& time) {
  std::istringstream in(time);
  std::string mm, ss, ff;
  if (!std::getline(in, mm, ':') || !std::getline(in, ss, ':') || !std::getline(in, ff)) return -1;
  if (!AllDigits(mm) || !AllDigits(ss) || !AllDigits(ff) || mm.size() > 3 || ss.size() > 2 ||
      ff.size() > 2)
    return -1;
  const long m = std::stol(mm), s = std::stol(ss), f = std::stol(ff);
  if (s >= 60 || f >= kSectorsPerSecond) return -1;
  return (m * 60 + s) * kSectorsPerSecond + f;
}

std::string TwoDigits(int number) {
  return (number < 10 ? "0" : "") + std::to_string(number);
}

std::string Name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Tracks(int first, int last) {
  return first == last ? "track " + std::to_string(first)
                       : "tracks " + std::to_string(first) + " to " + std::to_string(last);
}

// Reads the sheet's lines into `tracks`; the first fault found, "" when none.
class SheetReader {
 public:
  explicit SheetReader(std::string name) : name_(std::move(name)) {}

  std::string Read(const std::string& text, std::vector<SheetTrack>& tracks) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return name_ + " is empty";
    // Stray control characters in a title are the disc text's to clean; a
    // NUL byte no text editor writes.
    if (text.find('\0') != std::string::npos)
      return name_ + " is no CUE sheet: it holds binary data";
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
      ++number;
      if (number == 1 && line.rfind(kByteOrderMark, 0) == 0) line.erase(0, kByteOrderMark.size());
      if (std::string fault = Line(line, tracks); !fault.empty())
        return name_ + " line " + std::to_string(number) + ": " + fault;
      if (!tracks.empty() && tracks.back().line == 0) tracks.back().line = number;
    }
    if (tracks.empty()) return name_ + " lists no TRACK";
    for (const SheetTrack& t : tracks)
      if (t.start < 0)
        return name_ + " line " + std::to_string(t.line) + ": TRACK " + std::to_string(t.number) +
               " has no INDEX 01";
    return "";
  }

 private:
  std::string Line(const std::string& line, std::vector<SheetTrack>& tracks) {
    std::istringstream words(line);
    std::string keyword;
    if (!(words >> keyword)) return "";
    static const std::set<std::string> kOthers = {"CATALOG",    "CDTEXTFILE", "FLAGS",  "ISRC",
                                                  "PERFORMER",  "POSTGAP",    "PREGAP", "REM",
                                                  "SONGWRITER", "TITLE"};
    if (keyword == "FILE") return File(words);
    if (keyword == "TRACK") return Track(words, tracks);
    if (keyword == "INDEX") return Index(words, tracks);
    if (kOthers.count(keyword)) return "";
    return "\"" + keyword.substr(0, 20) + "\" is no CUE sheet command";
  }

  std::string File(std::istringstream& words) {
    std::string file, type;
    words >> std::quoted(file) >> type;
    if (++files_ > 1) return "a second FILE; only a sheet with one data file can be read";
    if (type != "BINARY" && type != "MOTOROLA")
      return "FILE \"" + file + "\" " + type +
             ": only a BINARY data file (raw sectors) can be read, not " +
             (type.empty() ? "a file of no type" : "a " + type + " file");
    return "";
  }

  std::string Track(std::istringstream& words, std::vector<SheetTrack>& tracks) {
    std::string number, mode;
    words >> number >> mode;
    if (!AllDigits(number) || number.size() > 2 || std::stoi(number) < 1)
      return "TRACK " + number + " is not a track number";
    SheetTrack track;
    track.number = std::stoi(number);
    if (!tracks.empty() && track.number != tracks.back().number + 1)
      return "TRACK " + number + " does not follow TRACK " + TwoDigits(tracks.back().number);
    track.sectorBytes = SectorBytes(mode);
    if (track.sectorBytes == 0) return "TRACK " + number + " " + mode + " is no track type";
    tracks.push_back(track);
    return "";
  }

  std::string Index(std::istringstream& words, std::vector<SheetTrack>& tracks) {
    std::string number, time;
    words >> number >> time;
    if (tracks.empty()) return "INDEX before any TRACK";
    const long at = Sectors(time);
    if (at < 0) return "INDEX " + number + " " + time + " is no time (mm:ss:ff)";
    if (at < last_)
      return "INDEX " + number + " " + time + " comes before the time of the line before it";
    last_ = at;
    if (number == "01") tracks.back().start = at;
    return "";
  }

  std::string name_;
  int files_ = 0;
  long last_ = 0;
};

// Where the data file ends, against where the tracks start: which of them
// it holds whole.
void CheckLength(const std::string& dataFile, off_t bytes, const std::vector<SheetTrack>& tracks,
                 CueCheck& check) {
  // Each track's first byte: the sectors before it take their mode's bytes.
  off_t start = 0;
  for (size_t k = 1; k < tracks.size(); ++k) {
    const SheetTrack& before = tracks[k - 1];
    const off_t next = start + (tracks[k].start - before.start) * before.sectorBytes;
    if (next > bytes || (next == bytes && k + 1 == tracks.size())) {
      // The track before is whole only when the file ends right where this
      // one starts.
      const size_t firstMissing = next == bytes ? k : k - 1;
      const long end = before.start + static_cast<long>((bytes - start) / before.sectorBytes);
      const bool one = firstMissing + 1 == tracks.size();
      check.wholeTracks = static_cast<int>(firstMissing);
      check.missing = Name(dataFile) + " ends at sector " + std::to_string(end) + " but track " +
                      std::to_string(tracks[k].number) + " starts at " +
                      std::to_string(tracks[k].start) + ", so " +
                      Tracks(tracks[firstMissing].number, tracks.back().number) +
                      (one ? " is" : " are") + " missing";
      return;
    }
    start = next;
  }
}

}  // namespace

CueCheck CheckCueImage(const std::string& sheet, const std::string& dataFile) {
  CueCheck check;
  struct stat st {};
  if (::stat(sheet.c_str(), &st) != 0) {
    check.problem = "the disc or image is gone: " + sheet + " does not exist";
    return check;
  }
  if (S_ISREG(st.st_mode) && st.st_size > kLargestSheet) {
    check.problem = Name(sheet) + " is " + std::to_string(st.st_size >> 20) +
                    " MB, far too large for a CUE sheet";
    return check;
  }
  std::string text;
  if (!ReadRegularFile(sheet, kLargestSheet, text)) return check;  // ImageProblem's to say
  std::vector<SheetTrack> tracks;
  check.problem = SheetReader(Name(sheet)).Read(text, tracks);
  if (!check.problem.empty()) return check;
  if (::stat(dataFile.c_str(), &st) != 0) {
    check.problem = "the data file " + dataFile + " named by " + Name(sheet) + " does not exist";
    return check;
  }
  if (S_ISREG(st.st_mode)) CheckLength(dataFile, st.st_size, tracks, check);
  if (check.wholeTracks == 0) {
    check.problem = check.missing;
    check.missing.clear();
  }
  return check;
}

}  // namespace cdrip
