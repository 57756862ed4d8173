#include "platform/render/d3dx.h"

#include <cmath>

#include "platform/image/picture.h"
#include "platform/whole_file.h"

namespace platform::render {

namespace {
Vector3 Sub(const Vector3& a, const Vector3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const Vector3& a, const Vector3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vector3 Normalize(const Vector3& v) {
  float l = std::sqrt(Dot(v, v));
  return l == 0.0f ? v : Vector3{v.x / l, v.y / l, v.z / l};
}
}  // namespace

Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up) {
  Vector3 z = Normalize(Sub(at, eye));
  Vector3 x = Normalize(Cross(up, z));
  Vector3 y = Cross(z, x);
  Matrix r = Matrix::Identity();
  r.m[0][0] = x.x, r.m[0][1] = y.x, r.m[0][2] = z.x;
  r.m[1][0] = x.y, r.m[1][1] = y.y, r.m[1][2] = z.y;
  r.m[2][0] = x.z, r.m[2][1] = y.z, r.m[2][2] = z.z;
  r.m[3][0] = -Dot(x, eye), r.m[3][1] = -Dot(y, eye), r.m[3][2] = -Dot(z, eye);
  return r;
}

Matrix MatrixOrthoLH(float w, float h, float zn, float zf) {
  Matrix r = Matrix::Identity();
  r.m[0][0] = 2.0f / w;
  r.m[1][1] = 2.0f / h;
  r.m[2][2] = 1.0f / (zf - zn);
  r.m[3][2] = zn / (zn - zf);
  return r;
}

Matrix MatrixMultiply(const Matrix& a, const Matrix& b) {
  Matrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
  return r;
}

bool MatrixInverse(const Matrix& mat, Matrix* out) {
  // Gauss-Jordan elimination with partial pivoting, in double for a stable result.
  double a[4][8];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 8; ++c) a[r][c] = c < 4 ? mat.m[r][c] : (c - 4 == r ? 1.0 : 0.0);
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (a[pivot][col] == 0.0) return false;
    if (pivot != col)
      for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
    double p = a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] /= p;
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      double f = a[r][col];
      for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
    }
  }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out->m[r][c] = float(a[r][c + 4]);
  return true;
}

bool CreateTextureFromFile(RenderDevice* device, const std::string& path,
                           std::unique_ptr<Texture>* out) {
  image::Picture picture;
  std::string why;
  if (!image::LoadPictureFile(path, &picture, &why)) {
    SetLastError(DataFileProblem(DataKind::kPicture, path, why));
    return false;
  }
  std::unique_ptr<Texture> texture;
  if (device->CreateTexture(picture.width, picture.height, &texture) != Result::kOk) {
    SetLastError(DataFileProblem(DataKind::kPicture, path, "too large to draw"));
    return false;
  }
  std::copy(picture.argb.begin(), picture.argb.end(), texture->MutableTexels());
  *out = std::move(texture);
  return true;
}

}  // namespace platform::render
