#include "blocks/cursor_ray.h"

Vec3 ViewDirection(const Mat4& world) {
  Vec3 d;
  TransformTransposed3x3(d, {0.0f, 0.0f, -1.0f}, world);
  return d;
}

bool LineMeetsPlane(const Vec3& point, const Vec3& direction, const Vec3& p0, const Vec3& p1,
                    const Vec3& p2, Vec3* out) {
  // n = (p0 - p1) x (p2 - p1); the line meets the plane at t = n . (p0 - point) / n . direction.
  Vec3 a, b, n;
  Cross(n, Subtract(a, p0, p1), Subtract(b, p2, p1));
  NormalizeInPlace(n);
  const float d = Dot(n, direction);
  if (d == 0.0f) return false;
  const float t = Dot(n, Subtract(a, p0, point)) / d;
  Vec3 step;
  Add(*out, point, Scale(step, direction, t));
  return true;
}

Vec3 CursorRays::Origin(float x, float y) const {
  Vec4 o{x, y, 0.0f, 1.0f};
  TransformInPlace(o, inverse_);
  return {o.x, o.y, o.z};
}
