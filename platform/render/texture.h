#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/render/types.h"

namespace platform::render {

// An A8R8G8B8 texture with one level, lockable. Keeps the size it was made with.
class Texture {
 public:
  // `writes`, if given, is shared by the textures of one device and counts the hand-outs of
  // writable texels of all of them.
  Texture(int width, int height, std::shared_ptr<uint64_t> writes = nullptr)
      : width_(width),
        height_(height),
        texels_(size_t(width) * height),
        writes_(std::move(writes)) {}

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Level 0 for reading and writing; fails while already locked (there is nothing to wait for).
  bool Lock(LockedRect* out);
  void Unlock() { locked_ = false; }

  // For the rasterizer and sprites: texel (x, y), no bounds check.
  const uint32_t* Texels() const { return texels_.data(); }
  uint32_t* MutableTexels() {
    Written();
    return texels_.data();
  }
  // Counts the hand-outs of writable texels (locks included): unchanged means the texels are
  // what they were, so frames drawn from them may be kept.
  uint64_t Version() const { return version_; }
  // Whether every texel of row y is opaque (alpha 255); found for all rows once per version.
  bool RowOpaque(int y) const;
  // Whether every texel is the same one, put in *texel; found once per version. Most faces are
  // never painted, and a texture of one texel needs no coordinates.
  bool Uniform(uint32_t* texel) const;

 private:
  int width_;
  int height_;
  void Written() {
    ++version_;
    if (writes_) ++*writes_;
  }

  std::vector<uint32_t> texels_;
  std::shared_ptr<uint64_t> writes_;
  bool locked_ = false;
  uint64_t version_ = 0;
  // Beside the version, which the rasterizer reads for every triangle; with the texel itself,
  // so that a look needs no texel brought in.
  mutable bool uniform_ = false;
  mutable uint32_t uniformTexel_ = 0;
  mutable uint64_t uniformVersion_ = ~uint64_t(0);
  mutable std::vector<uint8_t> opaqueRows_;
  mutable uint64_t opaqueVersion_ = ~uint64_t(0);
};

}  // namespace platform::render
