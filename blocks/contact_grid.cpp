#include "blocks/contact_grid.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

#include "blocks/block.h"

namespace {

// Cells beyond this index on any axis share the border cell: far-away blocks (one falling past
// the table for ever) stay convertible to int, and merged cells only add candidates.
constexpr double kCellLimit = 1048576.0;
// The grid is a dense box of at most this many cells along each axis; blocks beyond it (fallen
// far below the table, say) are filed in its border cells, which again only adds candidates.
constexpr int kMaxCellsPerAxis = 48;
constexpr size_t kMaxCells = size_t(kMaxCellsPerAxis) * kMaxCellsPerAxis * kMaxCellsPerAxis;

int32_t CellIndex(float coordinate, double inverse_cell) {
  const double cell = std::floor(double(coordinate) * inverse_cell);
  return int32_t(std::clamp(cell, -kCellLimit, kCellLimit));
}

double DistanceSquared(const Vec3& a, const Vec3& b) {
  const double dx = double(a.x) - double(b.x), dy = double(a.y) - double(b.y),
               dz = double(a.z) - double(b.z);
  return dx * dx + dy * dy + dz * dz;
}

bool Finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The squared distance within which a block of this reach lists another: its reach plus the
// margin, plus a tolerance far above the rounding of the pair test's own float distance.
double ListedWithinSquared(float reach) {
  const double limit = double(reach) + ContactGrid::kMargin;
  const double within = limit + 1.0e-5 * (1.0 + limit);
  return within * within;
}

// Calls visit(b) for every block marked in the bit set, in ascending order.
template <class Visit>
void ForEachMarked(const std::vector<uint64_t>& marks, int words, Visit&& visit) {
  for (int w = 0; w < words; ++w) {
    uint64_t bits = marks[size_t(w)];
    while (bits) {
      visit(w * 64 + std::countr_zero(bits));
      bits &= bits - 1;
    }
  }
}

// The least room made per block for the lists as blocks are added: more than a block of the
// starting towers lists. Lists that hold more grow their storage once, in the step that makes
// them, and keep it.
constexpr size_t kListedPerBlock = 16;

}  // namespace

void ContactGrid::Reserve(int count) {
  if (size_t(count) <= capacity_) return;
  capacity_ = std::max<size_t>(size_t(count), 2 * capacity_);
  for (auto& axis : cell_) axis.resize(capacity_);
  cellOf_.resize(capacity_);
  order_.resize(capacity_);
  marks_.resize((capacity_ + 63) / 64);
  scratch_.resize(capacity_);
  near_.resize(capacity_);
  centres_.resize(capacity_);
  reaches_.resize(capacity_);
  builtCentres_.resize(capacity_);
  builtReaches_.resize(capacity_);
  first_.resize(capacity_);
  end_.resize(capacity_);
  // Room for as many listed blocks per block as the last lists held (at least the least above):
  // what is listed, not what the tightest heap could list, which at 10,000 blocks was 42 MB.
  listed_.reserve(std::min(std::max(kListedPerBlock, listedPerBlock_), capacity_) * capacity_);
  spare_.reserve(listed_.capacity());
  moverListed_.reserve(listed_.capacity());
  joins_.reserve(listed_.capacity());
  movers_.reserve(capacity_);
  misfiled_.reserve(capacity_);
  misfiledCells_.reserve(capacity_);
  isMover_.resize(capacity_);
  isMisfiled_.resize(capacity_);
  moverFirst_.resize(capacity_);
  moverEnd_.resize(capacity_);
  cellStart_.resize(kMaxCells + 1);
  built_ = false;
}

