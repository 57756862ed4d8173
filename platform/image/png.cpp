#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/image/picture.h"

namespace platform::image {

namespace {

constexpr size_t kSignatureSize = 8;
constexpr size_t kChunkOverhead = 12;  // length, type and CRC around the data
constexpr uint32_t kLongestChunk = 0x7FFFFFFF;
// The most libpng may allocate for one chunk it keeps, decompressed; ours carry none that big.
constexpr png_alloc_size_t kChunkAllocLimit = png_alloc_size_t(1) << 20;
// The chunks that make no difference to the texels: skipped unread, so that none of their
// contents (text, compressed or not, profiles, histograms) costs anything.
constexpr png_byte kSkippedChunks[] =
    "bKGD\0eXIf\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0"
    "sCAL\0sPLT\0tEXt\0tIME\0zTXt";
constexpr int kSkippedChunkCount = 14;

bool Fail(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  return false;
}

uint32_t Be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Every chunk from the signature up to IEND lies whole inside the bytes held, so that no length
// libpng reads can make it allocate for data that is not there.
bool ChunksFit(const uint8_t* data, size_t size, std::string* why) {
  size_t at = kSignatureSize;
  for (;;) {
    if (size - at < kChunkOverhead)
      return Fail(
          why, "bad PNG: the file ends before its IEND chunk (at byte " + std::to_string(at) + ")");
    const uint32_t length = Be32(data + at);
    const std::string type(reinterpret_cast<const char*>(data + at + 4), 4);
    const size_t room = size - at - kChunkOverhead;
    if (length > kLongestChunk || length > room)
      return Fail(why, "bad PNG: chunk at byte " + std::to_string(at) + " declares " +
                           std::to_string(length) + " bytes of data, but only " +
                           std::to_string(room) + " follow it");
    if (type == "IEND") return true;
    at += kChunkOverhead + length;
  }
}

// What libpng reads from and reports into, reached through its io and error pointers.
struct Source {
  const uint8_t* data;
  size_t size;
  size_t at;
  char message[200];
  char warning[200];  // the last one: the reason behind an error such as "Invalid IHDR data"
};

void ReadBytes(png_structp png, png_bytep out, size_t count) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (count > source->size - source->at) png_error(png, "read beyond end of data");
  std::memcpy(out, source->data + source->at, count);
  source->at += count;
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  auto* source = static_cast<Source*>(png_get_error_ptr(png));
  std::snprintf(source->message, sizeof source->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp message) {
  auto* source = static_cast<Source*>(png_get_error_ptr(png));
  std::snprintf(source->warning, sizeof source->warning, "%s", message);
}

// What the decode fills, owned by the caller's frame: libpng's errors jump back into Decode,
// which must hold nothing that needs destroying.
struct Decoded {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  std::vector<png_bytep> rows;
  std::string refusal;  // ours; libpng's own reason is in the source's message
};

// The transforms the simplified reader makes for 8-bit BGRA: palette and low depths expanded,
// grey made colour, 16-bit input taken as linear and scaled to 8-bit sRGB, opaque alpha added.
void AskForBgra(png_structp png, png_infop info) {
  const int colour = png_get_color_type(png, info);
  const bool wide = png_get_bit_depth(png, info) == 16;
  png_set_expand(png);
  if ((colour & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  png_set_alpha_mode_fixed(png, PNG_ALPHA_PNG, wide ? PNG_GAMMA_LINEAR : PNG_DEFAULT_sRGB);
  if (wide) png_set_scale_16(png);
  const bool has_alpha =
      (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
  if (!has_alpha) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_alpha_mode_fixed(png, PNG_ALPHA_PNG, PNG_DEFAULT_sRGB);
  png_set_bgr(png);
}

bool Decode(png_structp png, png_infop info, Decoded* out, size_t file_size) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(png, kChunkAllocLimit);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
  png_read_info(png, info);
  const uint32_t width = png_get_image_width(png, info);
  const uint32_t height = png_get_image_height(png, info);
  // Both checks come before the pixel buffer is allocated.
  if (int64_t(width) * height > kMaxPixels) {
    out->refusal = "PNG too large (more than " + std::to_string(kMaxPixels) + " pixels)";
    return false;
  }
  // Every row holds a filter byte and at least one bit per pixel, and deflate expands a byte into
  // at most 1032: a file too short to hold that many rows is refused without decoding it.
  const uint64_t least_raw = uint64_t(height) * (1 + (uint64_t(width) + 7) / 8);
  if (least_raw > uint64_t(file_size) * 1032) {
    out->refusal = "PNG file too short for its dimensions";
    return false;
  }
  AskForBgra(png, info);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  // The buffer is sized from the format asked for, never from the file's own depth.
  if (png_get_rowbytes(png, info) != size_t(width) * 4) {
    out->refusal = "unexpected PNG row size";
    return false;
  }
  out->width = width;
  out->height = height;
  out->pixels.resize(size_t(width) * height);
  out->rows.resize(height);
  for (uint32_t y = 0; y < height; ++y)
    out->rows[y] = reinterpret_cast<png_bytep>(out->pixels.data() + size_t(y) * width);
  png_read_image(png, out->rows.data());
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, Picture* out, std::string* why) {
  static const uint8_t kSignature[kSignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (size < kSignatureSize || std::memcmp(data, kSignature, kSignatureSize) != 0)
    return Fail(why, "not a PNG file (no PNG signature)");
  if (!ChunksFit(data, size, why)) return false;
  Source source{data, size, 0, "unknown error", ""};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return Fail(why, "out of memory for the PNG reader");
  }
  png_set_read_fn(png, &source, ReadBytes);
  Decoded decoded;
  const bool ok = Decode(png, info, &decoded, size);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok && !decoded.refusal.empty()) return Fail(why, decoded.refusal);
  if (!ok)
    return Fail(why, std::string("bad PNG: ") + source.message +
                         (*source.warning ? std::string(" (") + source.warning + ")" : ""));
  // BGRA bytes in memory read as 0xAARRGGBB on a little-endian machine.
  out->width = int(decoded.width);
  out->height = int(decoded.height);
  out->argb = std::move(decoded.pixels);
  return true;
}

}  // namespace platform::image
