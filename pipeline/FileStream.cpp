#include "pipeline/FileStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <random>

#include "pipeline/ACS_Classes.h"

namespace cdx {

namespace {
std::string Reason(int err) {
  return std::strerror(err);
}
}  // namespace

TFileStream::TFileStream(const std::string& path, TOpenMode mode)
    : path_(path), displayName_(path) {
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
  throw EACSException(std::string(what) + " \"" + displayName_ + "\": " + Reason(errno));
}

std::unique_ptr<TFileStream> TFileStream::CreateTemporaryFor(const std::string& path) {
  auto stream = std::make_unique<TFileStream>(TTemporaryKey{});
  stream->displayName_ = path;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // Short enough for any file name the final one can have.
  const std::string name = path.substr(folder.size()).substr(0, kTemporaryStemBytes);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    stream->path_ = folder + "." + name + "." + std::to_string(random()) + ".part";
    stream->fd_ =
        ::open(stream->path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (stream->fd_ >= 0 || errno != EEXIST) break;
  }
  if (stream->fd_ < 0) stream->Fail("Cannot create file");
  return stream;
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
  // Hands what was written to the disk as the run goes, so the sync that
  // completes the file finds little left to wait for.
  unsynced_ += count;
  if (unsynced_ >= kWritebackBytes) {
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    unsynced_ = 0;
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

void TFileStream::Truncate(int64_t length) {
  while (::ftruncate(fd_, length) != 0)
    if (errno != EINTR) Fail("Cannot cut back file");
}

void TFileStream::Sync() {
  if (::fdatasync(fd_) != 0) Fail("Cannot write to file");
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

bool CanBeReplacedByAFile(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0)
    throw EACSException("Cannot create file \"" + to + "\": " + Reason(errno));
  // The folder's entry is what a crash could still lose.
  const size_t slash = to.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : to.substr(0, slash + 1);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void RemoveFileQuietly(const std::string& path) noexcept {
  ::unlink(path.c_str());
}

}  // namespace cdx
