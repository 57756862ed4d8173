// Where a person presses to take a grab handle: on a block's face just above the middle of one of
// the two bottom edges that meet at its bottom corner nearest the viewer.
#pragma once

#include "blocks/block_set.h"
#include "platform/platform.h"

// The middle of the bottom edge from the nearest bottom corner to the next corner (side 1) or to
// the previous one (side 3), `lift` pixels higher on screen.
inline ScreenPoint BottomEdgeMiddle(const BlockSet& set, platform::render::RenderDevice* device,
                                    const Block& b, int side, float lift) {
  const Mat4 ms = set.ScreenMatrix(device);
  ScreenPoint c[4];
  int n = 0;
  for (int k = 0; k < 4; ++k) {
    c[k] = ProjectToScreen(b.corners[k], ms);
    if (c[k].z < c[n].z) n = k;
  }
  const ScreenPoint& o = c[(n + side) % 4];
  return {(c[n].x + o.x) / 2, (c[n].y + o.y) / 2 - lift, 0.0f};
}

// The first of the two edge points, two pixels up, that shows the block itself; false if neither.
inline bool BottomEdgePoint(const BlockSet& set, platform::render::RenderDevice* device,
                            const Block& b, platform::Point* point) {
  for (int side : {1, 3}) {
    const ScreenPoint s = BottomEdgeMiddle(set, device, b, side, 0.0f);
    const platform::Point p{int(s.x), int(s.y) - 2};
    if (set.CellBody(set.FrontCell(p.x, p.y)) == &b) {
      *point = p;
      return true;
    }
  }
  return false;
}
