#include "readers.h"

#include <string>

#include "platform/audio/wav.h"
#include "platform/gdi/device_context.h"
#include "platform/image/picture.h"

namespace fuzz {

namespace {

// Folds every value into one, so that the reads cannot be optimised away and reach every byte.
uint32_t Checksum(const platform::image::Picture& picture) {
  uint32_t sum = 0;
  for (uint32_t texel : picture.argb) sum = sum * 31 + texel;
  return sum;
}

volatile uint32_t sink;

}  // namespace

void ReadBmp(const uint8_t* data, size_t size) {
  platform::image::Picture picture;
  std::string why;
  if (platform::image::DecodeBmp(data, size, &picture, &why)) sink = Checksum(picture);
}

void ReadPng(const uint8_t* data, size_t size) {
  platform::image::Picture picture;
  std::string why;
  if (platform::image::DecodePng(data, size, &picture, &why)) sink = Checksum(picture);
}

void ReadWav(const uint8_t* data, size_t size) {
  platform::audio::PcmSound sound;
  std::string why;
  if (!platform::audio::ParseWav(data, size, &sound, &why)) return;
  uint32_t sum = 0;
  for (int16_t sample : sound.samples) sum = sum * 31 + uint16_t(sample);
  sink = sum;
}

void ReadDib(const uint8_t* data, size_t size) {
  platform::image::BitmapLayout layout;
  std::string why;
  if (!platform::image::ParseBmp(data, size, &layout, &why)) return;
  namespace gdi = platform::gdi;
  gdi::DibSection section(64, 64);
  gdi::DeviceContext dc = gdi::DeviceContext::CreateCompatible(gdi::DeviceContext());
  dc.SelectObject(&section);
  const uint8_t* pixels = data + layout.pixel_offset;
  const size_t available = size - layout.pixel_offset;
  const int w = layout.width, h = layout.height;
  for (int offset : {0, -w / 2, 64 - w / 2})
    for (gdi::RasterOp op :
         {gdi::RasterOp::kSrcCopy, gdi::RasterOp::kSrcAnd, gdi::RasterOp::kSrcPaint})
      gdi::StretchDIBits(&dc, offset, offset, w, h, 0, 0, w, h, pixels, available, layout, op);
  sink = section.Bits()[0];
}

}  // namespace fuzz
