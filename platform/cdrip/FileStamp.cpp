#include "platform/cdrip/FileStamp.h"

#include <sys/stat.h>

namespace cdrip {

namespace {

// The coarsest file time tick in use, two seconds on FAT: a file last
// stamped more than that before now gets a different time from any write
// still to come.
constexpr time_t kSettledSeconds = 2;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool FileStamp::Vouches(const FileStamp& later) const {
  return settled && device == later.device && inode == later.inode && size == later.size &&
         SameTime(modified, later.modified) && SameTime(changed, later.changed);
}

bool TakeStamp(const std::string& path, FileStamp& stamp) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modified = st.st_mtim;
  stamp.changed = st.st_ctim;
  time_t latest = st.st_mtim.tv_sec > st.st_ctim.tv_sec ? st.st_mtim.tv_sec : st.st_ctim.tv_sec;
  stamp.settled = latest + kSettledSeconds < now.tv_sec;
  return true;
}

}  // namespace cdrip
