// The pick rasterizer's walk of one screen triangle: which rows, which columns of each row, and
// the interpolated depth at each pixel. The pick fill, the drop-target scan of the hand and the
// grab-handle markers all walk exactly these pixels; each supplies only what it does with them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "platform/render/depth_bounds.h"

// A point on screen: x and y in pixels, z the depth after the viewport (0 near, 1 far).
struct ScreenPoint {
  float x, y, z;
};

// The depth along one row: z(x) = zLeft + slope * (x - left), the same expression at every user.
struct RowDepth {
  float zLeft, slope, left;
  float At(int x) const { return zLeft + slope * (float(x) - left); }
};

namespace pick_walk {
// Four floats in one register, and the masks their comparisons give.
using Floats = float __attribute__((vector_size(16)));
using Ints = int __attribute__((vector_size(16)));
inline Floats Splat(float f) {
  return Floats{f, f, f, f};
}
inline Ints Splat(int i) {
  return Ints{i, i, i, i};
}
// a where the mask is set, b elsewhere.
inline Floats Select(Ints mask, Floats a, Floats b) {
  return Floats(((Ints)a & mask) | ((Ints)b & ~mask));
}
inline Ints Select(Ints mask, Ints a, Ints b) {
  return (a & mask) | (b & ~mask);
}
// Truncated toward zero, as int(f) does, after clamping to [-1, limit] so that no lane is out
// of the range of int (not-a-number lanes give -1).
inline Ints ToInts(Floats f, float limit) {
  const Floats low = Splat(-1.0f), high = Splat(limit);
  f = Select(f > low, f, low);
  f = Select(f < high, f, high);
  return __builtin_convertvector(f, Ints);
}
}  // namespace pick_walk

inline constexpr float kNearestPickDepth = 0.00001f;
inline constexpr float kFarthestPickDepth = 1000.0f;

