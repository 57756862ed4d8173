// A construction file of some 160 KB whose chunk unpacks to the largest payload a file may claim,
// all zeros: its head names no picture sizes of ours, so a reader refuses it before the rest is
// unpacked.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/compression.h"
#include "platform/image/png_write.h"
#include "play/construction_file.h"
#include "play/snapshot_codec.h"

inline std::vector<uint8_t> ConstructionOfZeros() {
  const std::vector<uint8_t> zeros(SnapshotBytesLimit(), 0);
  platform::image::PngChunk chunk;
  std::copy(kConstructionChunk, kConstructionChunk + 4, chunk.type);
  for (uint32_t v :
       {kSnapshotVersion, uint32_t(zeros.size()), platform::Crc32(zeros.data(), zeros.size())})
    for (int i = 0; i < 4; ++i) chunk.data.push_back(uint8_t(v >> (8 * i)));
  const std::vector<uint8_t> packed = platform::Compress(zeros.data(), zeros.size());
  chunk.data.insert(chunk.data.end(), packed.begin(), packed.end());
  const std::vector<uint32_t> picture(640 * 480, 0xFFFFFF);
  std::vector<uint8_t> png;
  std::string why;
  platform::image::EncodePng(picture.data(), 640, 480, 640, &chunk, &png, &why);
  return png;
}
