// zlib for the program's own data: compress, decompress within a limit, and the CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// A zlib stream of the bytes.
std::vector<uint8_t> Compress(const uint8_t* bytes, size_t size);

// A look at the first `bytes` unpacked, before any more are: false stops the unpacking, with
// the reason, so that a header that cannot be right costs no more than itself.
struct UnpackCheck {
  size_t bytes = 0;
  std::function<bool(const uint8_t* first, std::string* why)> check;
};

// Decompresses one whole zlib stream into *out, which must come to exactly `expected` bytes
// (at most `limit`). The output grows only as the stream yields bytes, never to the size a header
// claims, so a small file cannot make a large allocation. False with the reason.
bool Decompress(const uint8_t* bytes, size_t size, size_t expected, size_t limit,
                std::vector<uint8_t>* out, std::string* why, const UnpackCheck* check = nullptr);

// The CRC-32 of PNG and zlib.
uint32_t Crc32(const uint8_t* bytes, size_t size, uint32_t crc = 0);

}  // namespace platform
