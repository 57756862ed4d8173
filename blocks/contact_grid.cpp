#include "blocks/contact_grid.h"

#include <algorithm>
#include <cmath>

#include "blocks/block_set.h"

namespace {

// Cells beyond this index on any axis share the border cell: far-away blocks (one falling past
// the table for ever) stay convertible to int, and merged cells only add candidates.
constexpr double kCellLimit = 1048576.0;

int32_t CellIndex(float coordinate, double inverse_cell) {
  const double cell = std::floor(double(coordinate) * inverse_cell);
  return int32_t(std::clamp(cell, -kCellLimit, kCellLimit));
}

uint32_t Hash(int32_t x, int32_t y, int32_t z) {
  return (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u) ^ (uint32_t(z) * 83492791u);
}

double DistanceSquared(const Vec3& a, const Vec3& b) {
  const double dx = double(a.x) - double(b.x), dy = double(a.y) - double(b.y),
               dz = double(a.z) - double(b.z);
  return dx * dx + dy * dy + dz * dz;
}

bool Finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Room for this many listed blocks per block before the list storage grows: more than cubes
// packed around one can have within reach and margin, so that even a tight heap fits.
constexpr size_t kListedPerBlock = 128;

}  // namespace

void ContactGrid::Reserve(int count) {
  if (size_t(count) <= capacity_) return;
  capacity_ = std::max<size_t>(size_t(count), 2 * capacity_);
  for (auto& axis : cell_) axis.resize(capacity_);
  bucketOf_.resize(capacity_);
  order_.resize(capacity_);
  centres_.resize(capacity_);
  reaches_.resize(capacity_);
  builtCentres_.resize(capacity_);
  builtReaches_.resize(capacity_);
  first_.resize(capacity_);
  end_.resize(capacity_);
  listed_.reserve(std::min(kListedPerBlock, capacity_) * capacity_);
  marks_.resize((capacity_ + 63) / 64);
  size_t buckets = 64;
  while (buckets < 8 * capacity_) buckets *= 2;  // few strangers share a bucket
  bucketStart_.resize(buckets + 1);
  built_ = false;
}

bool ContactGrid::Update(const BlockSet& set) {
  count_ = set.Count();
  if (size_t(count_) > capacity_) return built_ = false;
  bool fresh = built_ && builtVersion_ == set.ListVersion() && builtCount_ == count_;
  // Two centres that each drifted at most half the margin are at most one margin nearer.
  constexpr double kDriftSquared = (kMargin / 2) * (kMargin / 2);
  for (int i = 0; i < count_; ++i) {
    const Block* b = set.At(i);
    if (!Finite(b->centre) || !std::isfinite(b->reachRadius)) return built_ = false;
    centres_[size_t(i)] = b->centre;
    reaches_[size_t(i)] = b->reachRadius;
    fresh = fresh && b->reachRadius == builtReaches_[size_t(i)] &&
            DistanceSquared(b->centre, builtCentres_[size_t(i)]) <= kDriftSquared;
  }
  if (!fresh) {
    builtVersion_ = set.ListVersion();
    Build();
  }
  return true;
}

// Lists, for every block a, the blocks b whose centres lie within a's reach plus the margin,
// plus a tolerance far above the rounding of the float distance the pair test computes (whose
// error is relative to the distance, not to the coordinates: the difference of two floats
// rounds once). Distances here are taken in double.
void ContactGrid::Build() {
  ++builds_;
  built_ = true;
  builtCount_ = count_;
  std::copy(centres_.begin(), centres_.begin() + count_, builtCentres_.begin());
  std::copy(reaches_.begin(), reaches_.begin() + count_, builtReaches_.begin());

  float reach = 0.0f;
  for (int i = 0; i < count_; ++i) reach = std::max(reach, reaches_[size_t(i)]);
  // Cells a little wider than the farthest listed distance: a listed pair differs by at most
  // one cell on every axis.
  const double inverse_cell = 1.0 / ((double(reach) + kMargin) * 1.001 + 1.0e-3);
  bucketMask_ = uint32_t(bucketStart_.size() - 2);
  std::fill(bucketStart_.begin(), bucketStart_.end(), 0u);
  for (int i = 0; i < count_; ++i) {
    const Vec3& c = centres_[size_t(i)];
    const size_t s = size_t(i);
    cell_[0][s] = CellIndex(c.x, inverse_cell);
    cell_[1][s] = CellIndex(c.y, inverse_cell);
    cell_[2][s] = CellIndex(c.z, inverse_cell);
    bucketOf_[s] = Hash(cell_[0][s], cell_[1][s], cell_[2][s]) & bucketMask_;
    ++bucketStart_[bucketOf_[s] + 1];
  }
  for (size_t k = 1; k < bucketStart_.size(); ++k) bucketStart_[k] += bucketStart_[k - 1];
  // A counting sort that keeps list order within each bucket; bucketStart_ ends up shifted by
  // one bucket and is shifted back.
  for (int i = 0; i < count_; ++i) order_[bucketStart_[bucketOf_[size_t(i)]]++] = i;
  for (size_t k = bucketStart_.size() - 1; k > 0; --k) bucketStart_[k] = bucketStart_[k - 1];
  bucketStart_[0] = 0;

  // Blocks in bucket order, so that the blocks of one cell come one after another and share
  // one marking of the cells around them; each block's list still runs in list order.
  marked_ = -1;
  listed_.clear();
  const int words = (count_ + 63) / 64;
  for (int k = 0; k < count_; ++k) {
    const int a = order_[size_t(k)];
    first_[size_t(a)] = uint32_t(listed_.size());
    MarkNeighbours(a);
    const Vec3& ca = centres_[size_t(a)];
    const double limit = double(reaches_[size_t(a)]) + kMargin;
    const double within = limit + 1.0e-5 * (1.0 + limit);
    for (int w = 0; w < words; ++w) {
      uint64_t bits = marks_[size_t(w)];
      while (bits) {
        const int b = w * 64 + std::countr_zero(bits);
        bits &= bits - 1;
        if (DistanceSquared(ca, centres_[size_t(b)]) <= within * within)
          listed_.push_back(uint32_t(b));
      }
    }
    end_[size_t(a)] = uint32_t(listed_.size());
  }
}

void ContactGrid::MarkNeighbours(int a) {
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
        const uint32_t bucket = Hash(x + dx, y + dy, z + dz) & bucketMask_;
        for (uint32_t k = bucketStart_[bucket]; k < bucketStart_[bucket + 1]; ++k) {
          const int b = order_[k];
          marks_[size_t(b) / 64] |= uint64_t(1) << (b % 64);
        }
      }
  marks_[size_t(a) / 64] &= ~(uint64_t(1) << (a % 64));
}
