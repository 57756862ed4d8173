// What the palette and its tools read and set in the scene they serve: the current tool, the pen
// colour, the door's start time and the cursor (and whether it is drawn). The play scene is one;
// the palette never needs to know more of it.
#pragma once

#include <cstdint>

class Tool;

class ToolHost {
 public:
  // Called when a tool is chosen: the grab handles are dropped.
  virtual void RefreshGrabLayer() = 0;

  Tool* currentTool = nullptr;
  uint8_t penColour[3] = {0, 0, 0};
  uint32_t doorStartTime = 0;
  int cursorX = 0;
  int cursorY = 0;
  bool cursorShown = true;  // false while the desktop's pointer shows instead (off the picture)

 protected:
  ToolHost() = default;
  ~ToolHost() = default;
  ToolHost(const ToolHost&) = default;
  ToolHost& operator=(const ToolHost&) = default;
};
