#include "blocks/block_set.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "app/game_app.h"
#include "platform/cpu_features.h"
#include "world/table.h"
#include "world/world.h"

namespace r = platform::render;

bool BlockSet::Initialise(GameApp* app, int buffer_width, int buffer_height) {
  application = app;
  width = buffer_width;
  height = buffer_height;
  table = &app->GetWorld()->table;
  const size_t cells = size_t(width) * height;
  front_.Allocate(width, height);
  back_.Allocate(width, height);
  candidates.assign(cells, 0);
  edgeMask_.assign(cells, 0);
  frontBlockRows_.assign(size_t(height), PickBuffer::Extent{});
  frontDescribed_ = maskFromFill_ = false;
  for (int k = 0; k < 4; ++k) dragQuad.corner[k] = &dragQuadCorners[k];
  return true;
}

BlockSet::~BlockSet() {
  FinishPickRefresh();
}

void BlockSet::ClearPickBuffers() {
  FinishPickRefresh();
  frontInputs_.Clear();
  front_.Clear();
  back_.Clear();
  frontDescribed_ = false;
  frontVersion_ = backVersion_ = listVersion_;
}

void BlockSet::Add(Block* block) {
  FinishPickRefresh();
  OwningObjectList<Block>::Add(block);
  ++listVersion_;
  contactGrid.Reserve(Count());  // room made now, so that steps allocate nothing
}

void BlockSet::RemoveAt(int index) {
  FinishPickRefresh();
  ForgetReferencesTo(At(index));
  OwningObjectList<Block>::RemoveAt(index);
  ++listVersion_;
}

Face* BlockSet::FaceGluedTo(const Face& face, const Block* except) const {
  for (int i = 0; i < Count(); ++i) {
    Block* b = At(i);
    if (b == except) continue;
    for (Face& other : b->faces)
      if (other.link == &face) return &other;
  }
  return nullptr;
}

void BlockSet::ForgetReferencesTo(const Block* gone) {
  // Links come in pairs, but a drag may have left one side, so every face is looked at. A face
  // that loses its partner goes back to a face still glued to it from before (a drag can glue
  // over a glued face and leave the old partner pointing at it), or to none.
  for (int i = 0; i < Count(); ++i) {
    Block* b = At(i);
    if (b == gone) continue;
    for (Face& face : b->faces)
      if (face.link && face.link->owner == gone) face.link = FaceGluedTo(face, gone);
  }
  if (pendingFace && pendingFace->owner == gone) pendingFace = nullptr;
  if (savedLink && savedLink->owner == gone) savedLink = nullptr;
  if (groupBlock == gone) groupBlock = nullptr;
  if (supportQuad && supportQuad->owner == gone) supportQuad = nullptr;
}

PickCell BlockSet::CellAt(const PickBuffer& buffer, uint64_t version, int x, int y) const {
  if (x < 0 || x >= width || y < 0 || y >= height || version != listVersion_)
    return {PickCell::kEmptyDepth, 0};
  return buffer[CellIndex(x, y, width)];
}

Block* BlockSet::AddBlock(const platform::gdi::DeviceContext& dc, r::RenderDevice* device,
                          const SoundManager& sound_manager, const Vec3& centre,
                          const Vec3& block_size) {
  auto* block = new Block();
  block->Create(dc, device, sound_manager, OriginForDisplayCentre(centre, block_size), block_size);
  Add(block);
  return block;
}

Block* BlockSet::AddBlockOwnContext(r::RenderDevice* device, const SoundManager& sound_manager,
                                    const Vec3& centre, const Vec3& block_size) {
  platform::gdi::DeviceContext dc;  // the window's
  return AddBlock(dc, device, sound_manager, centre, block_size);
}

