// A GDI stand-in: device contexts over 32-bit surfaces and 24-bit DIB sections, and the blits the
// palette, the cursors and the canvas need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/image/bitmap_layout.h"

namespace platform::gdi {

enum class RasterOp {
  kSrcCopy,   // dst = src
  kSrcAnd,    // dst &= src
  kSrcPaint,  // dst |= src
};

// A 24-bit bitmap section: bottom-up, rows padded to 4 bytes, blue-green-red per pixel.
class DibSection {
 public:
  DibSection(int width, int height);
  int Width() const { return layout_.width; }
  int Height() const { return layout_.height; }
  uint8_t* Bits() { return bits_.data(); }
  const uint8_t* Bits() const { return bits_.data(); }
  size_t BitsSize() const { return bits_.size(); }
  const image::BitmapLayout& Layout() const { return layout_; }

 private:
  image::BitmapLayout layout_;
  std::vector<uint8_t> bits_;
};

class DeviceContext {
 public:
  // An empty context: the window's own (the program only uses it to make compatible pictures).
  DeviceContext() = default;
  static DeviceContext ForSurface(uint32_t* pixels, int width, int height, int pitch_bytes);
  // The same context with blits cut to rows [first_row, end_row): threads that each own rows of
  // a surface may draw the same pictures at once, each into its own rows.
  DeviceContext RowsOnly(int first_row, int end_row) const;
  // Where blits may write: rows [FirstRow(), EndRow()) of the full height.
  int FirstRow() const { return first_row_; }
  int EndRow() const { return end_row_ < 0 ? Height() : end_row_; }
  // A memory context; draws into the section selected into it.
  static DeviceContext CreateCompatible(const DeviceContext& /*like*/) { return DeviceContext(); }
  void SelectObject(DibSection* section) { section_ = section; }

  int Width() const;
  int Height() const;
  bool IsDrawable() const { return surface_ != nullptr || section_ != nullptr; }
  bool IsSurface() const { return surface_ != nullptr; }
  uint32_t ReadPixel(int x, int y) const;  // 0x00RRGGBB
  void WritePixel(int x, int y, uint32_t rgb, RasterOp op);
  // Combines `count` pixels of a row into (x, y) onwards, their top bytes left out; the caller
  // has clipped them.
  void WriteRow(int x, int y, const uint32_t* src, int count, RasterOp op);

 private:
  uint32_t* surface_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int pitch_ = 0;  // bytes
  DibSection* section_ = nullptr;
  int first_row_ = 0;
  int end_row_ = -1;  // the full height
};

// Copies a w x h block from src (sx, sy) to dst (x, y), clipped to both pictures.
bool BitBlt(DeviceContext* dst, int x, int y, int w, int h, const DeviceContext& src, int sx,
            int sy, RasterOp op);

// Draws a picture held in its file's own layout at 1:1 (dw == sw and dh == sh), clipped to the
// destination and to the picture. Returns the number of rows drawn.
int StretchDIBits(DeviceContext* dst, int dx, int dy, int dw, int dh, int sx, int sy, int sw,
                  int sh, const uint8_t* pixels, size_t pixels_size,
                  const image::BitmapLayout& layout, RasterOp op);

}  // namespace platform::gdi
