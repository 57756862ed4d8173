#include "platform/image/png_write.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace platform::image {

namespace {

// The picture's rows packed as libpng's simplified writer takes them: 8-bit channels, B G R A
// in memory order, which on a little-endian machine is the 0xAARRGGBB word.
std::vector<uint32_t> Packed(const uint32_t* pixels, int width, int height, int pitch_pixels,
                             bool with_alpha) {
  std::vector<uint32_t> packed(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels[size_t(y) * pitch_pixels + x];
      packed[size_t(y) * width + x] = with_alpha ? p : (p | 0xFF000000u);
    }
  return packed;
}

png_image Described(int width, int height, bool with_alpha) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = uint32_t(width);
  image.height = uint32_t(height);
  image.format = with_alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
  return image;
}

}  // namespace

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitch_pixels, bool with_alpha, std::string* why) {
  const std::vector<uint32_t> packed = Packed(pixels, width, height, pitch_pixels, with_alpha);
  png_image image = Described(width, height, true);
  if (!png_image_write_to_file(&image, path.c_str(), 0, packed.data(), 0, nullptr)) {
    if (why) *why = image.message;
    return false;
  }
  return true;
}

bool EncodePng(const uint32_t* pixels, int width, int height, int pitch_pixels,
               std::vector<uint8_t>* out, std::string* why) {
  // Three channels: an opaque picture needs no alpha, and its file is a quarter smaller.
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[size_t(y) * pitch_pixels + x];
      uint8_t* o = &rgb[3 * (size_t(y) * width + x)];
      o[0] = uint8_t(p), o[1] = uint8_t(p >> 8), o[2] = uint8_t(p >> 16);  // B G R
    }
  png_image image = Described(width, height, false);
  image.flags |= PNG_IMAGE_FLAG_FAST;  // files made on a keypress: speed before the last bytes
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) {
    if (why) *why = image.message;
    return false;
  }
  out->resize(size);
  if (!png_image_write_to_memory(&image, out->data(), &size, 0, rgb.data(), 0, nullptr)) {
    if (why) *why = image.message;
    return false;
  }
  out->resize(size);
  return true;
}

}  // namespace platform::image