Mat4 BlockSet::ScreenMatrix(r::RenderDevice* device) const {
  r::Matrix world, view, projection;
  device->GetTransform(r::TransformType::kWorld, &world);
  device->GetTransform(r::TransformType::kView, &view);
  device->GetTransform(r::TransformType::kProjection, &projection);
  r::Viewport vp;
  device->GetViewport(&vp);
  // Halved as integers, as the viewport mapping of the device does.
  const float w = float(vp.width / 2), h = float(vp.height / 2);
  Mat4 viewport;
  viewport.At(0, 0) = w;
  viewport.At(1, 1) = -h;
  viewport.At(2, 2) = vp.max_z - vp.min_z;
  viewport.At(3, 0) = float(vp.x) + w;
  viewport.At(3, 1) = float(vp.y) + h;
  viewport.At(3, 2) = vp.min_z;
  viewport.At(3, 3) = 1.0f;
  Mat4 ms;
  Multiply(ms, FromDeviceMatrix(world), FromDeviceMatrix(view));
  Multiply(ms, ms, FromDeviceMatrix(projection));
  Multiply(ms, ms, viewport);
  return ms;
}

void BlockSet::KeyPickInputs(const Mat4& ms, FrameKey* key) const {
  key->Clear();
  key->Add(ms);
  key->Add(listVersion_);
  if (table && table->tableCornerRefs()[0])
    for (int k = 0; k < 4; ++k) key->Add(*table->tableCornerRefs()[k]);
  for (int i = 0; i < Count(); ++i) key->Add(At(i)->corners);
}

bool BlockSet::FrontNeedsFill(const Mat4& ms) {
  KeyPickInputs(ms, &pickInputs_);
  if (pickReuse_ && frontVersion_ == listVersion_ && !frontInputs_.Empty() &&
      pickInputs_ == frontInputs_) {
    ++pickFillsSkipped_;
    return false;
  }
  frontInputs_.Swap(pickInputs_);
  frontVersion_ = listVersion_;
  edgeMaskFresh_ = false;
  return true;
}

void BlockSet::RefreshPickBuffer(r::RenderDevice* device, const Block* excluded) {
  FinishPickRefresh();
  const Mat4 ms = ScreenMatrix(device);
  if (excluded) {
    backVersion_ = listVersion_;
    FillBuffer(&back_, ms, excluded);
  } else if (FrontNeedsFill(ms)) {
    FillBuffer(&front_, ms, nullptr);
  }
}

void BlockSet::FillBuffer(PickBuffer* cells, const Mat4& ms, const Block* excluded) {
  FillTable(cells, ms);
  FillBlocks(cells, ms, excluded);
}

BlockSet::TableFillKey BlockSet::TableKey(const Mat4& ms) const {
  TableFillKey key;
  std::copy(ms.m, ms.m + 16, key.values);
  key.width = width;
  key.height = height;
  if (table && table->tableCornerRefs()[0]) {
    key.table = 1;
    for (int k = 0; k < 4; ++k) {
      const Vec3& c = *table->tableCornerRefs()[k];
      key.values[16 + 3 * k] = c.x, key.values[17 + 3 * k] = c.y, key.values[18 + 3 * k] = c.z;
    }
  }
  return key;
}

void BlockSet::FillTable(PickBuffer* cells, const Mat4& ms) {
  if (cells == &front_) {
    frontTableKey_ = TableKey(ms);
    frontDescribed_ = false;  // until its blocks are in
  }
  if (table && table->tableCornerRefs()[0]) {
    ScreenPoint q[4];
    for (int k = 0; k < 4; ++k) q[k] = ProjectToScreen(*table->tableCornerRefs()[k], ms);
    const ScreenPoint second[3] = {q[2], q[3], q[0]};
    FillFirstTriangle(cells, q[0], q[1], q[2], PickCell::kTableBody, 1, 0, second);
  } else {
    cells->Clear();
  }
}

