// A saved construction is a picture: a standard PNG of the view, and in one private chunk of its
// own ("zeNt": ancillary, private, safe to copy) the snapshot, packed with zlib and guarded by
// its own length and checksum. Any viewer shows the picture; the toy reads the chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "play/snapshot.h"

// The chunk's type.
inline constexpr char kConstructionChunk[5] = "zeNt";

// The PNG of a 640x480 picture (0x00RRGGBB) holding the snapshot. False with the reason.
bool MakeConstructionPng(const Snapshot& snapshot, const uint32_t* picture, int width, int height,
                         std::vector<uint8_t>* png, std::string* why);

// Reads the snapshot out of a PNG held in memory; false with one reason a person can read.
bool ReadConstructionPng(const uint8_t* bytes, size_t size, Snapshot* out, std::string* why);

// The same from a file, which is read as hostile: a regular file of bounded size only.
bool LoadConstructionFile(const std::string& path, Snapshot* out, std::string* why);
