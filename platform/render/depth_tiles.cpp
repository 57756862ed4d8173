#include "platform/render/depth_tiles.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace platform::render {

void DepthTiles::Begin(const float* depth, int width, int first_row, int end_row) {
  depth_ = depth;
  width_ = width;
  first_row_ = first_row;
  end_row_ = end_row;
  columns_ = (width + kTile - 1) >> kTileShift;
  const int rows = (end_row - first_row + kTile - 1) >> kTileShift;
  farthest_.assign(size_t(columns_) * size_t(std::max(rows, 0)), INFINITY);
  exact_.assign(farthest_.size(), 0);
  backoff_ = untested_ = 0;
}

float DepthTiles::Farthest(int tile_x, int tile_y) {
  const size_t at = size_t(tile_y) * size_t(columns_) + size_t(tile_x);
  if (exact_[at]) return farthest_[at];
  const int x0 = tile_x << kTileShift, x1 = std::min(x0 + kTile, width_);
  const int y0 = first_row_ + (tile_y << kTileShift), y1 = std::min(y0 + kTile, end_row_);
  __m128 most = _mm_set1_ps(-INFINITY);
  __m128 unordered = _mm_setzero_ps();
  float tail = -INFINITY;
  bool tail_nan = false;
  for (int y = y0; y < y1; ++y) {
    const float* row = depth_ + size_t(y) * size_t(width_);
    int x = x0;
    for (; x + 4 <= x1; x += 4) {
      const __m128 d = _mm_loadu_ps(row + x);
      most = _mm_max_ps(most, d);
      unordered = _mm_or_ps(unordered, _mm_cmpunord_ps(d, d));
    }
    for (; x < x1; ++x) {
      tail_nan |= std::isnan(row[x]);
      tail = std::max(tail, row[x]);
    }
  }
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, most);
  float result = std::max({lanes[0], lanes[1], lanes[2], lanes[3], tail});
  if (tail_nan || _mm_movemask_ps(unordered) != 0) result = INFINITY;
  farthest_[at] = result;
  exact_[at] = 1;
  return result;
}

bool DepthTiles::AllNearerThan(int x0, int x1, int y0, int y1, float z) {
  if (untested_ > 0) {
    --untested_;
    return false;
  }
  if (!Behind(x0, x1, y0, y1, z)) {
    backoff_ = std::min(2 * backoff_ + 1, kMostUntested);
    untested_ = backoff_;
    return false;
  }
  backoff_ = 0;
  return true;
}

bool DepthTiles::Behind(int x0, int x1, int y0, int y1, float z) {
  if (!(z > -INFINITY)) return false;
  const int ty0 = (y0 - first_row_) >> kTileShift, ty1 = (y1 - first_row_) >> kTileShift;
  const int tx0 = x0 >> kTileShift, tx1 = x1 >> kTileShift;
  for (int ty = ty0; ty <= ty1; ++ty) {
    const size_t row = size_t(ty) * size_t(columns_);
    for (int tx = tx0; tx <= tx1; ++tx)
      if (!(farthest_[row + size_t(tx)] < z) && !(Farthest(tx, ty) < z)) return false;
  }
  return true;
}

void DepthTiles::Mark(int x0, int x1, int y0, int y1, bool keep_bound) {
  const int ty0 = (y0 - first_row_) >> kTileShift, ty1 = (y1 - first_row_) >> kTileShift;
  const int tx0 = x0 >> kTileShift, tx1 = x1 >> kTileShift;
  for (int ty = ty0; ty <= ty1; ++ty) {
    const size_t row = size_t(ty) * size_t(columns_);
    std::fill(exact_.begin() + std::ptrdiff_t(row) + tx0,
              exact_.begin() + std::ptrdiff_t(row) + tx1 + 1, uint8_t(0));
    if (!keep_bound)
      std::fill(farthest_.begin() + std::ptrdiff_t(row) + tx0,
                farthest_.begin() + std::ptrdiff_t(row) + tx1 + 1, INFINITY);
  }
}

void DepthTiles::Nearer(int x0, int x1, int y0, int y1) {
  Mark(x0, x1, y0, y1, true);
}

void DepthTiles::Written(int x0, int x1, int y0, int y1) {
  Mark(x0, x1, y0, y1, false);
}

}  // namespace platform::render
