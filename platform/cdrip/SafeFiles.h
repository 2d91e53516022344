// Opening files without being led astray: a FIFO put where a file was
// expected must not block us, nor a planted symbolic link redirect a write.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace cdrip {

// A file descriptor closed with its owner.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

// What the file at `path` is ("a folder", "a FIFO", "a device"...) when it
// exists and is not a regular file; "" otherwise.
std::string NotARegularFile(const std::string& path);

// Reads the whole file when it is a regular one of at most `maxBytes`; a
// symbolic link is followed only when `followLink`.
bool ReadRegularFile(const std::string& path, size_t maxBytes, std::string& text,
                     bool followLink = true);

// Puts a file of `bytes` (mode 0644) at `path` through a fresh file of a
// random name beside it, so that nothing planted at either name is written
// through; false, leaving `path` as it was, when that fails.
bool ReplaceFile(const std::string& path, std::string_view bytes);

}  // namespace cdrip
