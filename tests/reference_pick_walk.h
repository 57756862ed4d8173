// The pick rasterizer's walk as it was first written and checked: one row after another, the
// depths of the row before kept where no edge reaches a row. The faster walk must call its
// spans exactly as this one does.
#pragma once

#include <algorithm>

#include "blocks/pick_walk.h"

namespace reference_pick_walk {

template <class SpanFn>
void ReferenceWalk(const ScreenPoint& v0, const ScreenPoint& v1, const ScreenPoint& v2, int width,
                   int height, SpanFn&& span) {
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
  // Row `height` is walked (its pixels fall outside the buffer and are dropped).
  for (int y = first_row; y <= last_row && y < height; ++y) {
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
    // Spans reaching past the screen (or not numbers) are cut before the conversion to int.
    if (!(left + 0.5f < float(width)) || !(right > -1.0f)) continue;
    const int first_col = left + 0.5f < 0.0f ? 0 : int(left + 0.5f);
    const int last_col = right >= float(width) ? width : int(right);
    const RowDepth depth{z_left, slope, left};
    const int end = std::min(last_col, width - 1);
    // z is monotonic along the row (each rounding step is), so when both ends lie inside the
    // range every pixel does, and the whole span is accepted at once.
    const float z_first = depth.At(first_col), z_last = depth.At(last_col);
    if (z_first >= kNearestPickDepth && z_first <= kFarthestPickDepth &&
        z_last >= kNearestPickDepth && z_last <= kFarthestPickDepth) {
      if (first_col <= end) span(y, first_col, end, depth);
      continue;
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
  }
}

}  // namespace reference_pick_walk
