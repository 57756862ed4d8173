// A screen-space picture drawn through a sprite that follows device resets; the base of the
// buttons and the title picture, and the title scene's cursor.
#pragma once

#include <cstdint>
#include <memory>

#include "gfx/device_resource.h"
#include "gfx/graphics_device.h"
#include "gfx/image_texture.h"
#include "platform/render/sprite.h"

class SpriteWidget : public DeviceResource {
 public:
  SpriteWidget() = default;
  ~SpriteWidget() override;
  SpriteWidget(const SpriteWidget&) = delete;
  SpriteWidget& operator=(const SpriteWidget&) = delete;

  bool OnLostDevice(GraphicsDevice* device) override;
  bool OnResetDevice(GraphicsDevice* device) override;
  // Makes the sprite and registers the widget with the device; the texture is not owned.
  virtual bool Create(ImageTexture* texture, GraphicsDevice* device);
  // Begin, one sprite draw of the texture with these arguments, End.
  virtual void Draw(platform::render::RenderDevice* device, const platform::render::Rect* source,
                    const platform::render::Vector2* scaling,
                    const platform::render::Vector2* rotation_centre, float angle,
                    const platform::render::Vector2* translation, uint32_t color);

  platform::render::Sprite* GetSprite() const { return sprite_.get(); }

 private:
  GraphicsDevice* device_ = nullptr;
  std::unique_ptr<platform::render::Sprite> sprite_;
  ImageTexture* texture_ = nullptr;
};

class World;

// A hot-tracked picture on the title screen.
class Button : public SpriteWidget {
 public:
  virtual bool Load(GraphicsDevice* device) = 0;
  // Lights the button while the cursor is in its rectangle (edges included), playing the select
  // sound on entry.
  virtual void Track(World* world, int x, int y);
  // Opaque when hot, at alpha 0x48 otherwise.
  void DrawButton(platform::render::RenderDevice* device);

  ImageTexture onImage;
  float position[2] = {0.0f, 0.0f};
  bool hot = false;
  int rect[4] = {0, 0, 0, 0};  // left, top, right, bottom, inclusive

 protected:
  bool LoadButton(GraphicsDevice* device, const char* file, float x, float y, const int (&hit)[4]);
};

class StartButton : public Button {
 public:
  bool Load(GraphicsDevice* device) override;
};

class EndButton : public Button {
 public:
  bool Load(GraphicsDevice* device) override;
};

// The 512x512 title picture, centred horizontally at the top.
class TitlePicture : public SpriteWidget {
 public:
  virtual bool Load(GraphicsDevice* device, int screen_width, int screen_height);
  using SpriteWidget::Draw;  // the widget's own, beside the picture's whole draw
  void Draw(platform::render::RenderDevice* device);

  // Whether every texel is opaque, so the picture hides what lies under it; found again only
  // after the texels change.
  bool Opaque();

  ImageTexture picture;
  int screenWidth = 0;
  int screenHeight = 0;
  float position[2] = {0.0f, 0.0f};

 private:
  const platform::render::Texture* checkedTexture_ = nullptr;
  uint64_t checkedVersion_ = 0;
  bool opaque_ = false;
};
