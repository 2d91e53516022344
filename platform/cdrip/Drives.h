// Finding the drives: real devices, then disc images in the search
// folders; their names and root folders; opening them with libcdio.
#pragma once

#include <cdio/cdio.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/cdrip/DriveFolders.h"
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
// Folders searched for images (see cdrip.h for CDX_DISCS_DIR).
std::vector<std::string> ImageFolders();
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

// Reads the TOC: every track then the lead-out. False when there is no
// disc or the TOC is unusable. The TOC of a CUE/BIN image is kept while
// neither file changes (see FileStamp.h).
bool ReadDiscToc(const Drive& drive, std::vector<TOCENTRY>& toc);
// Drops the kept TOCs.
void ForgetImageTocs();

}  // namespace cdrip
