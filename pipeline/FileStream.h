// A file opened for a writer: every failure is an EACSException carrying the
// system's reason, so a full disk or an I/O error can never pass silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace cdx {

class TFileStream {
 public:
  enum class TOpenMode {
    Create,          // create or truncate, read/write
    ReadWriteLocked  // existing file, read/write, exclusive advisory lock
  };

  TFileStream(const std::string& path, TOpenMode mode);
  // A new file with a hidden, random name in the folder of `path`, made
  // with the permissions a new `path` would get, for a writer that moves it
  // onto `path` once the file is complete. Messages name `path`.
  static std::unique_ptr<TFileStream> CreateTemporaryFor(const std::string& path);
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
  // Cuts the file to `length` bytes.
  void Truncate(int64_t length);
  // Waits until the file's data is on the disk.
  void Sync();
  // Closes the file; some file systems report a failed write only here.
  // The destructor closes a file that is still open and ignores errors.
  void Close();
  // Where the file is; its messages name DisplayName().
  const std::string& Path() const { return path_; }
  const std::string& DisplayName() const { return displayName_; }

 private:
  struct TTemporaryKey {};

 public:
  explicit TFileStream(TTemporaryKey) {}

 private:
  [[noreturn]] void Fail(const char* what) const;

  std::string path_;
  std::string displayName_;
  int fd_ = -1;
  static constexpr int64_t kWritebackBytes = 4 << 20;
  int64_t unsynced_ = 0;
};

// The hidden name CreateTemporaryFor gives: "." + the first
// kTemporaryStemBytes bytes of the final name + "." + a number of at most
// 10 digits + ".part".
inline constexpr size_t kTemporaryStemBytes = 200;
inline constexpr size_t kTemporaryExtraBytes = 1 + 1 + 10 + 5;
// The most bytes the hidden name of a file named with `nameBytes` bytes has.
constexpr size_t TemporaryNameBytes(size_t nameBytes) {
  return kTemporaryExtraBytes + (nameBytes < kTemporaryStemBytes ? nameBytes : kTemporaryStemBytes);
}

bool FileExists(const std::string& path);
// Whether `path` names nothing, a regular file or a symbolic link: what a
// finished file may be moved onto.
bool CanBeReplacedByAFile(const std::string& path);
// Moves the file `from` onto `to` in one step, replacing what `to` was,
// and makes the move itself durable. Messages name `to`.
void ReplaceFile(const std::string& from, const std::string& to);
// Removes `path` if it can; never throws.
void RemoveFileQuietly(const std::string& path) noexcept;

}  // namespace cdx
