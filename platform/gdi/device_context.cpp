#include "platform/gdi/device_context.h"

#include <algorithm>
#include <cstring>

namespace platform::gdi {

namespace {

uint32_t Combine(uint32_t dst, uint32_t src, RasterOp op) {
  switch (op) {
    case RasterOp::kSrcAnd:
      return dst & src;
    case RasterOp::kSrcPaint:
      return dst | src;
    case RasterOp::kSrcCopy:
      break;
  }
  return src;
}

// Narrows [x, x + w) x [y, y + h) so that it lies in [0, limit_w) x [first_row, limit_h),
// moving the source origin along; false when nothing is left.
bool Clip(int* x, int* y, int* w, int* h, int* sx, int* sy, int limit_w, int limit_h,
          int first_row = 0) {
  if (*x < 0) {
    *w += *x;
    *sx -= *x;
    *x = 0;
  }
  if (*y < first_row) {
    *h -= first_row - *y;
    *sy += first_row - *y;
    *y = first_row;
  }
  *w = std::min(*w, limit_w - *x);
  *h = std::min(*h, limit_h - *y);
  return *w > 0 && *h > 0;
}

}  // namespace

DibSection::DibSection(int width, int height) {
  layout_.width = width;
  layout_.height = height;
  layout_.bit_count = 24;
  layout_.row_stride = (size_t(width) * 3 + 3) & ~size_t(3);
  bits_.assign(layout_.row_stride * size_t(height), 0);
}

DeviceContext DeviceContext::ForSurface(uint32_t* pixels, int width, int height, int pitch_bytes) {
  DeviceContext dc;
  dc.surface_ = pixels;
  dc.width_ = width;
  dc.height_ = height;
  dc.pitch_ = pitch_bytes;
  return dc;
}

DeviceContext DeviceContext::RowsOnly(int first_row, int end_row) const {
  DeviceContext dc = *this;
  dc.first_row_ = std::clamp(first_row, FirstRow(), EndRow());
  dc.end_row_ = std::clamp(end_row, dc.first_row_, EndRow());
  return dc;
}

int DeviceContext::Width() const {
  return surface_ ? width_ : section_ ? section_->Width() : 0;
}
int DeviceContext::Height() const {
  return surface_ ? height_ : section_ ? section_->Height() : 0;
}

uint32_t DeviceContext::ReadPixel(int x, int y) const {
  if (surface_) {
    return reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(surface_) +
                                             size_t(y) * pitch_)[x] &
           0x00FFFFFF;
  }
  return section_->Layout().ReadPixel(section_->Bits(), x, y);
}

void DeviceContext::WritePixel(int x, int y, uint32_t rgb, RasterOp op) {
  if (surface_) {
    uint32_t* p =
        reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(surface_) + size_t(y) * pitch_) + x;
    *p = Combine(*p & 0x00FFFFFF, rgb, op);
    return;
  }
  uint8_t* p = section_->Bits() + section_->Layout().RowOffset(y) + size_t(x) * 3;
  uint32_t old = p[0] | (p[1] << 8) | (p[2] << 16);
  uint32_t v = Combine(old, rgb, op);
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
}

void DeviceContext::WriteRow(int x, int y, const uint32_t* src, int count, RasterOp op) {
  if (!surface_) {
    for (int i = 0; i < count; ++i) WritePixel(x + i, y, src[i], op);
    return;
  }
  uint32_t* p =
      reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(surface_) + size_t(y) * pitch_) + x;
  // The source's top bytes are dropped here, so that rows of 32-bit pictures come straight
  // from the picture.
  switch (op) {
    case RasterOp::kSrcCopy:
      for (int i = 0; i < count; ++i) p[i] = src[i] & 0x00FFFFFF;
      break;
    case RasterOp::kSrcAnd:
      for (int i = 0; i < count; ++i) p[i] &= src[i] & 0x00FFFFFF;
      break;
    case RasterOp::kSrcPaint:
      for (int i = 0; i < count; ++i) p[i] |= src[i] & 0x00FFFFFF;
      break;
  }
}

bool BitBlt(DeviceContext* dst, int x, int y, int w, int h, const DeviceContext& src, int sx,
            int sy, RasterOp op) {
  if (!dst->IsDrawable() || !src.IsDrawable()) return false;
  // Clip against the source first (shifting the destination with it), then against the destination.
  int cx = sx, cy = sy, cw = w, ch = h, dx = x, dy = y;
  if (!Clip(&cx, &cy, &cw, &ch, &dx, &dy, src.Width(), src.Height())) return true;
  if (!Clip(&dx, &dy, &cw, &ch, &cx, &cy, dst->Width(), dst->EndRow(), dst->FirstRow()))
    return true;
  uint32_t row[1024];
  for (int r = 0; r < ch; ++r) {
    for (int done = 0; done < cw; done += 1024) {
      const int count = std::min(1024, cw - done);
      for (int c = 0; c < count; ++c) row[c] = src.ReadPixel(cx + done + c, cy + r);
      dst->WriteRow(dx + done, dy + r, row, count, op);
    }
  }
  return true;
}

int StretchDIBits(DeviceContext* dst, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
                  int sh, const uint8_t* pixels, size_t pixels_size,
                  const image::BitmapLayout& layout, RasterOp op) {
  // Only the 1:1 case is drawn; nothing in the program stretches.
  if (!dst->IsDrawable() || pixels == nullptr || dw != sw || dh != sh) return 0;
  if (layout.row_stride * size_t(layout.height) > pixels_size) return 0;
  int w = dw, h = dh;
  if (!Clip(&sx, &sy, &w, &h, &dx, &dy, layout.width, layout.height)) return 0;
  if (!Clip(&dx, &dy, &w, &h, &sx, &sy, dst->Width(), dst->EndRow(), dst->FirstRow())) return 0;
  uint32_t row[1024];
  for (int r = 0; r < h; ++r) {
    for (int done = 0; done < w; done += 1024) {
      const int count = std::min(1024, w - done);
      if (layout.bit_count == 24) {
        const uint8_t* p = pixels + layout.RowOffset(sy + r) + size_t(sx + done) * 3;
        for (int c = 0; c < count; ++c, p += 3) row[c] = p[0] | (p[1] << 8) | (p[2] << 16);
      } else if (layout.bit_count == 32 && !layout.bit_fields) {
        const uint8_t* p = pixels + layout.RowOffset(sy + r) + size_t(sx + done) * 4;
        if (dst->IsSurface() && reinterpret_cast<uintptr_t>(p) % alignof(uint32_t) == 0) {
          dst->WriteRow(dx + done, dy + r, reinterpret_cast<const uint32_t*>(p), count, op);
          continue;
        }
        std::memcpy(row, p, size_t(count) * 4);
        for (int c = 0; c < count; ++c) row[c] &= 0x00FFFFFF;
      } else {
        for (int c = 0; c < count; ++c) row[c] = layout.ReadPixel(pixels, sx + done + c, sy + r);
      }
      dst->WriteRow(dx + done, dy + r, row, count, op);
    }
  }
  return h;
}

}  // namespace platform::gdi
