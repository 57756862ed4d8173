// Builds BMP files byte by byte, so that tests can make every layout and every lie a header can
// tell.
#pragma once

#include <cstdint>
#include <vector>

struct BmpShape {
  int width = 2;
  int height = 2;  // negative: top-down
  int bits = 24;
  uint32_t compression = 0;
  uint32_t masks[3] = {0, 0, 0};
  int header_size = 40;
};

// Pixels given top row first as 0x00RRGGBB, written in that shape's layout.
inline std::vector<uint8_t> MakeBmp(const BmpShape& shape, const std::vector<uint32_t>& pixels) {
  const int w = shape.width, h = shape.height < 0 ? -shape.height : shape.height;
  const size_t stride = (size_t(w) * shape.bits / 8 + 3) & ~size_t(3);
  const size_t masks = shape.compression == 3 ? 12 : 0;
  const size_t offset = 14 + size_t(shape.header_size) + masks;
  std::vector<uint8_t> out(offset + stride * h, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, uint32_t(out.size()));
  put32(10, uint32_t(offset));
  put32(14, uint32_t(shape.header_size));
  put32(18, uint32_t(w));
  put32(22, uint32_t(shape.height));
  out[26] = 1;
  out[28] = uint8_t(shape.bits);
  put32(30, shape.compression);
  for (int i = 0; i < 3 && masks; ++i) put32(14 + shape.header_size + 4 * i, shape.masks[i]);
  for (int y = 0; y < h && !pixels.empty(); ++y) {
    const int file_row = shape.height < 0 ? y : h - 1 - y;
    uint8_t* row = &out[offset + size_t(file_row) * stride];
    for (int x = 0; x < w; ++x) {
      const uint32_t p = pixels[size_t(y) * w + x];
      const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (shape.bits == 24) {
        row[3 * x] = uint8_t(b), row[3 * x + 1] = uint8_t(g), row[3 * x + 2] = uint8_t(r);
      } else if (shape.bits == 32) {
        for (int i = 0; i < 4; ++i) row[4 * x + i] = uint8_t(p >> (8 * i));
      } else if (shape.bits == 16) {
        uint16_t v = shape.compression == 3 && shape.masks[1] == 0x07E0
                         ? uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))
                         : uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        row[2 * x] = uint8_t(v), row[2 * x + 1] = uint8_t(v >> 8);
      }
    }
  }
  return out;
}
