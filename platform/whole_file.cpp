#include "platform/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

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

std::string DataFileProblem(DataKind kind, const std::string& path, const std::string& why) {
  std::error_code error;
  std::filesystem::path whole = std::filesystem::absolute(path, error);
  const std::string shown = error ? path : whole.lexically_normal().string();
  const char* things = kind == DataKind::kPicture ? "pictures" : "sounds";
  struct stat info;
  std::string what;
  if (stat(path.c_str(), &info) != 0)
    what = errno == ENOENT || errno == ENOTDIR ? std::string("its ") + things + " are missing"
                                               : std::string("its ") + things + " cannot be read";
  else if (!S_ISREG(info.st_mode) || access(path.c_str(), R_OK) != 0)
    what = std::string("its ") + things + " cannot be read";
  else
    what = std::string("one of its ") + things + " is damaged";
  return what + ": " + shown + ": " + why;
}

}  // namespace platform
