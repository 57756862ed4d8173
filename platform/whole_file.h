// Reading a data file whole, the one way every reader of outside bytes gets them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The largest file read: far above the toy's largest (the 768 KB title picture), far below what
// would make a mistaken or hostile file costly to read.
constexpr size_t kMaxFileBytes = size_t(16) << 20;

// Reads a whole regular file of at most kMaxFileBytes. False with the reason when it cannot: the
// operating system's own ("No such file or directory", "Permission denied", "Is a directory"),
// "not a regular file" for a pipe or a device (never waited on), or its size when too large.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out, std::string* why);

}  // namespace platform
