// The hand: the cursor ray against a quad, the grab of the body under the cursor, the two drag
// quads a held body moves in, and the drag dispatch of one frame.
#include "app/game_app.h"
#include "blocks/block_set.h"
#include "platform/render/d3dx.h"
#include "world/table.h"

namespace r = platform::render;

bool BlockSet::HitQuad(r::RenderDevice* device, const Face& quad, float x, float y,
                       Vec3* point) const {
  Rays(device).HitPlane(x, y, *quad.corner[0], *quad.corner[1], *quad.corner[2], point);
  return true;
}

bool BlockSet::HitDragQuad(r::RenderDevice* device, float x, float y, Vec3* point) const {
  return HitQuad(device, dragQuad, x, y, point);
}

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
  *offset_x = int(float(x) - s.x / s.w);
  *offset_y = int(float(y) - s.y / s.w);
  if (held->kind == Block::kBlock)
    SetUprightDragQuad(device, held->centre);
  else
    SetTableDragQuad(device);
  return held;
}

void BlockSet::SetUprightDragQuad(r::RenderDevice* device, const Vec3& centre) {
  r::Matrix view, world;
  device->GetTransform(r::TransformType::kView, &view);
  device->GetTransform(r::TransformType::kWorld, &world);
  r::Matrix view_inverse;
  r::MatrixInverse(view, &view_inverse);
  Mat4 world_inverse, q;
  AffineInverse(world_inverse, FromDeviceMatrix(world));
  Multiply(q, FromDeviceMatrix(view_inverse), world_inverse);
  q.At(3, 0) = centre.x;
  q.At(3, 1) = centre.z;
  q.At(3, 2) = centre.y;
  q.At(3, 3) = 1.0f;
  // 50 units either way along the screen's horizontal direction, 50 up and down.
  Vec4 a{50.0f, 0.0f, 0.0f, 1.0f}, b{-50.0f, 0.0f, 0.0f, 1.0f};
  TransformInPlace(a, q);
  TransformInPlace(b, q);
  a = {a.x / a.w, a.y / a.w, a.z / a.w, 1.0f};
  b = {b.x / b.w, b.y / b.w, b.z / b.w, 1.0f};
  dragQuadCorners[0].Set(a.x, a.y - 50.0f, a.z);
  dragQuadCorners[1].Set(b.x, b.y - 50.0f, b.z);
  dragQuadCorners[2].Set(b.x, b.y + 50.0f, b.z);
  dragQuadCorners[3].Set(a.x, a.y + 50.0f, a.z);
  dragQuad.UpdateShape();
}

void BlockSet::SetTableDragQuad(r::RenderDevice* /*device*/) {
  dragQuadCorners[0].Set(-50.0f, 0.0f, -50.0f);
  dragQuadCorners[1].Set(-50.0f, 0.0f, 50.0f);
  dragQuadCorners[2].Set(50.0f, 0.0f, 50.0f);
  dragQuadCorners[3].Set(50.0f, 0.0f, -50.0f);
  dragQuad.UpdateShape();
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
