#include "platform/apecompress/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace apecompress {

OutputFile::~OutputFile() {
  Close();
}

bool OutputFile::Create(const char* path) {
  Close();
  fd_ = ::open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  path_ = path;
  struct stat info {};
  created_ = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
  device_ = info.st_dev;
  inode_ = info.st_ino;
  return true;
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd_, p, size, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
    offset += uint64_t(n);
  }
  return true;
}

bool OutputFile::ReadAt(uint64_t offset, void* data, size_t size) {
  auto* p = static_cast<uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::pread(fd_, p, size, off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
    offset += uint64_t(n);
  }
  return true;
}

bool OutputFile::Close() {
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

void OutputFile::Discard() {
  Close();
  struct stat info {};
  if (created_ && ::stat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_dev == device_ && info.st_ino == inode_) {
    ::unlink(path_.c_str());
  }
  created_ = false;
}

}  // namespace apecompress
