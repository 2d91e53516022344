// Finding the drives: real devices, then disc images in the search
// folders; their names and root folders; opening them with libcdio.
#pragma once

#include <cdio/cdio.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/cdrip/DriveFolders.h"
#include "platform/cdrip/FileStamp.h"
#include "platform/cdrip/Toc.h"
#include "platform/cdrip/cdrip.h"

namespace cdrip {

struct Drive {
  bool image = false;
  std::string path;      // device node or image file
  std::string readPath;  // what libcdio opens for an image: `path` or a cleaned copy
  std::string name;      // root folder name, unique in the list
  std::string root;      // ends with '/'
  driver_id_t driver = DRIVER_DEVICE;
  // Keeps other processes from removing the root while the drive is listed.
  std::shared_ptr<const DriveFolderHold> hold;
};

struct CdioCloser {
  void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

// The folder of the running program.
std::string ProgramDir();
// The data folder of an installed program: share/cd-extractor of the
// prefix the program's folder is the bin folder of.
std::string InstalledDataDir();
// Folders searched for images (see cdrip.h for CDX_DISCS_DIR).
std::vector<std::string> ImageFolders();
// The machine's CD drives as libcdio lists them (none under CDX_NO_DEVICES).
std::vector<std::string> DevicePaths();
// Folder holding the drive roots (see cdrip.h for CDX_DRIVES_DIR).
std::string DrivesBase();

// Devices then images of the search folders, named and with roots set;
// `skipped` gets the images that are no drives (see CR_GetSkippedImages).
std::vector<Drive> ListDrives(std::vector<SkippedImage>& skipped);
// The image drive for `path`, or nothing when libcdio has no driver for it,
// one of its files is no regular file, or libcdio cannot open it. Name and
// root are not set.
std::unique_ptr<Drive> ImageDrive(const std::string& path);
// Gives `drive` a name not used in `drives` and its root folder (created
// and held).
void NameDrive(Drive& drive, const std::vector<Drive>& drives);
// Removes the drive folders that belong to no drive of `drives` and that
// no other process holds (see DriveFolders.h).
void RemoveStaleDriveFolders(const std::vector<Drive>& drives);

// Null when libcdio cannot open the drive, or when one of an image's files
// is no regular file (that is never handed to libcdio; NoteProblem says
// why).
CdioPtr OpenDrive(const Drive& drive);

// Reads the TOC with the pregaps and flags of the tracks, and with
// `details` their ISRCs and the disc's MCN too (a real drive reads those
// from each track's subchannel, which takes a while). False, with `toc`
// empty, when there is no disc or the TOC is unusable. Each call reads the
// disc: nothing is kept between calls.
bool ReadDiscToc(const Drive& drive, DiscToc& toc, bool details = false);
// The TOC as the entries of CR_GetTocEntry: the tracks, then the lead-out.
std::vector<TOCENTRY> TocEntries(const DiscToc& toc);
// TOC reads since the program started, for the tests of whoever must read
// it only once.
uint64_t TocReadCount();

// What tells whether the disc of a drive changed since a TOC was read: the
// image's files as stat saw them (a real drive tells by itself).
struct DiscStamp {
  std::vector<FileStamp> files;
};
DiscStamp StampDisc(const Drive& drive);
bool DiscChangedSince(const Drive& drive, const DiscStamp& before);

}  // namespace cdrip