// Calls span(y, first, last, depth) for runs of accepted pixels, first <= last, all inside the
// width x height buffer. Rows are sampled at integer y from round(minY) to round(maxY); a row's
// span runs from the left end rounded to the right end truncated, with the depth slope taken
// only for spans of at least a pixel. Pixels whose depth lies outside the pick range are skipped,
// and the rest of the row with them once the depth moves away from the range. Coordinates far
// outside the buffer (or not numbers) are cut before any conversion to int.
template <class SpanFn>
void WalkPickTriangle(const ScreenPoint& v0, const ScreenPoint& v1, const ScreenPoint& v2,
                      int width, int height, SpanFn&& span) {
  const ScreenPoint* v[3] = {&v0, &v1, &v2};
  float edge_dx[3], edge_dy[3], edge_dz[3];
  for (int j = 0; j < 3; ++j) {
    const ScreenPoint& a = *v[j];
    const ScreenPoint& b = *v[(j + 1) % 3];
    edge_dx[j] = b.x - a.x;
    edge_dy[j] = b.y - a.y;
    edge_dz[j] = b.z - a.z;
  }
  const float min_x = std::min({v0.x, v1.x, v2.x}), max_x = std::max({v0.x, v1.x, v2.x});
  const float min_y = std::min({v0.y, v1.y, v2.y}), max_y = std::max({v0.y, v1.y, v2.y});
  if (!(max_y + 0.5f >= 0.0f) || !(min_y + 0.5f <= float(height))) return;
  const int first_row = min_y + 0.5f < 0.0f ? 0 : int(min_y + 0.5f);
  const int last_row = max_y + 0.5f >= float(height) ? height : int(max_y + 0.5f);
  float z_left = 0.0f, z_right = 0.0f;  // kept from row to row, as the scan has always done
  // What follows once a row's ends are known: the span, cut to the screen and the depth range.
  auto finish = [&](int y, float left, float right, float zl, float slope) {
    // Spans reaching past the screen (or not numbers) are cut before the conversion to int.
    if (!(left + 0.5f < float(width)) || !(right > -1.0f)) return;
    const int first_col = left + 0.5f < 0.0f ? 0 : int(left + 0.5f);
    const int last_col = right >= float(width) ? width : int(right);
    const RowDepth depth{zl, slope, left};
    const int end = std::min(last_col, width - 1);
    // z is monotonic along the row (each rounding step is), so when both ends lie inside the
    // range every pixel does, and the whole span is accepted at once.
    const float z_first = depth.At(first_col), z_last = depth.At(last_col);
    if (z_first >= kNearestPickDepth && z_first <= kFarthestPickDepth &&
        z_last >= kNearestPickDepth && z_last <= kFarthestPickDepth) {
      if (first_col <= end) span(y, first_col, end, depth);
      return;
    }
    for (int x = first_col; x <= last_col; ++x) {
      const float z = depth.At(x);
      if (z < kNearestPickDepth) {
        if (slope <= 0.0f) break;
        continue;
      }
      if (z > kFarthestPickDepth) {
        if (slope >= 0.0f) break;
        continue;
      }
      if (x < width) span(y, x, x, depth);
    }
  };
  // One row on its own. An edge reaching the row sets an end only if it lies beyond the end so
  // far, so a row that no edge reaches (a rounded first or last row) keeps the depths of the
  // row before.
  auto row = [&](int y) {
    float left = max_x, right = min_x;
    for (int j = 0; j < 3; ++j) {
      if (edge_dy[j] == 0.0f) continue;
      const float t = (float(y) - v[j]->y) / edge_dy[j];
      if (t < 0.0f || t > 1.0f) continue;
      const float x = v[j]->x + t * edge_dx[j];
      const float z = v[j]->z + t * edge_dz[j];
      if (x <= left) left = x, z_left = z;
      if (x >= right) right = x, z_right = z;
    }
    const float slope = right - left >= 1.0f ? (z_right - z_left) / (right - left) : 0.0f;
    finish(y, left, right, z_left, slope);
  };
  // The last row may be row `height`, below the buffer: it would give nothing, so the walk
  // ends a row before it.
  const int end_row = std::min(last_row, height - 1);
  int y = first_row;
  // Four rows at a time, each lane doing the very operations of one row alone: the rows'
  // divisions overlap. Where a lane's row keeps a depth of the row before, the four go one by
  // one instead.
  using pick_walk::Floats;
  using pick_walk::Ints;
  // A row that no edge reaches (a rounded first or last row) keeps its ends at max_x and min_x:
  // on a triangle two pixels wide or more that span is empty, and it changes nothing but the
  // depths handed on, taken after each four rows from the last row an edge reached.
  const bool wide = max_x - min_x >= 2.0f;  // false for not a number
  for (; y + 3 <= end_row; y += 4) {
    const Floats ys = {float(y), float(y + 1), float(y + 2), float(y + 3)};
    Floats left = pick_walk::Splat(max_x), right = pick_walk::Splat(min_x);
    Floats zl = {}, zr = {};
    Ints set_left = {}, set_right = {};
    for (int j = 0; j < 3; ++j) {
      if (edge_dy[j] == 0.0f) continue;
      const Floats t = (ys - pick_walk::Splat(v[j]->y)) / pick_walk::Splat(edge_dy[j]);
      const Ints reached = ~((t < pick_walk::Splat(0.0f)) | (t > pick_walk::Splat(1.0f)));
      const Floats x = pick_walk::Splat(v[j]->x) + t * pick_walk::Splat(edge_dx[j]);
      const Floats z = pick_walk::Splat(v[j]->z) + t * pick_walk::Splat(edge_dz[j]);
      const Ints to_left = reached & (x <= left);
      const Ints to_right = reached & (x >= right);
      left = pick_walk::Select(to_left, x, left);
      zl = pick_walk::Select(to_left, z, zl);
      right = pick_walk::Select(to_right, x, right);
      zr = pick_walk::Select(to_right, z, zr);
      set_left |= to_left;
      set_right |= to_right;
    }
    // Rows that only one end reaches go one by one.
    const Ints both = set_left & set_right;
    const Ints neither = ~(set_left | set_right);
    const Ints lane_ok = wide ? both | neither : both;
    if (!(lane_ok[0] & lane_ok[1] & lane_ok[2] & lane_ok[3])) {
      for (int k = 0; k < 4; ++k) row(y + k);
      continue;
    }
    const Floats width_x = right - left;
    const Floats slope = pick_walk::Select(width_x >= pick_walk::Splat(1.0f), (zr - zl) / width_x,
                                           pick_walk::Splat(0.0f));
    // The spans' ends and their depths, as finish() makes them; a lane reaching past the depth
    // range goes through finish() itself. The ends are clamped to [-1, width] before the
    // conversion, which leaves a row off the screen with an empty span, as finish() would.
    const Floats w = pick_walk::Splat(float(width));
    const Floats half = left + pick_walk::Splat(0.5f);
    const Ints first_col = pick_walk::Select(half < pick_walk::Splat(0.0f), Ints{},
                                             pick_walk::ToInts(half, float(width)));
    const Ints last_col = pick_walk::Select(right >= w, pick_walk::Splat(width),
                                            pick_walk::ToInts(right, float(width)));
    const Floats z_first = zl + slope * (__builtin_convertvector(first_col, Floats) - left);
    const Floats z_last = zl + slope * (__builtin_convertvector(last_col, Floats) - left);
    const Floats nearest = pick_walk::Splat(kNearestPickDepth);
    const Floats farthest = pick_walk::Splat(kFarthestPickDepth);
    const Ints whole =
        (z_first >= nearest) & (z_first <= farthest) & (z_last >= nearest) & (z_last <= farthest);
    for (int k = 0; k < 4; ++k) {
      if (!whole[k]) {
        finish(y + k, left[k], right[k], zl[k], slope[k]);
        continue;
      }
      const int end = std::min(last_col[k], width - 1);
      if (first_col[k] <= end) span(y + k, first_col[k], end, RowDepth{zl[k], slope[k], left[k]});
    }
    for (int k = 3; k >= 0; --k) {
      if (both[k]) {
        z_left = zl[k];
        z_right = zr[k];
        break;
      }
    }
  }
  for (; y <= end_row; ++y) row(y);
}

