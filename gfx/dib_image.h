// A GDI picture: a blank 24-bit bitmap section with its own memory context and an RGB copy in
// memory, or a BMP file held whole in memory, drawn from a copy in 32-bit words.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/device_context.h"
#include "platform/image/bitmap_layout.h"

class DibImage {
 public:
  DibImage() = default;
  virtual ~DibImage() = default;
  DibImage(const DibImage&) = delete;
  DibImage& operator=(const DibImage&) = delete;

  // A blank section (every caller asks for 24 bits) compatible with dc; the RGB copy zero-filled.
  bool CreateDib(const platform::gdi::DeviceContext& dc, int width, int height, int bits);
  // Reads a whole BMP file and checks it; false with LastError() naming the file and the reason.
  bool LoadBmpFile(const std::string& name);
  // Copies the picture at its own size to (x, y) on dc.
  void Blit(platform::gdi::DeviceContext* dc, int x, int y, platform::gdi::RasterOp op) const;

  bool FromFile() const { return from_file_; }
  platform::gdi::DeviceContext& MemoryDC() {
    ++version_;
    return memory_dc_;
  }
  bool HasMemoryDC() const { return memory_dc_.IsDrawable(); }
  uint8_t* DibBits() {
    ++version_;
    return dib_bits_;
  }
  // For readers: no change is counted.
  const uint8_t* DibBits() const { return dib_bits_; }
  // A blank picture's pixels as 0x00RRGGBB words (the back buffer's format), Width() per row,
  // row 0 first: kept beside the bits and converted again only after they were handed out for
  // writing, so an unchanged canvas costs a plain copy per frame.
  const uint32_t* DevicePixels();
  // The colour every pixel of row y of DevicePixels() shares, or kMixedRow: a row of one colour
  // (all of a blank canvas) is filled rather than copied, which reads nothing.
  static constexpr uint32_t kMixedRow = 0xFF000000;
  uint32_t DeviceRowColour(int y) const {
    return y >= 0 && size_t(y) < device_row_colours_.size() ? device_row_colours_[size_t(y)]
                                                            : kMixedRow;
  }
  // All of them, Height() entries, as DevicePixels() last left them (kMixedRow is no colour).
  const uint32_t* DeviceRowColours() const { return device_row_colours_.data(); }
  // Counts the hand-outs of writable pixels (bits or memory context): unchanged means the
  // picture is what it was, so frames drawn from it may be kept.
  uint64_t Version() const { return version_; }
  // The RGB copy of a blank picture (3 bytes per pixel, row 0 first), or the whole file.
  std::vector<uint8_t>& Buffer() { return buffer_; }
  const std::vector<uint8_t>& Buffer() const { return buffer_; }
  const uint8_t* PixelPointer() const { return pixels_; }
  const platform::image::BitmapLayout& BitmapInfo() const { return layout_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  bool from_file_ = false;
  std::vector<uint8_t> buffer_;
  const uint8_t* pixels_ = nullptr;  // into buffer_, from file only
  uint8_t* dib_bits_ = nullptr;      // the section's own pixels, blank only
  platform::image::BitmapLayout layout_;
  int width_ = 0;
  int height_ = 0;
  uint64_t version_ = 0;
  // A picture from a file, also as 0x00RRGGBB words row 0 first: drawn with plain row copies.
  std::vector<uint32_t> file_words_;
  platform::image::BitmapLayout file_words_layout_;
  std::vector<uint32_t> device_pixels_;
  std::vector<uint32_t> device_row_colours_;
  uint64_t device_pixels_version_ = 0;  // version_ they were converted at; 0: never
  platform::gdi::DeviceContext memory_dc_;
  std::unique_ptr<platform::gdi::DibSection> section_;
};
