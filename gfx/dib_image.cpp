#include "gfx/dib_image.h"

#include <algorithm>
#include <cstring>

#include "platform/image/picture.h"
#include "platform/platform.h"
#include "platform/whole_file.h"

namespace gdi = platform::gdi;

bool DibImage::CreateDib(const gdi::DeviceContext& dc, int width, int height, int /*bits*/) {
  from_file_ = false;
  file_words_.clear();
  ++version_;
  width_ = width;
  height_ = height;
  buffer_.assign(size_t(width) * height * 3, 0);
  section_ = std::make_unique<gdi::DibSection>(width, height);
  layout_ = section_->Layout();
  dib_bits_ = section_->Bits();
  memory_dc_ = gdi::DeviceContext::CreateCompatible(dc);
  memory_dc_.SelectObject(section_.get());
  return true;
}

bool DibImage::LoadBmpFile(const std::string& name) {
  std::string why;
  platform::image::BitmapLayout layout;
  ++version_;
  buffer_.clear();
  if (!platform::ReadWholeFile(name, &buffer_, &why) ||
      !platform::image::ParseBmp(buffer_.data(), buffer_.size(), &layout, &why)) {
    buffer_.clear();
    buffer_.shrink_to_fit();
    file_words_.clear();
    file_words_.shrink_to_fit();
    pixels_ = nullptr;
    platform::SetLastError(platform::DataFileProblem(platform::DataKind::kPicture, name, why));
    return false;
  }
  layout_ = layout;
  pixels_ = buffer_.data() + layout.pixel_offset;
  width_ = layout.width;
  height_ = layout.height;
  from_file_ = true;
  // Read once here, whatever the file's layout, rather than unpacked on every draw.
  file_words_.resize(size_t(width_) * height_);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      file_words_[size_t(y) * width_ + x] = layout.ReadPixel(pixels_, x, y);
  file_words_layout_ = {};
  file_words_layout_.width = width_;
  file_words_layout_.height = height_;
  file_words_layout_.top_down = true;
  file_words_layout_.bit_count = 32;
  file_words_layout_.row_stride = size_t(width_) * 4;
  return true;
}

void DibImage::Blit(gdi::DeviceContext* dc, int x, int y, gdi::RasterOp op) const {
  if (from_file_) {
    gdi::StretchDIBits(dc, x, y, width_, height_, 0, 0, width_, height_,
                       reinterpret_cast<const uint8_t*>(file_words_.data()),
                       file_words_.size() * sizeof(uint32_t), file_words_layout_, op);
  } else if (memory_dc_.IsDrawable()) {
    gdi::BitBlt(dc, x, y, width_, height_, memory_dc_, 0, 0, op);
  }
}

const uint32_t* DibImage::DevicePixels() {
  if (!dib_bits_) return nullptr;
  if (device_pixels_version_ == version_ && !device_pixels_.empty()) return device_pixels_.data();
  device_pixels_.resize(size_t(width_) * height_);
  // Three bytes a pixel, blue, green, red, width * 3 bytes a row, as the pens write them.
  const uint8_t* src = dib_bits_;
  uint32_t* dst = device_pixels_.data();
  const size_t count = device_pixels_.size();
  size_t i = 0;
  // Four pixels from three little-endian words.
  for (; i + 4 <= count; i += 4, src += 12) {
    uint32_t a, b, c;
    std::memcpy(&a, src, 4);
    std::memcpy(&b, src + 4, 4);
    std::memcpy(&c, src + 8, 4);
    dst[i] = a & 0xFFFFFF;
    dst[i + 1] = (a >> 24) | ((b & 0xFFFF) << 8);
    dst[i + 2] = (b >> 16) | ((c & 0xFF) << 16);
    dst[i + 3] = c >> 8;
  }
  for (; i < count; ++i, src += 3) dst[i] = (src[2] << 16) | (src[1] << 8) | src[0];
  device_row_colours_.resize(size_t(height_));
  for (int y = 0; y < height_; ++y) {
    const uint32_t* row = dst + size_t(y) * width_;
    const bool one =
        width_ > 0 && std::all_of(row, row + width_, [&](uint32_t p) { return p == row[0]; });
    device_row_colours_[size_t(y)] = one ? row[0] : kMixedRow;
  }
  device_pixels_version_ = version_;
  return device_pixels_.data();
}
