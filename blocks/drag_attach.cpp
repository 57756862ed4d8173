// The block drag of one frame: the held block follows the cursor in the drag quad, then attaches
// to what lies behind it on screen. It snaps against a face of the nearest block there and is
// glued to it, or stands on the table; blocks it slides under at table level are lifted onto its
// level with everything glued to them. Each frame first undoes the previous frame's glue and
// lift, so the attachment always follows the cursor; the last one stays when the hand lets go.
#include <algorithm>
#include <array>
#include <cmath>

#include "blocks/block_set.h"
#include "blocks/cursor_ray.h"
#include "world/table.h"

namespace r = platform::render;

namespace {
constexpr float kNoDepth = 999999.0f;
constexpr float kOccupiedPenalty = 99999.0f;
constexpr float kOverlapReach = 0.4f;  // of the held block's size, per axis
constexpr int kOppositeFace[6] = {1, 0, 3, 2, 5, 4};

// A face-shaped record over four physics-space points, normal and areas made as for a face.
struct QuadRecord {
  Vec3 points[4];
  Face face;
  explicit QuadRecord(const Vec3 (&p)[4]) {
    for (int k = 0; k < 4; ++k) {
      points[k] = p[k];
      face.corner[k] = &points[k];
    }
    face.UpdateShape();
  }
};

bool InBox(const Vec3& q, const Vec3& lo, const Vec3& hi) {
  return q.x >= lo.x && q.x <= hi.x && q.y >= lo.y && q.y <= hi.y && q.z >= lo.z && q.z <= hi.z;
}

// Edge midpoints and face centres are means of corners: on every axis they lie within the
// corners' range, up to the rounding of their sums (a few units in the last place of the largest
// coordinate; the slack is many times that). A block whose corners all lie beyond the slack
// outside the box on some axis has none of its points in it, and its divisions are spared.
bool ClearlyOutside(const Block& b, const Vec3& lo, const Vec3& hi) {
  static constexpr float Vec3::*kAxes[3] = {&Vec3::x, &Vec3::y, &Vec3::z};
  for (float Vec3::*axis : kAxes) {
    float least = b.corners[0].*axis, most = least;
    for (int k = 1; k < 8; ++k) {
      least = std::min(least, b.corners[k].*axis);
      most = std::max(most, b.corners[k].*axis);
    }
    const float slack = 1.0e-6f * (1.0f + std::max(std::fabs(least), std::fabs(most)));
    if (most + slack < lo.*axis || least - slack > hi.*axis) return true;
  }
  return false;
}
}  // namespace

Vec3 BlockSet::ProjectAlongView(const Face& record, r::RenderDevice* device,
                                const Vec3& point) const {
  r::Matrix world;
  device->GetTransform(r::TransformType::kWorld, &world);
  Vec3 hit;
  if (!LineMeetsPlane(SwapYZ(point), ViewDirection(FromDeviceMatrix(world)),
                      SwapYZ(*record.corner[0]), SwapYZ(*record.corner[1]),
                      SwapYZ(*record.corner[2]), &hit))
    return {};
  return hit;
}

void BlockSet::CentreAt(Block* block, const Vec3& q) const {
  const Vec3& s = block->size;
  block->PlaceAt({q.x - s.x / 2, q.z - s.z / 2, q.y - s.y / 2});
}

