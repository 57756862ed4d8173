#pragma once

#include <cstdint>
#include <string>

namespace platform::image {

// Writes pixels (0xAARRGGBB, or 0x00RRGGBB written opaque when with_alpha is false) as a PNG.
// False with the reason when the file cannot be written.
bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height,
              int pitch_pixels, bool with_alpha, std::string* why);

}  // namespace platform::image
