#include "blocks/contact_grid.h"

#include <algorithm>
#include <cmath>

#include "blocks/block_set.h"

namespace {

// Cells beyond this index on any axis share the border cell: far-away blocks (one falling past
// the table for ever) stay convertible to int, and merged cells only add candidates.
constexpr float kCellLimit = 1048576.0f;

int32_t CellIndex(float coordinate, float inverse_cell) {
  float cell = std::floor(coordinate * inverse_cell);
  cell = std::clamp(cell, -kCellLimit, kCellLimit);
  return int32_t(cell);
}

uint32_t Hash(int32_t x, int32_t y, int32_t z) {
  return (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u) ^ (uint32_t(z) * 83492791u);
}

}  // namespace

void ContactGrid::Reserve(int count) {
  if (count <= int(bucket_of_.size())) return;
  const size_t capacity = std::max<size_t>(size_t(count), 2 * bucket_of_.size());
  for (auto& axis : cell_) axis.resize(capacity);
  bucket_of_.resize(capacity);
  order_.resize(capacity);
  centres_.resize(capacity);
  reaches_.resize(capacity);
  marks_.resize((capacity + 63) / 64);
  size_t buckets = 64;
  while (buckets < 8 * capacity) buckets *= 2;  // few strangers share a bucket
  bucket_start_.resize(buckets + 1);
}

bool ContactGrid::Build(const BlockSet& set) {
  count_ = set.Count();
  marked_ = -1;
  if (count_ > int(bucket_of_.size())) return false;
  // Cells a little wider than the largest reach: a pair within reach of either block differs
  // by at most one cell on every axis, whatever the rounding of the division.
  float reach = 0.0f;
  for (int i = 0; i < count_; ++i) {
    const Block* b = set.At(i);
    if (!std::isfinite(b->centre.x) || !std::isfinite(b->centre.y) || !std::isfinite(b->centre.z) ||
        !std::isfinite(b->reachRadius))
      return false;
    reach = std::max(reach, b->reachRadius);
  }
  const float inverse_cell = 1.0f / (reach * 1.001f + 1.0e-6f);

  bucket_mask_ = uint32_t(bucket_start_.size() - 2);
  std::fill(bucket_start_.begin(), bucket_start_.end(), 0u);
  for (int i = 0; i < count_; ++i) {
    const Vec3& c = set.At(i)->centre;
    centres_[size_t(i)] = c;
    reaches_[size_t(i)] = set.At(i)->reachRadius;
    cell_[0][size_t(i)] = CellIndex(c.x, inverse_cell);
    cell_[1][size_t(i)] = CellIndex(c.y, inverse_cell);
    cell_[2][size_t(i)] = CellIndex(c.z, inverse_cell);
    const uint32_t bucket =
        Hash(cell_[0][size_t(i)], cell_[1][size_t(i)], cell_[2][size_t(i)]) & bucket_mask_;
    bucket_of_[size_t(i)] = bucket;
    ++bucket_start_[bucket + 1];
  }
  for (size_t k = 1; k < bucket_start_.size(); ++k) bucket_start_[k] += bucket_start_[k - 1];
  // A counting sort that keeps list order within each bucket; bucket_start_ ends up shifted by
  // one bucket and is shifted back.
  for (int i = 0; i < count_; ++i) order_[bucket_start_[bucket_of_[size_t(i)]]++] = i;
  for (size_t k = bucket_start_.size() - 1; k > 0; --k) bucket_start_[k] = bucket_start_[k - 1];
  bucket_start_[0] = 0;
  return true;
}

void ContactGrid::MarkNeighbours(int a) const {
  const int32_t x = cell_[0][size_t(a)], y = cell_[1][size_t(a)], z = cell_[2][size_t(a)];
  const int m = marked_;
  if (m >= 0 && cell_[0][size_t(m)] == x && cell_[1][size_t(m)] == y && cell_[2][size_t(m)] == z) {
    // Blocks of one cell share their neighbourhood: swap the excluded block.
    marks_[size_t(m) / 64] |= uint64_t(1) << (m % 64);
    marks_[size_t(a) / 64] &= ~(uint64_t(1) << (a % 64));
    marked_ = a;
    return;
  }
  marked_ = a;
  const int words = (count_ + 63) / 64;
  std::fill(marks_.begin(), marks_.begin() + words, 0u);
  for (int dz = -1; dz <= 1; ++dz)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const uint32_t bucket = Hash(x + dx, y + dy, z + dz) & bucket_mask_;
        for (uint32_t k = bucket_start_[bucket]; k < bucket_start_[bucket + 1]; ++k) {
          const int b = order_[k];
          marks_[size_t(b) / 64] |= uint64_t(1) << (b % 64);
        }
      }
  marks_[size_t(a) / 64] &= ~(uint64_t(1) << (a % 64));
}
