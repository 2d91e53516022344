// A file opened for a writer: every failure is an EACSException carrying the
// system's reason, so a full disk or an I/O error can never pass silently.
#pragma once

#include <cstdint>
#include <string>

namespace cdx {

class TFileStream {
 public:
  enum class TOpenMode {
    Create,          // create or truncate, read/write
    ReadWriteLocked  // existing file, read/write, exclusive advisory lock
  };

  TFileStream(const std::string& path, TOpenMode mode);
  ~TFileStream();
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  // Reads up to `count` bytes; fewer only at the end of the file.
  int64_t Read(void* buffer, int64_t count);
  // Writes all `count` bytes or throws.
  void Write(const void* buffer, int64_t count);
  int64_t Seek(int64_t offset, int whence);
  int64_t Position();
  int64_t Size();
  // Closes the file; some file systems report a failed write only here.
  // The destructor closes a file that is still open and ignores errors.
  void Close();
  const std::string& Path() const { return path_; }

 private:
  [[noreturn]] void Fail(const char* what) const;

  std::string path_;
  int fd_ = -1;
};

bool FileExists(const std::string& path);

}  // namespace cdx
