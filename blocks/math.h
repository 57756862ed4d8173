// The program's vector and matrix library: 32-bit floats, row vectors (v x M), row-major matrices.
// Physics space has z up (table top at z = 0); display space has y up; the two swap y and z.
#pragma once

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

Vec3& Subtract(Vec3& dst, const Vec3& a, const Vec3& b);
Vec3& Add(Vec3& dst, const Vec3& a, const Vec3& b);
Vec3& Scale(Vec3& dst, const Vec3& v, float s);
Vec3& AddInPlace(Vec3& v, const Vec3& w);
Vec3& DivideInPlace(Vec3& v, float s);
Vec3& MultiplyInPlace(Vec3& v, const Vec3& w);
float LengthSquared(const Vec3& v);
// a . b, summed x, y, z in that order.
float Dot(const Vec3& a, const Vec3& b);
// a x b.
Vec3& Cross(Vec3& dst, const Vec3& a, const Vec3& b);
// False, and v unchanged, when its length is exactly 0.
bool NormalizeInPlace(Vec3& v);
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
