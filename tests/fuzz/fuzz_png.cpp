// libFuzzer target: the PNG reader on arbitrary bytes. The signature is put back and every whole
// chunk's CRC made right before decoding, so that a mutation inside a chunk reaches the code that
// reads it instead of stopping at libpng's CRC check.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/compression.h"
#include "png_builder.h"
#include "readers.h"

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void RepairChunks(std::vector<uint8_t>* bytes) {
  if (bytes->size() < 8) return;
  std::memcpy(bytes->data(), png_builder::kSignature, 8);
  size_t at = 8;
  while (bytes->size() - at >= 12) {
    const uint32_t length = Be32(bytes->data() + at);
    if (length > bytes->size() - at - 12) return;  // the reader's own walk must refuse it
    uint8_t* type = bytes->data() + at + 4;
    const uint32_t crc = platform::Crc32(type, 4 + size_t(length));
    for (int b = 0; b < 4; ++b) type[4 + length + size_t(b)] = uint8_t(crc >> (24 - 8 * b));
    at += 12 + size_t(length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  RepairChunks(&bytes);
  fuzz::ReadPng(bytes.data(), bytes.size());
  return 0;
}
