// One screen-sized pick buffer: for every pixel the depth of the nearest face drawn there and
// which face it is. Held as two arrays (depths, ids) so that the scan and the outline pass walk
// contiguous memory; a cell is read back as one PickCell value.
#pragma once

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
  }
  // Every cell empty: depth 999999, no body, no face.
  void Clear() {
    std::fill(depths_.begin(), depths_.end(), PickCell::kEmptyDepth);
    std::fill(ids_.begin(), ids_.end(), 0u);
  }
  PickCell operator[](size_t i) const { return {depths_[i], ids_[i]}; }
  size_t size() const { return ids_.size(); }
  float* Depths() { return depths_.data(); }
  const float* Depths() const { return depths_.data(); }
  uint32_t* Ids() { return ids_.data(); }
  const uint32_t* Ids() const { return ids_.data(); }

 private:
  std::vector<float> depths_;
  std::vector<uint32_t> ids_;
};