bool BlockSet::DragAttach(r::RenderDevice* device, Block* held, int x, int y, int grab_x,
                          int grab_y) {
  FinishPickRefresh();  // corners are about to move
  // A back buffer filled before the block list changed would name the wrong blocks.
  if (backVersion_ != listVersion_) RefreshPickBuffer(device, held);
  for (int i = 0; i < Count(); ++i) At(i)->visited = 0;
  // The held block comes loose from what it was glued to: its own side of every link, and the
  // other side where it points back, so no block stays glued to one that has left it. That face
  // goes back to a face still glued to it from before the held block was glued over it.
  for (Face& face : held->faces) {
    if (face.link && face.link->link == &face && face.link != pendingFace)
      face.link->link = FaceGluedTo(*face.link, held);
    face.link = nullptr;
  }
  // Undo the previous frame's glue...
  if (pendingFace) {
    bool saved_is_held = false;
    for (Face& face : held->faces) saved_is_held |= savedLink == &face;
    pendingFace->link = saved_is_held ? nullptr : savedLink;
    pendingFace = nullptr;
  }
  // ...and its lift.
  if (groupBlock) {
    Vec3 delta;
    Subtract(delta, Scale(delta, snapOffset, -1.0f), groupBlock->size);
    MoveGroup(groupBlock, delta);
    for (int i = 0; i < Count(); ++i) At(i)->visited = 0;
    groupBlock = nullptr;
    RefreshPickBuffer(device, held);
  }

  Vec3 point;
  HitDragQuad(device, float(x - grab_x), float(y - grab_y), &point);
  held->PlaceAt(SwapYZ(point));
  const DropTarget target = FindDropTarget(device, held);
  const Vec3 o = held->corners[0];
  Face& table_top = table->TopRecord();

  if (target.blockCell != kNoCell) {
    Block* below = CellBody(back_[size_t(target.blockCell)]);
    SnapAndGlue(device, held, below);
    if (held->centre.z < 1.0f) {
      // At table level: the held block stands on the table in front of the block it slid
      // under, and that block's group is lifted onto the held block's top.
      const int best_face = back_[size_t(target.best)].FaceIndex();
      supportQuad = &table_top;
      CentreAt(held, ProjectAlongView(table_top, device, held->centre));
      CentreAt(held, ProjectAlongView(held->faces[best_face], device, held->centre));
      const float h = held->size.y;
      const QuadRecord level({{-50, -50, h}, {-50, 50, h}, {50, 50, h}, {50, -50, h}});
      const Vec3 q = SwapYZ(ProjectAlongView(level.face, device, below->corners[0]));
      held->visited = 1;
      Subtract(snapOffset, q, below->centre);
      groupBlock = below;
      MoveGroup(below, snapOffset);
      RefreshPickBuffer(device, held);
      return true;
    }
  }
  if (target.best != kNoCell) {
    const PickCell best = back_[size_t(target.best)];
    held->PlaceAt(o);
    Block* body = CellBody(best);
    if (body && body->kind == Block::kBlock) {
      for (Face& face : held->faces) face.link = nullptr;
      if (pendingFace) pendingFace->link = savedLink;
      supportQuad = SnapAndGlue(device, held, body);
    } else if (body) {
      supportQuad = &table_top;
      CentreAt(held, ProjectAlongView(table_top, device, held->centre));
      CentreAt(held, ProjectAlongView(held->faces[best.FaceIndex()], device, held->centre));
    }
  }
  return true;
}

void BlockSet::EndDrag() {
  // While the drag lasted the old partner kept pointing at the taken face, so that the next
  // frame could give it back; now nothing will, and a link without its other side would stay.
  if (pendingFace && savedLink && savedLink->link == pendingFace && pendingFace->link != savedLink)
    savedLink->link = nullptr;
  pendingFace = nullptr;
  savedLink = nullptr;
  groupBlock = nullptr;
}

BlockSet::DropTarget BlockSet::FindDropTarget(r::RenderDevice* device, const Block* held) {
  candidateCount = 0;
  DropTarget found;
  float best_depth = kNoDepth;
  const Mat4 ms = ScreenMatrix(device);
  for (const Face& face : held->faces) {
    ScreenPoint p[4];
    for (int k = 0; k < 4; ++k) p[k] = ProjectToScreen(*face.corner[k], ms);
    for (const auto& tri : {std::array{0, 1, 2}, std::array{2, 3, 0}}) {
      const long cell = ScanTriangle(back_, p[tri[0]], p[tri[1]], p[tri[2]], &found.blockCell);
      if (cell != kNoCell && back_[size_t(cell)].depth < best_depth) {
        best_depth = back_[size_t(cell)].depth;
        found.best = cell;
      }
    }
  }
  return found;
}

