#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/device_context.h"
#include "platform/render/types.h"

namespace platform::render {

// A 32-bit 0x00RRGGBB picture: the back buffer. Lockable at any time.
class Surface {
 public:
  Surface(int width, int height)
      : width_(width), height_(height), pixels_(size_t(width) * height) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool LockRect(LockedRect* out);
  void UnlockRect() { locked_ = false; }
  // A device context drawing straight into the pixels, for the palette overlay.
  bool GetDC(gdi::DeviceContext* out);
  void ReleaseDC(gdi::DeviceContext* dc);

  uint32_t* Pixels() { return pixels_.data(); }
  const uint32_t* Pixels() const { return pixels_.data(); }
  int PitchPixels() const { return width_; }

 private:
  int width_;
  int height_;
  std::vector<uint32_t> pixels_;
  bool locked_ = false;
  bool dc_taken_ = false;
};

// The depth buffer: floats cleared to 1.0. Beside each depth, the number of the kept triangle
// that wrote it last, for fills that walk a scene's triangles out of drawing order (numbers only
// grow, so a number left from before is below any of the fill under way).
class DepthSurface {
 public:
  DepthSurface(int width, int height)
      : width_(width), depth_(size_t(width) * height, 1.0f), writers_(depth_.size(), 0) {}
  float* Depth() { return depth_.data(); }
  uint32_t* Writers() { return writers_.data(); }
  void ForgetWriters() { std::fill(writers_.begin(), writers_.end(), 0u); }
  int Width() const { return width_; }
  size_t Size() const { return depth_.size(); }

 private:
  int width_;
  std::vector<float> depth_;
  std::vector<uint32_t> writers_;
};

}  // namespace platform::render
