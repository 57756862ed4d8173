// The drag quads a held body moves in (upright facing the viewer, or the table's plane), and the
// cursor ray against a quad: shared by the hand, the drag attachment and the grab handles.
#include "blocks/block_set.h"
#include "platform/render/d3dx.h"

namespace r = platform::render;

bool BlockSet::HitQuad(r::RenderDevice* device, const Face& quad, float x, float y,
                       Vec3* point) const {
  Rays(device).HitPlane(x, y, *quad.corner[0], *quad.corner[1], *quad.corner[2], point);
  return true;
}

bool BlockSet::HitDragQuad(r::RenderDevice* device, float x, float y, Vec3* point) const {
  return HitQuad(device, dragQuad, x, y, point);
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
