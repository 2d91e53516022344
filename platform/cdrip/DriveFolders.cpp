#include "platform/cdrip/DriveFolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "platform/cdrip/CdaFile.h"

namespace fs = std::filesystem;

namespace cdrip {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// A remover holds its exclusive lock for a moment; a folder it took away
// in between is made again.
constexpr int kHoldAttempts = 3;

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `fd` is still the folder at `name` of `parent` (-1: `name` is a path).
bool StillAt(int fd, int parent, const std::string& name) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 &&
         ::fstatat(parent < 0 ? AT_FDCWD : parent, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) ==
             0 &&
         SameFile(held, named);
}

// The names in the folder `fd`, "." and ".." left out; false when it
// cannot be read.
bool Names(int fd, std::vector<std::string>& names) {
  DIR* dir = ::fdopendir(::dup(fd));
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return true;
}

bool IsRegularFileIn(int folder, const std::string& name) {
  struct stat st {};
  return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

bool IsFolderIn(int folder, const std::string& name) {
  struct stat st {};
  return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// Removes the folder `name` of `base` when it is stale; see the header.
void RemoveIfStale(int base, const std::string& name) {
  UniqueFd folder(::openat(base, name.c_str(), kFolderFlags));
  if (!folder || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) return;
  std::vector<std::string> files;
  if (!StillAt(folder.get(), base, name) || !Names(folder.get(), files)) return;
  for (const auto& file : files)
    if (!IsCdaName(file) || !IsRegularFileIn(folder.get(), file)) return;
  for (const auto& file : files) ::unlinkat(folder.get(), file.c_str(), 0);
  // Fails, leaving the folder, when something was put in it meanwhile.
  ::unlinkat(base, name.c_str(), AT_REMOVEDIR);
}

}  // namespace

std::shared_ptr<const DriveFolderHold> HoldDriveFolder(const std::string& root) {
  std::string path = fs::path(root).lexically_normal().string();
  if (path.size() > 1 && path.back() == '/') path.pop_back();  // or a link would be followed
  for (int attempt = 0; attempt < kHoldAttempts; ++attempt) {
    std::error_code ec;
    fs::create_directories(path, ec);
    UniqueFd folder(::open(path.c_str(), kFolderFlags));
    if (!folder || ::flock(folder.get(), LOCK_SH) != 0) return nullptr;
    if (StillAt(folder.get(), -1, path))
      return std::make_shared<DriveFolderHold>(std::move(folder));
  }
  return nullptr;
}

void RemoveStaleDriveFolders(const std::string& base, const std::set<std::string>& drives) {
  if (base.empty()) return;
  UniqueFd folder(::open(base.c_str(), kFolderFlags));
  std::vector<std::string> names;
  if (!folder || !Names(folder.get(), names)) return;
  for (const auto& name : names)
    if (name[0] != '.' && !drives.count(name) && IsFolderIn(folder.get(), name))
      RemoveIfStale(folder.get(), name);
}

}  // namespace cdrip
