// The broad phase of the block-against-block pass: blocks filed by the cell of their centre in a
// uniform grid whose cells are as wide as the largest reach, so that every block within reach of
// another lies in one of the 27 cells around it. Rebuilt by every relaxation pass, after the
// table pass has set the centres (the pair tests move corners, never centres).
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "blocks/math.h"

class BlockSet;

class ContactGrid {
 public:
  // Storage for `count` blocks; called as blocks are added, so that a step allocates nothing.
  void Reserve(int count);
  // Files the set's blocks by their centres. False when a centre is not finite or the set
  // outgrew the storage: then every pair must be visited.
  bool Build(const BlockSet& set);
  // Calls visit(b) for every block b other than `a` that may lie within reach of block a, in
  // ascending list order; blocks out of reach may be among them.
  template <class Visit>
  void ForEachNeighbour(int a, Visit&& visit) const;
  // The block test's own first step, |centre a - centre b| <= reach of a, on the centres filed by
  // Build: the same floats, the same operations, so the same answer, from compact arrays.
  // (Centres and reaches are finite: Build checks.)
  bool WithinReach(int a, int b) const {
    const Vec3& ca = centres_[size_t(a)];
    const Vec3& cb = centres_[size_t(b)];
    const float reach = reaches_[size_t(a)];
    Vec3 d;
    const float squared = LengthSquared(Subtract(d, ca, cb));
    // Clearly beyond the reach, whatever the rounding of the root: no root needed.
    if (squared > reach * reach * 1.001f) return false;
    return !(std::sqrt(squared) > reach);
  }

 private:
  // Marks the neighbours of `a` in `marks_`, one bit per block.
  void MarkNeighbours(int a) const;

  int count_ = 0;
  uint32_t bucket_mask_ = 0;
  std::vector<int32_t> cell_[3];        // per block: its cell on each axis, clamped
  std::vector<uint32_t> bucket_of_;     // per block: the hash bucket of its cell
  std::vector<uint32_t> bucket_start_;  // per bucket: first index into order_; one extra at the end
  std::vector<int32_t> order_;          // blocks grouped by bucket, ascending within each
  std::vector<Vec3> centres_;           // per block: its centre and reach when the grid was built
  std::vector<float> reaches_;
  mutable std::vector<uint64_t> marks_;
  // The block whose neighbours `marks_` holds, or -1: the next block of the same cell reuses them.
  mutable int marked_ = -1;
};

template <class Visit>
void ContactGrid::ForEachNeighbour(int a, Visit&& visit) const {
  MarkNeighbours(a);
  const int words = (count_ + 63) / 64;
  for (int w = 0; w < words; ++w) {
    uint64_t bits = marks_[size_t(w)];
    while (bits) {
      const int b = w * 64 + std::countr_zero(bits);
      bits &= bits - 1;
      visit(b);
    }
  }
}