// The bound below from the least and greatest corner depth and a row slope of at most their
// spread. Each step is monotonic, so a smaller least depth, a larger greatest one or a larger
// slope never gives a larger bound: one taken over several triangles' corners holds for each.
inline float LeastPickDepthOf(double z_min, double z_max, double slope) {
  const double largest = std::max(std::fabs(z_min), std::fabs(z_max)) + (z_max - z_min) + slope;
  // Times a power of two: exact, as ldexp would be, without the library call.
  const double least = z_min - slope - largest * 0x1p-18 - 1.0e-30;
  if (!(least > -1.0e30)) return -INFINITY;
  return platform::render::FloatAtMost(least);
}

// No depth WalkPickTriangle gives any pixel of the triangle is less than this. The ends of a row
// lie on its edges, between the corners' depths; a span may start half a pixel left of its left
// end, or reach column 0 from a right end up to a pixel left of it (int() truncates toward zero),
// where the row's slope (the plane's, or at most the depths' spread over a row of at least a
// pixel) carries the depth on past that end. The float steps stray by a few ulps of the largest
// depth, far inside the margin allowed for them.
inline float LeastPickDepth(const ScreenPoint& v0, const ScreenPoint& v1, const ScreenPoint& v2) {
  const double z_min = std::min({v0.z, v1.z, v2.z}), z_max = std::max({v0.z, v1.z, v2.z});
  const double dx1 = double(v1.x) - v0.x, dy1 = double(v1.y) - v0.y;
  const double dx2 = double(v2.x) - v0.x, dy2 = double(v2.y) - v0.y;
  const double det = dx1 * dy2 - dx2 * dy1;
  const double plane_slope =
      std::fabs(((double(v1.z) - v0.z) * dy2 - (double(v2.z) - v0.z) * dy1) / det);
  // Near the screen a row's ends are placed to within a thousandth of a pixel, so its slope
  // keeps to the plane's; far off it, only the spread holds.
  const float reach = std::max({std::fabs(v0.x), std::fabs(v1.x), std::fabs(v2.x), std::fabs(v0.y),
                                std::fabs(v1.y), std::fabs(v2.y)});
  double slope = z_max - z_min;
  if (reach < 2048.0f && plane_slope * 1.01 < slope) slope = plane_slope * 1.01;
  return LeastPickDepthOf(z_min, z_max, slope);
}

