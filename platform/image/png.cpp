#include <png.h>

#include <cstring>

#include "platform/image/picture.h"

namespace platform::image {

bool DecodePng(const uint8_t* data, size_t size, Picture* out, std::string* why) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) {
    if (why) *why = std::string("bad PNG: ") + image.message;
    return false;
  }
  if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
    png_image_free(&image);
    if (why) *why = "bad PNG dimensions";
    return false;
  }
  // Both checks come before the pixel buffer is allocated.
  if (int64_t(image.width) * image.height > kMaxPixels) {
    png_image_free(&image);
    if (why) *why = "PNG too large (more than " + std::to_string(kMaxPixels) + " pixels)";
    return false;
  }
  // Every row holds a filter byte and at least one bit per pixel, and deflate expands a byte into
  // at most 1032: a file too short to hold that many rows is refused without decoding it.
  const uint64_t least_raw = uint64_t(image.height) * (1 + (uint64_t(image.width) + 7) / 8);
  if (least_raw > uint64_t(size) * 1032) {
    png_image_free(&image);
    if (why) *why = "PNG file too short for its dimensions";
    return false;
  }
  // Always ask for 8-bit BGRA: libpng converts 16-bit and palette input itself, and the buffer is
  // sized from the format we request, never from the file's own depth.
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> pixels(size_t(image.width) * image.height);
  static_assert(sizeof(uint32_t) == 4);
  if (PNG_IMAGE_SIZE(image) != pixels.size() * 4) {
    png_image_free(&image);
    if (why) *why = "unexpected PNG buffer size";
    return false;
  }
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    if (why) *why = std::string("bad PNG: ") + image.message;
    png_image_free(&image);
    return false;
  }
  // BGRA bytes in memory read as 0xAARRGGBB on a little-endian machine.
  out->width = int(image.width);
  out->height = int(image.height);
  out->argb = std::move(pixels);
  return true;
}

}  // namespace platform::image
