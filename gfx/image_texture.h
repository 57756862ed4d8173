// A texture: loaded from a picture file, or blank and paintable through an RGB copy in memory
// whose changed rectangles are uploaded.
#pragma once

#include <memory>
#include <string>

#include "gfx/dib_image.h"
#include "gfx/graphics_device.h"
#include "platform/render/texture.h"

class ImageTexture {
 public:
  ImageTexture() = default;
  virtual ~ImageTexture() = default;
  ImageTexture(const ImageTexture&) = delete;
  ImageTexture& operator=(const ImageTexture&) = delete;

  // False with LastError() naming the file and the reason.
  bool LoadFromFile(platform::render::RenderDevice* device, const std::string& name);
  bool CreateBlank(const platform::gdi::DeviceContext& dc, platform::render::RenderDevice* device,
                   int width, int height, uint8_t red, uint8_t green, uint8_t blue);
  // A paintable texture of the size and texels of `from`, which must be paintable itself.
  bool CreateCopy(const platform::gdi::DeviceContext& dc, platform::render::RenderDevice* device,
                  const ImageTexture& from);
  // Copies a rectangle of the RGB copy into the texture, clipped to it; false if the lock fails.
  bool Upload(int x, int y, int width, int height);

  // Writing goes through a texture held as not const: one shared by many faces is handed out
  // as const only.
  const platform::render::Texture* Texture() const { return texture_.get(); }
  platform::render::Texture* Texture() { return texture_.get(); }
  const DibImage* Backing() const { return backing_.get(); }
  DibImage* Backing() { return backing_.get(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height) {
    width_ = width;
    height_ = height;
  }
  const char* FileName() const { return file_name_.c_str(); }

 private:
  std::unique_ptr<platform::render::Texture> texture_;
  // Makes the texture and a zero-filled RGB copy of this size; no texel uploaded yet.
  bool MakeBlank(const platform::gdi::DeviceContext& dc, platform::render::RenderDevice* device,
                 int width, int height);

  std::string file_name_;  // empty for a blank texture
  std::unique_ptr<DibImage> backing_;
  int width_ = 0;
  int height_ = 0;
};
