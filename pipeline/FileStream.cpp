#include "pipeline/FileStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "pipeline/ACS_Classes.h"

namespace cdx {

namespace {
std::string Reason(int err) {
  return std::strerror(err);
}
}  // namespace

TFileStream::TFileStream(const std::string& path, TOpenMode mode) : path_(path) {
  if (mode == TOpenMode::Create) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) Fail("Cannot create file");
    return;
  }
  fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) Fail("Cannot open file");
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd_);
    fd_ = -1;
    errno = err;
    Fail("Cannot open file");
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

void TFileStream::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail("Cannot close file");
}

void TFileStream::Fail(const char* what) const {
  throw EACSException(std::string(what) + " \"" + path_ + "\": " + Reason(errno));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  auto* p = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot read from file");
    if (n == 0) break;
    done += n;
  }
  return done;
}

void TFileStream::Write(const void* buffer, int64_t count) {
  auto* p = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot write to file");
    if (n == 0) {
      errno = EIO;
      Fail("Cannot write to file");
    }
    done += n;
  }
}

int64_t TFileStream::Seek(int64_t offset, int whence) {
  off_t r = ::lseek(fd_, offset, whence);
  if (r < 0) Fail("Cannot seek in file");
  return r;
}

int64_t TFileStream::Position() {
  return Seek(0, SEEK_CUR);
}

int64_t TFileStream::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail("Cannot read the size of file");
  return st.st_size;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace cdx
