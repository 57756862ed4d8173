#include "play/grab_layer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "app/game_app.h"
#include "blocks/block_set.h"
#include "blocks/cursor_ray.h"
#include "blocks/pick_walk.h"
#include "blocks/world_limits.h"
#include "world/table.h"

namespace r = platform::render;

namespace {
constexpr float kEdgeReach = 3.0f;  // pixels from a bottom edge's line that take a handle
constexpr int kCopyReach = 3;       // pixels between screen positions that count as one place

// A display-space point on screen.
ScreenPoint ProjectDisplay(const Vec3& d, const Mat4& ms) {
  return ProjectToScreen(SwapYZ(d), ms);
}

// The bottom face's centre, display space.
Vec3 BottomCentre(const Block& b) {
  return {b.centre.x, b.centre.z - b.size.z / 2, b.centre.y};
}

// Distance from (x, y) to the infinite line through a and b, on screen; to a itself when the two
// points coincide.
float DistanceToLine(float x, float y, const ScreenPoint& a, const ScreenPoint& b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  const float length = std::sqrt(dx * dx + dy * dy);
  if (length == 0.0f) return std::sqrt((x - a.x) * (x - a.x) + (y - a.y) * (y - a.y));
  return std::fabs(dx * (y - a.y) - dy * (x - a.x)) / length;
}
}  // namespace

bool GrabHandle::Init(GameApp* app, BlockSet* set, Block* target, int x, int y) {
  block = target;
  screenX = x;
  screenY = y;
  if (!target) return true;
  r::RenderDevice* device = app->Graphics().Device();
  const ScreenPoint s = ProjectDisplay(BottomCentre(*target), set->ScreenMatrix(device));
  set->SetTableDragQuad(device);
  Vec3 hit;
  set->HitDragQuad(device, float(TruncatedPixel(s.x)), float(TruncatedPixel(s.y)), &hit);
  anchor = hit;
  screenX = TruncatedPixel(s.x);
  screenY = TruncatedPixel(s.y);
  return true;
}

bool GrabLayer::Initialise(GameApp* app, BlockSet* set, int map_width, int map_height) {
  application = app;
  blockSet = set;
  width = map_width;
  height = map_height;
  handleMap_.assign(size_t(width) * height, nullptr);
  markedCells_.reserve(64);
  for (int k = 0; k < 4; ++k) quad.corner[k] = &quadCorners[k];
  Refresh(app->Graphics().Device());
  return true;
}

void GrabLayer::ClearHandleMap() {
  for (size_t i : markedCells_) handleMap_[i] = nullptr;
  markedCells_.clear();
  overlaidHandles_ = -1;
}

GrabHandle* GrabLayer::HandleAt(int x, int y) const {
  if (x < 0 || x >= width || y < 0 || y >= height || handleMap_.empty()) return nullptr;
  return handleMap_[CellIndex(x, y, width)];
}

bool GrabLayer::HasHandle(const Block* b) const {
  return b && b->grabHandle;
}

void GrabLayer::Add(GrabHandle* h) {
  OwningObjectList<GrabHandle>::Add(h);
  if (h->block && !h->block->grabHandle) h->block->grabHandle = h;
  overlaidHandles_ = -1;
}

void GrabLayer::RemoveAt(int index) {
  ClearHandleMap();
  OwningObjectList<GrabHandle>::RemoveAt(index);
}

namespace {
// A screen cell of kCopyReach pixels square: positions within reach of each other lie in the
// same cell or in neighbouring ones.
int CopyCell(int v) {
  return v >= 0 ? v / kCopyReach : -((-v + kCopyReach - 1) / kCopyReach);
}
uint64_t CopyCellKey(int cx, int cy) {
  return uint64_t(uint32_t(cx)) << 32 | uint32_t(cy);
}
}  // namespace

void GrabLayer::PlaceBlocksOnScreen(r::RenderDevice* device) {
  BlockSet& set = *blockSet;
  const Mat4 ms = set.ScreenMatrix(device);
  for (int i = 0; i < set.Count(); ++i) {
    Block* b = set.At(i);
    Vec4 p{b->centre.x, b->centre.z, b->centre.y, 1.0f};
    TransformInPlace(p, ms);
    // Held, so that a centre on the eye's plane (w = 0) leaves no infinity to be saved.
    b->screenPosition = {HeldPixel(p.x / p.w), HeldPixel(p.y / p.w), p.z, p.w};
  }
}