long BlockSet::ScanTriangle(const PickBuffer& cells, const ScreenPoint& v0, const ScreenPoint& v1,
                            const ScreenPoint& v2, long* block_cell) {
  long result = kNoCell;
  float nearest = kNoDepth;
  const size_t room = candidates.size();
  WalkPickTrianglePixels(v0, v1, v2, width, height, [&](int x, int y, float /*z*/) {
    const size_t index = CellIndex(x, y, width);
    const PickCell cell = cells[index];
    if (!(cell.depth < nearest)) return;
    nearest = cell.depth;
    result = long(index);
    // The list has room for one entry per cell; nothing reads it, so a full list just stops.
    if (size_t(candidateCount) < room) candidates[size_t(candidateCount++)] = index;
    const Block* body = CellBody(cell);
    if (body && body->kind == Block::kBlock) *block_cell = long(index);
  });
  return result;
}

Face* BlockSet::SnapAndGlue(r::RenderDevice* device, Block* held, Block* target) {
  const Vec3 o = held->corners[0];
  for (int i = 0; i < 6; ++i) {
    held->PlaceAt(o);
    CentreAt(held, ProjectAlongView(target->faces[i], device, held->centre));
    const Vec3 r = SwapYZ(ProjectAlongView(held->faces[i], device, held->centre));
    Vec3 d;
    Subtract(d, r, target->centre);
    snapDistances[i] = std::sqrt(LengthSquared(d));
    if (OverlapsOtherBlock(held, r)) snapDistances[i] += kOccupiedPenalty;
  }
  int c = 0;
  for (int i = 1; i < 6; ++i)
    if (snapDistances[i] < snapDistances[c]) c = i;
  held->PlaceAt(o);
  CentreAt(held, ProjectAlongView(target->faces[c], device, held->centre));
  CentreAt(held, ProjectAlongView(held->faces[c], device, held->centre));
  Face& theirs = target->faces[c];
  Face& ours = held->faces[kOppositeFace[c]];
  savedLink = theirs.link;
  theirs.link = &ours;
  ours.link = &theirs;
  pendingFace = &theirs;
  return &theirs;
}

bool BlockSet::OverlapsOtherBlock(const Block* held, const Vec3& p) const {
  Vec3 e, lo, hi;
  Scale(e, held->size, kOverlapReach);
  Subtract(lo, p, e);
  ::Add(hi, p, e);
  for (int i = 0; i < Count(); ++i) {
    const Block* b = At(i);
    if (b == held || ClearlyOutside(*b, lo, hi)) continue;
    for (const Vec3& corner : b->corners)
      if (InBox(corner, lo, hi)) return true;
    for (int k = 0; k < 12; ++k) {
      Vec3 mid;
      ::Add(mid, b->corners[kEdgePairs[k][0]], b->corners[kEdgePairs[k][1]]);
      if (InBox(DivideInPlace(mid, 2.0f), lo, hi)) return true;
    }
    for (const Face& face : b->faces) {
      Vec3 centre;
      for (int k = 0; k < 4; ++k) AddInPlace(centre, *face.corner[k]);
      if (InBox(DivideInPlace(centre, 4.0f), lo, hi)) return true;
    }
  }
  return false;
}

void BlockSet::MoveGroup(Block* block, const Vec3& delta) {
  FinishPickRefresh();  // corners are about to move
  // Depth first over the links, each block once: a ring of glued blocks ends where it started.
  groupStack_.clear();
  groupStack_.push_back(block);
  while (!groupStack_.empty()) {
    Block* b = groupStack_.back();
    groupStack_.pop_back();
    if (b->visited) continue;
    b->visited = 1;
    Vec3 to;
    b->PlaceAt(::Add(to, b->centre, delta));
    for (int f = 5; f >= 0; --f)  // pushed in reverse so face 0's group moves first
      if (b->faces[f].link) groupStack_.push_back(b->faces[f].link->owner);
  }
}
