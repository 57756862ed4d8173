#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::image {

// Writes pixels (0xAARRGGBB, or 0x00RRGGBB written opaque when with_alpha is false) as a PNG.
// False with the reason when the file cannot be written.
bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitch_pixels, bool with_alpha, std::string* why);

// One chunk of a PNG file: four letters and its data.
struct PngChunk {
  char type[5] = {};
  std::vector<uint8_t> data;
};

// An opaque 8-bit RGB PNG of 0x00RRGGBB pixels in memory, with `extra` (if any) written after the
// image data, deflated at zlib's `level` (1 fastest, 9 smallest). False with the reason.
bool EncodePng(const uint32_t* pixels, int width, int height, int pitch_pixels,
               const PngChunk* extra, std::vector<uint8_t>* out, std::string* why, int level = 6);

}  // namespace platform::image
