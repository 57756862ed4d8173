// The twelve tools of the play scene's palette: 48x48 icons in two columns, each with its own
// cursor picture, chosen by releasing the left button over the icon.
#pragma once

#include <cstdint>

#include "gfx/dib_image.h"
#include "gfx/graphics_device.h"

class World;
class ToolHost;

class Tool {
 public:
  // Tool types, as the play scene reads them.
  static constexpr int kPen = 0;
  static constexpr int kHand = 3;
  static constexpr int kRotate = 4;
  static constexpr int kZoom = 5;
  static constexpr int kDoor = 6;

  explicit Tool(int tool_type) : type(tool_type) {}
  virtual ~Tool() = default;
  Tool(const Tool&) = delete;
  Tool& operator=(const Tool&) = delete;

  // Loads the pictures and sets the place, hotspot and hit rectangle.
  virtual bool Load(GraphicsDevice* device) = 0;
  // The per-frame hover test. With *probe true (no button down): refreshes `hot`, playing the
  // select sound on entry, and clears *probe. With *probe false: sets *probe to whether the
  // cursor is over the icon, leaving `hot` alone.
  virtual void Track(World* world, ToolHost* scene, int x, int y, bool* probe);
  // Called on every tool after a left-button release.
  virtual void Apply(ToolHost* /*scene*/) {}

  void DrawIcon(platform::gdi::DeviceContext* dc) const;
  void DrawCurrentIcon(platform::gdi::DeviceContext* dc) const;
  // Mask ANDed, then the cursor ORed, with the hotspot on the mouse position.
  void DrawCursor(platform::gdi::DeviceContext* dc, int mx, int my) const;
  bool Contains(int x, int y) const {
    return x >= rect[0] && x <= rect[2] && y >= rect[1] && y <= rect[3];
  }

  int type;
  DibImage icon;
  DibImage halfIcon;
  DibImage cursor;
  DibImage cursorMask;
  float x = 0.0f, y = 0.0f;
  float hotX = 0.0f, hotY = 0.0f;
  bool hot = false;
  int rect[4] = {0, 0, 0, 0};  // left, top, right, bottom, inclusive

 protected:
  // Loads the pictures in order (null names are skipped) and places the 48x48 icon.
  bool LoadPictures(const char* icon_file, const char* half_file, const char* cursor_file,
                    const char* mask_file);
  void Place(float icon_x, float icon_y, float hotspot_x, float hotspot_y);
};

class HandTool : public Tool {
 public:
  HandTool() : Tool(kHand) {}
  bool Load(GraphicsDevice* device) override;
};

class RotateTool : public Tool {
 public:
  RotateTool() : Tool(kRotate) {}
  bool Load(GraphicsDevice* device) override;
};

class ZoomTool : public Tool {
 public:
  ZoomTool() : Tool(kZoom) {}
  bool Load(GraphicsDevice* device) override;
};

class DoorTool : public Tool {
 public:
  DoorTool() : Tool(kDoor) {}
  bool Load(GraphicsDevice* device) override;
};

// A pen: choosing it sets the scene's pen colour.
class PenTool : public Tool {
 public:
  PenTool(uint8_t r, uint8_t g, uint8_t b) : Tool(kPen), colour{r, g, b} {}
  void Apply(ToolHost* scene) override;
  const uint8_t colour[3];

 protected:
  bool LoadPen(const char* name, float icon_y, float hotspot_x, float hotspot_y);
};

class RedPenTool : public PenTool {
 public:
  RedPenTool() : PenTool(255, 0, 0) {}
  bool Load(GraphicsDevice* device) override;
};
class GreenPenTool : public PenTool {
 public:
  GreenPenTool() : PenTool(0, 255, 0) {}
  bool Load(GraphicsDevice* device) override;
};
class BluePenTool : public PenTool {
 public:
  BluePenTool() : PenTool(0, 0, 255) {}
  bool Load(GraphicsDevice* device) override;
};
class CyanPenTool : public PenTool {
 public:
  CyanPenTool() : PenTool(0, 255, 255) {}
  bool Load(GraphicsDevice* device) override;
};
class MagentaPenTool : public PenTool {
 public:
  MagentaPenTool() : PenTool(255, 0, 255) {}
  bool Load(GraphicsDevice* device) override;
};
class YellowPenTool : public PenTool {
 public:
  YellowPenTool() : PenTool(255, 255, 0) {}
  bool Load(GraphicsDevice* device) override;
};
class WhitePenTool : public PenTool {
 public:
  WhitePenTool() : PenTool(255, 255, 255) {}
  bool Load(GraphicsDevice* device) override;
};
class GrayPenTool : public PenTool {
 public:
  GrayPenTool() : PenTool(198, 198, 198) {}
  bool Load(GraphicsDevice* device) override;
};
