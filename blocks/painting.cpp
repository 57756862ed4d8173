// The pens: texels of the face under the cursor, or a small square on the canvas where no face is.
#include <cmath>

#include "app/game_app.h"
#include "blocks/block_set.h"
#include "blocks/cursor_ray.h"
#include "world/world.h"

namespace r = platform::render;

namespace {
float CrossLength(const Vec3& a, const Vec3& b) {
  Vec3 c;
  Cross(c, a, b);
  return std::sqrt(LengthSquared(c));
}
}  // namespace

CursorRays BlockSet::Rays(r::RenderDevice* device) const {
  Mat4 inverse;
  AffineInverse(inverse, ScreenMatrix(device));
  r::Matrix world;
  device->GetTransform(r::TransformType::kWorld, &world);
  return CursorRays(inverse, FromDeviceMatrix(world));
}

bool BlockSet::FacePointUnderCursor(const Face& face, r::RenderDevice* device, float x, float y,
                                    Vec3* out) const {
  Rays(device).HitPlane(x, y, SwapYZ(*face.corner[0]), SwapYZ(*face.corner[1]),
                        SwapYZ(*face.corner[2]), out);
  return true;
}

bool BlockSet::PaintFaceTexel(r::RenderDevice* device, Face* face, float x, float y,
                              const uint8_t pen[3], int triangle) {
  return PaintFaceTexel(Rays(device), face, x, y, pen, triangle);
}

bool BlockSet::PaintFaceTexel(const CursorRays& rays, Face* face, float x, float y,
                              const uint8_t pen[3], int triangle) {
  if (int(x) < 0 || int(x) > width - 1 || int(y) < 0 || int(y) > height - 1) return false;
  const Vec3& p0 = *face->corner[0];
  const Vec3& p1 = *face->corner[1];
  const Vec3& p2 = *face->corner[2];
  const Vec3& p3 = *face->corner[3];
  Vec3 hit;
  rays.HitPlane(x, y, SwapYZ(p0), SwapYZ(p1), SwapYZ(p2), &hit);
  const Vec3 p = SwapYZ(hit);
  Vec3 a, b;
  // Inside when P lies on the inner side of all three edges of the triangle.
  const auto inside = [&](int t) {
    const Vec3* v[3] = {&p0, &p1, &p2};
    if (t == 1) v[0] = &p2, v[1] = &p3, v[2] = &p0;
    Vec3 n;
    if (t == 1)
      Cross(n, Subtract(a, p2, p3), Subtract(b, p0, p3));
    else
      Cross(n, Subtract(a, p0, p1), Subtract(b, p2, p1));
    NormalizeInPlace(n);
    for (int k = 0; k < 3; ++k) {
      Vec3 c;
      Cross(c, Subtract(a, p, *v[k]), Subtract(b, *v[(k + 1) % 3], *v[k]));
      MultiplyInPlace(c, n);
      if (c.x < 0.0f || c.y < 0.0f || c.z < 0.0f) return false;
    }
    return true;
  };
  // The pick scan gives a cell up to half a pixel past a triangle's edge to that triangle, so
  // a sample that misses it may lie on the face's other triangle.
  if (!inside(triangle)) {
    triangle = 1 - triangle;
    if (!inside(triangle)) return false;
  }
  face->area012 = CrossLength(Subtract(a, p0, p1), Subtract(b, p1, p2));
  face->area230 = CrossLength(Subtract(a, p2, p3), Subtract(b, p3, p0));
  float u, w;
  if (triangle == 1) {
    const float area = face->area230;
    u = CrossLength(Subtract(a, p3, p), Subtract(b, p0, p)) / area;
    w = u + CrossLength(Subtract(a, p2, p), Subtract(b, p0, p)) / area;
  } else {
    const float area = face->area012;
    w = CrossLength(Subtract(a, p0, p), Subtract(b, p1, p)) / area;
    u = w + CrossLength(Subtract(a, p0, p), Subtract(b, p2, p)) / area;
  }
  if (!(u >= 0.0f && u <= 1.0f && w >= 0.0f && w <= 1.0f)) return false;
  const ImageTexture* shown = face->texture;
  if (!shown || !shown->Backing() || !face->owner) return false;
  const int tw = shown->Width(), th = shown->Height();
  // A hit on the far border (u or v exactly 1) stays on the last texel.
  const int column = std::min(int(float(tw) * u), tw - 1);
  const int row = std::min(int(float(th) * w), th - 1);
  const size_t at = 3 * (size_t(column) + size_t(row) * size_t(tw));
  // A texel that has the pen's colour already is left as it is: a face showing the shared blank
  // texture needs no texture of its own for a stroke that changes nothing.
  const uint8_t* now = &shown->Backing()->Buffer()[at];
  if (now[0] == pen[0] && now[1] == pen[1] && now[2] == pen[2]) return true;
  // The face's own texture: a face that showed the shared one gets it now.
  ImageTexture* texture = face->owner->TextureToPaint(*face);
  if (!texture || !texture->Backing()) return false;
  uint8_t* texel = &texture->Backing()->Buffer()[at];
  texel[0] = pen[0];
  texel[1] = pen[1];
  texel[2] = pen[2];
  texture->Upload(column, row, 1, 1);
  return true;
}

bool BlockSet::PaintAt(r::RenderDevice* device, float x, float y, const uint8_t pen[3],
                       float zoom) {
  const int ix = int(x), iy = int(y);
  Face* face = nullptr;
  int triangle = 0;
  if (ix >= 0 && ix < width && iy >= 0 && iy < height) {
    const PickCell cell = FrontCell(ix, iy);
    face = CellFace(cell);
    triangle = cell.Triangle();
  }
  if (!face) {
    DibImage& canvas = application->GetWorld()->canvas;
    uint8_t* bits = canvas.DibBits();
    if (!bits) return false;
    for (int py = iy - 1; py <= iy + 1; ++py)
      for (int px = ix - 1; px <= ix + 1; ++px) {
        if (px < 0 || px >= canvas.Width() || py < 0 || py >= canvas.Height()) continue;
        uint8_t* p = bits + 3 * (size_t(px) + size_t(py) * canvas.Width());
        p[0] = pen[2];  // blue, green, red
        p[1] = pen[1];
        p[2] = pen[0];
      }
    return false;
  }
  // The farther the view, the larger the patch in texels.
  const float h = (zoom - 4.0f) * 0.083333336f;
  const CursorRays rays = Rays(device);
  static constexpr float kNine[3] = {0.0f, 0.5f, 1.0f};
  static constexpr float kTwentyFive[5] = {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f};
  if (h >= 0.666f) {
    PaintFaceTexel(rays, face, x, y, pen, triangle);
  } else if (h >= 0.333f) {
    for (float dy : kNine)
      for (float dx : kNine) PaintFaceTexel(rays, face, x + dx, y + dy, pen, triangle);
  } else {
    for (float dy : kTwentyFive)
      for (float dx : kTwentyFive) PaintFaceTexel(rays, face, x + dx, y + dy, pen, triangle);
  }
  return true;
}
