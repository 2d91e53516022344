// The compressed file on disk: positioned writes (the header and seek table
// are written last, in front of the audio) and removal of a file that must
// not be left behind.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace apecompress {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Creates or truncates the file. Returns false if it cannot be created.
  bool Create(const char* path);
  bool IsOpen() const { return fd_ >= 0; }
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  bool ReadAt(uint64_t offset, void* data, size_t size);
  // Closes the file; false if the last data could not be committed.
  bool Close();
  // Closes (if still open) and deletes the file, but only if the path still
  // names the regular file this object created (never a device such as
  // /dev/full).
  void Discard();

 private:
  int fd_ = -1;
  std::string path_;
  bool created_ = false;  // a regular file that Discard may delete
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace apecompress
