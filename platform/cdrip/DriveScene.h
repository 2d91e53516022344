// A cheap look at what listing the drives would find, so that a window can
// ask every few seconds whether the drives changed without reading a TOC:
// whether each of the machine's drives holds a disc (a status query that
// neither spins the disc up nor locks the tray), and the files of the image
// folders as stat sees them.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace cdrip {

struct DriveScene {
  struct Device {
    std::string path;
    bool discIn = false;
    bool operator==(const Device&) const = default;
  };
  // A file of an image folder, or the folder itself.
  struct Entry {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long modifiedNs = 0;
    bool operator==(const Entry&) const = default;
  };
  std::vector<Device> devices;
  std::vector<Entry> entries;  // sorted by path
  bool operator==(const DriveScene&) const = default;
};

// The devices as libcdio lists them (none under CDX_NO_DEVICES), and the
// entries of the image folders.
DriveScene LookAtDrives();

// Whether the CD drive at `device` reports a disc in it; false when the
// drive is gone, empty, its tray open or the disc still loading.
bool DiscIn(const std::string& device);

}  // namespace cdrip
