// The pick buffers: the front and back fills with the keys that let a front fill be skipped,
// the columns each fill drew blocks into, the table's part apart, and what a cell names.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "blocks/block_set.h"
#include "world/table.h"

namespace r = platform::render;

void BlockSet::ClearPickBuffers() {
  FinishPickRefresh();
  frontInputs_.Clear();
  front_.Clear();
  filled_.kept = false;
  back_.Clear();
  frontDescribed_ = false;
  frontVersion_ = backVersion_ = listVersion_;
}

PickCell BlockSet::CellAt(const PickBuffer& buffer, uint64_t version, int x, int y) const {
  if (x < 0 || x >= width || y < 0 || y >= height || version != listVersion_)
    return {PickCell::kEmptyDepth, 0};
  return buffer[CellIndex(x, y, width)];
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
  ++frontFills_;
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

namespace {

// The cells a walk can reach between the least and the greatest coordinate of its corners on one
// axis: rows and columns round to the nearest, so a pixel's slack. Both never decrease as the
// coordinate grows, so the reach of several triangles' corners holds each one's. Of no cells
// (size 0, an empty band of rows) the reach is empty: ReachTo gives -1.
int ReachFrom(float least, int size) {
  return least >= 1.0f ? std::min(int(std::min(least, float(size))) - 1, size - 1) : 0;
}
int ReachTo(float greatest, int size) {
  return greatest < float(size - 2)
             ? std::min(std::max(int(std::max(greatest, -1.0f)) + 1, 0), size - 1)
             : size - 1;
}

// Whether a walk of the block's triangles can reach rows [first_row, end_row): its rows run from
// round(least y) to round(greatest y), and a corner not a number reaches any.
bool ReachesRows(const ScreenPoint (&s)[8], int first_row, int end_row) {
  float low = s[0].y, high = s[0].y;
  for (int k = 1; k < 8; ++k) low = std::min(low, s[k].y), high = std::max(high, s[k].y);
  return !(low + 0.5f >= float(end_row) || high + 0.5f < float(first_row));
}

// Whether all of a block's twelve triangles lie behind what the tiles hold: its corners' reach
// and least depth bound every triangle's, so the block is passed over with one test where each
// triangle's own would pass it too.
bool BlockHidden(const ScreenPoint (&s)[8], int width, int first_row, int end_row,
                 r::DepthTiles* tiles) {
  float x_low = s[0].x, x_high = s[0].x, y_low = s[0].y, y_high = s[0].y;
  float z_low = s[0].z, z_high = s[0].z;
  for (int k = 1; k < 8; ++k) {
    x_low = std::min(x_low, s[k].x), x_high = std::max(x_high, s[k].x);
    y_low = std::min(y_low, s[k].y), y_high = std::max(y_high, s[k].y);
    z_low = std::min(z_low, s[k].z), z_high = std::max(z_high, s[k].z);
  }
  float sum = 0.0f;  // not a number if any coordinate is not one
  for (const ScreenPoint& p : s) sum += p.x + p.y + p.z;
  if (std::isnan(sum)) return false;
  const int x0 = ReachFrom(x_low, width), x1 = ReachTo(x_high, width);
  // Rows outside the band are neither written nor known to the tiles.
  const int y0 = std::max(ReachFrom(y_low, end_row), first_row);
  const int y1 = ReachTo(y_high, end_row);
  if (x0 > x1 || y0 > y1) return false;
  return tiles->AllNearerThanAlone(x0, x1, y0, y1,
                                   LeastPickDepthOf(z_low, z_high, double(z_high) - double(z_low)));
}

// From this many blocks the fills go nearest first and pass over hidden blocks and triangles.
constexpr int kSkipHiddenFrom = 300;

}  // namespace

void BlockSet::FillBlocks(PickBuffer* cells, const Mat4& ms, const Block* excluded) {
  PickBuffer::Extent* rows = nullptr;
  if (cells == &front_) {
    frontBlockRows_.assign(size_t(height), PickBuffer::Extent{});
    rows = frontBlockRows_.data();
  }
  const uint64_t skipped = FillBlocksInRows(cells, ms, excluded, rows, 0, height);
  if (rows) {
    frontDescribed_ = true;
    // The door's fills move every block: no refill of a few rows follows them.
    if (settleCheck)
      filled_.kept = false;
    else
      NoteCorners(&filled_, ms);
  }
  hiddenSkipped_ += skipped;
}

bool BlockSet::FrontRowsSuffice(const Mat4& ms, int* first_row, int* end_row) const {
  return pickReuse_ && frontDescribed_ && front_.UsedKnown() &&
         frontBlockRows_.size() == size_t(height) && TableKey(ms) == frontTableKey_ &&
         MovedRows(filled_, ms, height, first_row, end_row) &&
         2 * (*end_row - *first_row) <= height;
}

void BlockSet::RefillFrontRows(const Mat4& ms, int first_row, int end_row) {
  PickBuffer* cells = &front_;
  for (int y = first_row; y < end_row; ++y) {
    const PickBuffer::Extent used = cells->Used(y);
    if (used.first <= used.last) {
      const size_t row = size_t(y) * width;
      std::fill(cells->FillDepths() + row + used.first, cells->FillDepths() + row + used.last + 1,
                PickCell::kEmptyDepth);
      std::fill(cells->FillIds() + row + used.first, cells->FillIds() + row + used.last + 1, 0u);
    }
    cells->SetUsed(y, {});
    frontBlockRows_[size_t(y)] = {};
  }
  // Into emptied cells a triangle's spans win as a first fill's do: the table's two, then the
  // blocks in list order, each cell keeping what the whole fill would.
  if (table && table->tableCornerRefs()[0]) {
    ScreenPoint q[4];
    for (int k = 0; k < 4; ++k) q[k] = ProjectToScreen(*table->tableCornerRefs()[k], ms);
    RasterizeTriangle(cells, q[0], q[1], q[2], PickCell::kTableBody, 1, 0, nullptr, nullptr,
                      first_row, end_row);
    RasterizeTriangle(cells, q[2], q[3], q[0], PickCell::kTableBody, 1, 1, nullptr, nullptr,
                      first_row, end_row);
  }
  hiddenSkipped_ +=
      FillBlocksInRows(cells, ms, nullptr, frontBlockRows_.data(), first_row, end_row);
  NoteCorners(&filled_, ms);
}

uint64_t BlockSet::FillBlocksInRows(PickBuffer* cells, const Mat4& ms, const Block* excluded,
                                    PickBuffer::Extent* rows, int first_row, int end_row) {
  // Moved blocks wholly above or below the picture (undo and redo move them there) leave an
  // empty band: nothing in it to fill.
  if (first_row >= std::min(end_row, height)) return 0;
  if (!skipHidden_ || Count() < kSkipHiddenFrom) {
    for (int i = 0; i < Count(); ++i) {
      if (At(i) == excluded) continue;
      // Each corner is projected once; the faces share them.
      ScreenPoint s[8];
      ProjectCornersToScreen(At(i)->corners, ms, s);
      if (ReachesRows(s, first_row, end_row))
        RasterizeBlock(cells, s, i, rows, nullptr, first_row, end_row);
    }
    return 0;
  }
  // Nearest blocks first, so that those behind them are mostly passed over as hidden. A cell
  // keeps the least depth, and of equal depths the block first in the list (the depth test
  // of the spans), so the cells are those a fill in list order gives.
  r::DepthTiles& tiles = pickTiles_;
  tiles.Begin(cells->FillDepths(), width, first_row, end_row);
  corners_.resize(size_t(Count()));
  nearestFirst_.clear();
  for (int i = 0; i < Count(); ++i) {
    if (At(i) == excluded) continue;
    ScreenPoint(&s)[8] = corners_[size_t(i)].points;
    ProjectCornersToScreen(At(i)->corners, ms, s);
    if (!ReachesRows(s, first_row, end_row)) continue;
    float least = s[0].z;
    for (int k = 1; k < 8; ++k) least = std::min(least, s[k].z);
    nearestFirst_.push_back({std::isnan(least) ? INFINITY : least, i});
  }
  std::sort(nearestFirst_.begin(), nearestFirst_.end());
  uint64_t skipped = 0;
  for (const auto& [least, i] : nearestFirst_) {
    const ScreenPoint(&s)[8] = corners_[size_t(i)].points;
    if (BlockHidden(s, width, first_row, end_row, &tiles))
      skipped += 12;
    else
      skipped += RasterizeBlock(cells, s, i, rows, &tiles, first_row, end_row);
  }
  return skipped;
}

int BlockSet::RasterizeBlock(PickBuffer* cells, const ScreenPoint (&s)[8], int i,
                             PickBuffer::Extent* rows, r::DepthTiles* tiles, int first_row,
                             int end_row) const {
  int skipped = 0;
  for (int f = 0; f < 6; ++f) {
    const int* c = kFaceCorners[f];
    skipped += !RasterizeTriangle(cells, s[c[0]], s[c[1]], s[c[2]], BodyId(i), f, 0, rows, tiles,
                                  first_row, end_row);
    skipped += !RasterizeTriangle(cells, s[c[2]], s[c[3]], s[c[0]], BodyId(i), f, 1, rows, tiles,
                                  first_row, end_row);
  }
  return skipped;
}

namespace {

// Whether every cell of a span holds a depth nearer than all of the span's, so that its depth
// test would change nothing. Its depths run one way along the row, so none is below both ends;
// one not a number never wins.
inline bool SpanBehind(const float* row_depths, int first, int last, const RowDepth& depth) {
  const float z_first = depth.At(first), z_last = depth.At(last);
  return r::DepthsBelow(row_depths, first, last, z_first < z_last ? z_first : z_last) &&
         z_first == z_first && z_last == z_last;
}

// A depth test of one span of a row: a cell takes the nearer depth, and of equal depths the
// one of the body first in the list (its triangles come in list order among themselves, so
// ties keep the first of them), whatever order the bodies come in; four cells at a time while
// four fit in the row, the cells past the span written back as they were.
inline void TestSpan(float* row_depths, uint32_t* row_ids, int w, int first, int last,
                     const RowDepth& depth, uint32_t id) {
  using pick_walk::Floats;
  using pick_walk::Ints;
  const Floats lane = {0.0f, 1.0f, 2.0f, 3.0f};
  const Ints lane_index = {0, 1, 2, 3};
  // Ids above this are of bodies later in the list (ids stay below 2^31).
  const int32_t later = int32_t(id | 15u);
  const Ints later_bodies = pick_walk::Splat(later);
  int x = first;
  for (; x <= last && x + 3 < w; x += 4) {
    const Floats z = pick_walk::Splat(depth.zLeft) +
                     pick_walk::Splat(depth.slope) *
                         (pick_walk::Splat(float(x)) + lane - pick_walk::Splat(depth.left));
    Floats old_z;
    Ints old_id;
    std::memcpy(&old_z, row_depths + x, sizeof old_z);
    std::memcpy(&old_id, row_ids + x, sizeof old_id);
    const Ints wins = (lane_index <= pick_walk::Splat(last - x)) &
                      ((z < old_z) | ((z == old_z) & (old_id > later_bodies)));
    const Floats new_z = pick_walk::Select(wins, z, old_z);
    const Ints new_id = pick_walk::Select(wins, pick_walk::Splat(int(id)), old_id);
    std::memcpy(row_depths + x, &new_z, sizeof new_z);
    std::memcpy(row_ids + x, &new_id, sizeof new_id);
  }
  for (; x <= last; ++x) {
    const float z = depth.At(x);
    if (z < row_depths[x] || (z == row_depths[x] && int32_t(row_ids[x]) > later))
      row_depths[x] = z, row_ids[x] = id;
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

bool BlockSet::RasterizeTriangle(PickBuffer* cells, const ScreenPoint& v0, const ScreenPoint& v1,
                                 const ScreenPoint& v2, uint32_t body, int face_index, int triangle,
                                 PickBuffer::Extent* rows, r::DepthTiles* tiles, int first_row,
                                 int end_row) const {
  if (tiles) {
    // A coordinate not a number reaches anywhere.
    const bool numbers = !std::isnan(v0.x + v1.x + v2.x + v0.y + v1.y + v2.y);
    const int x0 = numbers ? ReachFrom(std::min({v0.x, v1.x, v2.x}), width) : 0;
    const int x1 = numbers ? ReachTo(std::max({v0.x, v1.x, v2.x}), width) : width - 1;
    // The tiles know the rows the fill writes, those of [first_row, end_row).
    const int rows_end = std::min(end_row, height);
    const int y0 =
        std::max(numbers ? ReachFrom(std::min({v0.y, v1.y, v2.y}), rows_end) : 0, first_row);
    const int y1 = numbers ? ReachTo(std::max({v0.y, v1.y, v2.y}), rows_end) : rows_end - 1;
    if (x0 <= x1 && y0 <= y1) {
      // Off the screen, the bound over the rows the walk goes through, from the first (rows
      // above the band hand their ends on); near it, the corners' bound is as good and cheaper.
      const float reach = std::max({std::fabs(v0.x), std::fabs(v1.x), std::fabs(v2.x),
                                    std::fabs(v0.y), std::fabs(v1.y), std::fabs(v2.y)});
      const float least =
          numbers && reach >= 2048.0f
              ? LeastPickDepthInRows(v0, v1, v2, width,
                                     ReachFrom(std::min({v0.y, v1.y, v2.y}), rows_end), y1)
              : LeastPickDepth(v0, v1, v2);
      if (least == INFINITY) return false;  // nothing in the pick range: the walk writes nothing
      if (tiles->AllNearerThan(x0, x1, y0, y1, least)) return false;
      tiles->Nearer(x0, x1, y0, y1);  // a strict test: cells only come nearer
    }
  }
  // The walk's last row is round(greatest y): before first_row, it gives nothing there. Rows
  // from end_row on are not walked at all, as a shorter buffer's: each row hands on only to the
  // rows below it.
  if (std::max({v0.y, v1.y, v2.y}) + 0.5f < float(first_row)) return true;
  const uint32_t id = (body << 4) | (triangle ? PickCell::kTriangleBit : 0) | uint32_t(face_index);
  float* const depths = cells->FillDepths();
  uint32_t* const ids = cells->FillIds();
  const int w = width;
  WalkPickTriangle(v0, v1, v2, width, std::min(height, end_row),
                   [=](int y, int first, int last, const RowDepth& depth) {
                     if (y < first_row) return;
                     // In a crowd, filled nearest first, most spans lie behind: each is looked at
                     // first.
                     if (!tiles || !SpanBehind(depths + size_t(y) * w, first, last, depth))
                       TestSpan(depths + size_t(y) * w, ids + size_t(y) * w, w, first, last, depth,
                                id);
                     cells->Widen(y, first, last);
                     if (rows) rows[y].Widen(first, last);
                   });
  return true;
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
