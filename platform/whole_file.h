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

enum class DataKind { kPicture, kSound };

// What a person reads about one of the program's files that could not be used: what is wrong in
// their words, the file's whole path (the program's own names are relative to a folder the person
// never chose), and the reason, e.g. "its pictures are missing: /usr/share/zentrova/data/x.png: No
// such file or directory". Missing, unreadable or damaged is told from the file as it is now.
std::string DataFileProblem(DataKind kind, const std::string& path, const std::string& why);

}  // namespace platform
