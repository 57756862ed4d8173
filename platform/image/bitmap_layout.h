#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::image {

// Where the pixels of an uncompressed BMP (or a DIB section) lie and how to read them.
// Every field was checked against the bytes it describes before a layout is handed out.
struct BitmapLayout {
  int width = 0;
  int height = 0;         // always positive
  bool top_down = false;  // BMP height was negative
  int bit_count = 0;      // 16, 24 or 32
  bool bit_fields = false;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};  // red, green, blue (16 and 32 bits only)
  size_t row_stride = 0;                         // bytes per row, padded to 4
  size_t pixel_offset = 0;                       // from the start of the file

  // 0x00RRGGBB of pixel (x, y), y counted from the top of the picture.
  uint32_t ReadPixel(const uint8_t* pixels, int x, int y) const;
  // The alpha of pixel (x, y): 0xFF unless a 32-bit picture carries an alpha mask.
  size_t RowOffset(int y) const {
    return (top_down ? size_t(y) : size_t(height - 1 - y)) * row_stride;
  }
};

}  // namespace platform::image
