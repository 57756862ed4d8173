#include "platform/image/png_write.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace platform::image {

bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitch_pixels, bool with_alpha, std::string* why) {
  std::vector<uint32_t> packed(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels[size_t(y) * pitch_pixels + x];
      packed[size_t(y) * width + x] = with_alpha ? p : (p | 0xFF000000u);
    }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = uint32_t(width);
  image.height = uint32_t(height);
  image.format = PNG_FORMAT_BGRA;
  if (!png_image_write_to_file(&image, path.c_str(), 0, packed.data(), 0, nullptr)) {
    if (why) *why = image.message;
    return false;
  }
  return true;
}

}  // namespace platform::image
