// The broad phase of the block-against-block pass. For every block, the list of blocks whose
// centres lay within its reach plus a margin when the lists were made, found through a uniform
// grid of cells as wide as that distance. While no centre has drifted more than half the margin
// since, every pair within reach is still on the lists, so they serve pass after pass and step
// after step. A few drifted centres are listed again where they are now; a change of the block
// list, a changed reach or many drifted centres make all lists anew.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "blocks/math.h"

class Block;

class ContactGrid {
 public:
  // How far beyond its reach a block lists others. Wider lists are made less often and hold
  // more pairs that turn out to be out of reach.
  static constexpr double kMargin = 1.0;

  // Storage for `count` blocks; called as blocks are added, so that a step seldom allocates.
  void Reserve(int count);
  // Takes the blocks' centres and reaches for this pass, and makes the lists anew when they may
  // miss a pair (always when `list_version`, bumped on every change of the list, differs from
  // the last build's). False when a centre or reach is not finite or the list outgrew the
  // storage: then every pair must be visited.
  bool Update(const Block* const* blocks, int count, uint64_t list_version);
  // Calls visit(b) for every listed block b of block `a`, in ascending list order; all blocks
  // within a's reach are among them, and some beyond it.
  template <class Visit>
  void ForEachCandidate(int a, Visit&& visit) const {
    for (uint32_t k = first_[size_t(a)]; k < end_[size_t(a)]; ++k) visit(int(listed_[k]));
  }
  // Block a's listed blocks as a range, in ascending list order.
  const uint32_t* CandidatesBegin(int a) const { return listed_.data() + first_[size_t(a)]; }
  const uint32_t* CandidatesEnd(int a) const { return listed_.data() + end_[size_t(a)]; }
  // Whether the blocks' reaches this pass differ by so little (as those of blocks of one size
  // do, by the rounding of their rest lengths) that the slack of the lists covers it: then
  // a's list holds every block whose reach holds a, as well as every block within a's reach.
  bool CloseReaches() const { return closeReaches_; }
  // The block test's own first step, |centre a - centre b| <= reach of a, on the centres taken
  // by Update: the same floats, the same operations, so the same answer, from compact arrays.
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
  // How many times the lists were made whole, and for a few drifted blocks; for the tests and
  // benchmarks.
  long Builds() const { return builds_; }
  long Relists() const { return relists_; }

 private:
  void Build();
  void Relist();
  void FileInCells(double inverse_cell);
  // Marks the blocks filed in the 27 cells around cell (x, y, z); with `skip_misfiled`, the drifted
  // ones by the cells they were relisted in, not those the grid filed them in.
  void MarkAround(int x, int y, int z, bool skip_misfiled);
  // A centre's cell on each axis, within the grid's box.
  void CellsOf(const Vec3& centre, int32_t* cell) const;
  void FileMisfiled();

  int count_ = 0;
  size_t capacity_ = 0;
  static constexpr float kCloseReaches = 1.0e-6f;  // a tenth of the lists' relative slack
  bool closeReaches_ = true;
  size_t listedPerBlock_ = 0;  // listed blocks per block at the last build, rounded up
  long builds_ = 0;
  long relists_ = 0;
  // What the lists were made for: the list version, the block count, the centres and reaches.
  bool built_ = false;
  uint64_t builtVersion_ = 0;
  int builtCount_ = 0;
  std::vector<Vec3> builtCentres_;
  std::vector<float> builtReaches_;
  // This pass's centres and reaches.
  std::vector<Vec3> centres_;
  std::vector<float> reaches_;
  // The lists: block a's are listed_[first_[a]] .. listed_[end_[a] - 1].
  std::vector<uint32_t> first_, end_;
  std::vector<uint32_t> listed_;
  // The grid of the last build: the box's size and first cell on each axis, 1 / cell width.
  int32_t dims_[3] = {};
  int32_t low_[3] = {};
  double inverseCell_ = 0.0;
  std::vector<int32_t> cell_[3];     // per block: its cell on each axis, within the box
  std::vector<uint32_t> cellOf_;     // per block: its cell's number
  std::vector<uint32_t> cellStart_;  // per cell: first index into order_; one extra at the end
  std::vector<int32_t> order_;       // blocks sorted by cell, ascending within each
  std::vector<uint64_t> marks_;      // the blocks of the cells around one cell, one bit each
  std::vector<int32_t> scratch_;
  struct Near {
    uint32_t block;
    double x, y, z;
  };
  std::vector<Near> near_;  // the blocks around one cell, in list order, with their centres
  // Relisting: the blocks that drifted this pass, and all that did since the build (the grid
  // files them where they were); per block, flags for both, and a drifted block's new list.
  std::vector<int32_t> movers_, misfiled_;
  std::vector<uint8_t> isMover_, isMisfiled_;
  std::vector<uint32_t> moverListed_, moverFirst_, moverEnd_;
  std::vector<std::pair<uint32_t, int32_t>> misfiledCells_;  // (cell, block), ascending
  std::vector<std::pair<int32_t, int32_t>> joins_;           // (block, drifted block now near it)
  std::vector<uint32_t> spare_;                              // the lists being made
};
