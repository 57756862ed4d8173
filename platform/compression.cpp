#include "platform/compression.h"

#include <zlib.h>

#include <algorithm>

namespace platform {

std::vector<uint8_t> Compress(const uint8_t* bytes, size_t size) {
  uLongf bound = compressBound(uLong(size));
  std::vector<uint8_t> out(bound);
  // Level 1: the bytes are mostly long runs (white canvas, white texels, resting corners), which
  // the fastest level packs nearly as well as the strongest, at a fraction of the time.
  if (compress2(out.data(), &bound, bytes, uLong(size), 1) != Z_OK) return {};
  out.resize(bound);
  return out;
}

bool Decompress(const uint8_t* bytes, size_t size, size_t expected, size_t limit,
                std::vector<uint8_t>* out, std::string* why, const UnpackCheck* check) {
  out->clear();
  if (expected > limit) {
    *why = "too large when unpacked";
    return false;
  }
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    *why = "cannot unpack";
    return false;
  }
  stream.next_in = const_cast<uint8_t*>(bytes);
  stream.avail_in = uInt(std::min<size_t>(size, 0xFFFFFFFFu));
  int result = Z_OK;
  size_t produced = 0;
  // A stream too short for the look fails below anyway.
  bool looked = !check || check->bytes == 0 || check->bytes > expected;
  while (result == Z_OK) {
    // One byte more than expected is room to notice a stream that runs on.
    size_t room = std::min(expected + 1, std::max<size_t>(produced * 2, 65536));
    if (!looked) room = std::min(room, check->bytes);
    if (room <= produced) break;
    out->resize(room);
    stream.next_out = out->data() + produced;
    stream.avail_out = uInt(room - produced);
    result = inflate(&stream, Z_NO_FLUSH);
    produced = room - stream.avail_out;
    if (result == Z_BUF_ERROR && stream.avail_in == 0) break;  // the stream ends early
    if (!looked && produced == check->bytes) {
      looked = true;
      if (!check->check(out->data(), why)) {
        inflateEnd(&stream);
        out->clear();
        return false;
      }
    }
  }
  inflateEnd(&stream);
  out->resize(produced);
  if (result != Z_STREAM_END) {
    *why = produced > expected ? "longer than it says when unpacked" : "damaged or cut short";
    return false;
  }
  if (produced != expected || stream.avail_in != 0) {
    *why = "unpacked size does not match";
    return false;
  }
  return true;
}

uint32_t Crc32(const uint8_t* bytes, size_t size, uint32_t crc) {
  while (size > 0) {
    const uInt part = uInt(std::min<size_t>(size, 1u << 30));
    crc = uint32_t(crc32(crc, bytes, part));
    bytes += part;
    size -= part;
  }
  return crc;
}

}  // namespace platform
