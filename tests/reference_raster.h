// The software rasterizer as it was first written and checked: per-row span bounds through each
// edge's reciprocal with correction loops, depth summed in float pixel by pixel. The device's
// faster version must give exactly its pixels and depths.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/render/guard_band.h"
#include "platform/render/texture.h"
#include "platform/render/types.h"

namespace reference_raster {

using namespace platform::render;

struct Target {
  uint32_t* pixels;
  float* depth;
  int width, height;
  uint32_t cull;
  bool z_test, z_write;
  const Texture* texture;
};

constexpr float kSubpixel = 256.0f;

inline int WrapIndex(float t, int n) {
  float f = t * float(n);
  // Far outside the texture (a sliver's steep gradient) or not a number: wrapped before the
  // conversion to int, which could not hold it.
  if (!(std::fabs(f) < 1.0e9f)) f = std::isfinite(f) ? std::fmod(f, float(n)) : 0.0f;
  int i = int(f);
  if (f < float(i)) --i;  // floor for negatives
  if (unsigned(i) >= unsigned(n)) {
    i %= n;
    if (i < 0) i += n;
  }
  return i;
}

// floor() of a double known to fit in 64 bits, without the library call: exact.
inline int64_t FloorToInt64(double d) {
  const int64_t i = int64_t(d);
  return double(i) > d ? i - 1 : i;
}

inline uint32_t Modulate(uint32_t texel, uint32_t color) {
  if ((color & 0x00FFFFFF) == 0x00FFFFFF) return texel & 0x00FFFFFF;
  uint32_t r = ((texel >> 16) & 0xFF) * ((color >> 16) & 0xFF) / 255;
  uint32_t g = ((texel >> 8) & 0xFF) * ((color >> 8) & 0xFF) / 255;
  uint32_t b = (texel & 0xFF) * (color & 0xFF) / 255;
  return (r << 16) | (g << 8) | b;
}

struct Edge {
  int64_t w_row;   // edge function at the current row's first pixel
  int64_t step_x;  // change per pixel to the right
  int64_t step_y;  // change per row down
  int64_t bias;    // 0 on top and left edges, -1 elsewhere: pixels exactly on them are kept
  double inv_step_x;
};

// Round half away from zero to 24.8 fixed point, without a library call per vertex.
inline int64_t ToFixed(float v) {
  double d = double(v) * double(kSubpixel);
  return int64_t(d + (d >= 0.0 ? 0.5 : -0.5));
}
inline int FloorToInt(float v) {
  int i = int(v);
  return float(i) > v ? i - 1 : i;
}
inline int CeilToInt(float v) {
  int i = int(v);
  return float(i) < v ? i + 1 : i;
}

inline Edge MakeEdge(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
  Edge e;
  int64_t dx = bx - ax, dy = by - ay;
  e.w_row = dx * (py - ay) - dy * (px - ax);
  e.step_x = -dy * int64_t(kSubpixel);
  e.step_y = dx * int64_t(kSubpixel);
  // Clockwise on a y-down screen: a top edge runs right along a row, a left edge runs up.
  bool top_left = (dy == 0 && dx > 0) || dy < 0;
  e.bias = top_left ? 0 : -1;
  e.inv_step_x = e.step_x != 0 ? 1.0 / double(e.step_x) : 0.0;
  return e;
}

struct SpanState {
  float z, u, v;
};

// The common case in a tight loop: one colour, a texture, depth test and write on. kInRange:
// the caller found the whole span inside the depth range, so the per-pixel range test goes.
template <bool kPowerOfTwo, bool kInRange>
void DrawSpanTextured(uint32_t* pixels, float* depth, int x0, int x1, SpanState span, float dzdx,
                      float dudx, float dvdx, const uint32_t* texels, int tw, int th,
                      uint32_t color) {
  const float fw = float(tw), fh = float(th);
  const float span_length = float(x1 - x0);
  auto small = [&](float t, float dt, float size) {
    const float limit = 1.0e6f / size;  // keeps t * size * 2^32 well inside 64 bits
    return std::fabs(t) < limit && std::fabs(t + dt * span_length) < limit;
  };
  if (kPowerOfTwo && small(span.u, dudx, fw) && small(span.v, dvdx, fh)) {
    // Texel coordinates in 32.32 fixed point: masking wraps them, negative ones included, and
    // the steps are exact enough that a row never drifts across a texel border.
    constexpr double kOne = 4294967296.0;
    int64_t u = FloorToInt64(double(span.u) * fw * kOne);
    int64_t v = FloorToInt64(double(span.v) * fh * kOne);
    const int64_t du = int64_t(double(dudx) * fw * kOne), dv = int64_t(double(dvdx) * fh * kOne);
    // Without branches: a depth test that flips along the span would mispredict.
    const bool white = (color & 0x00FFFFFF) == 0x00FFFFFF;
    for (int x = x0; x <= x1; ++x, span.z += dzdx, u += du, v += dv) {
      const float z = span.z;
      const float old = depth[x];
      const bool keep = (!kInRange && (z < 0.0f || z > 1.0f)) || z > old;
      const uint32_t texel = texels[((v >> 32) & (th - 1)) * tw + ((u >> 32) & (tw - 1))];
      const uint32_t shaded = white ? texel & 0x00FFFFFF : Modulate(texel, color);
      depth[x] = keep ? old : z;
      pixels[x] = keep ? pixels[x] : shaded;
    }
  } else if (small(span.u, dudx, fw) && small(span.v, dvdx, fh)) {
    // Other sizes: the same fixed point kept inside [0, size) by one subtraction per step.
    constexpr double kOne = 4294967296.0;
    const int64_t limit_u = int64_t(tw) << 32, limit_v = int64_t(th) << 32;
    auto wrap = [](int64_t t, int64_t limit) {
      t %= limit;
      return t < 0 ? t + limit : t;
    };
    int64_t u = wrap(FloorToInt64(double(span.u) * fw * kOne), limit_u);
    int64_t v = wrap(FloorToInt64(double(span.v) * fh * kOne), limit_v);
    const int64_t du_step = int64_t(double(dudx) * fw * kOne);
    const int64_t dv_step = int64_t(double(dvdx) * fh * kOne);
    // A span that stays inside the texture without wrapping (the table's, always): the steps
    // unwrapped give the same texels, as the wrapped ones differ from them by whole sizes.
    const int64_t n = x1 - x0;
    const int64_t u_end = u + n * du_step, v_end = v + n * dv_step;
    if (u_end >= 0 && u_end < limit_u && v_end >= 0 && v_end < limit_v) {
      for (int x = x0; x <= x1; ++x, span.z += dzdx, u += du_step, v += dv_step) {
        const float z = span.z;
        if ((!kInRange && (z < 0.0f || z > 1.0f)) || z > depth[x]) continue;
        depth[x] = z;
        pixels[x] = Modulate(texels[(v >> 32) * tw + (u >> 32)], color);
      }
      return;
    }
    const int64_t du = wrap(du_step, limit_u);
    const int64_t dv = wrap(dv_step, limit_v);
    for (int x = x0; x <= x1; ++x, span.z += dzdx) {
      const float z = span.z;
      if (!((!kInRange && (z < 0.0f || z > 1.0f)) || z > depth[x])) {
        depth[x] = z;
        pixels[x] = Modulate(texels[(v >> 32) * tw + (u >> 32)], color);
      }
      u += du;
      v += dv;
      if (u >= limit_u) u -= limit_u;
      if (v >= limit_v) v -= limit_v;
    }
  } else {
    for (int x = x0; x <= x1; ++x, span.z += dzdx, span.u += dudx, span.v += dvdx) {
      const float z = span.z;
      if (z < 0.0f || z > 1.0f || z > depth[x]) continue;
      depth[x] = z;
      pixels[x] = Modulate(texels[WrapIndex(span.v, th) * tw + WrapIndex(span.u, tw)], color);
    }
  }
}

inline void Fill(Target& t, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
  float area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
  uint32_t cull = t.cull;
  // Positive area is clockwise as seen on screen.
  if (area == 0.0f || (cull == value::kCullCounterClockwise && area < 0.0f) ||
      (cull == value::kCullClockwise && area > 0.0f))
    return;
  const ScreenVertex* v0 = &a;
  const ScreenVertex* v1 = &b;
  const ScreenVertex* v2 = &c;
  if (area < 0.0f) std::swap(v1, v2);

  const int width = t.width;
  const int height = t.height;
  int min_x = std::max(0, CeilToInt(std::min({v0->x, v1->x, v2->x})));
  int max_x = std::min(width - 1, FloorToInt(std::max({v0->x, v1->x, v2->x})));
  int min_y = std::max(0, CeilToInt(std::min({v0->y, v1->y, v2->y})));
  int max_y = std::min(height - 1, FloorToInt(std::max({v0->y, v1->y, v2->y})));
  if (min_x > max_x || min_y > max_y) return;

  int64_t fx0 = ToFixed(v0->x), fy0 = ToFixed(v0->y);
  int64_t fx1 = ToFixed(v1->x), fy1 = ToFixed(v1->y);
  int64_t fx2 = ToFixed(v2->x), fy2 = ToFixed(v2->y);
  int64_t px = int64_t(min_x) * int64_t(kSubpixel), py = int64_t(min_y) * int64_t(kSubpixel);
  Edge e0 = MakeEdge(fx1, fy1, fx2, fy2, px, py);
  Edge e1 = MakeEdge(fx2, fy2, fx0, fy0, px, py);
  Edge e2 = MakeEdge(fx0, fy0, fx1, fy1, px, py);
  if (((fx1 - fx0) * (fy2 - fy0) - (fx2 - fx0) * (fy1 - fy0)) <= 0)
    return;  // collapsed in fixed point

  // Plane equations of the attributes relative to v0.
  float dx1 = v1->x - v0->x, dy1 = v1->y - v0->y, dx2 = v2->x - v0->x, dy2 = v2->y - v0->y;
  float inv = 1.0f / (dx1 * dy2 - dx2 * dy1);
  auto gradient = [&](float a0, float a1, float a2, float* ddx, float* ddy) {
    *ddx = ((a1 - a0) * dy2 - (a2 - a0) * dy1) * inv;
    *ddy = ((a2 - a0) * dx1 - (a1 - a0) * dx2) * inv;
  };
  float dzdx, dzdy, dudx, dudy, dvdx, dvdy;
  gradient(v0->z, v1->z, v2->z, &dzdx, &dzdy);
  gradient(v0->u, v1->u, v2->u, &dudx, &dudy);
  gradient(v0->v, v1->v, v2->v, &dvdx, &dvdy);
  const bool flat_color = v0->color == v1->color && v1->color == v2->color;
  float dcdx[3] = {}, dcdy[3] = {}, c0[3] = {};
  if (!flat_color) {
    for (int k = 0; k < 3; ++k) {
      int shift = 16 - 8 * k;
      c0[k] = float((v0->color >> shift) & 0xFF);
      gradient(c0[k], float((v1->color >> shift) & 0xFF), float((v2->color >> shift) & 0xFF),
               &dcdx[k], &dcdy[k]);
    }
  }

  const bool z_test = t.z_test;
  const bool z_write = t.z_write;
  const Texture* tex = t.texture;
  const uint32_t* texels = tex ? tex->Texels() : nullptr;
  const int tw = tex ? tex->Width() : 0;
  const int th = tex ? tex->Height() : 0;
  uint32_t* pixels = t.pixels;
  float* depth = t.depth;

  const bool fast_spans = flat_color && texels && z_test && z_write;
  const bool pow2 = (tw & (tw - 1)) == 0 && (th & (th - 1)) == 0;
  const uint32_t color = v0->color;

  // Attributes at the first pixel of the bounding box; each row and pixel adds its step.
  const float bx = float(min_x) - v0->x, by = float(min_y) - v0->y;
  float z_row = v0->z + dzdx * bx + dzdy * by;
  float u_row = v0->u + dudx * bx + dudy * by;
  float v_row = v0->v + dvdx * bx + dvdy * by;
  for (int y = min_y; y <= max_y; ++y, z_row += dzdy, u_row += dudy, v_row += dvdy) {
    const int64_t w0 = e0.w_row + e0.bias, w1 = e1.w_row + e1.bias, w2 = e2.w_row + e2.bias;
    e0.w_row += e0.step_y;
    e1.w_row += e1.step_y;
    e2.w_row += e2.step_y;
    // The span of this row: every edge must be non-negative. An edge falling to the right ends
    // it, one rising to the right starts it; each bound is estimated through the edge's
    // reciprocal and corrected to the exact pixel.
    int64_t first = 0, last = max_x - min_x;
    const int64_t ws[3] = {w0, w1, w2};
    const Edge* es[3] = {&e0, &e1, &e2};
    for (int k = 0; k < 3 && first <= last; ++k) {
      const int64_t w = ws[k], step = es[k]->step_x;
      if (step > 0) {
        if (w >= 0) continue;
        int64_t n = int64_t(double(-w) * es[k]->inv_step_x);
        while (w + n * step < 0) ++n;
        while (n > 0 && w + (n - 1) * step >= 0) --n;
        first = std::max(first, n);
      } else if (step < 0) {
        if (w < 0) {
          last = -1;
          break;
        }
        int64_t n = int64_t(double(w) * -es[k]->inv_step_x);
        while (w + n * step < 0) --n;
        while (w + (n + 1) * step >= 0) ++n;
        last = std::min(last, n);
      } else if (w < 0) {
        last = -1;
      }
    }
    if (first > last) continue;
    const float offset = float(first);
    SpanState span{z_row + dzdx * offset, u_row + dudx * offset, v_row + dvdx * offset};
    const int x0 = min_x + int(first), x1 = min_x + int(last);
    const size_t row_start = size_t(y) * width;
    if (fast_spans) {
      // Depth only accumulates along the span, so it stays between its two ends; a margin
      // covers the rounding of the additions.
      const float z_end = span.z + dzdx * float(x1 - x0);
      const bool in_range = std::min(span.z, z_end) > 0.001f && std::max(span.z, z_end) < 0.999f;
      uint32_t* row_pixels = pixels + row_start;
      float* row_depth = depth + row_start;
      if (pow2 && in_range)
        DrawSpanTextured<true, true>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx, texels,
                                     tw, th, color);
      else if (pow2)
        DrawSpanTextured<true, false>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx, texels,
                                      tw, th, color);
      else if (in_range)
        DrawSpanTextured<false, true>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx, texels,
                                      tw, th, color);
      else
        DrawSpanTextured<false, false>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx,
                                       texels, tw, th, color);
      continue;
    }
    for (int x = x0; x <= x1; ++x, span.z += dzdx, span.u += dudx, span.v += dvdx) {
      const size_t at = row_start + x;
      const float z = span.z;
      if (z < 0.0f || z > 1.0f) continue;
      if (z_test && z > depth[at]) continue;
      if (z_write) depth[at] = z;
      uint32_t color = v0->color;
      if (!flat_color) {
        const float fx = float(x) - v0->x, fy = float(y) - v0->y;
        uint32_t ch[3];
        for (int k = 0; k < 3; ++k)
          ch[k] = uint32_t(std::clamp(c0[k] + dcdx[k] * fx + dcdy[k] * fy, 0.0f, 255.0f));
        color = 0xFF000000u | (ch[0] << 16) | (ch[1] << 8) | ch[2];
      }
      if (texels) {
        pixels[at] =
            Modulate(texels[size_t(WrapIndex(span.v, th)) * tw + WrapIndex(span.u, tw)], color);
      } else {
        pixels[at] = color & 0x00FFFFFF;
      }
    }
  }
}

inline void DrawTriangle(Target& t, const ScreenVertex& a, const ScreenVertex& b,
                         const ScreenVertex& c) {
  if (InsideGuardBand(a, t.width, t.height) && InsideGuardBand(b, t.width, t.height) &&
      InsideGuardBand(c, t.width, t.height)) {
    Fill(t, a, b, c);
    return;
  }
  ScreenVertex polygon[9];
  const int n = ClipToGuardBand(a, b, c, t.width, t.height, polygon);
  for (int i = 1; i + 1 < n; ++i) Fill(t, polygon[0], polygon[i], polygon[i + 1]);
}

}  // namespace reference_raster
