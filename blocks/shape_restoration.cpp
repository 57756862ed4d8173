// Shape restoration eight blocks at a time. Each block's sixteen constraints form one long chain
// of dependent square roots and divisions; blocks side by side in the lanes of vectors run many
// chains in the time of one. Every lane does the scalar operations of one block in the
// same order, each IEEE-rounded the same way, so the results are those of one block at a time.
#include <cfloat>

#include "blocks/float4.h"
#include "blocks/physics_step.h"

namespace {

using float4::F4;
using float4::I4;
using float4::Select;
using float4::Sqrt;

struct V3 {
  F4 x, y, z;
};

V3 Minus(const V3& a, const V3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 Plus(const V3& a, const V3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}

constexpr float kSigns[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};

// Eight blocks: two vectors of four, whose chains are independent, so that the processor
// works on both at once.
constexpr int kGroups = 2;
constexpr int kLanes = 4 * kGroups;

void RestoreBatch(Block* const* blocks, int count) {
  // Lanes past `count` repeat the first block and are not stored.
  Block* lane[kLanes];
  for (int j = 0; j < kLanes; ++j) lane[j] = blocks[j < count ? j : 0];
  const auto gather = [&lane](int g, auto&& field) {
    V3 v;
    for (int j = 0; j < 4; ++j) {
      const Vec3& p = field(*lane[4 * g + j]);
      v.x[j] = p.x, v.y[j] = p.y, v.z[j] = p.z;
    }
    return v;
  };
  V3 c[8][kGroups];
  for (int k = 0; k < 8; ++k)
    for (int g = 0; g < kGroups; ++g)
      c[k][g] = gather(g, [k](const Block& b) -> const Vec3& { return b.corners[k]; });
  // d = c[a] - c[b], L = |d|; both ends move half the error along d / L. Later pairs see the
  // corrected corners. Two corners in one place give no direction: that pair waits a pass.
  for (int i = 0; i < 16; ++i) {
    for (int g = 0; g < kGroups; ++g) {
      V3& a = c[kEdgePairs[i][0]][g];
      V3& b = c[kEdgePairs[i][1]][g];
      const V3 d = Minus(a, b);
      const F4 length = Sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      F4 rest;
      for (int j = 0; j < 4; ++j) rest[j] = lane[4 * g + j]->restLengths[i];
      const F4 k = (rest - length) * 0.5f;
      const V3 move{d.x / length * k, d.y / length * k, d.z / length * k};
      const I4 usable = (length > 0.0f) & (length <= FLT_MAX);
      a = {Select(usable, a.x + move.x, a.x), Select(usable, a.y + move.y, a.y),
           Select(usable, a.z + move.z, a.z)};
      b = {Select(usable, b.x - move.x, b.x), Select(usable, b.y - move.y, b.y),
           Select(usable, b.z - move.z, b.z)};
    }
  }
  for (int g = 0; g < kGroups; ++g) {
    // Each axis is the sum of the four edges along it, normalised; a zero sum keeps the old
    // axis.
    const auto edges = [&c, g](int p0, int q0, int p1, int q1, int p2, int q2, int p3, int q3) {
      V3 sum = Minus(c[p0][g], c[q0][g]);
      sum = Plus(sum, Minus(c[p1][g], c[q1][g]));
      sum = Plus(sum, Minus(c[p2][g], c[q2][g]));
      return Plus(sum, Minus(c[p3][g], c[q3][g]));
    };
    const V3 sums[3] = {edges(6, 7, 5, 4, 2, 3, 1, 0), edges(6, 5, 7, 4, 2, 1, 3, 0),
                        edges(7, 3, 6, 2, 5, 1, 4, 0)};
    V3 axes[3];
    for (int i = 0; i < 3; ++i) {
      const V3 old = gather(g, [i](const Block& b) -> const Vec3& { return b.axes[i]; });
      const V3& s = sums[i];
      const F4 length = Sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
      const I4 keep = length == 0.0f;
      axes[i] = {Select(keep, old.x, s.x / length), Select(keep, old.y, s.y / length),
                 Select(keep, old.z, s.z / length)};
    }
    V3 centre{F4{}, F4{}, F4{}};
    for (int k = 0; k < 8; ++k) centre = Plus(centre, c[k][g]);
    centre = {0.125f * centre.x, 0.125f * centre.y, 0.125f * centre.z};
    // The rigid box around the centre: corner k = centre +- hx +- hy +- hz by the corner table.
    const V3 size = gather(g, [](const Block& b) -> const Vec3& { return b.size; });
    const F4 halves[3] = {size.x / 2, size.y / 2, size.z / 2};
    V3 h[3];
    for (int i = 0; i < 3; ++i)
      h[i] = {halves[i] * axes[i].x, halves[i] * axes[i].y, halves[i] * axes[i].z};
    V3 corners[8];
    for (int k = 0; k < 8; ++k) {
      V3 p = centre;
      for (int i = 0; i < 3; ++i) p = kSigns[k][i] > 0 ? Plus(p, h[i]) : Minus(p, h[i]);
      corners[k] = p;
    }
    for (int j = 0; j < 4 && 4 * g + j < count; ++j) {
      Block& block = *lane[4 * g + j];
      for (int k = 0; k < 8; ++k)
        block.corners[k].Set(corners[k].x[j], corners[k].y[j], corners[k].z[j]);
      for (int i = 0; i < 3; ++i) block.axes[i].Set(axes[i].x[j], axes[i].y[j], axes[i].z[j]);
      block.centre.Set(centre.x[j], centre.y[j], centre.z[j]);
    }
  }
}

}  // namespace

void RestoreShapes(Block* const* blocks, int count) {
  for (int first = 0; first < count; first += kLanes)
    RestoreBatch(blocks + first, count - first < kLanes ? count - first : kLanes);
}