void GrabLayer::Refresh(r::RenderDevice* device) {
  BlockSet& set = *blockSet;
  PlaceBlocksOnScreen(device);
  // A block left where a handled block (or its copy) still stands on screen goes: this is how a
  // copy dragged away from its original leaves both, and one dragged back merges into it. The
  // handled places are found by screen cell, so each block looks only at the handles near it;
  // a block within reach of several goes with the first of them, and the blocks go in the
  // order of handle, then list, as a walk of every handle over the list would take them.
  if (Count() > 0) {
    std::unordered_map<uint64_t, std::vector<int>> near;
    near.reserve(size_t(Count()));
    for (int h = 0; h < Count(); ++h) {
      Block* s = At(h)->block;
      if (!s) continue;
      s->grabHandle = At(h);  // the handled blocks, whatever put the handles here
      const int sx = TruncatedPixel(s->screenPosition.x), sy = TruncatedPixel(s->screenPosition.y);
      near[CopyCellKey(CopyCell(sx), CopyCell(sy))].push_back(h);
    }
    struct Gone {
      int handle, index;  // the first handle within reach; the block's place in the list
      Block* block;
    };
    std::vector<Gone> gone;
    for (int i = 0; i < set.Count(); ++i) {
      Block* p = set.At(i);
      if (p->grabHandle) continue;
      const int px = TruncatedPixel(p->screenPosition.x), py = TruncatedPixel(p->screenPosition.y);
      const int cx = CopyCell(px), cy = CopyCell(py);
      int first = Count();
      for (int ny = cy - 1; ny <= cy + 1; ++ny)
        for (int nx = cx - 1; nx <= cx + 1; ++nx) {
          const auto found = near.find(CopyCellKey(nx, ny));
          if (found == near.end()) continue;
          for (int h : found->second) {
            const Block* s = At(h)->block;
            if (h < first && std::abs(px - TruncatedPixel(s->screenPosition.x)) < kCopyReach &&
                std::abs(py - TruncatedPixel(s->screenPosition.y)) < kCopyReach)
              first = h;
          }
        }
      if (first < Count()) gone.push_back({first, i, p});
    }
    std::sort(gone.begin(), gone.end(), [](const Gone& a, const Gone& b) {
      return a.handle != b.handle ? a.handle < b.handle : a.index < b.index;
    });
    std::vector<Block*> blocks;
    for (const Gone& g : gone) blocks.push_back(g.block);
    set.RemoveBlocks(blocks);
  }
  ClearHandleMap();
  RemoveAll();
  for (int i = 0; i < set.Count(); ++i) set.At(i)->grabHandle = nullptr;
}

GrabHandle* GrabLayer::Press(r::RenderDevice* device, int x, int y) {
  BlockSet& set = *blockSet;
  GrabHandle* h = HandleAt(x, y);
  // A marker whose block has gone (the list is rebuilt on entering) is not pressable.
  if (h && set.Find(h->block) < 0) h = nullptr;
  if (h) {
    h->Init(application, &set, h->block, x, y);
  } else {
    const PickCell cell = set.FrontCell(x, y);
    Block* b = set.CellBody(cell);
    if (!b || b->kind != Block::kBlock) {
      Refresh(device);
      return nullptr;
    }
    // The bottom corner nearest the viewer, and the bottom edges that meet there.
    const Mat4 ms = set.ScreenMatrix(device);
    ScreenPoint corner[4];
    int nearest = 0;
    for (int k = 0; k < 4; ++k) {
      corner[k] = ProjectToScreen(b->corners[k], ms);
      if (corner[k].z < corner[nearest].z) nearest = k;
    }
    const ScreenPoint& n = corner[nearest];
    const ScreenPoint& before = corner[(nearest + 3) % 4];
    const ScreenPoint& after = corner[(nearest + 1) % 4];
    if (DistanceToLine(float(x), float(y), n, before) >= kEdgeReach &&
        DistanceToLine(float(x), float(y), n, after) >= kEdgeReach) {
      Refresh(device);
      return nullptr;
    }
    if (HasHandle(b)) {
      // A second handle on a block copies it: the copy, standing in its place, is what moves.
      const Vec3 c = b->centre;
      b = set.AddBlockOwnContext(device, application->Sounds(), {c.x, c.z, c.y}, b->size);
      if (!b) return nullptr;
    }
    h = new GrabHandle();
    h->Init(application, &set, b, x, y);
    Add(h);
    b->grabHandle = h;
  }
  // The quad through the bottom-face centre that holds the viewing direction and the screen's
  // rows: every point of it shows on the same screen row as the centre.
  Block* b = h->block;
  const Vec3 d = BottomCentre(*b);
  r::Matrix world;
  device->GetTransform(r::TransformType::kWorld, &world);
  static constexpr Vec3 kQuadOffsets[4] = {
      {-100, 0, 100}, {-100, 0, -100}, {100, 0, -100}, {100, 0, 100}};
  for (int k = 0; k < 4; ++k) {
    Vec3 offset;
    TransformTransposed3x3(offset, kQuadOffsets[k], FromDeviceMatrix(world));
    ::Add(quadCorners[k], d, offset);
  }
  quad.UpdateShape();
  Drag(device, h, x, y);
  return h;
}

