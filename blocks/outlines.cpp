// The outlines: edge marks where a pixel's left or upper neighbour shows another face, made whole
// or only in the columns a fill changed, and the two-pixel black lines drawn from them.
#include <algorithm>
#include <utility>

#include "blocks/block_set.h"
#include "platform/cpu_features.h"

namespace r = platform::render;

namespace {

// The loops of the edge marks and of the outlines, compiled twice: for any x86-64, and for AVX2,
// whose wider registers take more cells a step. Plain loops over contiguous cells, which the
// compiler vectorises; the sizes come as values, as byte stores could otherwise alias them.
// Every row's marks, or with `columns` only those in [first, last] of columns[y] (inside the
// row).
[[gnu::always_inline]] inline void MarkEdgeCells(const uint32_t* ids, uint8_t* mask, int w, int h,
                                                 const PickBuffer::Extent* columns) {
  constexpr uint32_t kFaceBits = ~PickCell::kTriangleBit;
  for (int y = 0; y < h; ++y) {
    int x = columns ? columns[y].first : 0;
    const int last = columns ? columns[y].last : w - 1;
    if (x > last) continue;
    const uint32_t* row = ids + size_t(y) * w;
    uint8_t* m = mask + size_t(y) * w;
    if (y == 0) {
      if (x == 0) m[x++] = 0;
      for (; x <= last; ++x) m[x] = ((row[x] ^ row[x - 1]) & kFaceBits) != 0;
      continue;
    }
    const uint32_t* up = row - w;
    if (x == 0) m[0] = ((row[0] ^ up[0]) & kFaceBits) != 0, ++x;
    for (; x <= last; ++x) m[x] = (((row[x] ^ row[x - 1]) | (row[x] ^ up[x])) & kFaceBits) != 0;
  }
}
void MarkEdgeCellsPlain(const uint32_t* ids, uint8_t* mask, int w, int h,
                        const PickBuffer::Extent* columns) {
  MarkEdgeCells(ids, mask, w, h, columns);
}
ZENTROVA_AVX2 void MarkEdgeCellsAvx2(const uint32_t* ids, uint8_t* mask, int w, int h,
                                     const PickBuffer::Extent* columns) {
  MarkEdgeCells(ids, mask, w, h, columns);
}

// A mark blackens its pixel and the ones right of, below, and right of and below it; seen from
// the pixel, it is black when it or its left, upper or upper-left neighbour is marked.
[[gnu::always_inline]] inline void DarkenOutlineRows(const uint8_t* marks, int mask_width,
                                                     uint8_t* bits, int pitch, int w, int first_row,
                                                     int end_row) {
  for (int y = first_row; y < end_row; ++y) {
    const uint8_t* m = marks + size_t(y) * mask_width;
    const uint8_t* up = y > 0 ? m - mask_width : m;
    const bool has_up = y > 0;
    auto* row = reinterpret_cast<uint32_t*>(bits + size_t(y) * pitch);
    const uint32_t first = uint32_t(m[0] | (has_up ? up[0] : 0));
    row[0] &= first - 1u;
    if (!has_up) {
      for (int x = 1; x < w; ++x) row[x] &= uint32_t(m[x] | m[x - 1]) - 1u;
      continue;
    }
    // Most of a row is far from any edge: a run of pixels none of whose neighbours is marked
    // is left as it is, unread.
    constexpr int kRun = 32;
    int x = 1;
    for (; x + kRun <= w; x += kRun) {
      uint8_t near = 0;
      for (int k = 0; k < kRun; ++k) near |= m[x + k] | m[x + k - 1] | up[x + k] | up[x + k - 1];
      if (near == 0) continue;
      for (int k = x; k < x + kRun; ++k)
        row[k] &= uint32_t(m[k] | m[k - 1] | up[k] | up[k - 1]) - 1u;
    }
    for (; x < w; ++x) row[x] &= uint32_t(m[x] | m[x - 1] | up[x] | up[x - 1]) - 1u;
  }
}
void DarkenOutlineRowsPlain(const uint8_t* marks, int mask_width, uint8_t* bits, int pitch, int w,
                            int first_row, int end_row) {
  DarkenOutlineRows(marks, mask_width, bits, pitch, w, first_row, end_row);
}
ZENTROVA_AVX2 void DarkenOutlineRowsAvx2(const uint8_t* marks, int mask_width, uint8_t* bits,
                                         int pitch, int w, int first_row, int end_row) {
  DarkenOutlineRows(marks, mask_width, bits, pitch, w, first_row, end_row);
}

}  // namespace

void BlockSet::MarkOutlines() {
  FinishPickRefresh();
  MarkEdges();
}

void BlockSet::MarkEdges() {
  edgeMaskFresh_ = true;
  const uint32_t* ids = std::as_const(front_).Ids();
  const bool described = frontDescribed_ && front_.UsedKnown();
  const bool partial =
      pickReuse_ && described && maskFromFill_ && markedTableKey_ == frontTableKey_;
  if (partial) {
    // A cell can differ only where either fill drew a block; its mark and those of its right
    // and lower neighbours read it.
    markRows_.assign(size_t(height), PickBuffer::Extent{});
    auto widen = [&](int y, int first, int last) {
      if (y < height) markRows_[size_t(y)].Widen(first, last);
    };
    for (int y = 0; y < height; ++y) {
      for (const PickBuffer::Extent& e :
           {frontBlockRows_[size_t(y)], markedBlockRows_[size_t(y)]}) {
        if (e.first > e.last) continue;
        widen(y, e.first, e.last + 1);
        widen(y + 1, e.first, e.last);
      }
      PickBuffer::Extent& e = markRows_[size_t(y)];
      e.first = std::max(e.first, 0);
      e.last = std::min(e.last, width - 1);
    }
  }
  (platform::HasAvx2() ? MarkEdgeCellsAvx2 : MarkEdgeCellsPlain)(
      ids, edgeMask_.data(), width, height, partial ? markRows_.data() : nullptr);
  maskFromFill_ = described;
  markedTableKey_ = frontTableKey_;
  markedBlockRows_ = frontBlockRows_;
}

void BlockSet::DrawOutlines(r::RenderDevice* /*device*/, r::Surface* surface) {
  FinishPickRefresh();
  if (!edgeMaskFresh_) MarkEdges();
  r::LockedRect locked;
  if (!surface || !surface->LockRect(&locked)) return;
  DrawOutlineRows(static_cast<uint8_t*>(locked.bits), locked.pitch, surface->Width(),
                  surface->Height(), 0, surface->Height());
  surface->UnlockRect();
}

void BlockSet::MarkBeforeOutlineRows() {
  if (pickJob_.Pending()) return;  // the refresh queued ends with the marks
  if (!edgeMaskFresh_) MarkEdges();
}

void BlockSet::DrawOutlineRows(uint8_t* bits, int pitch, int surface_width, int surface_height,
                               int first_row, int end_row) const {
  const int w = std::min(width, surface_width);
  const int h = std::min({height, surface_height, end_row});
  (platform::HasAvx2() ? DarkenOutlineRowsAvx2 : DarkenOutlineRowsPlain)(
      edgeMask_.data(), width, bits, pitch, w, std::max(first_row, 0), h);
}
