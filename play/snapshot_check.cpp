// What a construction may be: the one rule every snapshot from outside passes before it is
// restored, so that nothing past the reader has to doubt the state. docs/construction-format.md
// says the same in words.
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "blocks/world_limits.h"
#include "play/snapshot.h"
#include "world/world.h"

namespace {

namespace limits = world_limits;
using Ref = Snapshot::FaceRef;

bool Fail(std::string* why, const char* reason) {
  if (why) *why = reason;
  return false;
}

// A face's or a quad's normal: unit, or all zero where the face has no area (a quad not used
// yet), as the toy computes it.
bool NormalFits(const Vec3& n) {
  return n == Vec3{} || limits::IsUnit(n);
}

// The hand's quads: corners inside the box and a normal as above.
bool QuadFits(const Snapshot::Quad& q) {
  for (const Vec3& c : q.corners)
    if (!limits::Within(c, limits::kPlace)) return false;
  return NormalFits(q.normal) && limits::InRange(q.area012, 0.0f, limits::kArea) &&
         limits::InRange(q.area230, 0.0f, limits::kArea);
}

const char* BlockFault(const Snapshot::Block& b) {
  for (int k = 0; k < 8; ++k)
    if (!limits::Within(b.corners[k], limits::kPlace) ||
        !limits::Within(b.savedCorners[k], limits::kPlace))
      return "the construction has a block beyond the play space";
  for (const Vec3* p : {&b.centre, &b.previousCentre, &b.referenceCentre})
    if (!limits::Within(*p, limits::kPlace))
      return "the construction has a block beyond the play space";
  for (const Vec3& v : b.velocities)
    if (!limits::Within(v, limits::kSpeed)) return "the construction has a block moving too fast";
  for (float e : {b.size.x, b.size.y, b.size.z})
    if (!limits::InRange(e, limits::kLeastEdge, limits::kEdge))
      return "the construction has a block of an impossible size";
  for (float r : b.restLengths)
    if (!limits::InRange(r, 0.0f, limits::kLength))
      return "the construction has a block of an impossible size";
  if (!limits::InRange(b.reachRadius, 0.0f, limits::kReach))
    return "the construction has a block of an impossible size";
  for (const Vec3& a : b.axes)
    if (!limits::IsUnit(a)) return "the construction has a block of an impossible shape";
  for (const Snapshot::Face& f : b.faces)
    if (!NormalFits(f.normal) || !limits::InRange(f.area012, 0.0f, limits::kArea) ||
        !limits::InRange(f.area230, 0.0f, limits::kArea))
      return "the construction has a block of an impossible shape";
  return nullptr;
}

}  // namespace

bool CheckSnapshot(const Snapshot& s, std::string* why) {
  if (s.tableTexels.size() != size_t(Snapshot::kTableTexels) * Snapshot::kTableTexels * 3 ||
      s.canvasPixels.size() != size_t(Snapshot::kCanvasWidth) * Snapshot::kCanvasHeight * 3)
    return Fail(why, "the construction was made for other picture sizes");
  if (s.tool < 0 || s.tool >= World::kToolCount) return Fail(why, "the construction names no tool");
  // The camera as turning and zooming leave it; a single large turn may leave the yaw a few
  // turns out of 0 to 360 until the next.
  if (!limits::InRange(s.pitch, 0.0f, 90.0f) || !limits::InRange(s.zoom, 4.0f, 16.0f) ||
      !limits::Within(s.yaw, 1.0e5f))
    return Fail(why, "the construction's view is out of range");
  if (!limits::Within(s.tableCentre, limits::kPlace) ||
      !limits::Within(s.snapOffset, limits::kPlace))
    return Fail(why, "the construction has a table or a hand beyond the play space");
  if (!QuadFits(s.handleQuad) || !QuadFits(s.dragQuad))
    return Fail(why, "the construction has a hand of an impossible shape");

  // Ids are named by 32-bit signed references.
  std::unordered_map<uint32_t, size_t> index;
  for (size_t i = 0; i < s.blocks.size(); ++i) {
    if (s.blocks[i].id > uint32_t(INT32_MAX))
      return Fail(why, "the construction names a block by too large a number");
    if (!index.emplace(s.blocks[i].id, i).second)
      return Fail(why, "the construction names two blocks alike");
  }
  const auto block_face = [&](const Ref& ref) {
    return ref.block >= 0 && index.count(uint32_t(ref.block)) && ref.face >= 0 && ref.face < 6;
  };
  // Glue joins blocks' faces only: the table and the hand's quads are never glued, and the hand's
  // records of glue name a block's face like the glue itself; what the held block rests on may
  // also be the table or one of the quads.
  const auto glue = [&](const Ref& ref) { return ref.block == Ref::kNone || block_face(ref); };
  const bool support = s.supportQuad.block == Ref::kNone || s.supportQuad.block == Ref::kTableTop ||
                       s.supportQuad.block == Ref::kHandleQuad ||
                       s.supportQuad.block == Ref::kDragQuad || block_face(s.supportQuad);
  if (!support || !glue(s.pendingFace) || !glue(s.savedLink) ||
      (s.groupBlock != -1 && (s.groupBlock < 0 || !index.count(uint32_t(s.groupBlock)))))
    return Fail(why, "the construction's glue names a block it does not hold");

  for (const Snapshot::Block& b : s.blocks) {
    if (b.handle < -1 || b.handle >= int32_t(s.handles.size()) ||
        (b.handle >= 0 && s.handles[size_t(b.handle)].block != b.id))
      return Fail(why, "a block of the construction names a handle it does not hold");
    for (const Snapshot::Face& f : b.faces) {
      if (f.link.block < Ref::kNone)
        return Fail(why, "the construction glues a block to the table or the hand");
      if (!glue(f.link)) return Fail(why, "the construction's glue names a block it does not hold");
      if (f.link.block == int32_t(b.id))
        return Fail(why, "the construction glues a block to itself");
    }
    if (const char* fault = BlockFault(b)) return Fail(why, fault);
  }
  std::unordered_set<uint32_t> handled;
  for (const Snapshot::Handle& h : s.handles) {
    if (!index.count(h.block)) return Fail(why, "a handle names a block the construction lacks");
    if (!handled.insert(h.block).second)
      return Fail(why, "the construction has two handles on one block");
    if (!limits::Within(h.anchor, limits::kPlace))
      return Fail(why, "the construction has a handle beyond the play space");
  }
  return true;
}
