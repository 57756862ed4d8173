// Writing a file so that a crash, a full disk or a pulled plug leaves either the old file or the
// new one whole, never half of one: a temporary file in the same folder, flushed to the disk,
// then renamed into place, and the folder flushed so that the rename itself is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace platform {

enum class ExistingFile {
  kKeep,     // a taken name is never overwritten: "name-2.ext", "name-3.ext", ... instead
  kReplace,  // the new file takes the old one's place in one step
};

// Where a test makes the write fail on purpose, as a full disk or a crash would.
enum class WriteFault { kNone, kWrite, kBeforeRename };

// Writes `size` bytes to `path` (its folder must exist). A file-size limit (ulimit -f) makes it
// fail with the reason instead of ending the program. With kKeep and a taken name, the
// file goes to the first free "stem-N.ext" beside it. True with the name used in *written; false
// with the reason, the old file untouched and no temporary file left behind.
bool WriteFileSafely(const std::string& path, const uint8_t* bytes, size_t size, ExistingFile mode,
                     std::string* written, std::string* why, WriteFault fault = WriteFault::kNone);

// Removes from `folder` what writes of names starting with one of `stems` left behind when the
// program was killed before their rename ("." + name + ".XXXXXX"), once older than `age_seconds`
// (a younger one may be another program's write going on). Returns how many went.
int RemoveStaleTemporaries(const std::string& folder, std::initializer_list<const char*> stems,
                           int age_seconds);

// Makes the folder and any missing parents (private to the user where made); false with the
// reason.
bool MakeFolders(const std::string& folder, std::string* why);

}  // namespace platform