void BlockSet::FillBlocks(PickBuffer* cells, const Mat4& ms, const Block* excluded) {
  PickBuffer::Extent* rows = nullptr;
  if (cells == &front_) {
    frontBlockRows_.assign(size_t(height), PickBuffer::Extent{});
    rows = frontBlockRows_.data();
  }
  for (int i = 0; i < Count(); ++i) {
    const Block* block = At(i);
    if (block == excluded) continue;
    // Each corner is projected once; the faces share them.
    ScreenPoint s[8];
    for (int k = 0; k < 8; ++k) s[k] = ProjectToScreen(block->corners[k], ms);
    for (int f = 0; f < 6; ++f) {
      const int* c = kFaceCorners[f];
      RasterizeTriangle(cells, s[c[0]], s[c[1]], s[c[2]], BodyId(i), f, 0, rows);
      RasterizeTriangle(cells, s[c[2]], s[c[3]], s[c[0]], BodyId(i), f, 1, rows);
    }
  }
  if (rows) frontDescribed_ = true;
}

namespace {

// A strict depth test of one span of a row, so that ties keep the first; four cells at a time
// while four fit in the row, the cells past the span written back as they were.
inline void TestSpan(float* row_depths, uint32_t* row_ids, int w, int first, int last,
                     const RowDepth& depth, uint32_t id) {
  using pick_walk::Floats;
  using pick_walk::Ints;
  const Floats lane = {0.0f, 1.0f, 2.0f, 3.0f};
  const Ints lane_index = {0, 1, 2, 3};
  int x = first;
  for (; x <= last && x + 3 < w; x += 4) {
    const Floats z = pick_walk::Splat(depth.zLeft) +
                     pick_walk::Splat(depth.slope) *
                         (pick_walk::Splat(float(x)) + lane - pick_walk::Splat(depth.left));
    Floats old_z;
    Ints old_id;
    std::memcpy(&old_z, row_depths + x, sizeof old_z);
    std::memcpy(&old_id, row_ids + x, sizeof old_id);
    const Ints wins = (lane_index <= pick_walk::Splat(last - x)) & (z < old_z);
    const Floats new_z = pick_walk::Select(wins, z, old_z);
    const Ints new_id = pick_walk::Select(wins, pick_walk::Splat(int(id)), old_id);
    std::memcpy(row_depths + x, &new_z, sizeof new_z);
    std::memcpy(row_ids + x, &new_id, sizeof new_id);
  }
  for (; x <= last; ++x) {
    const float z = depth.At(x);
    if (z < row_depths[x]) row_depths[x] = z, row_ids[x] = id;
  }
}

}  // namespace

