#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

bool Fail(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return false;
}

// Closes the descriptor on every way out.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, std::string* why) {
  out->clear();
  // Non-blocking, so that a FIFO put where a file belongs cannot hang the open; the type check
  // below refuses it before any read.
  Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
  if (file.fd < 0) return Fail(why, std::strerror(errno));
  struct stat info;
  if (fstat(file.fd, &info) != 0) return Fail(why, std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return Fail(why, std::strerror(EISDIR));
  if (!S_ISREG(info.st_mode)) return Fail(why, "not a regular file");
  if (info.st_size < 0 || uint64_t(info.st_size) > kMaxFileBytes)
    return Fail(why, "file too large (" + std::to_string(info.st_size) + " bytes; at most " +
                         std::to_string(kMaxFileBytes) + " are read)");
  out->resize(size_t(info.st_size));
  size_t done = 0;
  while (done < out->size()) {
    ssize_t n = read(file.fd, out->data() + done, out->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(why, std::strerror(errno));
    if (n == 0) break;  // shrank while being read: keep what is there
    done += size_t(n);
  }
  out->resize(done);
  return true;
}

}  // namespace platform
