// Decoding of the picture files the program reads: BMP (16, 24, 32 bits) and PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/image/bitmap_layout.h"

namespace platform::image {

// A decoded picture: 0xAARRGGBB texels, row 0 at the top.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;
};

// The largest side accepted, far above anything the program draws.
constexpr int kMaxSide = 8192;
// The most pixels a picture may have: sixteen times the toy's largest (the 512 x 512 title), so
// that a few bytes of header cannot buy a large allocation.
constexpr int64_t kMaxPixels = int64_t(2048) * 2048;

// Checks a BMP held in memory: signature, pixel offset, header size, dimensions, bits per pixel,
// compression and that every row lies inside the data. False with the reason when any does not.
bool ParseBmp(const uint8_t* data, size_t size, BitmapLayout* out, std::string* why);

bool DecodeBmp(const uint8_t* data, size_t size, Picture* out, std::string* why);
bool DecodePng(const uint8_t* data, size_t size, Picture* out, std::string* why);
// Decodes a BMP or a PNG by its signature.
bool DecodePicture(const uint8_t* data, size_t size, Picture* out, std::string* why);
bool LoadPictureFile(const std::string& path, Picture* out, std::string* why);

}  // namespace platform::image
