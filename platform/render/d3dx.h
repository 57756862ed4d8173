// Helpers in the manner of D3DX: matrices and loading textures from files.
#pragma once

#include <memory>
#include <string>

#include "platform/render/render_device.h"
#include "platform/render/types.h"

namespace platform::render {

struct Vector3 {
  float x, y, z;
};

// Left-handed look-at view matrix.
Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up);
// Left-handed orthographic projection of a w x h view between the near and far planes.
Matrix MatrixOrthoLH(float w, float h, float zn, float zf);
// 4x4 inverse; false (and out untouched) when the matrix is singular.
bool MatrixInverse(const Matrix& m, Matrix* out);
Matrix MatrixMultiply(const Matrix& a, const Matrix& b);

// A texture of the file's own size from a BMP or PNG file, alpha kept.
// False with LastError() naming the file and the reason.
bool CreateTextureFromFile(RenderDevice* device, const std::string& path,
                           std::unique_ptr<Texture>* out);

}  // namespace platform::render
