// The drives of the CD library and the discs in them, as the job and the
// front ends see them: a disc's TOC is read once, and again only when the
// library says the disc changed.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/cdrip/Toc.h"

namespace cdx {

struct TDriveInfo {
  int Index = 0;
  std::string Root;  // the folder of its TrackNN.cda files, ending in '/'
  std::string Path;  // the device or the image file
};

std::vector<TDriveInfo> ListDrives();
// Image files of the discs folders that are no drive, and why.
struct TSkippedDisc {
  std::string Path;
  std::string Reason;
};
std::vector<TSkippedDisc> SkippedDiscs();
// Makes the image file at `path` a drive (or finds it among them); its
// index, or -1 with `why` saying what is wrong when it cannot be one.
int AddImageDrive(const std::string& path, std::string& why);

// A track of the disc in a drive.
struct TDiscTrack {
  int Drive = -1;
  int Track = 0;
};

// A track number that cannot be read from a track file's name.
class EConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The track a TrackNN.cda path names: the drive whose folder holds it, and
// the number of its name. Raises EACSException for a path on no drive and
// EConvertError for a name without a track number. Reads no TOC.
TDiscTrack TrackOfPath(const std::string& path);

class TDisc {
 public:
  // Reads the TOC of the disc in `drive` once; a drive without a readable
  // disc gives a disc without tracks.
  static TDisc Read(int drive);

  int Drive() const { return drive_; }
  bool Readable() const { return !toc_->empty(); }
  const cdrip::DiscToc& Toc() const { return *toc_; }
  // The same TOC, for a source that rips from it after the disc is gone.
  std::shared_ptr<const cdrip::DiscToc> SharedToc() const { return toc_; }
  const cdrip::TocTrack* Track(int number) const { return toc_->find(number); }
  std::vector<int> AudioTracks() const;
  std::vector<int> DataTracks() const;
  // Why the disc cannot give track `number` ("the disc has no track 9; its
  // tracks are 1 to 4", or why there is no disc to read); "" when it has it
  // or no reason is known.
  std::string Lacks(int number) const;
  // Whether the disc in the drive may not be this one any more; reads no
  // TOC.
  bool Changed() const;

 private:
  int drive_ = -1;
  std::shared_ptr<const cdrip::DiscToc> toc_;
};

// The discs a job rips from, by drive: each read at its first track, and
// again only when it changed.
class TDiscs {
 public:
  const TDisc& Of(int drive);

 private:
  std::map<int, TDisc> discs_;
};

// "3", "1-4" or "2,5-7": tracks as --tracks takes them.
std::string TrackRanges(const std::vector<int>& tracks);

}  // namespace cdx
