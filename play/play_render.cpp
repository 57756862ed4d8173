// The play frame in layers: white clear, the canvas as background, table and blocks, outlines
// from the pick buffer, the palette and cursor, then Present.
#include <cstring>

#include "app/game_app.h"
#include "play/play_scene.h"
#include "world/palette.h"
#include "world/world.h"

namespace r = platform::render;

void PlayScene::Render(SceneManager* /*manager*/) {
  GameApp* app = Owner();
  if (!app->Running()) return;
  World* world = app->GetWorld();
  GraphicsDevice& graphics = app->Graphics();
  r::RenderDevice* device = graphics.Device();
  r::Surface* back_buffer = graphics.BackBuffer();

  device->Clear(r::kClearTarget | r::kClearZBuffer, 0xFFFFFFFF, 1.0f, 0);

  r::LockedRect locked;
  const uint8_t* canvas = world->canvas.DibBits();
  if (back_buffer && canvas && back_buffer->LockRect(&locked)) {
    const int w = std::min(world->canvas.Width(), back_buffer->Width());
    const int h = std::min(world->canvas.Height(), back_buffer->Height());
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = canvas + size_t(y) * world->canvas.Width() * 3;
      auto* dst = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) +
                                              size_t(y) * locked.pitch);
      int x = 0;
      // Four pixels from three little-endian words: blue, green, red bytes become 0x00RRGGBB.
      for (; x + 4 <= w; x += 4, src += 12) {
        uint32_t a, b, c;
        std::memcpy(&a, src, 4);
        std::memcpy(&b, src + 4, 4);
        std::memcpy(&c, src + 8, 4);
        dst[x] = a & 0xFFFFFF;
        dst[x + 1] = (a >> 24) | ((b & 0xFFFF) << 8);
        dst[x + 2] = (b >> 16) | ((c & 0xFF) << 16);
        dst[x + 3] = c >> 8;
      }
      for (; x < w; ++x, src += 3) dst[x] = (src[2] << 16) | (src[1] << 8) | src[0];
    }
    back_buffer->UnlockRect();
  }

  if (device->BeginScene()) {
    device->SetRenderState(r::RenderState::kCullMode, r::value::kCullNone);
    device->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(worldMatrix));
    world->table.Draw(device);
    world->blockSet.Draw(device, worldMatrix, heldBody);
    device->EndScene();
  }

  world->blockSet.DrawOutlines(device, back_buffer);
  world->grabLayer.Overlay(device, back_buffer);

  platform::gdi::DeviceContext dc;
  if (back_buffer && back_buffer->GetDC(&dc)) {
    DrawPaletteOverlay(world, this, &dc, app->Platform().TimeMs());
    back_buffer->ReleaseDC(&dc);
  }

  graphics.RecoverAfterPresent(device->Present());
}
