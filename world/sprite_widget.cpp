#include "world/sprite_widget.h"

#include "world/world.h"

namespace r = platform::render;

SpriteWidget::~SpriteWidget() {
  if (sprite_) {
    sprite_->OnLostDevice();
    sprite_.reset();
  }
  // Leave the device's list so that a later reset never reaches a destroyed widget.
  if (device_) {
    int index = device_->Resources().Find(this);
    if (index >= 0) device_->Resources().RemoveAt(index);
  }
}

bool SpriteWidget::OnLostDevice(GraphicsDevice* /*device*/) {
  if (sprite_) sprite_->OnLostDevice();
  return true;
}

bool SpriteWidget::OnResetDevice(GraphicsDevice* /*device*/) {
  if (sprite_) sprite_->OnResetDevice();
  return true;
}

bool SpriteWidget::Create(ImageTexture* texture, GraphicsDevice* device) {
  if (r::CreateSprite(device->Device(), &sprite_) != r::Result::kOk) return false;
  texture_ = texture;
  device_ = device;
  device->Resources().Add(this);
  return true;
}

void SpriteWidget::Draw(r::RenderDevice* /*device*/, const r::Rect* source,
                        const r::Vector2* scaling, const r::Vector2* rotation_centre, float angle,
                        const r::Vector2* translation, uint32_t color) {
  if (!sprite_ || !sprite_->Begin()) return;
  sprite_->Draw(texture_ ? texture_->Texture() : nullptr, source, scaling, rotation_centre, angle,
                translation, color);
  sprite_->End();
}

void Button::Track(World* world, int x, int y) {
  if (x >= rect[0] && x <= rect[2] && y >= rect[1] && y <= rect[3]) {
    if (!hot && world->selectSound) world->selectSound->Play();
    hot = true;
  } else {
    hot = false;
  }
}

void Button::DrawButton(r::RenderDevice* device) {
  r::Vector2 at{position[0], position[1]};
  SpriteWidget::Draw(device, nullptr, nullptr, nullptr, 0.0f, &at, hot ? 0xFFFFFFFF : 0x48FFFFFF);
}

bool Button::LoadButton(GraphicsDevice* device, const char* file, float x, float y,
                        const int (&hit)[4]) {
  if (!onImage.LoadFromFile(device->Device(), file)) return false;
  position[0] = x;
  position[1] = y;
  for (int i = 0; i < 4; ++i) rect[i] = hit[i];
  return Create(&onImage, device);
}

bool StartButton::Load(GraphicsDevice* device) {
  return LoadButton(device, "data/start_on.bmp", 64.0f, 320.0f, {96, 336, 302, 400});
}

bool EndButton::Load(GraphicsDevice* device) {
  return LoadButton(device, "data/end_on.bmp", 320.0f, 320.0f, {392, 336, 544, 400});
}

bool TitlePicture::Load(GraphicsDevice* device, int screen_width, int screen_height) {
  if (!picture.LoadFromFile(device->Device(), "data/title.bmp")) return false;
  screenWidth = screen_width;
  screenHeight = screen_height;
  picture.SetSize(512, 512);
  position[0] = float((screen_width - 512) / 2);
  position[1] = 0.0f;
  return Create(&picture, device);
}

void TitlePicture::Draw(r::RenderDevice* device) {
  position[0] = float((screenWidth - picture.Width()) / 2);
  position[1] = 0.0f;
  r::Vector2 at{position[0], position[1]};
  SpriteWidget::Draw(device, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFF);
}

bool TitlePicture::Opaque() {
  const r::Texture* texture = picture.Texture();
  if (!texture) return false;
  if (texture != checkedTexture_ || texture->Version() != checkedVersion_) {
    const uint32_t* texels = texture->Texels();
    const size_t count = size_t(texture->Width()) * texture->Height();
    uint32_t all = 0xFF000000u;
    for (size_t i = 0; i < count; ++i) all &= texels[i];
    opaque_ = (all >> 24) == 0xFF;
    checkedTexture_ = texture;
    checkedVersion_ = texture->Version();
  }
  return opaque_;
}
