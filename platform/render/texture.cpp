#include "platform/render/texture.h"

#include "platform/render/surface.h"

namespace platform::render {

bool Texture::Lock(LockedRect* out) {
  if (locked_) return false;
  locked_ = true;
  Written();
  out->bits = texels_.data();
  out->pitch = width_ * 4;
  return true;
}

bool Texture::RowOpaque(int y) const {
  if (locked_) return false;  // being written: nothing to trust
  if (opaqueVersion_ != version_) {
    opaqueRows_.resize(size_t(height_));
    for (int row = 0; row < height_; ++row) {
      uint32_t all = 0xFF000000u;
      const uint32_t* texel = texels_.data() + size_t(row) * width_;
      for (int x = 0; x < width_; ++x) all &= texel[x];
      opaqueRows_[size_t(row)] = (all >> 24) == 0xFF;
    }
    opaqueVersion_ = version_;
  }
  return opaqueRows_[size_t(y)] != 0;
}

bool Texture::Uniform(uint32_t* texel) const {
  if (locked_ || texels_.empty()) return false;  // being written: nothing to trust
  if (uniformVersion_ != version_) {
    const uint32_t first = texels_[0];
    uint32_t differ = 0;
    for (uint32_t t : texels_) differ |= t ^ first;
    uniform_ = differ == 0;
    uniformTexel_ = first;
    uniformVersion_ = version_;
  }
  *texel = uniformTexel_;
  return uniform_;
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
