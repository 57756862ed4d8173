#include "platform/render/sprite.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace platform::render {

namespace {

// Source over destination: the texel's alpha times the colour's, the colour modulating the texel.
inline uint32_t Blend(uint32_t dst, uint32_t texel, uint32_t ca, uint32_t cr, uint32_t cg,
                      uint32_t cb) {
  if ((texel >> 24) == 255 && (ca & cr & cg & cb) == 255) return texel & 0x00FFFFFF;
  const uint32_t a = (texel >> 24) * ca / 255;
  uint32_t r = ((texel >> 16) & 0xFF) * cr / 255;
  uint32_t g = ((texel >> 8) & 0xFF) * cg / 255;
  uint32_t b = (texel & 0xFF) * cb / 255;
  if (a == 255) return (r << 16) | (g << 8) | b;
  if (a == 0) return dst;
  const uint32_t dr = (dst >> 16) & 0xFF, dg = (dst >> 8) & 0xFF, db = dst & 0xFF;
  r = (r * a + dr * (255 - a) + 127) / 255;
  g = (g * a + dg * (255 - a) + 127) / 255;
  b = (b * a + db * (255 - a) + 127) / 255;
  return (r << 16) | (g << 8) | b;
}

}  // namespace

bool Sprite::Begin() {
  if (lost_ || begun_) return false;
  begun_ = true;
  return true;
}

