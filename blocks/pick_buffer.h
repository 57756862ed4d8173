// One screen-sized pick buffer: for every pixel the depth of the nearest face drawn there and
// which face it is. Held as two arrays (depths, ids) so that the scan and the outline pass walk
// contiguous memory; a cell is read back as one PickCell value.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// `id` packs the face: bits 0-2 the face index, bit 3 the triangle (0: p0 p1 p2, 1: p2 p3 p0),
// bits 4 and up the body: 0 nothing, 1 the table, 2 + i block i of the list.
struct PickCell {
  float depth;
  uint32_t id;

  static constexpr float kEmptyDepth = 999999.0f;
  static constexpr uint32_t kTableBody = 1;
  static constexpr uint32_t kFirstBlockBody = 2;
  static constexpr uint32_t kTriangleBit = 8;

  uint32_t Body() const { return id >> 4; }
  int FaceIndex() const { return int(id & 7); }
  int Triangle() const { return (id & kTriangleBit) ? 1 : 0; }
  // The same face of the same body (the triangle does not matter); empty cells share one face.
  static bool SameFace(uint32_t a, uint32_t b) { return ((a ^ b) & ~kTriangleBit) == 0; }
};

class PickBuffer {
 public:
  PickBuffer() = default;
  PickBuffer(int width, int height) { Allocate(width, height); }
  void Allocate(int width, int height) {
    depths_.assign(size_t(width) * height, PickCell::kEmptyDepth);
    ids_.assign(size_t(width) * height, 0);
    width_ = width;
    used_.assign(size_t(height), Extent{});
    usedKnown_ = true;
  }
  // Every cell empty: depth 999999, no body, no face.
  void Clear() {
    std::fill(depths_.begin(), depths_.end(), PickCell::kEmptyDepth);
    std::fill(ids_.begin(), ids_.end(), 0u);
    std::fill(used_.begin(), used_.end(), Extent{});
    usedKnown_ = true;
  }
  PickCell operator[](size_t i) const { return {depths_[i], ids_[i]}; }
  size_t size() const { return ids_.size(); }
  // Writable cells for anyone: after this the buffer no longer knows which cells are empty.
  float* Depths() {
    usedKnown_ = false;
    return depths_.data();
  }
  const float* Depths() const { return depths_.data(); }
  uint32_t* Ids() {
    usedKnown_ = false;
    return ids_.data();
  }
  const uint32_t* Ids() const { return ids_.data(); }

  // For the fills, which say where they write: each row knows the columns [first, last] that
  // may hold anything (none while last < first), so that a fill need only empty those.
  struct Extent {
    int first = 0, last = -1;
    // Takes in the columns [from, to] too.
    void Widen(int from, int to) {
      if (first > last) {
        first = from, last = to;
      } else {
        first = std::min(first, from);
        last = std::max(last, to);
      }
    }
  };
  float* FillDepths() { return depths_.data(); }
  uint32_t* FillIds() { return ids_.data(); }
  // Every row's whole width while writes went by unsaid.
  Extent Used(int y) const {
    return usedKnown_ && size_t(y) < used_.size() ? used_[size_t(y)] : Extent{0, width_ - 1};
  }
  void SetUsed(int y, Extent columns) {
    if (size_t(y) < used_.size()) used_[size_t(y)] = columns;
  }
  void Widen(int y, int first, int last) {
    if (size_t(y) < used_.size()) used_[size_t(y)].Widen(first, last);
  }
  // After a fill that set every row's extent.
  void KnowUsed() { usedKnown_ = true; }
  // False once writable cells were handed out since the last such fill.
  bool UsedKnown() const { return usedKnown_; }

 private:
  std::vector<float> depths_;
  std::vector<uint32_t> ids_;
  int width_ = 0;
  std::vector<Extent> used_;
  bool usedKnown_ = true;
};
