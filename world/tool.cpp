#include "world/tool.h"

#include <string>

#include "world/tool_host.h"
#include "world/world.h"

namespace gdi = platform::gdi;

namespace {
constexpr int kIconSize = 48;
}

void Tool::Track(World* world, ToolHost* /*scene*/, int cx, int cy, bool* probe) {
  if (*probe) {
    *probe = false;
    if (Contains(cx, cy)) {
      if (!hot && world->selectSound) world->selectSound->Play();
      hot = true;
    } else {
      hot = false;
    }
  } else {
    *probe = Contains(cx, cy);
  }
}

void Tool::DrawIcon(gdi::DeviceContext* dc) const {
  (hot ? icon : halfIcon).Blit(dc, int(x), int(y), gdi::RasterOp::kSrcCopy);
}

void Tool::DrawCurrentIcon(gdi::DeviceContext* dc) const {
  icon.Blit(dc, int(x), int(y), gdi::RasterOp::kSrcCopy);
}

void Tool::DrawCursor(gdi::DeviceContext* dc, int mx, int my) const {
  const int at_x = int(float(mx) - hotX), at_y = int(float(my) - hotY);
  cursorMask.Blit(dc, at_x, at_y, gdi::RasterOp::kSrcAnd);
  cursor.Blit(dc, at_x, at_y, gdi::RasterOp::kSrcPaint);
}

bool Tool::LoadPictures(const char* icon_file, const char* half_file, const char* cursor_file,
                        const char* mask_file) {
  const std::string data = "data/";
  if (!icon.LoadBmpFile(data + icon_file)) return false;
  if (!halfIcon.LoadBmpFile(data + half_file)) return false;
  if (cursor_file && !cursor.LoadBmpFile(data + cursor_file)) return false;
  if (mask_file && !cursorMask.LoadBmpFile(data + mask_file)) return false;
  return true;
}

void Tool::Place(float icon_x, float icon_y, float hotspot_x, float hotspot_y) {
  x = icon_x;
  y = icon_y;
  hotX = hotspot_x;
  hotY = hotspot_y;
  rect[0] = int(icon_x);
  rect[1] = int(icon_y);
  rect[2] = int(icon_x) + kIconSize;
  rect[3] = int(icon_y) + kIconSize;
}

bool HandTool::Load(GraphicsDevice*) {
  if (!LoadPictures("hand.bmp", "hand_half.bmp", "cursor_hand.bmp", "cursor_hand_mask.bmp"))
    return false;
  Place(18, 18, -2, -2);
  return true;
}

bool RotateTool::Load(GraphicsDevice*) {
  if (!LoadPictures("rotate.bmp", "rotate_half.bmp", "cursor_rotate.bmp", "cursor_rotate_mask.bmp"))
    return false;
  Place(18, 74, 10, 12);
  return true;
}

bool ZoomTool::Load(GraphicsDevice*) {
  if (!LoadPictures("zoom.bmp", "zoom_half.bmp", "cursor_zoom.bmp", "cursor_zoom_mask.bmp"))
    return false;
  Place(18, 130, 8, 8);
  return true;
}

bool DoorTool::Load(GraphicsDevice*) {
  // The door has no cursor: while it is current only the door itself is drawn.
  if (!LoadPictures("door.bmp", "door_half.bmp", nullptr, nullptr)) return false;
  Place(18, 410, 0, 0);
  return true;
}

void PenTool::Apply(ToolHost* scene) {
  if (!hot) return;
  for (int i = 0; i < 3; ++i) scene->penColour[i] = colour[i];
}

bool PenTool::LoadPen(const char* name, float icon_y, float hotspot_x, float hotspot_y) {
  const std::string base = std::string("pen_") + name;
  const std::string cursor_file = std::string("cursor_pen_") + name + ".bmp";
  if (!LoadPictures((base + ".bmp").c_str(), (base + "_half.bmp").c_str(), cursor_file.c_str(),
                    "cursor_pen_mask.bmp"))
    return false;
  Place(574, icon_y, hotspot_x, hotspot_y);
  return true;
}

bool RedPenTool::Load(GraphicsDevice*) {
  return LoadPen("red", 18, 1, 60);
}
bool GreenPenTool::Load(GraphicsDevice*) {
  return LoadPen("green", 74, 0, 64);
}
bool BluePenTool::Load(GraphicsDevice*) {
  return LoadPen("blue", 130, 0, 64);
}
bool CyanPenTool::Load(GraphicsDevice*) {
  return LoadPen("cyan", 186, 0, 64);
}
bool MagentaPenTool::Load(GraphicsDevice*) {
  return LoadPen("magenta", 242, 0, 64);
}
bool YellowPenTool::Load(GraphicsDevice*) {
  return LoadPen("yellow", 298, 0, 64);
}
bool WhitePenTool::Load(GraphicsDevice*) {
  return LoadPen("white", 354, 0, 64);
}
bool GrayPenTool::Load(GraphicsDevice*) {
  return LoadPen("gray", 410, 0, 64);
}
