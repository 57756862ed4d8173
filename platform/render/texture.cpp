#include "platform/render/texture.h"

#include "platform/render/surface.h"

namespace platform::render {

bool Texture::Lock(LockedRect* out) {
  if (locked_) return false;
  locked_ = true;
  ++version_;
  out->bits = texels_.data();
  out->pitch = width_ * 4;
  return true;
}

bool Surface::LockRect(LockedRect* out) {
  if (locked_) return false;
  locked_ = true;
  out->bits = pixels_.data();
  out->pitch = width_ * 4;
  return true;
}

bool Surface::GetDC(gdi::DeviceContext* out) {
  if (dc_taken_ || locked_) return false;
  dc_taken_ = true;
  *out = gdi::DeviceContext::ForSurface(pixels_.data(), width_, height_, width_ * 4);
  return true;
}

void Surface::ReleaseDC(gdi::DeviceContext* dc) {
  dc_taken_ = false;
  *dc = gdi::DeviceContext();
}

}  // namespace platform::render