bool ContactGrid::Update(const Block* const* blocks, int count, uint64_t list_version) {
  count_ = count;
  if (size_t(count_) > capacity_) return built_ = false;
  bool fresh = built_ && builtVersion_ == list_version && builtCount_ == count_;
  // Two centres that each drifted at most half the margin are at most one margin nearer.
  constexpr double kDriftSquared = (kMargin / 2) * (kMargin / 2);
  movers_.clear();
  float least_reach = INFINITY, most_reach = 0.0f;
  for (int i = 0; i < count_; ++i) {
    const Block* b = blocks[i];
    if (!Finite(b->centre) || !std::isfinite(b->reachRadius)) return built_ = false;
    const size_t s = size_t(i);
    centres_[s] = b->centre;
    reaches_[s] = b->reachRadius;
    least_reach = std::min(least_reach, b->reachRadius);
    most_reach = std::max(most_reach, b->reachRadius);
    if (!fresh) continue;
    fresh = b->reachRadius == builtReaches_[s];
    if (DistanceSquared(b->centre, builtCentres_[s]) > kDriftSquared) movers_.push_back(i);
  }
  closeReaches_ = !(most_reach - least_reach > kCloseReaches * (1.0f + most_reach));
  if (!fresh) {
    builtVersion_ = list_version;
    Build();
  } else if (!movers_.empty()) {
    // A few drifted blocks are listed again where they are now; many make all lists anew.
    if (movers_.size() + misfiled_.size() > std::max<size_t>(8, size_t(count_) / 2))
      Build();
    else
      Relist();
  }
  return true;
}

// Files every block in a dense grid of cells a little wider than the farthest listed distance,
// so that a listed pair differs by at most one cell on every axis. The cells are numbered x
// fastest, so the three cells along x around a block are one run of the sorted blocks: nine
// runs hold all its candidates.
void ContactGrid::FileInCells(double inverse_cell) {
  inverseCell_ = inverse_cell;
  int32_t dims[3];
  for (int axis = 0; axis < 3; ++axis) {
    std::vector<int32_t>& cells = cell_[axis];
    for (int i = 0; i < count_; ++i) {
      const Vec3& c = centres_[size_t(i)];
      cells[size_t(i)] = CellIndex(axis == 0 ? c.x : axis == 1 ? c.y : c.z, inverse_cell);
    }
    const auto [low_it, high_it] = std::minmax_element(cells.begin(), cells.begin() + count_);
    int32_t low = *low_it;
    if (int64_t(*high_it) - low >= kMaxCellsPerAxis) {
      // Too wide: the box goes around the middle block, the rest share its border cells.
      std::copy(cells.begin(), cells.begin() + count_, scratch_.begin());
      std::nth_element(scratch_.begin(), scratch_.begin() + count_ / 2, scratch_.begin() + count_);
      low = scratch_[size_t(count_ / 2)] - kMaxCellsPerAxis / 2;
    }
    dims[axis] = std::min<int32_t>(kMaxCellsPerAxis, int32_t(int64_t(*high_it) - low + 1));
    low_[axis] = low;
    for (int i = 0; i < count_; ++i)
      cells[size_t(i)] = std::clamp<int32_t>(cells[size_t(i)] - low, 0, dims[axis] - 1);
  }
  dims_[0] = dims[0], dims_[1] = dims[1], dims_[2] = dims[2];
  const size_t cell_count = size_t(dims[0]) * size_t(dims[1]) * size_t(dims[2]);
  std::fill(cellStart_.begin(), cellStart_.begin() + cell_count + 1, 0u);
  for (int i = 0; i < count_; ++i) {
    const size_t s = size_t(i);
    cellOf_[s] = uint32_t(cell_[0][s] + dims[0] * (cell_[1][s] + dims[1] * cell_[2][s]));
    ++cellStart_[cellOf_[s] + 1];
  }
  for (size_t k = 1; k <= cell_count; ++k) cellStart_[k] += cellStart_[k - 1];
  // A counting sort that keeps list order within each cell; cellStart_ ends up shifted by one
  // cell and is shifted back.
  for (int i = 0; i < count_; ++i) order_[cellStart_[cellOf_[size_t(i)]]++] = i;
  for (size_t k = cell_count; k > 0; --k) cellStart_[k] = cellStart_[k - 1];
  cellStart_[0] = 0;
}

