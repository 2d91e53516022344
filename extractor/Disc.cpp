#include "extractor/Disc.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "pipeline/ACS_Classes.h"
#include "platform/cdrip/cdrip.h"

namespace cdx {

namespace {

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

std::vector<int> TracksWhere(const cdrip::DiscToc& toc, bool audio) {
  std::vector<int> tracks;
  for (const cdrip::TocTrack& track : toc.tracks)
    if (track.audio == audio) tracks.push_back(track.number);
  return tracks;
}

}  // namespace

std::vector<TDriveInfo> ListDrives() {
  std::vector<TDriveInfo> drives;
  for (int i = 0, n = cdrip::CR_GetNumCDROM(); i < n; ++i)
    drives.push_back({i, cdrip::CR_GetDriveRoot(i), cdrip::CR_GetDrivePath(i)});
  return drives;
}

std::vector<TSkippedDisc> SkippedDiscs() {
  std::vector<TSkippedDisc> skipped;
  for (const auto& image : cdrip::CR_GetSkippedImages())
    skipped.push_back({image.path, image.reason});
  return skipped;
}

int AddImageDrive(const std::string& path, std::string& why) {
  why.clear();
  return cdrip::CR_AddImageDrive(path, &why);
}

TDiscTrack TrackOfPath(const std::string& path) {
  // With no drive at all, no path can be on one.
  if (cdrip::CR_GetNumCDROM() == 0) throw EACSException("The drive is not ready");
  int drive = -1;
  for (int i = 0, n = cdrip::CR_GetNumCDROM(); i < n && drive < 0; ++i) {
    std::string root = cdrip::CR_GetDriveRoot(i);
    if (!root.empty() && path.compare(0, root.size(), root) == 0) drive = i;
  }
  // A path on no drive must not rip whatever was selected before.
  if (drive < 0) throw EACSException("\"" + path + "\" is not a track of a CD drive");
  // "Track07.cda": the text between the word and the extension.
  std::string name = std::filesystem::path(path).filename().string();
  std::string number = name.size() > 9 ? name.substr(5, name.size() - 9) : std::string();
  return {drive, ParseTrackNumber(number)};
}

TDisc TDisc::Read(int drive) {
  TDisc disc;
  disc.drive_ = drive;
  auto toc = std::make_shared<cdrip::DiscToc>();
  cdrip::CR_SetActiveCDROM(drive);
  if (cdrip::CR_GetActiveCDROM() != drive || cdrip::CR_ReadDiscToc(*toc) != cdrip::CR_OK)
    *toc = cdrip::DiscToc{};
  disc.toc_ = std::move(toc);
  return disc;
}

std::vector<int> TDisc::AudioTracks() const {
  return TracksWhere(*toc_, true);
}

std::vector<int> TDisc::DataTracks() const {
  return TracksWhere(*toc_, false);
}

std::string TDisc::Lacks(int number) const {
  // Why an unreadable disc is so, when the CD library knows.
  if (!Readable()) return toc_->problem;
  if (Track(number)) return "";
  const int first = toc_->tracks.front().number, last = toc_->tracks.back().number;
  std::string has = first == last
                        ? "its only track is " + std::to_string(first)
                        : "its tracks are " + std::to_string(first) + " to " + std::to_string(last);
  if (!toc_->missing.empty()) has += " (" + toc_->missing + ")";
  return "the disc has no track " + std::to_string(number) + "; " + has;
}

bool TDisc::Changed() const {
  cdrip::CR_SetActiveCDROM(drive_);
  return cdrip::CR_DiscChanged();
}

const TDisc& TDiscs::Of(int drive) {
  auto found = discs_.find(drive);
  if (found == discs_.end() || found->second.Changed())
    found = discs_.insert_or_assign(drive, TDisc::Read(drive)).first;
  return found->second;
}

std::string TrackRanges(const std::vector<int>& tracks) {
  std::string text;
  for (size_t k = 0; k < tracks.size(); ++k) {
    size_t end = k;
    while (end + 1 < tracks.size() && tracks[end + 1] == tracks[end] + 1) ++end;
    text += (text.empty() ? "" : ",") + std::to_string(tracks[k]);
    if (end > k) text += "-" + std::to_string(tracks[end]);
    k = end;
  }
  return text;
}

}  // namespace cdx
