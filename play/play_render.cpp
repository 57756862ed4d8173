// The play frame in layers: white clear, the canvas as background, table and blocks, outlines
// from the pick buffer, the palette and cursor, then Present. A frame whose inputs are those of
// the picture still in the back buffer is only presented again.
#include <cstring>
#include <utility>

#include "app/game_app.h"
#include "play/play_scene.h"
#include "world/palette.h"
#include "world/world.h"

namespace r = platform::render;

void PlayScene::BuildFrameKey() {
  frameKey.Clear();
  if (currentTool && currentTool->type == Tool::kDoor) return;
  GameApp* app = Owner();
  const World* world = app->GetWorld();
  r::RenderDevice* device = app->Graphics().Device();
  frameKey.Add('P');
  r::Matrix transform;
  for (r::TransformType type :
       {r::TransformType::kWorld, r::TransformType::kView, r::TransformType::kProjection}) {
    device->GetTransform(type, &transform);
    frameKey.Add(transform);
  }
  r::Viewport viewport;
  device->GetViewport(&viewport);
  frameKey.Add(viewport);
  // The pick buffer, and with it the outlines and the markers, follows from the transforms, the
  // list and the corners.
  const BlockSet& set = world->blockSet;
  frameKey.Add(set.ListVersion());
  for (int i = 0; i < set.Count(); ++i) {
    const Block* block = set.At(i);
    frameKey.Add(block->corners);
    for (const Face& face : block->faces) {
      const r::Texture* texture = face.texture ? face.texture->Texture() : nullptr;
      frameKey.Add(texture);
      frameKey.Add(texture ? texture->Version() : 0);
    }
  }
  const Table& table = world->table;
  frameKey.Add(table.vertices);
  frameKey.Add(table.tableCorners);
  const r::Texture* table_texture = table.texture.Texture();
  frameKey.Add(table_texture);
  frameKey.Add(table_texture ? table_texture->Version() : 0);
  frameKey.Add(std::as_const(world->canvas).DibBits());
  frameKey.Add(world->canvas.Version());
  const GrabLayer& handles = world->grabLayer;
  frameKey.Add(handles.Count());
  for (int i = 0; i < handles.Count(); ++i) frameKey.Add(handles.At(i)->anchor);
  frameKey.Add(currentTool);
  for (const auto& tool : world->tools) frameKey.Add(tool && tool->hot);
  frameKey.Add(cursorX);
  frameKey.Add(cursorY);
}

void PlayScene::Render(SceneManager* /*manager*/) {
  GameApp* app = Owner();
  if (!app->Running()) return;
  BuildFrameKey();
  if (!app->Graphics().CanReuseFrame(frameKey)) DrawFrame();
  app->Graphics().PresentFrame(frameKey);
  // The pick buffer's refresh ends with the frame, whether or not the frame needed it.
  app->GetWorld()->blockSet.FinishPickRefresh();
}

void PlayScene::DrawFrame() {
  GameApp* app = Owner();
  World* world = app->GetWorld();
  GraphicsDevice& graphics = app->Graphics();
  r::RenderDevice* device = graphics.Device();
  r::Surface* back_buffer = graphics.BackBuffer();

  // The canvas covers the whole back buffer: clearing it white first would only be overwritten.
  DibImage& canvas = world->canvas;
  // Rows of the canvas kept in the back buffer's own format: a plain copy each.
  const uint32_t* pixels = canvas.DevicePixels();
  const bool canvas_covers = back_buffer && pixels && canvas.Width() >= back_buffer->Width() &&
                             canvas.Height() >= back_buffer->Height();
  device->Clear(canvas_covers ? r::kClearZBuffer : r::kClearTarget | r::kClearZBuffer, 0xFFFFFFFF,
                1.0f, 0);
  r::LockedRect locked;
  if (back_buffer && pixels && back_buffer->LockRect(&locked)) {
    const int w = std::min(canvas.Width(), back_buffer->Width());
    const int h = std::min(canvas.Height(), back_buffer->Height());
    for (int y = 0; y < h; ++y)
      std::memcpy(static_cast<uint8_t*>(locked.bits) + size_t(y) * locked.pitch,
                  pixels + size_t(y) * canvas.Width(), size_t(w) * 4);
    back_buffer->UnlockRect();
  } else if (canvas_covers) {
    device->Clear(r::kClearTarget, 0xFFFFFFFF, 1.0f, 0);
  }

  if (device->BeginScene()) {
    device->SetRenderState(r::RenderState::kCullMode, r::value::kCullNone);
    device->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(worldMatrix));
    world->table.Draw(device);
    // Meanwhile the pick buffer's refresh runs on the other core; the outlines wait for it.
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
}
