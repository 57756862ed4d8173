#include <bit>
#include <cstdio>
#include <cstring>

#include "platform/image/picture.h"
#include "platform/whole_file.h"

namespace platform::image {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitFields = 3;
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

uint32_t U32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}

// Scales a masked channel value to 0..255.
uint32_t Channel(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = std::countr_zero(mask);
  uint32_t max = mask >> shift;
  return ((value & mask) >> shift) * 255u / max;
}

bool IsPng(const uint8_t* data, size_t size) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return size >= 8 && std::memcmp(data, kPng, 8) == 0;
}

bool Fail(std::string* why, const char* reason) {
  if (why) *why = reason;
  return false;
}

}  // namespace

uint32_t BitmapLayout::ReadPixel(const uint8_t* pixels, int x, int y) const {
  const uint8_t* row = pixels + RowOffset(y);
  switch (bit_count) {
    case 24: {
      const uint8_t* p = row + size_t(x) * 3;
      return p[0] | (p[1] << 8) | (p[2] << 16);
    }
    case 32: {
      uint32_t v = U32(row + size_t(x) * 4);
      if (!bit_fields) return v & 0x00FFFFFF;
      return (Channel(v, masks[0]) << 16) | (Channel(v, masks[1]) << 8) | Channel(v, masks[2]);
    }
    default: {  // 16
      uint32_t v = U16(row + size_t(x) * 2);
      return (Channel(v, masks[0]) << 16) | (Channel(v, masks[1]) << 8) | Channel(v, masks[2]);
    }
  }
}

bool ParseBmp(const uint8_t* data, size_t size, BitmapLayout* out, std::string* why) {
  if (IsPng(data, size)) return Fail(why, "a PNG file where a BMP is expected");
  if (size < 2 || data[0] != 'B') return Fail(why, "not a BMP file (no 'B' signature)");
  if (size < kFileHeaderSize + kInfoHeaderSize) return Fail(why, "truncated BMP header");
  uint32_t pixel_offset = U32(data + 10);
  uint32_t header_size = U32(data + 14);
  if (header_size < kInfoHeaderSize || header_size > size - kFileHeaderSize)
    return Fail(why, "unsupported BMP header size");
  int32_t width = int32_t(U32(data + 18));
  int32_t height = int32_t(U32(data + 22));
  uint16_t bit_count = U16(data + 28);
  uint32_t compression = U32(data + 30);
  if (bit_count != 16 && bit_count != 24 && bit_count != 32)
    return Fail(why, "unsupported bits per pixel (16, 24 or 32 are read)");
  if (compression != kBiRgb && !(compression == kBiBitFields && bit_count != 24))
    return Fail(why, "unsupported BMP compression");
  if (width <= 0 || height == 0 || height == INT32_MIN) return Fail(why, "bad BMP dimensions");
  int64_t abs_height = height < 0 ? -int64_t(height) : height;
  if (width > kMaxSide || abs_height > kMaxSide || int64_t(width) * abs_height > kMaxPixels)
    return Fail(why, "BMP dimensions too large");

  BitmapLayout layout;
  layout.width = width;
  layout.height = int(abs_height);
  layout.top_down = height < 0;
  layout.bit_count = bit_count;
  layout.row_stride = (size_t(width) * bit_count / 8 + 3) & ~size_t(3);
  layout.pixel_offset = pixel_offset;
  if (bit_count == 32) {
    layout.masks[0] = 0x00FF0000;
    layout.masks[1] = 0x0000FF00;
    layout.masks[2] = 0x000000FF;
  }
  if (compression == kBiBitFields) {
    // The masks follow a 40-byte header; larger headers carry them inside.
    size_t mask_at = kFileHeaderSize + kInfoHeaderSize;
    if (mask_at + 12 > size) return Fail(why, "truncated BMP bit-field masks");
    for (int i = 0; i < 3; ++i) layout.masks[i] = U32(data + mask_at + 4 * i);
    if (layout.masks[0] == 0 || layout.masks[1] == 0 || layout.masks[2] == 0)
      return Fail(why, "empty BMP bit-field mask");
    layout.bit_fields = true;
  }
  if (pixel_offset < kFileHeaderSize + kInfoHeaderSize || pixel_offset > size)
    return Fail(why, "BMP pixel offset outside the file");
  if (layout.row_stride * size_t(layout.height) > size - pixel_offset)
    return Fail(why, "BMP pixel data shorter than its dimensions");
  *out = layout;
  return true;
}

bool DecodeBmp(const uint8_t* data, size_t size, Picture* out, std::string* why) {
  BitmapLayout layout;
  if (!ParseBmp(data, size, &layout, why)) return false;
  out->width = layout.width;
  out->height = layout.height;
  out->argb.resize(size_t(layout.width) * layout.height);
  const uint8_t* pixels = data + layout.pixel_offset;
  for (int y = 0; y < layout.height; ++y)
    for (int x = 0; x < layout.width; ++x)
      out->argb[size_t(y) * layout.width + x] = 0xFF000000u | layout.ReadPixel(pixels, x, y);
  return true;
}

bool DecodePicture(const uint8_t* data, size_t size, Picture* out, std::string* why) {
  if (IsPng(data, size)) return DecodePng(data, size, out, why);
  return DecodeBmp(data, size, out, why);
}

bool LoadPictureFile(const std::string& path, Picture* out, std::string* why) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes, why)) return false;
  // The contents decide; but a file named as a PNG that is not one is told as such, not as a
  // BMP without its signature.
  const bool named_png = path.size() >= 4 && (path.compare(path.size() - 4, 4, ".png") == 0 ||
                                              path.compare(path.size() - 4, 4, ".PNG") == 0);
  if (named_png && !(bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M'))
    return DecodePng(bytes.data(), bytes.size(), out, why);
  return DecodePicture(bytes.data(), bytes.size(), out, why);
}

}  // namespace platform::image
