#include "blocks/math.h"

#include <cmath>

Vec3& FaceNormal(Vec3& dst, const Vec3& p0, const Vec3& p2, const Vec3& p3) {
  Vec3 a, b;
  Subtract(a, p2, p3);
  Subtract(b, p0, p3);
  Cross(dst, a, b);
  NormalizeInPlace(dst);
  return dst;
}

Vec4& FromPoint(Vec4& dst, const Vec3& v) {
  dst = {v.x, v.y, v.z, 1.0f};
  return dst;
}

Vec4& TransformInPlace(Vec4& v, const Mat4& m) {
  float r[4];
  for (int j = 0; j < 4; ++j)
    r[j] = v.x * m.At(0, j) + v.y * m.At(1, j) + v.z * m.At(2, j) + v.w * m.At(3, j);
  v = {r[0], r[1], r[2], r[3]};
  return v;
}

Mat4& Identity(Mat4& dst) {
  Zero(dst);
  for (int i = 0; i < 4; ++i) dst.At(i, i) = 1.0f;
  return dst;
}

Mat4& Zero(Mat4& dst) {
  for (float& f : dst.m) f = 0.0f;
  return dst;
}

Mat4& Multiply(Mat4& dst, const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col)
      r.At(row, col) = a.At(row, 0) * b.At(0, col) + a.At(row, 1) * b.At(1, col) +
                       a.At(row, 2) * b.At(2, col) + a.At(row, 3) * b.At(3, col);
  dst = r;
  return dst;
}

Mat4& AffineInverse(Mat4& dst, const Mat4& m) {
  // Cofactors of the upper 3x3 block divided by its determinant.
  float a = m.At(0, 0), b = m.At(0, 1), c = m.At(0, 2);
  float d = m.At(1, 0), e = m.At(1, 1), f = m.At(1, 2);
  float g = m.At(2, 0), h = m.At(2, 1), i = m.At(2, 2);
  float c00 = e * i - f * h, c01 = f * g - d * i, c02 = d * h - e * g;
  float det = a * c00 + b * c01 + c * c02;
  Mat4 r;
  r.At(0, 0) = c00 / det;
  r.At(0, 1) = (c * h - b * i) / det;
  r.At(0, 2) = (b * f - c * e) / det;
  r.At(1, 0) = c01 / det;
  r.At(1, 1) = (a * i - c * g) / det;
  r.At(1, 2) = (c * d - a * f) / det;
  r.At(2, 0) = c02 / det;
  r.At(2, 1) = (b * g - a * h) / det;
  r.At(2, 2) = (a * e - b * d) / det;
  // Row 3 = -(t x inverse 3x3).
  float tx = m.At(3, 0), ty = m.At(3, 1), tz = m.At(3, 2);
  for (int col = 0; col < 3; ++col)
    r.At(3, col) = -(tx * r.At(0, col) + ty * r.At(1, col) + tz * r.At(2, col));
  r.At(3, 3) = 1.0f;
  dst = r;
  return dst;
}

Vec3& TransformTransposed3x3(Vec3& dst, const Vec3& v, const Mat4& m) {
  float r[3];
  for (int i = 0; i < 3; ++i) r[i] = m.At(i, 0) * v.x + m.At(i, 1) * v.y + m.At(i, 2) * v.z;
  return dst.Set(r[0], r[1], r[2]);
}
