// Finding one chunk in a PNG file held in memory, trusting nothing the file says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::image {

enum class ChunkSearch {
  kFound,
  kNotPng,   // no PNG signature
  kAbsent,   // a PNG without the chunk
  kDamaged,  // a length past the end, or the chunk's CRC wrong
};

// Walks the chunks from the signature to IEND (or the end of the bytes), every length checked
// against the bytes held; on kFound, *data and *length show the first chunk of that type, whose
// CRC was checked. *why says what was wrong otherwise.
ChunkSearch FindPngChunk(const uint8_t* bytes, size_t size, const char type[4],
                         const uint8_t** data, uint32_t* length, std::string* why);

}  // namespace platform::image
