// The table test: corners that sink below the table top are lifted back while the block is over
// the table's square; a block found below it elsewhere has left the table for good.
#include "blocks/contact.h"

namespace {

constexpr float kTableHalfSide = 30.0f;
// A corner of a block that has left the table is held this far below the plane while it is
// under the square, so that it cannot climb back on.
constexpr float kBelowTable = -0.015f;

}  // namespace

void TestTable(Block& block, const Block& table) {
  // The table keeps its centre in display space: x, height, depth.
  const float x_low = table.centre.x - kTableHalfSide, x_high = table.centre.x + kTableHalfSide;
  const float y_low = table.centre.z - kTableHalfSide, y_high = table.centre.z + kTableHalfSide;
  // Decided once, before any corner moves: one corner strictly inside the square carries the
  // whole block, corners outside it included.
  bool over = false;
  for (const Vec3& c : block.corners)
    over = over || (x_low < c.x && c.x < x_high && y_low < c.y && c.y < y_high);
  // The responses touch one corner each: they are given together at the end.
  Vec3* velocities[8];
  uint8_t* flags[8];
  int lifted = 0;
  for (int k = 0; k < 8; ++k) {
    Vec3& c = block.corners[k];
    if (c.z < 0.0f) {
      if (!block.onTable) continue;
      if (over) {
        c.z = 0.0f;
        velocities[lifted] = &block.velocities[k], flags[lifted] = &block.contact[k], ++lifted;
        block.touched = 1;
      } else {
        block.onTable = 0;  // slid off the edge: it falls past the table from now on
      }
    } else if (!block.onTable && over) {
      c.z = kBelowTable;
    }
  }
  if (lifted > 0)
    RespondToContacts({0.0f, 0.0f, 1.0f}, velocities, flags, lifted, kTableFriction, kRestitution);
}
