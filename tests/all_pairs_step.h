// The physics step written out directly: every ordered pair of blocks in list order, and the
// block test in its five steps with no probe skipped. The game's step must give the same corners
// bit for bit; the tests compare the two and the benchmarks time the game's step beside this.
#pragma once

#include <cmath>

#include "blocks/block_set.h"
#include "blocks/contact.h"
#include "blocks/physics_step.h"
#include "world/table.h"

namespace all_pairs {

inline void Push(Vec3& p, const Vec3& n, float distance) {
  p.x += n.x * distance;
  p.y += n.y * distance;
  p.z += n.z * distance;
}

inline bool Closed(const Vec3& l, const Vec3& e) {
  return 0 <= l.x && l.x <= e.x && 0 <= l.y && l.y <= e.y && 0 <= l.z && l.z <= e.z;
}

inline bool Open(const Vec3& l, const Vec3& e) {
  return 0 < l.x && l.x < e.x && 0 < l.y && l.y < e.y && 0 < l.z && l.z < e.z;
}

inline void TestBlock(Block& a, const Block& b) {
  const Vec3& e = a.size;
  // 1. Broad phase.
  Vec3 d;
  Subtract(d, a.centre, b.centre);
  if (std::sqrt(LengthSquared(d)) > a.reachRadius) return;
  // 2. Corner probe.
  for (Vec3& corner : a.corners) {
    const Vec3 l = contact::LocalCoordinates(corner, b);
    if (!Closed(l, e)) continue;
    float depth;
    const int side = contact::NearestSide(l, e, &depth);
    Push(corner, contact::PushDirection(b, side), depth);
    a.touched = 1;
  }
  // 3. Centre probe.
  const Vec3 l = contact::LocalCoordinates(a.centre, b);
  if (Closed(l, e)) {
    const float ls[3] = {l.x, l.y, l.z}, es[3] = {e.x, e.y, e.z};
    for (int i = 0; i < 3; ++i) {
      const float h = es[i] / 2;
      if (0 < ls[i] && ls[i] < h) {
        for (Vec3& corner : a.corners) Push(corner, b.axes[i], -ls[i]);
      } else if (h < ls[i] && ls[i] < es[i]) {
        for (Vec3& corner : a.corners) Push(corner, b.axes[i], es[i] - ls[i]);
      }
    }
    for (uint8_t& c : a.contact) c = 1;
    a.touched = 1;
  }
  // 4. Edge probes.
  for (int i = 0; i < 12; ++i) {
    Vec3& p = a.corners[kEdgePairs[i][0]];
    Vec3& q = a.corners[kEdgePairs[i][1]];
    const Vec3 m{(p.x + q.x) / 2, (p.y + q.y) / 2, (p.z + q.z) / 2};
    const Vec3 lm = contact::LocalCoordinates(m, b);
    if (!Open(lm, e)) continue;
    float depth;
    const Vec3 n = contact::PushDirection(b, contact::NearestSide(lm, e, &depth));
    Push(p, n, depth);
    Push(q, n, depth);
    a.touched = 1;
  }
  // 5. Face probes.
  static constexpr float kUv[5][2] = {
      {0.5f, 0.5f}, {0.25f, 0.25f}, {0.25f, 0.75f}, {0.75f, 0.75f}, {0.75f, 0.25f}};
  for (int f = 0; f < 6; ++f) {
    for (const auto& uv : kUv) {
      const float u = uv[0], v = uv[1];
      Vec3* fc[4];
      for (int k = 0; k < 4; ++k) fc[k] = &a.corners[kFaceCorners[f][k]];
      const Vec3 s{
          v * (u * fc[0]->x + (1 - u) * fc[1]->x) + (1 - v) * ((1 - u) * fc[2]->x + u * fc[3]->x),
          v * (u * fc[0]->y + (1 - u) * fc[1]->y) + (1 - v) * ((1 - u) * fc[2]->y + u * fc[3]->y),
          v * (u * fc[0]->z + (1 - u) * fc[1]->z) + (1 - v) * ((1 - u) * fc[2]->z + u * fc[3]->z)};
      const Vec3 ls = contact::LocalCoordinates(s, b);
      if (!Open(ls, e)) continue;
      float depth;
      const Vec3 n = contact::PushDirection(b, contact::NearestSide(ls, e, &depth));
      Push(*fc[0], n, (u + v) * depth);
      Push(*fc[1], n, ((1 - u) + v) * depth);
      Push(*fc[2], n, ((1 - u) + (1 - v)) * depth);
      Push(*fc[3], n, (u + (1 - v)) * depth);
      for (int k = 0; k < 4; ++k) {
        const int c = kFaceCorners[f][k];
        RespondToContact(n, a.velocities[c], a.contact[c], kBlockFriction, kRestitution);
      }
      a.touched = 1;
    }
  }
}

// The table pass, each corner's response given as it is found.
inline void TestTable(Block& block, const Block& table) {
  const float x_low = table.centre.x - 30, x_high = table.centre.x + 30;
  const float y_low = table.centre.z - 30, y_high = table.centre.z + 30;
  bool over = false;
  for (const Vec3& c : block.corners)
    over = over || (x_low < c.x && c.x < x_high && y_low < c.y && c.y < y_high);
  const Vec3 up{0.0f, 0.0f, 1.0f};
  for (int k = 0; k < 8; ++k) {
    Vec3& c = block.corners[k];
    if (c.z < 0.0f) {
      if (!block.onTable) continue;
      if (over) {
        c.z = 0.0f;
        RespondToContact(up, block.velocities[k], block.contact[k], kTableFriction, kRestitution);
        block.touched = 1;
      } else {
        block.onTable = 0;
      }
    } else if (!block.onTable && over) {
      c.z = -0.015f;
    }
  }
}

// Shape restoration one block at a time.
inline void RestoreShape(Block& block) {
  Vec3* c = block.corners;
  // d = c[a] - c[b], L = |d|; both ends move half the error along d / L. Later pairs see the
  // corrected corners. Two corners in one place give no direction: that pair waits a pass.
  for (int i = 0; i < 16; ++i) {
    Vec3& a = c[kEdgePairs[i][0]];
    Vec3& b = c[kEdgePairs[i][1]];
    Vec3 d;
    Subtract(d, a, b);
    const float length = std::sqrt(LengthSquared(d));
    if (!(length > 0.0f) || !std::isfinite(length)) continue;
    const float k = (block.restLengths[i] - length) * 0.5f;
    const Vec3 move{d.x / length * k, d.y / length * k, d.z / length * k};
    AddInPlace(a, move);
    b.Set(b.x - move.x, b.y - move.y, b.z - move.z);
  }
  // Each axis is the sum of the four edges along it, normalised; a zero sum keeps the old axis.
  // The three are not made orthogonal.
  const auto edges = [c](int p0, int q0, int p1, int q1, int p2, int q2, int p3, int q3) {
    Vec3 sum, e;
    Subtract(sum, c[p0], c[q0]);
    AddInPlace(sum, Subtract(e, c[p1], c[q1]));
    AddInPlace(sum, Subtract(e, c[p2], c[q2]));
    AddInPlace(sum, Subtract(e, c[p3], c[q3]));
    return sum;
  };
  Vec3 axes[3] = {edges(6, 7, 5, 4, 2, 3, 1, 0), edges(6, 5, 7, 4, 2, 1, 3, 0),
                  edges(7, 3, 6, 2, 5, 1, 4, 0)};
  for (int i = 0; i < 3; ++i)
    if (NormalizeInPlace(axes[i])) block.axes[i] = axes[i];
  Vec3 sum;
  for (int k = 0; k < 8; ++k) AddInPlace(sum, c[k]);
  Scale(block.centre, sum, 0.125f);
  // The rigid box around the centre: corner k = centre +- hx +- hy +- hz by the corner table.
  Vec3 h[3];
  Scale(h[0], block.axes[0], block.size.x / 2);
  Scale(h[1], block.axes[1], block.size.y / 2);
  Scale(h[2], block.axes[2], block.size.z / 2);
  static constexpr float kSigns[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                         {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
  for (int k = 0; k < 8; ++k) {
    Vec3 p = block.centre;
    for (int i = 0; i < 3; ++i) {
      if (kSigns[k][i] > 0)
        AddInPlace(p, h[i]);
      else
        Subtract(p, p, h[i]);
    }
    c[k] = p;
  }
}

// One step of the bodies, as BlockSet::StepBodies.
inline void Step(BlockSet& set) {
  const int n = set.Count();
  for (int i = 0; i < n; ++i) PredictBlock(*set.At(i));
  for (int pass = 0; pass < kRelaxationPasses; ++pass) {
    for (int i = 0; i < n; ++i) {
      all_pairs::TestTable(*set.At(i), *set.table);
      all_pairs::RestoreShape(*set.At(i));
    }
    for (int a = 0; a < n; ++a)
      for (int b = 0; b < n; ++b)
        if (b != a) all_pairs::TestBlock(*set.At(a), *set.At(b));
  }
  for (int i = 0; i < n; ++i) FinishBlock(*set.At(i));
}

}  // namespace all_pairs
