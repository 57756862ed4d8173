// Plain data the software device works with: matrices, viewport, vertices, result codes, states.
#pragma once

#include <cstdint>

namespace platform::render {

// Row-major 4x4 matrix used with row vectors (v x M), translation in row 3.
struct Matrix {
  float m[4][4] = {};
  static Matrix Identity() {
    Matrix r;
    for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0f;
    return r;
  }
  bool operator==(const Matrix& o) const {
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        if (m[r][c] != o.m[r][c]) return false;
    return true;
  }
};

struct Viewport {
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  float min_z = 0.0f;
  float max_z = 1.0f;
  bool operator==(const Viewport&) const = default;
};

// Position, ARGB diffuse, texture coordinates: the 24-byte vertex of the program's fans.
struct Vertex {
  float x, y, z;
  uint32_t diffuse;
  float u, v;
};
static_assert(sizeof(Vertex) == 24, "vertices are handed over as 24-byte records");

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};
struct Vector2 {
  float x = 0.0f, y = 0.0f;
};

enum class Result {
  kOk,
  kDeviceLost,
  kDeviceNotReset,
  kDriverInternalError,
  kInvalidCall,
  kOutOfVideoMemory,
  kOutOfMemory,
  kNotAvailable,
  kFail,
};

enum class DeviceType { kHal, kRef, kSoftware };
enum class VertexProcessing { kHardware, kMixed, kSoftware };

enum class RenderState {
  kZEnable,
  kZWriteEnable,
  kAlphaRef,
  kAlphaFunc,
  kLighting,
  kCullMode,
  kMultisampleAntialias,
  kMultisampleMask,
  kCount
};
enum class TextureStageState { kColorOp, kColorArg1, kColorArg2, kAlphaOp, kAlphaArg1, kCount };
enum class SamplerState { kMinFilter, kMagFilter, kMipFilter, kCount };
enum class TransformType { kWorld, kView, kProjection };
enum class PrimitiveType { kTriangleFan };

// Values of the states above, numbered as the program's Direct3D heritage has them.
namespace value {
constexpr uint32_t kCullNone = 1;
constexpr uint32_t kCullClockwise = 2;
constexpr uint32_t kCullCounterClockwise = 3;
constexpr uint32_t kCmpGreater = 5;
constexpr uint32_t kTopDisable = 1;
constexpr uint32_t kTopModulate = 4;
constexpr uint32_t kTaDiffuse = 0;
constexpr uint32_t kTaTexture = 2;
constexpr uint32_t kFilterNone = 0;
}  // namespace value

// Clear flags.
constexpr uint32_t kClearTarget = 1;
constexpr uint32_t kClearZBuffer = 2;

// Vertex format bits of the program's vertices.
constexpr uint32_t kFvfXyz = 0x002;
constexpr uint32_t kFvfDiffuse = 0x040;
constexpr uint32_t kFvfTex1 = 0x100;

struct PresentParameters {
  int back_buffer_width = 0;
  int back_buffer_height = 0;
  bool windowed = false;
  bool lockable_back_buffer = false;
  bool auto_depth_stencil = false;
  int back_buffer_count = 0;
  int presentation_interval = 0;
};

struct LockedRect {
  void* bits = nullptr;
  int pitch = 0;  // bytes per row
};

}  // namespace platform::render