// Lists, for every block a, the blocks b whose centres lie within ListedWithinSquared of a's
// reach. The float distance the pair test computes errs relative to the distance, not to the
// coordinates (the difference of two floats rounds once); distances here are taken in double.
void ContactGrid::Build() {
  ++builds_;
  built_ = true;
  for (const int32_t b : misfiled_) isMisfiled_[size_t(b)] = 0;
  misfiled_.clear();
  builtCount_ = count_;
  std::copy(centres_.begin(), centres_.begin() + count_, builtCentres_.begin());
  std::copy(reaches_.begin(), reaches_.begin() + count_, builtReaches_.begin());
  float reach = 0.0f;
  for (int i = 0; i < count_; ++i) reach = std::max(reach, reaches_[size_t(i)]);
  FileInCells(1.0 / ((double(reach) + kMargin) * 1.001 + 1.0e-3));

  listed_.clear();
  // The blocks of one cell share one marking of the blocks in the cells around them, one bit
  // per block, read back in list order; each block's list is that, filtered by distance.
  const int words = (count_ + 63) / 64;
  for (int k = 0; k < count_;) {
    const size_t first = size_t(order_[size_t(k)]);
    const uint32_t cell = cellOf_[first];
    const int x = cell_[0][first], y = cell_[1][first], z = cell_[2][first];
    std::fill(marks_.begin(), marks_.begin() + words, uint64_t(0));
    MarkAround(x, y, z, false);
    // The marked blocks once, in list order, their centres side by side for the cell's blocks.
    size_t n = 0;
    ForEachMarked(marks_, words, [&](int b) {
      const Vec3& c = centres_[size_t(b)];
      near_[n] = {uint32_t(b), double(c.x), double(c.y), double(c.z)};
      ++n;
    });
    for (; k < count_ && cellOf_[size_t(order_[size_t(k)])] == cell; ++k) {
      const int a = order_[size_t(k)];
      first_[size_t(a)] = uint32_t(listed_.size());
      const Vec3& ca = centres_[size_t(a)];
      const double ax = ca.x, ay = ca.y, az = ca.z;
      const double within = ListedWithinSquared(reaches_[size_t(a)]);
      // DistanceSquared's very operations.
      for (size_t j = 0; j < n; ++j) {
        const Near& b = near_[j];
        const double dx = ax - b.x, dy = ay - b.y, dz = az - b.z;
        if (dx * dx + dy * dy + dz * dz <= within && b.block != uint32_t(a))
          listed_.push_back(b.block);
      }
      end_[size_t(a)] = uint32_t(listed_.size());
    }
  }
  listedPerBlock_ = count_ > 0 ? (listed_.size() + size_t(count_) - 1) / size_t(count_) : 0;
}

void ContactGrid::MarkAround(int x, int y, int z, bool skip_misfiled) {
  const int x_low = std::max(x - 1, 0), x_high = std::min(x + 1, dims_[0] - 1);
  for (int dz = std::max(z - 1, 0); dz <= std::min(z + 1, dims_[2] - 1); ++dz)
    for (int dy = std::max(y - 1, 0); dy <= std::min(y + 1, dims_[1] - 1); ++dy) {
      const size_t row = size_t(dims_[0]) * (size_t(dy) + size_t(dims_[1]) * size_t(dz));
      const uint32_t end = cellStart_[row + size_t(x_high) + 1];
      for (uint32_t m = cellStart_[row + size_t(x_low)]; m < end; ++m) {
        const int b = order_[m];
        if (skip_misfiled && isMisfiled_[size_t(b)]) continue;
        marks_[size_t(b) / 64] |= uint64_t(1) << (b % 64);
      }
      if (!skip_misfiled) continue;
      // The drifted blocks filed in the same cells where they are now.
      const std::pair<uint32_t, int32_t> from{uint32_t(row) + uint32_t(x_low), INT32_MIN};
      for (auto m = std::lower_bound(misfiledCells_.begin(), misfiledCells_.end(), from);
           m != misfiledCells_.end() && m->first <= uint32_t(row) + uint32_t(x_high); ++m)
        marks_[size_t(m->second) / 64] |= uint64_t(1) << (m->second % 64);
    }
}

