// The white 8x8 texture a block face shows until its first pen stroke: one for all the blocks of
// a block set, which owns it, made on the device they are drawn with. A face that is painted gets
// a texture of its own, copied from what it showed (Block::PaintableFaceTexture), so that the
// shared one is never written after it is made.
#pragma once

#include <memory>

#include "gfx/image_texture.h"
#include "platform/gdi/device_context.h"
#include "platform/render/render_device.h"

class BlankFace {
 public:
  static constexpr int kTexels = 8;

  // Makes the texture on the first call; later calls (for the same device) only say whether
  // it was made.
  bool Create(const platform::gdi::DeviceContext& dc, platform::render::RenderDevice* device);
  // Null until made.
  const ImageTexture* Texture() const { return made_ ? &texture_ : nullptr; }
  // A face's own texture: a copy of `shown` made on the same device; null when it cannot be
  // made.
  std::unique_ptr<ImageTexture> CopyOf(const ImageTexture& shown) const;

  // Off: every block made from now on takes six textures of its own at once, as each face had
  // before faces shared; for the tests that compare both ways.
  void SetShared(bool shared) { shared_ = shared; }
  bool Shared() const { return shared_; }

 private:
  ImageTexture texture_;
  platform::render::RenderDevice* device_ = nullptr;  // not owned
  bool made_ = false;
  bool shared_ = true;
};