bool Sprite::Draw(const Texture* texture, const Rect* source, const Vector2* scaling,
                  const Vector2* rotation_centre, float angle, const Vector2* translation,
                  uint32_t color) {
  if (lost_ || texture == nullptr) return false;
  Rect src = source ? *source : Rect{0, 0, texture->Width(), texture->Height()};
  src.left = std::clamp(src.left, 0, texture->Width());
  src.right = std::clamp(src.right, src.left, texture->Width());
  src.top = std::clamp(src.top, 0, texture->Height());
  src.bottom = std::clamp(src.bottom, src.top, texture->Height());
  const float sx = scaling ? scaling->x : 1.0f;
  const float sy = scaling ? scaling->y : 1.0f;
  if (sx == 0.0f || sy == 0.0f) return true;
  const float cx = rotation_centre ? rotation_centre->x : 0.0f;
  const float cy = rotation_centre ? rotation_centre->y : 0.0f;
  const float tx = translation ? translation->x : 0.0f;
  const float ty = translation ? translation->y : 0.0f;
  const float cs = std::cos(angle), sn = std::sin(angle);

  // Forward map of a picture point p (relative to the source rectangle):
  // q = R * (S p - c) + c + t. The loop below walks screen pixels and maps them back.
  auto forward = [&](float px, float py, float* qx, float* qy) {
    float x = px * sx - cx, y = py * sy - cy;
    *qx = cs * x - sn * y + cx + tx;
    *qy = sn * x + cs * y + cy + ty;
  };
  float w = float(src.right - src.left), h = float(src.bottom - src.top);
  float xs[4], ys[4];
  forward(0, 0, &xs[0], &ys[0]);
  forward(w, 0, &xs[1], &ys[1]);
  forward(w, h, &xs[2], &ys[2]);
  forward(0, h, &xs[3], &ys[3]);
  // Over what the scene has drawn so far: its kept triangles go in first.
  device_->FillSceneSoFar();
  Surface* target = device_->GetBackBuffer();
  int min_x = std::max(0, int(std::floor(*std::min_element(xs, xs + 4))));
  int max_x = std::min(target->Width(), int(std::ceil(*std::max_element(xs, xs + 4))));
  int min_y = std::max(0, int(std::floor(*std::min_element(ys, ys + 4))));
  int max_y = std::min(target->Height(), int(std::ceil(*std::max_element(ys, ys + 4))));

  const uint32_t ca = color >> 24, cr = (color >> 16) & 0xFF, cg = (color >> 8) & 0xFF,
                 cb = color & 0xFF;
  const uint32_t* texels = texture->Texels();
  uint32_t* pixels = target->Pixels();
  if (angle == 0.0f) {
    // Unturned: each screen column and row maps to one picture column and row, found once.
    // The pixel centre x + 0.5 maps to (x + 0.5 - t) / s.
    std::vector<int>& columns = columns_;  // kept between draws: no allocation per frame
    columns.clear();
    for (int x = min_x; x < max_x; ++x) {
      float px = (float(x) + 0.5f - tx) / sx;
      columns.push_back(px >= 0.0f && px < w ? src.left + int(px) : -1);
    }
    // At scale 1 the columns run one after the other: each row is then a walk along the
    // picture's row, and opaque texels under an opaque white colour are copied as they are.
    bool in_a_row = !columns.empty();
    for (size_t i = 0; in_a_row && i < columns.size(); ++i)
      in_a_row = columns[i] >= 0 && columns[i] == columns[0] + int(i);
    const bool white = (color & 0x00FFFFFF) == 0x00FFFFFF;
    for (int y = min_y; y < max_y; ++y) {
      float py = (float(y) + 0.5f - ty) / sy;
      if (!(py >= 0.0f && py < h)) continue;
      const uint32_t* texel_row = texels + size_t(src.top + int(py)) * texture->Width();
      uint32_t* out = pixels + size_t(y) * target->PitchPixels();
      if (in_a_row) {
        const uint32_t* from = texel_row + columns[0] - min_x;
        if (white) {
          // A row of opaque texels under a white colour: a copy without alpha, or one blend by
          // the colour's alpha alone, in plain loops the compiler vectorises.
          bool opaque = texture->RowOpaque(src.top + int(py));
          if (!opaque) {
            uint32_t all = 0xFF000000u;
            for (int x = min_x; x < max_x; ++x) all &= from[x];
            opaque = (all >> 24) == 0xFF;
          }
          if (opaque) {
            if (ca == 255) {
              for (int x = min_x; x < max_x; ++x) out[x] = from[x] & 0x00FFFFFF;
            } else if (ca > 0) {
              // (t ca + d (255 - ca) + 127) / 255 per channel, in 16 bits (at most 65152), the
              // division as (v + 1 + v / 256) / 256, exact below 65535.
              const uint16_t alpha = uint16_t(ca), keep = uint16_t(255 - ca);
              const auto channel = [alpha, keep](uint32_t t, uint32_t d) {
                const uint16_t v =
                    uint16_t(uint16_t(t & 0xFF) * alpha + uint16_t(d & 0xFF) * keep + 127);
                return uint32_t(uint16_t(v + 1 + (v >> 8)) >> 8);
              };
              for (int x = min_x; x < max_x; ++x) {
                const uint32_t t = from[x], d = out[x];
                out[x] =
                    channel(t >> 16, d >> 16) << 16 | channel(t >> 8, d >> 8) << 8 | channel(t, d);
              }
            }
            continue;
          }
        }
        for (int x = min_x; x < max_x; ++x) {
          const uint32_t texel = from[x];
          out[x] = white && ca == 255 && (texel >> 24) == 255
                       ? texel & 0x00FFFFFF
                       : Blend(out[x], texel, ca, cr, cg, cb);
        }
        continue;
      }
      for (int x = min_x; x < max_x; ++x) {
        const int column = columns[size_t(x - min_x)];
        if (column < 0) continue;
        out[x] = Blend(out[x], texel_row[column], ca, cr, cg, cb);
      }
    }
    return true;
  }
  for (int y = min_y; y < max_y; ++y) {
    for (int x = min_x; x < max_x; ++x) {
      // Inverse map of the pixel centre.
      float qx = float(x) + 0.5f - cx - tx, qy = float(y) + 0.5f - cy - ty;
      float px = (cs * qx + sn * qy + cx) / sx;
      float py = (-sn * qx + cs * qy + cy) / sy;
      if (!(px >= 0.0f && py >= 0.0f && px < w && py < h)) continue;
      uint32_t& d = pixels[size_t(y) * target->PitchPixels() + x];
      d = Blend(d, texels[size_t(src.top + int(py)) * texture->Width() + src.left + int(px)], ca,
                cr, cg, cb);
    }
  }
  return true;
}

Result CreateSprite(RenderDevice* device, std::unique_ptr<Sprite>* out) {
  *out = std::make_unique<Sprite>(device);
  return Result::kOk;
}

}  // namespace platform::render
