// Contact tests of the physics step: a block against the table top, a block against another
// block, and the velocity response of a corner in contact. The tests separate bodies by moving
// corners of the tested block directly (position-based) and mark the contact. Physics space,
// z up; the table top is the plane z = 0. Called by the relaxation passes of BlockSet::Step.
#pragma once

#include <cstdint>

#include "blocks/block.h"

// Friction and restitution of the two kinds of contact (velocities are per step).
inline constexpr float kTableFriction = 0.01f;
inline constexpr float kBlockFriction = 0.1f;
inline constexpr float kRestitution = 0.99f;

// The table pass's first half: corners that sink below z = 0 are lifted back while the block is
// over the table's 60 by 60 square; a block found below the plane outside it leaves the table
// for good. `table` is the World's table, whose centre is kept in display space.
void TestTable(Block& block, const Block& table);

// Block `a` against the box of block `b`: corner probe, centre probe, edge probes and face
// probes, in that order. Moves only a's corners and sets only a's flags. The extents of b's box
// are taken from a's size. True when it may have moved a corner of a.
bool TestBlock(Block& a, const Block& b);

// A ball around a block's centre that holds all eight of its corners, for the step to skip pairs
// cheaply. It stays valid until the block's corners move. (Physics space.)
struct CornerBall {
  Vec3 centre;
  float radius = 0.0f;
};
CornerBall BoundCorners(const Block& a);

// True only when TestBlock(a, b) would change nothing at all: a's corners, all inside `ball`,
// lie clearly beyond one side of b's box, and so does a's centre, the ball's centre.
bool ClearlyApart(const CornerBall& ball, const Block& a, const Block& b);

// A corner in contact along the unit normal n: friction takes `friction` off the tangential
// speed (all of it when the speed is not above it), the normal part is reversed and scaled by
// `restitution`. A corner already leaving faster than 1000 per step is left alone.
void RespondToContact(const Vec3& n, Vec3& v, uint8_t& contact, float friction, float restitution);
// The same for several corners along one normal, four at a time; the results are those of one
// call per corner.
void RespondToContacts(const Vec3& n, Vec3* const* velocities, uint8_t* const* contacts, int count,
                       float friction, float restitution);

// The pieces of the block test, shared with the tests; inline, as every probe uses them.
namespace contact {

// Coordinates of p along the axes of b's box, measured from b's corner 0.
inline Vec3 LocalCoordinates(const Vec3& p, const Block& b) {
  Vec3 d;
  Subtract(d, p, b.corners[0]);
  return {Dot(d, b.axes[0]), Dot(d, b.axes[1]), Dot(d, b.axes[2])};
}

// The side of the box nearest to a point inside it: 0..2 the low X, Y, Z sides, 3..5 the high
// ones; on equal depths the lower index wins. *depth receives the distance to that side.
inline int NearestSide(const Vec3& l, const Vec3& extent, float* depth) {
  const float depths[6] = {l.x, l.y, l.z, extent.x - l.x, extent.y - l.y, extent.z - l.z};
  int side = 0;
  for (int i = 1; i < 6; ++i)
    if (depths[i] < depths[side]) side = i;  // strict: the earlier of equal depths stays
  *depth = depths[side];
  return side;
}

// The unit direction that pushes a point out through that side.
inline Vec3 PushDirection(const Block& b, int side) {
  const Vec3& axis = b.axes[side % 3];
  return side < 3 ? Vec3{-axis.x, -axis.y, -axis.z} : axis;
}

}  // namespace contact
