// The hand: the grab of the body under the cursor and the drag dispatch of one frame.
#include "blocks/block_set.h"
#include "blocks/world_limits.h"

namespace r = platform::render;

Block* BlockSet::Grab(r::RenderDevice* device, int x, int y, int* offset_x, int* offset_y) {
  // The grab layer's refresh just before may have removed blocks: pick what is on screen now.
  if (frontVersion_ != listVersion_) RefreshPickBuffer(device, nullptr);
  const PickCell cell = FrontCell(x, y);
  if (!CellFace(cell)) return nullptr;
  Block* held = CellBody(cell);
  ResetGlueState();
  Vec3 reference;
  if (held->kind == Block::kBlock) {
    RefreshPickBuffer(device, held);
    reference = SwapYZ(held->corners[0]);
  } else {
    reference = held->centre;  // the table keeps its centre in display space
  }
  Vec4 s;
  FromPoint(s, reference);
  TransformInPlace(s, ScreenMatrix(device));
  *offset_x = TruncatedPixel(float(x) - s.x / s.w);
  *offset_y = TruncatedPixel(float(y) - s.y / s.w);
  if (held->kind == Block::kBlock)
    SetUprightDragQuad(device, held->centre);
  else
    SetTableDragQuad(device);
  return held;
}

void BlockSet::DragBody(r::RenderDevice* device, Block* body, int x, int y, int offset_x,
                        int offset_y, float /*pitch*/) {
  FinishPickRefresh();  // corners are about to move
  if (body->kind == Block::kTable) {
    // A ray parallel to the table plane leaves the starting point: the table goes to the origin.
    Vec3 point;
    HitDragQuad(device, float(x - offset_x), float(y - offset_y), &point);
    body->PlaceAt(point);
  } else if (body->kind == Block::kBlock) {
    DragAttach(device, body, x, y, offset_x, offset_y);
  }
}
