#include "platform/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace platform {

namespace {

bool Fail(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return false;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// "folder/stem-N.ext" for N >= 2.
std::string Numbered(const std::string& path, int n) {
  const size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

bool WriteAll(int fd, const uint8_t* bytes, size_t size, std::string* why) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(why, std::strerror(errno));
    done += size_t(n);
  }
  return true;
}

// Flushes a folder's entries, so that a rename in it survives a crash. Some file systems cannot
// flush a folder; the file itself is already on the disk then, so that is no failure.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Gives the file its final name only if the name is free, in one step even when another program
// takes the name meanwhile; false with errno EEXIST when taken.
bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without that kind of rename: a second name never replaces either.
  return link(from.c_str(), to.c_str()) == 0;
}

}  // namespace

bool WriteFileSafely(const std::string& path, const uint8_t* bytes, size_t size, ExistingFile mode,
                     std::string* written, std::string* why, WriteFault fault) {
  // Past a file-size limit the kernel would end the program with SIGXFSZ; ignored, the write
  // fails with EFBIG instead, and nothing is lost.
  static const bool size_signal_ignored = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  (void)size_signal_ignored;
  const std::string folder = FolderOf(path);
  const std::string base =
      path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  // Hidden, so that a file manager open on the folder does not show it while it is written.
  std::string temp_name = folder + "/." + base + ".XXXXXX";
  std::vector<char> temp(temp_name.begin(), temp_name.end());
  temp.push_back('\0');
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Fail(why, "cannot write in " + folder + ": " + std::strerror(errno));
  temp_name = temp.data();
  std::string reason;
  bool ok = fault != WriteFault::kWrite || Fail(&reason, std::strerror(ENOSPC));
  ok = ok && WriteAll(fd, bytes, size, &reason);
  // Readable by others like any picture a person saves; mkostemp makes it private.
  if (ok && fchmod(fd, 0644) != 0) ok = Fail(&reason, std::strerror(errno));
  if (ok && fsync(fd) != 0) ok = Fail(&reason, std::strerror(errno));
  if (close(fd) != 0 && ok) ok = Fail(&reason, std::strerror(errno));
  if (ok && fault == WriteFault::kBeforeRename) ok = Fail(&reason, "interrupted before the rename");
  std::string target = path;
  if (ok && mode == ExistingFile::kReplace) {
    if (rename(temp_name.c_str(), target.c_str()) != 0) ok = Fail(&reason, std::strerror(errno));
  } else if (ok) {
    for (int n = 2;; ++n) {
      if (MoveWithoutReplacing(temp_name, target)) break;
      if (errno != EEXIST || n > 9999) {
        ok = Fail(&reason, std::strerror(errno));
        break;
      }
      target = Numbered(path, n);
    }
  }
  // Gone after a rename; after a link, or a failure, the name is removed here.
  unlink(temp_name.c_str());
  if (!ok) return Fail(why, "cannot write " + path + ": " + reason);
  SyncFolder(folder);
  if (written) *written = target;
  return true;
}

int RemoveStaleTemporaries(const std::string& folder, std::initializer_list<const char*> stems,
                           int age_seconds) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  const time_t now = time(nullptr);
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    // "." + a name of ours + "." + the six characters mkostemp chose.
    const std::string name = entry->d_name;
    if (name.size() < 9 || name[0] != '.' || name[name.size() - 7] != '.') continue;
    bool ours = false;
    for (const char* stem : stems) ours |= name.compare(1, std::strlen(stem), stem) == 0;
    if (!ours) continue;
    const std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        now - info.st_mtime < age_seconds)
      continue;
    removed += unlink(path.c_str()) == 0;
  }
  closedir(dir);
  return removed;
}

bool MakeFolders(const std::string& folder, std::string* why) {
  if (folder.empty()) return Fail(why, "no folder given");
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      return Fail(why, "cannot make " + part + ": " + std::strerror(errno));
  }
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return Fail(why, folder + " is not a folder");
  return true;
}

}  // namespace platform
