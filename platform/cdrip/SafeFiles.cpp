#include "platform/cdrip/SafeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace cdrip {

std::string NotARegularFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  return "not a regular file";
}

bool ReadRegularFile(const std::string& path, size_t maxBytes, std::string& text, bool followLink) {
  // Opening a FIFO without O_NONBLOCK waits for a writer.
  int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
  UniqueFd fd(::open(path.c_str(), flags));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<size_t>(st.st_size) > maxBytes)
    return false;
  text.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::read(fd.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".XXXXXX";
  UniqueFd fd(::mkstemp(temp.data()));
  if (!fd) return false;
  bool written = ::fchmod(fd.get(), 0644) == 0 && WriteAll(fd.get(), bytes) &&
                 ::rename(temp.c_str(), path.c_str()) == 0;
  if (!written) ::unlink(temp.c_str());
  return written;
}

}  // namespace cdrip
