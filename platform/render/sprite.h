#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/render/render_device.h"
#include "platform/render/types.h"

namespace platform::render {

// Draws textures as screen-aligned quads at pixel positions, alpha-blended over the back buffer,
// the colour modulating the texels; no depth test. Like the older D3DX sprite.
class Sprite {
 public:
  explicit Sprite(RenderDevice* device) : device_(device) {}
  bool Begin();
  // Each pointer may be null. The picture is scaled, turned about the centre, then moved.
  bool Draw(const Texture* texture, const Rect* source, const Vector2* scaling,
            const Vector2* rotation_centre, float angle, const Vector2* translation,
            uint32_t color);
  void End() { begun_ = false; }
  void OnLostDevice() { lost_ = true; }
  void OnResetDevice() { lost_ = false; }
  bool IsLost() const { return lost_; }

 private:
  RenderDevice* device_;
  std::vector<int> columns_;  // picture column of each screen column, for unturned draws
  bool begun_ = false;
  bool lost_ = false;
};

// A sprite drawing through `device` (as D3DX makes one for a device).
Result CreateSprite(RenderDevice* device, std::unique_ptr<Sprite>* out);

}  // namespace platform::render
