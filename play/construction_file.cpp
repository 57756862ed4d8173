#include "play/construction_file.h"

#include <algorithm>

#include "platform/compression.h"
#include "platform/image/png_chunk.h"
#include "platform/image/png_write.h"
#include "platform/whole_file.h"
#include "play/snapshot_codec.h"

namespace {

// The chunk: format version, unpacked length, CRC-32 of the unpacked bytes (each 4 bytes,
// little-endian), then the zlib stream.
constexpr size_t kChunkHeader = 12;

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool MakeConstructionPng(const Snapshot& snapshot, const uint32_t* picture, int width, int height,
                         std::vector<uint8_t>* png, std::string* why) {
  const std::vector<uint8_t> payload = EncodeSnapshot(snapshot);
  const std::vector<uint8_t> packed = platform::Compress(payload.data(), payload.size());
  if (packed.empty()) {
    *why = "cannot pack the construction";
    return false;
  }
  platform::image::PngChunk chunk;
  std::copy(kConstructionChunk, kConstructionChunk + 4, chunk.type);
  chunk.data.reserve(kChunkHeader + packed.size());
  PutU32(&chunk.data, kSnapshotVersion);
  PutU32(&chunk.data, uint32_t(payload.size()));
  PutU32(&chunk.data, platform::Crc32(payload.data(), payload.size()));
  chunk.data.insert(chunk.data.end(), packed.begin(), packed.end());
  // Level 3: a save must not hold up the frame; the picture is a few tens of kilobytes either way.
  return platform::image::EncodePng(picture, width, height, width, &chunk, png, why, 3);
}

bool ReadConstructionPng(const uint8_t* bytes, size_t size, Snapshot* out, std::string* why) {
  const uint8_t* data = nullptr;
  uint32_t length = 0;
  switch (platform::image::FindPngChunk(bytes, size, kConstructionChunk, &data, &length, why)) {
    case platform::image::ChunkSearch::kFound:
      break;
    case platform::image::ChunkSearch::kAbsent:
      // Some image editors drop chunks they do not know when they save a picture again.
      *why += " (if it was saved by Zentrova, an image editor may have re-saved it without it)";
      return false;
    default:
      return false;
  }
  if (length < kChunkHeader) {
    *why = "the construction in the picture is cut short";
    return false;
  }
  const uint32_t version = GetU32(data);
  const uint32_t unpacked = GetU32(data + 4);
  const uint32_t crc = GetU32(data + 8);
  if (!CheckSnapshotVersion(version, why)) return false;
  if (unpacked > SnapshotBytesLimit()) {
    *why = "the construction claims to be too large (" + std::to_string(unpacked) + " bytes)";
    return false;
  }
  std::vector<uint8_t> payload;
  std::string reason;
  // The head says how long the rest must be: a stream that cannot match it is not unpacked.
  bool head_refused = false;
  const platform::UnpackCheck head{kSnapshotHeadBytes, [&](const uint8_t* first, std::string* w) {
                                     head_refused = !CheckSnapshotHead(first, unpacked, w);
                                     return !head_refused;
                                   }};
  if (!platform::Decompress(data + kChunkHeader, length - kChunkHeader, unpacked,
                            SnapshotBytesLimit(), &payload, &reason, &head)) {
    *why = head_refused ? reason : "the construction in the picture is damaged (" + reason + ")";
    return false;
  }
  if (platform::Crc32(payload.data(), payload.size()) != crc) {
    *why = "the construction in the picture is damaged (checksum)";
    return false;
  }
  return DecodeSnapshot(payload.data(), payload.size(), version, out, why);
}

bool LoadConstructionFile(const std::string& path, Snapshot* out, std::string* why) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!platform::ReadWholeFile(path, &bytes, &reason)) {
    *why = path + ": " + reason;
    return false;
  }
  if (!ReadConstructionPng(bytes.data(), bytes.size(), out, &reason)) {
    *why = path + ": " + reason;
    return false;
  }
  return true;
}
