#include "platform/image/png_chunk.h"

#include <cstring>

#include "platform/compression.h"

namespace platform::image {

namespace {
constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

uint32_t BigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
}  // namespace

ChunkSearch FindPngChunk(const uint8_t* bytes, size_t size, const char type[4],
                         const uint8_t** data, uint32_t* length, std::string* why) {
  if (size < 8 || std::memcmp(bytes, kSignature, 8) != 0) {
    *why = "not a PNG picture";
    return ChunkSearch::kNotPng;
  }
  size_t at = 8;
  while (size - at >= 12) {
    const uint32_t n = BigEndian(bytes + at);
    const uint8_t* name = bytes + at + 4;
    // Lengths above 2^31 - 1 are invalid in PNG; anything past the end is a cut file.
    if (n > 0x7FFFFFFFu || n > size - at - 12) {
      *why = "the picture is cut short or damaged";
      return ChunkSearch::kDamaged;
    }
    if (std::memcmp(name, type, 4) == 0) {
      if (Crc32(name, size_t(n) + 4) != BigEndian(name + 4 + n)) {
        *why = "the construction in the picture is damaged (checksum)";
        return ChunkSearch::kDamaged;
      }
      *data = name + 4;
      *length = n;
      return ChunkSearch::kFound;
    }
    if (std::memcmp(name, "IEND", 4) == 0) {
      *why = "this picture holds no construction";
      return ChunkSearch::kAbsent;
    }
    at += size_t(n) + 12;
  }
  // No end chunk: the file was cut, possibly where the construction was.
  *why = "the picture is cut short or damaged";
  return ChunkSearch::kDamaged;
}

}  // namespace platform::image