void BlockSet::FillFirstTriangle(PickBuffer* cells, const ScreenPoint& v0, const ScreenPoint& v1,
                                 const ScreenPoint& v2, uint32_t body, int face_index, int triangle,
                                 const ScreenPoint* next) {
  // Into an empty buffer the triangle wins every cell it reaches (its depths are at most 1000,
  // the empty depth is 999999): so its spans are written as they are and only the cells
  // beside them emptied, each cell once. A row the walk reaches in more than one span (pixels
  // skipped out of the depth range) would leave cells between them: then the plain way.
  firstSpans_.assign(size_t(height), FirstSpan{});
  bool one_span_a_row = true;
  WalkPickTriangle(v0, v1, v2, width, height,
                   [&](int y, int first, int last, const RowDepth& depth) {
                     FirstSpan& row = firstSpans_[size_t(y)];
                     if (row.first <= row.last) one_span_a_row = false;
                     row = {first, last, depth};
                   });
  // The next triangle's spans, each row after the one before (as the walk gives them).
  nextSpans_.clear();
  bool rows_in_order = true;
  if (next)
    WalkPickTriangle(next[0], next[1], next[2], width, height,
                     [&](int y, int first, int last, const RowDepth& depth) {
                       if (!nextSpans_.empty() && y < nextSpans_.back().y) rows_in_order = false;
                       nextSpans_.push_back({y, first, last, depth});
                     });
  const int next_triangle = 1 - triangle;
  if (!one_span_a_row || !rows_in_order) {
    cells->Clear();
    RasterizeTriangle(cells, v0, v1, v2, body, face_index, triangle);
    if (next) RasterizeTriangle(cells, next[0], next[1], next[2], body, face_index, next_triangle);
    return;
  }
  const uint32_t id = (body << 4) | (triangle ? PickCell::kTriangleBit : 0) | uint32_t(face_index);
  const uint32_t next_id =
      (body << 4) | (next_triangle ? PickCell::kTriangleBit : 0) | uint32_t(face_index);
  size_t k = 0;  // the next triangle's first span not yet tested
  for (int y = 0; y < height; ++y) {
    float* depths = cells->FillDepths() + size_t(y) * width;
    uint32_t* ids = cells->FillIds() + size_t(y) * width;
    const FirstSpan& row = firstSpans_[size_t(y)];
    // Only the columns the last fill wrote can hold anything to empty.
    const PickBuffer::Extent used = cells->Used(y);
    auto empty = [&](int from, int to) {
      from = std::max(from, used.first);
      to = std::min(to, used.last + 1);
      if (from >= to) return;
      std::fill(depths + from, depths + to, PickCell::kEmptyDepth);
      std::fill(ids + from, ids + to, 0u);
    };
    if (row.first > row.last) {
      empty(0, width);
      cells->SetUsed(y, {});
    } else {
      empty(0, row.first);
      for (int x = row.first; x <= row.last; ++x) depths[x] = row.depth.At(x);
      std::fill(ids + row.first, ids + row.last + 1, id);
      empty(row.last + 1, width);
      cells->SetUsed(y, {row.first, row.last});
    }
    for (; k < nextSpans_.size() && nextSpans_[k].y == y; ++k) {
      const NextSpan& span = nextSpans_[k];
      TestSpan(depths, ids, width, span.first, span.last, span.depth, next_id);
      cells->Widen(y, span.first, span.last);
    }
  }
  cells->KnowUsed();
}

void BlockSet::RasterizeTriangle(PickBuffer* cells, const ScreenPoint& v0, const ScreenPoint& v1,
                                 const ScreenPoint& v2, uint32_t body, int face_index, int triangle,
                                 PickBuffer::Extent* rows) const {
  const uint32_t id = (body << 4) | (triangle ? PickCell::kTriangleBit : 0) | uint32_t(face_index);
  float* const depths = cells->FillDepths();
  uint32_t* const ids = cells->FillIds();
  const int w = width;
  WalkPickTriangle(
      v0, v1, v2, width, height, [=](int y, int first, int last, const RowDepth& depth) {
        TestSpan(depths + size_t(y) * w, ids + size_t(y) * w, w, first, last, depth, id);
        cells->Widen(y, first, last);
        if (rows) rows[y].Widen(first, last);
      });
}

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

void BlockSet::Draw(r::RenderDevice* device, const Mat4& /*matrix*/, const Block* /*held*/) const {
  device->SetFVF(r::kFvfXyz | r::kFvfDiffuse | r::kFvfTex1);
  for (int i = 0; i < Count(); ++i) At(i)->Draw(device);
}

Block* BlockSet::CellBody(const PickCell& cell) const {
  const uint32_t body = cell.Body();
  if (body == 0) return nullptr;
  if (body == PickCell::kTableBody) return table;
  const int index = int(body - PickCell::kFirstBlockBody);
  return index < Count() ? At(index) : nullptr;
}

Face* BlockSet::CellFace(const PickCell& cell) const {
  const uint32_t body = cell.Body();
  if (body == 0) return nullptr;
  if (body == PickCell::kTableBody) return table ? &table->TopRecord() : nullptr;
  Block* block = CellBody(cell);
  return block ? &block->faces[cell.FaceIndex()] : nullptr;
}