// The lists again after a few blocks drifted too far, without filing every block anew. The
// drifted blocks take their present centres as their listed ones; the grid keeps them where they
// were, so they (with those of earlier relists) are filed apart, by the cells they are in now.
// A drifted block's own list is made as in a full build; every other list loses the drifted
// blocks and gains those now near it, in list order.
void ContactGrid::Relist() {
  ++relists_;
  for (const int32_t x : movers_) {
    builtCentres_[size_t(x)] = centres_[size_t(x)];
    isMover_[size_t(x)] = 1;
    if (!isMisfiled_[size_t(x)]) {
      isMisfiled_[size_t(x)] = 1;
      misfiled_.push_back(x);
    }
  }
  FileMisfiled();
  const int words = (count_ + 63) / 64;
  moverListed_.clear();
  joins_.clear();
  for (const int32_t x : movers_) {
    int32_t cell[3];
    CellsOf(builtCentres_[size_t(x)], cell);
    std::fill(marks_.begin(), marks_.begin() + words, uint64_t(0));
    MarkAround(cell[0], cell[1], cell[2], true);
    const Vec3& cx = builtCentres_[size_t(x)];
    moverFirst_[size_t(x)] = uint32_t(moverListed_.size());
    const double within_x = ListedWithinSquared(reaches_[size_t(x)]);
    ForEachMarked(marks_, words, [&](int b) {
      if (b == x) return;
      const double apart = DistanceSquared(cx, builtCentres_[size_t(b)]);
      if (apart <= within_x) moverListed_.push_back(uint32_t(b));
      if (isMover_[size_t(b)]) return;  // its own list is made in its own turn
      if (apart <= ListedWithinSquared(reaches_[size_t(b)])) joins_.push_back({b, x});
    });
    moverEnd_[size_t(x)] = uint32_t(moverListed_.size());
  }
  std::sort(joins_.begin(), joins_.end());

  // Every list is rewritten; they only shrink by the drifted blocks and grow by the joins.
  spare_.resize(listed_.size() + moverListed_.size() + joins_.size());
  uint32_t* out = spare_.data();
  const uint32_t* const listed = listed_.data();
  const std::pair<int32_t, int32_t>* join = joins_.data();
  const std::pair<int32_t, int32_t>* const joins_end = join + joins_.size();
  for (int a = 0; a < count_; ++a) {
    const uint32_t start = uint32_t(out - spare_.data());
    if (isMover_[size_t(a)]) {
      out = std::copy(moverListed_.begin() + moverFirst_[size_t(a)],
                      moverListed_.begin() + moverEnd_[size_t(a)], out);
    } else {
      // Both runs ascend: merged, they stay in list order.
      const uint32_t* k = listed + first_[size_t(a)];
      const uint32_t* const end = listed + end_[size_t(a)];
      for (; join != joins_end && join->first == a; ++join) {
        const uint32_t joined = uint32_t(join->second);
        for (; k != end && *k < joined; ++k)
          if (!isMover_[*k]) *out++ = *k;
        *out++ = joined;
      }
      for (; k != end; ++k)
        if (!isMover_[*k]) *out++ = *k;
    }
    first_[size_t(a)] = start;
    end_[size_t(a)] = uint32_t(out - spare_.data());
  }
  spare_.resize(size_t(out - spare_.data()));
  listed_.swap(spare_);
  for (const int32_t x : movers_) isMover_[size_t(x)] = 0;
}

void ContactGrid::CellsOf(const Vec3& centre, int32_t* cell) const {
  for (int axis = 0; axis < 3; ++axis) {
    const float c = axis == 0 ? centre.x : axis == 1 ? centre.y : centre.z;
    cell[axis] = std::clamp<int32_t>(CellIndex(c, inverseCell_) - low_[axis], 0, dims_[axis] - 1);
  }
}

// The drifted blocks by the cells of their listed centres, as the grid files the others.
void ContactGrid::FileMisfiled() {
  misfiledCells_.clear();
  for (const int32_t b : misfiled_) {
    int32_t cell[3];
    CellsOf(builtCentres_[size_t(b)], cell);
    misfiledCells_.push_back({uint32_t(cell[0] + dims_[0] * (cell[1] + dims_[1] * cell[2])), b});
  }
  std::sort(misfiledCells_.begin(), misfiledCells_.end());
}
