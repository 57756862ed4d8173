// The cursor ray: the view is orthographic, so the ray through a screen point is that point
// carried back through the screen matrix, running along the fixed viewing direction turned back
// through the world matrix. One code path for the pens, the hand and the grab handles.
#pragma once

#include "blocks/math.h"

// The viewing direction (0, 0, -1) carried back through the world matrix's rotation.
Vec3 ViewDirection(const Mat4& world);

// Where the line through a display-space point along `direction` meets the plane of the
// triangle p0 p1 p2 (display space); false, and *out untouched, when the two are parallel.
bool LineMeetsPlane(const Vec3& point, const Vec3& direction, const Vec3& p0, const Vec3& p1,
                    const Vec3& p2, Vec3* out);

class CursorRays {
 public:
  // inverse_screen: the inverse of world x view x projection x viewport; world: the device's.
  CursorRays(const Mat4& inverse_screen, const Mat4& world)
      : inverse_(inverse_screen), direction_(ViewDirection(world)) {}

  // Where the ray through (x, y) meets the plane of the triangle p0 p1 p2 (display space). A
  // ray parallel to the plane leaves *out as the caller set it.
  void HitPlane(float x, float y, const Vec3& p0, const Vec3& p1, const Vec3& p2, Vec3* out) const {
    LineMeetsPlane(Origin(x, y), direction_, p0, p1, p2, out);
  }
  // The display-space point on the near plane under screen point (x, y).
  Vec3 Origin(float x, float y) const;

 private:
  Mat4 inverse_;
  Vec3 direction_;
};
