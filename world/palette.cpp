#include "world/palette.h"

#include "world/tool_host.h"
#include "world/world.h"

namespace {
// The door closes at the latest this long after it was chosen, at rest or not.
constexpr uint32_t kDoorLimitMs = 20000;
}  // namespace

bool TrackPalette(World* world, ToolHost* scene, int x, int y, int left, int right) {
  bool on_palette = false;
  for (auto& tool : world->tools) {
    bool probe = left == 0 && right == 0;
    tool->Track(world, scene, x, y, &probe);
    if (probe) on_palette = true;
  }
  return on_palette;
}

void ChooseTool(World* world, ToolHost* scene, uint32_t now_ms) {
  for (auto& tool : world->tools) {
    if (tool->hot) {
      if (tool->type == Tool::kDoor) {
        scene->doorStartTime = now_ms;
        world->blockSet.settleCheck = 1;
      } else {
        world->selectedSound->Play();
      }
      scene->currentTool = tool.get();
      scene->RefreshGrabLayer();
    }
    tool->Apply(scene);
  }
}

bool DoorPictureDue(const World* world, const ToolHost* scene, uint32_t now_ms) {
  const Tool* current = scene->currentTool;
  return current && current->type == Tool::kDoor &&
         (world->blockSet.AllAtRest() || now_ms - scene->doorStartTime > kDoorLimitMs);
}

void DrawPaletteOverlay(const World* world, const ToolHost* scene, bool door_picture,
                        platform::gdi::DeviceContext* dc) {
  Tool* current = scene->currentTool;
  if (!current) return;
  if (current->type == Tool::kDoor) {
    if (door_picture)
      world->doorClosedPicture.Blit(dc, 18, 410, platform::gdi::RasterOp::kSrcCopy);
    else
      current->DrawCurrentIcon(dc);
    return;
  }
  for (const auto& tool : world->tools) {
    if (tool.get() == current)
      tool->DrawCurrentIcon(dc);
    else
      tool->DrawIcon(dc);
  }
  if (scene->cursorShown) current->DrawCursor(dc, scene->cursorX, scene->cursorY);
}
