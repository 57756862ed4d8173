#include "gfx/image_texture.h"

#include <algorithm>

#include "platform/render/d3dx.h"

namespace r = platform::render;

bool ImageTexture::LoadFromFile(r::RenderDevice* device, const std::string& name) {
  file_name_ = name;
  return r::CreateTextureFromFile(device, name, &texture_);
}

bool ImageTexture::MakeBlank(const platform::gdi::DeviceContext& dc, r::RenderDevice* device,
                             int width, int height) {
  width_ = width;
  height_ = height;
  texture_.reset();
  if (device->CreateTexture(width, height, &texture_) != r::Result::kOk) return false;
  backing_ = std::make_unique<DibImage>();
  return backing_->CreateDib(dc, width, height, 24);
}

bool ImageTexture::CreateCopy(const platform::gdi::DeviceContext& dc, r::RenderDevice* device,
                              const ImageTexture& from) {
  if (!from.backing_ || !MakeBlank(dc, device, from.width_, from.height_)) return false;
  backing_->Buffer() = from.backing_->Buffer();
  Upload(0, 0, width_, height_);
  return true;
}

bool ImageTexture::CreateBlank(const platform::gdi::DeviceContext& dc, r::RenderDevice* device,
                               int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
  if (!MakeBlank(dc, device, width, height)) return false;
  std::vector<uint8_t>& rgb = backing_->Buffer();
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
    rgb[i] = red;
    rgb[i + 1] = green;
    rgb[i + 2] = blue;
  }
  Upload(0, 0, width, height);
  return true;
}

bool ImageTexture::Upload(int x, int y, int width, int height) {
  if (!texture_ || !backing_) return false;
  const int tw = texture_->Width(), th = texture_->Height();
  const int first_col = std::clamp(x, 0, tw);
  const int first_row = std::clamp(y, 0, th);
  const int last_col = std::min(x + width - 1, tw - 1);
  const int last_row = std::min(y + height - 1, th - 1);
  r::LockedRect locked;
  if (!texture_->Lock(&locked)) return false;
  const std::vector<uint8_t>& rgb = backing_->Buffer();
  const int bw = backing_->Width();
  for (int row = first_row; row <= last_row; ++row) {
    auto* texels = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) +
                                               size_t(row) * locked.pitch);
    for (int col = first_col; col <= last_col; ++col) {
      const uint8_t* p = &rgb[3 * (size_t(col) + size_t(row) * bw)];
      texels[col] = 0xFF000000u + p[0] * 65536u + p[1] * 256u + p[2];
    }
  }
  texture_->Unlock();
  return true;
}
