// zlib for the program's own data: compress, decompress within a limit, and the CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A zlib stream of the bytes.
std::vector<uint8_t> Compress(const uint8_t* bytes, size_t size);

// Decompresses one whole zlib stream into *out, which must come to exactly `expected` bytes
// (at most `limit`). The output grows only as the stream yields bytes, never to the size a header
// claims, so a small file cannot make a large allocation. False with the reason.
bool Decompress(const uint8_t* bytes, size_t size, size_t expected, size_t limit,
                std::vector<uint8_t>* out, std::string* why);

// The CRC-32 of PNG and zlib.
uint32_t Crc32(const uint8_t* bytes, size_t size, uint32_t crc = 0);

}  // namespace platform
