#include "platform/cdrip/DriveScene.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/cdrip/Drives.h"

namespace fs = std::filesystem;

namespace cdrip {

namespace {

bool Look(const std::string& path, DriveScene::Entry& entry) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  entry = {path, st.st_dev, st.st_ino, st.st_size,
           st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
  return true;
}

// A data file still being copied changes size and time; a new or removed
// one changes the folder's listing, and so what the drives would be.
void AddFolder(const std::string& folder, std::vector<DriveScene::Entry>& entries) {
  DriveScene::Entry entry;
  if (!Look(folder, entry)) return;
  entries.push_back(entry);
  std::error_code ec;
  for (const auto& file : fs::directory_iterator(folder, ec))
    if (Look(file.path().string(), entry)) entries.push_back(entry);
}

}  // namespace

bool DiscIn(const std::string& device) {
  // Non-blocking: an empty drive opens at once, and no disc is spun up.
  int fd = ::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int status = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
  ::close(fd);
  return status == CDS_DISC_OK;
}

DriveScene LookAtDrives() {
  DriveScene scene;
  for (const auto& path : DevicePaths()) scene.devices.push_back({path, DiscIn(path)});
  for (const auto& folder : ImageFolders()) AddFolder(folder, scene.entries);
  std::sort(scene.entries.begin(), scene.entries.end(),
            [](const auto& a, const auto& b) { return a.path < b.path; });
  return scene;
}

}  // namespace cdrip
