// What stat says of a file, to tell whether it may have changed since.
//
// A write changes the size or the modification time, a replacement the
// inode; but a write within the file system's time tick after the stamp was
// taken may leave the stamp as it was. So a stamp vouches for a file only
// when the file had been left alone for longer than any tick when the stamp
// was taken: "settled".
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>

namespace cdrip {

struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  timespec changed{};
  bool settled = false;  // untouched for longer than the coarsest tick

  // Same file, same size and times; never true of an unsettled stamp.
  bool Vouches(const FileStamp& later) const;
};

// False when the file cannot be stat'ed.
bool TakeStamp(const std::string& path, FileStamp& stamp);

}  // namespace cdrip