// The bound of LeastPickDepth over the part of the triangle the walk goes through when it is
// width pixels wide and reaches only rows row_from..row_to; or infinity when no pixel there can
// be written (every depth lies outside the pick range). A row's ends are points of the edges
// within those rows (a row no edge reaches keeps the ends of a row before it, also within them),
// so the depth along the edges clipped to the rows bounds the ends; a pixel lies between its
// row's ends or up to a pixel past one. Within 2^20 of the screen a row's ends stray
// from the exact edges by far less than a pixel: a row whose end an edge misses by rounding
// is then under a pixel wide, so takes no slope, and every slope keeps to the plane's but for
// the strays; farther off, the same holds where the edges stay inside the corners' x by more
// than their strays. The bound never goes below the nearest depth the walk writes.
inline float LeastPickDepthInRows(const ScreenPoint& v0, const ScreenPoint& v1,
                                  const ScreenPoint& v2, int width, int row_from, int row_to) {
  const float loose = std::max(LeastPickDepth(v0, v1, v2), kNearestPickDepth);
  const ScreenPoint* v[3] = {&v0, &v1, &v2};
  double reach = std::max(width, row_to + 1), z_abs = 0.0;
  for (const ScreenPoint* p : v) {
    reach = std::max({reach, std::fabs(double(p->x)), std::fabs(double(p->y))});
    z_abs = std::max(z_abs, std::fabs(double(p->z)));
  }
  if (!(reach < 1.0e30) || !(z_abs < 1.0e30)) return loose;  // not numbers fail too
  // Each float step errs by at most 2^-24 of what it handles; sixteen times that bounds how far
  // a computed end lies from the exact edge, in x, y (the row its t gives) and depth.
  const double stray_xy = reach * 0x1p-20, stray_z = z_abs * 0x1p-20;
  const double top = row_from - 1.0 - stray_xy, bottom = row_to + 1.0 + stray_xy;
  double lo = INFINITY, hi = -INFINITY, x_low = INFINITY, x_high = -INFINITY;
  for (int j = 0; j < 3; ++j) {
    const ScreenPoint& a = *v[j];
    const ScreenPoint& b = *v[(j + 1) % 3];
    if (a.y == b.y) continue;  // the walk passes level edges over
    const double dy = double(b.y) - a.y, dz = double(b.z) - a.z;
    double t0 = (top - a.y) / dy, t1 = (bottom - a.y) / dy;
    if (t0 > t1) std::swap(t0, t1);
    t0 = std::max(t0, 0.0), t1 = std::min(t1, 1.0);
    if (t0 > t1) continue;
    for (double t : {t0, t1}) lo = std::min(lo, a.z + t * dz), hi = std::max(hi, a.z + t * dz);
    if (a.x == b.x) continue;  // the walk's x is a.x itself there
    const double dx = double(b.x) - a.x;
    x_low = std::min({x_low, a.x + t0 * dx, a.x + t1 * dx});
    x_high = std::max({x_high, a.x + t0 * dx, a.x + t1 * dx});
  }
  // Farther off, a row's end can stray past the corners' least or greatest x, and its row keeps
  // an end of a row before: only an edge that stays inside them by more than its strays is sure
  // to set both ends.
  const double min_x = std::min({v0.x, v1.x, v2.x}), max_x = std::max({v0.x, v1.x, v2.x});
  if (!(reach < 0x1p20) && !(x_low > min_x + stray_xy && x_high < max_x - stray_xy)) return loose;
  if (!(lo <= hi)) return INFINITY;  // no edge there: every end is the walk's first 0
  lo -= stray_z, hi += stray_z;
  // A row's slope: at most its ends' spread over a pixel, and near the plane's x slope, off it
  // only by the ends' strays.
  double slope = hi - lo;
  const double dx1 = double(v1.x) - v0.x, dy1 = double(v1.y) - v0.y;
  const double dx2 = double(v2.x) - v0.x, dy2 = double(v2.y) - v0.y;
  const double det = dx1 * dy2 - dx2 * dy1;
  if (std::fabs(det) > (std::fabs(dx1 * dy2) + std::fabs(dx2 * dy1)) * 0x1p-20) {
    const double dz1 = double(v1.z) - v0.z, dz2 = double(v2.z) - v0.z;
    const double a = std::fabs((dz1 * dy2 - dz2 * dy1) / det);
    const double b = std::fabs((dz2 * dx1 - dz1 * dx2) / det);
    slope = std::min(slope, (a + 2.0 * ((a + b) * stray_xy + stray_z)) * (1.0 + 0x1p-20));
  }
  const double margin =
      (std::max(std::fabs(lo), std::fabs(hi)) + (hi - lo) + slope * (1.0 + reach)) * 0x1p-18 +
      1.0e-30;
  const double least = lo - slope - margin, greatest = hi + slope + margin;
  if (greatest < kNearestPickDepth || least > kFarthestPickDepth) return INFINITY;
  if (!(least > -1.0e30)) return loose;
  return std::max(platform::render::FloatAtMost(least), loose);
}

// The same walk, one call pixel(x, y, z) per accepted pixel.
template <class PixelFn>
void WalkPickTrianglePixels(const ScreenPoint& v0, const ScreenPoint& v1, const ScreenPoint& v2,
                            int width, int height, PixelFn&& pixel) {
  WalkPickTriangle(v0, v1, v2, width, height,
                   [&](int y, int first, int last, const RowDepth& depth) {
                     for (int x = first; x <= last; ++x) pixel(x, y, depth.At(x));
                   });
}

// Cell index of a pixel in a row-major buffer.
inline size_t CellIndex(int x, int y, int width) {
  return size_t(x) + size_t(y) * size_t(width);
}
