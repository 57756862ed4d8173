#include "blocks/blank_face.h"

#include <cassert>

bool BlankFace::Create(const platform::gdi::DeviceContext& dc,
                       platform::render::RenderDevice* device) {
  if (made_) {
    assert(device == device_ && "the faces of one block set are drawn on one device");
    return true;
  }
  device_ = device;
  made_ = texture_.CreateBlank(dc, device, kTexels, kTexels, 255, 255, 255);
  return made_;
}

std::unique_ptr<ImageTexture> BlankFace::CopyOf(const ImageTexture& shown) const {
  if (!device_) return nullptr;
  auto own = std::make_unique<ImageTexture>();
  const platform::gdi::DeviceContext dc;  // the window's, as for a block made later
  if (!own->CreateCopy(dc, device_, shown)) return nullptr;
  return own;
}