void GrabLayer::Drag(r::RenderDevice* device, GrabHandle* h, int /*x*/, int y) {
  BlockSet& set = *blockSet;
  Block* b = h->block;
  if (!b) return;
  // Only the vertical mouse position counts; the column is the handle's.
  Vec3 p;
  set.FacePointUnderCursor(set.GetTable()->TopRecord(), device, float(h->screenX), float(y), &p);
  h->anchor = p;
  // Straight up or down from the table point onto the quad: the block stays on its screen row.
  const Vec3& n = quad.normal;
  Vec3 on_quad;
  if (n.y != 0.0f) {
    Vec3 to_quad;
    Subtract(to_quad, quadCorners[0], p);
    on_quad = {p.x, p.y + Dot(to_quad, n) / n.y, p.z};
  }
  const Vec3& s = b->size;
  b->PlaceAt({on_quad.x - s.x / 2, on_quad.z - s.y / 2, on_quad.y});
  if (b->corners[0].z >= 0.0f) return;
  // It would sink into the table: along the line of sight instead, onto the table plane.
  r::Matrix world;
  device->GetTransform(r::TransformType::kWorld, &world);
  const Vec3 u = ViewDirection(FromDeviceMatrix(world));
  const Vec3 g{on_quad.x - s.x / 2, on_quad.y, on_quad.z - s.y / 2};
  const Vec3& m = set.dragQuad.normal;
  Vec3 point = p;
  const float mu = Dot(m, u);
  if (mu != 0.0f) {
    Vec3 to_plane, step;
    Subtract(to_plane, *set.dragQuad.corner[0], g);
    ::Add(point, g, Scale(step, u, Dot(m, to_plane) / mu));
  }
  b->PlaceAt(SwapYZ(point));
  h->anchor = {b->centre.x, 0.0f, b->centre.y};
}

void GrabLayer::Overlay(r::RenderDevice* device, r::Surface* back_buffer) {
  ClearHandleMap();
  r::LockedRect locked;
  if (!back_buffer || !back_buffer->LockRect(&locked)) return;
  BlockSet& set = *blockSet;
  const Mat4 ms = set.ScreenMatrix(device);
  auto* bits = static_cast<uint8_t*>(locked.bits);
  const int w = std::min(width, back_buffer->Width()),
            hgt = std::min(height, back_buffer->Height());
  for (int i = 0; i < Count(); ++i) {
    GrabHandle* h = At(i);
    const Vec3& a = h->anchor;
    const ScreenPoint q[4] = {
        ProjectDisplay({a.x - 1, a.y, a.z - 1}, ms), ProjectDisplay({a.x - 1, a.y, a.z + 1}, ms),
        ProjectDisplay({a.x + 1, a.y, a.z + 1}, ms), ProjectDisplay({a.x + 1, a.y, a.z - 1}, ms)};
    // Visible, and pressable, only where the table is the nearest body.
    const auto mark = [&](int x, int y, float /*z*/) {
      if (x >= w || y >= hgt) return;
      if (set.FrontCell(x, y).Body() != PickCell::kTableBody) return;
      reinterpret_cast<uint32_t*>(bits + size_t(y) * locked.pitch)[x] = 0;
      const size_t cell = CellIndex(x, y, width);
      if (!handleMap_[cell]) markedCells_.push_back(cell);
      handleMap_[cell] = h;
    };
    WalkPickTrianglePixels(q[0], q[1], q[2], width, height, mark);
    WalkPickTrianglePixels(q[2], q[3], q[0], width, height, mark);
  }
  back_buffer->UnlockRect();
  overlaidHandles_ = Count();
}

bool GrabLayer::RedrawMarkers(r::Surface* back_buffer) const {
  if (overlaidHandles_ != Count()) return false;
  r::LockedRect locked;
  if (!back_buffer || !back_buffer->LockRect(&locked)) return false;
  // Each marked cell lies inside the buffer the overlay drew into, which a reset keeps the size of.
  auto* bits = static_cast<uint8_t*>(locked.bits);
  const int w = std::min(width, back_buffer->Width()),
            hgt = std::min(height, back_buffer->Height());
  for (size_t cell : markedCells_) {
    const int x = int(cell % size_t(width)), y = int(cell / size_t(width));
    if (x < w && y < hgt) reinterpret_cast<uint32_t*>(bits + size_t(y) * locked.pitch)[x] = 0;
  }
  back_buffer->UnlockRect();
  return true;
}
