// The program's vector and matrix library: 32-bit floats, row vectors (v x M), row-major matrices.
// Physics space has z up (table top at z = 0); display space has y up; the two swap y and z.
#pragma once

#include <cmath>

#include "platform/render/types.h"

struct Vec3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  Vec3& Zero() { return Set(0.0f, 0.0f, 0.0f); }
  Vec3& Set(float nx, float ny, float nz) {
    x = nx, y = ny, z = nz;
    return *this;
  }
  bool operator==(const Vec3&) const = default;
};

struct Vec4 {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
  bool operator==(const Vec4&) const = default;
};

// m[4 * row + column].
struct Mat4 {
  float m[16] = {};
  float& At(int row, int column) { return m[4 * row + column]; }
  float At(int row, int column) const { return m[4 * row + column]; }
  bool operator==(const Mat4&) const = default;
};

// The small vector operations are inline: the physics step calls them millions of times a second.
inline Vec3& Subtract(Vec3& dst, const Vec3& a, const Vec3& b) {
  return dst.Set(a.x - b.x, a.y - b.y, a.z - b.z);
}
inline Vec3& Add(Vec3& dst, const Vec3& a, const Vec3& b) {
  return dst.Set(a.x + b.x, a.y + b.y, a.z + b.z);
}
inline Vec3& Scale(Vec3& dst, const Vec3& v, float s) {
  return dst.Set(s * v.x, s * v.y, s * v.z);
}
inline Vec3& AddInPlace(Vec3& v, const Vec3& w) {
  return v.Set(v.x + w.x, v.y + w.y, v.z + w.z);
}
inline Vec3& DivideInPlace(Vec3& v, float s) {
  return v.Set(v.x / s, v.y / s, v.z / s);
}
inline Vec3& MultiplyInPlace(Vec3& v, const Vec3& w) {
  return v.Set(v.x * w.x, v.y * w.y, v.z * w.z);
}
inline float LengthSquared(const Vec3& v) {
  return v.x * v.x + v.y * v.y + v.z * v.z;
}
// a . b, summed x, y, z in that order.
inline float Dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
// a x b.
inline Vec3& Cross(Vec3& dst, const Vec3& a, const Vec3& b) {
  // Computed into locals first so that dst may alias a or b.
  const float x = a.y * b.z - b.y * a.z;
  const float y = b.x * a.z - a.x * b.z;
  const float z = b.y * a.x - a.y * b.x;
  return dst.Set(x, y, z);
}
// False, and v unchanged, when its length is exactly 0.
inline bool NormalizeInPlace(Vec3& v) {
  const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (length == 0.0f) return false;
  v.Set(v.x / length, v.y / length, v.z / length);
  return true;
}
// (p2 - p3) x (p0 - p3), normalised unless it is exactly zero.
Vec3& FaceNormal(Vec3& dst, const Vec3& p0, const Vec3& p2, const Vec3& p3);

Vec4& FromPoint(Vec4& dst, const Vec3& v);
Vec4& TransformInPlace(Vec4& v, const Mat4& m);

Mat4& Identity(Mat4& dst);
Mat4& Zero(Mat4& dst);
// A x B: a row vector transformed by the product meets A first.
Mat4& Multiply(Mat4& dst, const Mat4& a, const Mat4& b);
// Inverse of a matrix whose last column is (0, 0, 0, 1); no test for a zero determinant.
Mat4& AffineInverse(Mat4& dst, const Mat4& m);
// dst.i = sum over j of m[i][j] * v.j: undoes the rotation of a row vector by a pure rotation.
Vec3& TransformTransposed3x3(Vec3& dst, const Vec3& v, const Mat4& m);

// Physics (x, y, z) <-> display (x, z, y).
inline Vec3 SwapYZ(const Vec3& v) {
  return {v.x, v.z, v.y};
}

inline platform::render::Matrix ToDeviceMatrix(const Mat4& m) {
  platform::render::Matrix r;
  for (int i = 0; i < 16; ++i) r.m[i / 4][i % 4] = m.m[i];
  return r;
}
inline Mat4 FromDeviceMatrix(const platform::render::Matrix& d) {
  Mat4 r;
  for (int i = 0; i < 16; ++i) r.m[i] = d.m[i / 4][i % 4];
  return r;
}
