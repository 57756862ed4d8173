#include "gfx/dib_image.h"

#include "platform/image/picture.h"
#include "platform/platform.h"
#include "platform/whole_file.h"

namespace gdi = platform::gdi;

bool DibImage::CreateDib(const gdi::DeviceContext& dc, int width, int height, int /*bits*/) {
  from_file_ = false;
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
    pixels_ = nullptr;
    platform::SetLastError(name + ": " + why);
    return false;
  }
  layout_ = layout;
  pixels_ = buffer_.data() + layout.pixel_offset;
  width_ = layout.width;
  height_ = layout.height;
  from_file_ = true;
  return true;
}

void DibImage::Blit(gdi::DeviceContext* dc, int x, int y, gdi::RasterOp op) const {
  if (from_file_) {
    size_t available = buffer_.size() - layout_.pixel_offset;
    gdi::StretchDIBits(dc, x, y, width_, height_, 0, 0, width_, height_, pixels_, available,
                       layout_, op);
  } else if (memory_dc_.IsDrawable()) {
    gdi::BitBlt(dc, x, y, width_, height_, memory_dc_, 0, 0, op);
  }
}
