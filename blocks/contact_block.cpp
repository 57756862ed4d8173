// The block test: a block's corners, centre, edge midpoints and face samples probed against
// another block's box, with the skips that provably change no result beside the probes they skip.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>

#include "blocks/contact.h"
#include "blocks/float4.h"

namespace {

using float4::F4;
using float4::I4;

// The face samples (u, v): the middle first, then the four quarter points.
constexpr float kFaceSamples[5][2] = {
    {0.5f, 0.5f}, {0.25f, 0.25f}, {0.25f, 0.75f}, {0.75f, 0.75f}, {0.75f, 0.25f}};

float Component(const Vec3& v, int axis) {
  return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

// p += distance . direction
void Move(Vec3& p, const Vec3& direction, float distance) {
  p.x += direction.x * distance;
  p.y += direction.y * distance;
  p.z += direction.z * distance;
}

// Bounds included: the corner and centre probes.
bool InsideClosed(const Vec3& l, const Vec3& e) {
  return 0.0f <= l.x && l.x <= e.x && 0.0f <= l.y && l.y <= e.y && 0.0f <= l.z && l.z <= e.z;
}
// Bounds excluded: the edge and face probes.
bool InsideOpen(const Vec3& l, const Vec3& e) {
  return 0.0f < l.x && l.x < e.x && 0.0f < l.y && l.y < e.y && 0.0f < l.z && l.z < e.z;
}

float MaxAbs(const Vec3& v) {
  return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
}

// Room for the pushes of a few probes before a bound on the magnitudes must grow.
float PushRoom(const Vec3& extent) {
  return 2.0f * (std::fabs(extent.x) + std::fabs(extent.y) + std::fabs(extent.z));
}
// The slack of the probe skips below, for points no larger than `magnitude` on any axis. It never
// decreases as `magnitude` grows (float sums and products are monotonic).
float Slack(const Vec3& extent, float magnitude) {
  return 1.0e-4f * (1.0f + magnitude + PushRoom(extent));
}

// Each sample's weight of each face corner, v u, v (1 - u), (1 - v)(1 - u), (1 - v) u: per
// corner, the five samples side by side (the last vector's other lanes unused).
struct SampleWeights {
  F4 w[2][4];
  SampleWeights() : w{} {
    for (int i = 0; i < 5; ++i) {
      const float u = kFaceSamples[i][0], v = kFaceSamples[i][1];
      w[i / 4][0][i % 4] = v * u;
      w[i / 4][1][i % 4] = v * (1 - u);
      w[i / 4][2][i % 4] = (1 - v) * (1 - u);
      w[i / 4][3][i % 4] = (1 - v) * u;
    }
  }
};
const SampleWeights kWeights;
const F4 (&kSampleWeights)[2][4] = kWeights.w;

// What lets the block test skip probes without changing a single result. A probe point (an edge
// midpoint, a face sample) is a convex combination of a's corners, and its box coordinates are
// affine in the point, so they equal the same combination of the corners' box coordinates up to
// rounding. Rounding in these few float operations stays below 3e-6 of the largest magnitude
// involved: the coordinates of a's corners and of b's corner 0. `slack` is 1e-4 of a bound on
// that magnitude, kept above it as the test's pushes move corners (a corner moved beyond the
// bound raises it, and every corner's outcode is taken again with the new slack). An
// interpolated coordinate farther than the slack outside the box on some axis therefore means
// the exact probe finds the point outside, and it is skipped. Only points found inside move
// corners, so skipped probes leave everything as it was.
//
// The corners' coordinates are kept by axis, eight to a row, so that all eight are found four at
// a time, with the operations of contact::LocalCoordinates in each lane: the corner probe uses
// them as exact values.
// A block's corners by axis, corners 0-3 and 4-7 in two vectors each (built from whole values,
// not lane by lane through memory).
void ByAxis(const Block& a, F4* x, F4* y, F4* z) {
  const Vec3* c = a.corners;
  for (int half = 0; half < 2; ++half, c += 4) {
    x[half] = F4{c[0].x, c[1].x, c[2].x, c[3].x};
    y[half] = F4{c[0].y, c[1].y, c[2].y, c[3].y};
    z[half] = F4{c[0].z, c[1].z, c[2].z, c[3].z};
  }
}

// Per face, the bytes of its four corners in a word of one byte a corner.
constexpr std::array<uint64_t, 6> kFaceCornerBytes = [] {
  std::array<uint64_t, 6> bytes{};
  for (int f = 0; f < 6; ++f)
    for (int k = 0; k < 4; ++k) bytes[size_t(f)] |= uint64_t{0xFF} << (8 * kFaceCorners[f][k]);
  return bytes;
}();

struct CornerLocals {
  alignas(16) float local[3][8];  // a's corners in b's box, refreshed whenever a corner moves
  uint64_t outside = 0;           // per corner, a byte: the sides of the box it lies clearly beyond
  Vec3 extent;
  float bound = 0.0f;  // at least the magnitude of every coordinate of a's corners and b's corner 0
  float slack = 0.0f;
  // Beyond these a coordinate lies clearly outside: -slack, and each axis's extent + slack.
  F4 low{}, high[3]{};
  bool moved = false;  // a probe pushed a corner of a

  CornerLocals(const Block& a, const Block& b) : extent(a.size) {
    F4 x[2], y[2], z[2];
    ByAxis(a, x, y, z);
    SetBound(std::max(MaxAbs(b.corners[0]), Largest(x, y, z)));
    RefreshAll(x, y, z, b);
  }
  // The largest magnitude of the eight corners' coordinates (NaN may be passed over).
  static float Largest(const F4* x, const F4* y, const F4* z) {
    F4 m = float4::Abs(x[0]);
    const F4 others[5] = {float4::Abs(x[1]), float4::Abs(y[0]), float4::Abs(y[1]),
                          float4::Abs(z[0]), float4::Abs(z[1])};
    for (const F4& o : others) m = o > m ? o : m;
    return float4::MaxLane(m);
  }
  Vec3 Local(int k) const { return {local[0][k], local[1][k], local[2][k]}; }
  // The bound on the magnitudes, with room for the pushes of a few probes before it must grow.
  void SetBound(float magnitude) {
    bound = magnitude + PushRoom(extent);
    slack = Slack(extent, magnitude);
    low = F4{} - slack;
    high[0] = F4{} + (extent.x + slack);
    high[1] = F4{} + (extent.y + slack);
    high[2] = F4{} + (extent.z + slack);
  }
  // One corner, after it moved.
  void Refresh(const Block& a, const Block& b, int k) {
    const Vec3 l = contact::LocalCoordinates(a.corners[k], b);
    local[0][k] = l.x, local[1][k] = l.y, local[2][k] = l.z;
    const float magnitude = MaxAbs(a.corners[k]);
    if (magnitude > bound) {
      SetBound(magnitude);
      OutcodeAll();
    }
    const int shift = 8 * k;
    outside = (outside & ~(uint64_t{0xFF} << shift)) | uint64_t{Outcode(l)} << shift;
  }
  // All eight, after they all moved.
  void RefreshAll(const Block& a, const Block& b) {
    F4 x[2], y[2], z[2];
    ByAxis(a, x, y, z);
    const float magnitude = Largest(x, y, z);
    if (magnitude > bound) SetBound(magnitude);
    RefreshAll(x, y, z, b);
  }
  // d = corner - b's corner 0, then d . axis summed x, y, z, lane by lane.
  void RefreshAll(const F4* x, const F4* y, const F4* z, const Block& b) {
    const Vec3& o = b.corners[0];
    for (int half = 0; half < 2; ++half) {
      const F4 dx = x[half] - o.x, dy = y[half] - o.y, dz = z[half] - o.z;
      for (int axis = 0; axis < 3; ++axis) {
        const Vec3& u = b.axes[axis];
        float4::Store(&local[axis][4 * half], dx * u.x + dy * u.y + dz * u.z);
      }
    }
    OutcodeAll();
  }
  // Every corner's outcode from its coordinates as they are.
  void OutcodeAll() {
    I4 code[2];
    for (int half = 0; half < 2; ++half)
      code[half] =
          OutcodeLanes(float4::Load(&local[0][4 * half]), float4::Load(&local[1][4 * half]),
                       float4::Load(&local[2][4 * half]));
    outside = float4::LowBytes(code[0], code[1]);
  }
  // One bit per side of the box that the point lies beyond by more than the slack; 0 for NaN.
  uint8_t Outcode(const Vec3& l) const {
    return uint8_t((l.x < -slack) | (l.y < -slack) << 1 | (l.z < -slack) << 2 |
                   (l.x > extent.x + slack) << 3 | (l.y > extent.y + slack) << 4 |
                   (l.z > extent.z + slack) << 5);
  }
  I4 OutcodeLanes(F4 x, F4 y, F4 z) const {
    return ((x < low) & 1) | ((y < low) & 2) | ((z < low) & 4) | ((x > high[0]) & 8) |
           ((y > high[1]) & 16) | ((z > high[2]) & 32);
  }
  // Lanes whose outcode is not 0: the point lies clearly beyond some side (NaN never does).
  I4 BeyondLanes(F4 x, F4 y, F4 z) const {
    return (x < low) | (y < low) | (z < low) | (x > high[0]) | (y > high[1]) | (z > high[2]);
  }
  // Which corners lie inside the box, bounds included, as the corner probe tests them.
  unsigned InsideClosed() const {
    unsigned bits = 0;
    for (int half = 0; half < 2; ++half) {
      const F4 x = float4::Load(&local[0][4 * half]), y = float4::Load(&local[1][4 * half]),
               z = float4::Load(&local[2][4 * half]);
      const I4 in = (0.0f <= x) & (x <= extent.x) & (0.0f <= y) & (y <= extent.y) & (0.0f <= z) &
                    (z <= extent.z);
      bits |= float4::Bits(in) << (4 * half);
    }
    return bits;
  }
  // The edges (bit i for kEdgePairs[i]) whose midpoints do not lie clearly outside. Corners
  // 0-3 and 4-7 fill one vector each; their edges are a vector plus itself rotated (0-1, 1-2,
  // 2-3, 3-0 and 4-5, ..., 7-4), or plus the other (0-4, ..., 3-7).
  unsigned EdgesNear() const {
    F4 mids[3][3];
    for (int axis = 0; axis < 3; ++axis) {
      const F4 low = float4::Load(&local[axis][0]), high = float4::Load(&local[axis][4]);
      mids[0][axis] = (low + float4::Rotate(low)) * 0.5f;
      mids[1][axis] = (high + float4::Rotate(high)) * 0.5f;
      mids[2][axis] = (low + high) * 0.5f;
    }
    unsigned bits = 0;
    for (int group = 0; group < 3; ++group) {
      bits |= float4::Bits(~BeyondLanes(mids[group][0], mids[group][1], mids[group][2]))
              << (4 * group);
    }
    return bits;
  }
  // The samples (bit i for kFaceSamples[i]) of the face with these corners that do not lie
  // clearly outside: S = w0 f0 + w1 f1 + w2 f2 + w3 f3, samples 0-3 in the lanes of one vector
  // and sample 4 in the first lane of another.
  unsigned FaceSamplesNear(const int* fc) const {
    unsigned bits = 0;
    for (int group = 0; group < 2; ++group) {
      F4 coordinate[3];
      for (int axis = 0; axis < 3; ++axis) {
        const float* l = local[axis];
        coordinate[axis] =
            kSampleWeights[group][0] * l[fc[0]] + kSampleWeights[group][1] * l[fc[1]] +
            kSampleWeights[group][2] * l[fc[2]] + kSampleWeights[group][3] * l[fc[3]];
      }
      bits |= float4::Bits(~BeyondLanes(coordinate[0], coordinate[1], coordinate[2]))
              << (4 * group);
    }
    return bits & 0x1F;
  }
  // Whether the corners whose bytes `corners` selects all lie beyond one side; then every
  // combination of them does too. The other bytes are set, so the shared sides are those left
  // after folding the word's bytes together.
  bool AllClearlyOutside(uint64_t corners) const {
    uint64_t common = outside | ~corners;
    common &= common >> 32;
    common &= common >> 16;
    common &= common >> 8;
    return (common & 0x3F) != 0;
  }
  // Whether all five samples of the face with these corners lie clearly outside, found from one
  // bound per axis. Each sample gives every corner a weight of at least 1/16, so its coordinate
  // is at least 3/4 of the corners' lowest plus 1/16 of their sum, and at most the same with the
  // highest. Twice the slack covers the rounding of these bounds with room to spare.
  bool FaceClearlyOutside(int f) const {
    if (AllClearlyOutside(kFaceCornerBytes[size_t(f)])) return true;
    const int* fc = kFaceCorners[f];
    const float margin = 2.0f * slack;
    for (int axis = 0; axis < 3; ++axis) {
      const float* l = local[axis];
      float low = l[fc[0]], high = low, sum = low;
      for (int k = 1; k < 4; ++k) {
        const float c = l[fc[k]];
        low = std::min(low, c);
        high = std::max(high, c);
        sum += c;
      }
      // A NaN makes the sum NaN and both tests false.
      if (0.75f * high + sum / 16 < -margin ||
          0.75f * low + sum / 16 > Component(extent, axis) + margin)
        return true;
    }
    return false;
  }
};

constexpr uint64_t kAllCornerBytes = ~uint64_t{0};

// Step 2: each corner inside b's box (bounds included) is pushed out through the nearest side.
// A push moves only its own corner, so the corners inside are known before the first.
void CornerProbe(Block& a, const Block& b, CornerLocals& locals) {
  for (unsigned inside = locals.InsideClosed(); inside; inside &= inside - 1) {
    const int k = std::countr_zero(inside);
    float depth;
    const int side = contact::NearestSide(locals.Local(k), a.size, &depth);
    Move(a.corners[k], contact::PushDirection(b, side), depth);
    a.touched = 1;
    locals.moved = true;
    locals.Refresh(a, b, k);
  }
}

// Step 3: a centre inside b's box moves the whole block towards the nearer half's side on every
// axis at once, all three moves from the coordinates taken before the first.
void CentreProbe(Block& a, const Block& b, CornerLocals& locals) {
  const Vec3 l = contact::LocalCoordinates(a.centre, b);
  if (!InsideClosed(l, a.size)) return;
  for (int axis = 0; axis < 3; ++axis) {
    const float c = Component(l, axis), extent = Component(a.size, axis), half = extent / 2;
    float shift;
    if (0.0f < c && c < half)
      shift = -c;
    else if (half < c && c < extent)
      shift = extent - c;
    else
      continue;  // exactly on a side or on the middle
    for (Vec3& corner : a.corners) Move(corner, b.axes[axis], shift);
    locals.moved = true;
  }
  for (uint8_t& flag : a.contact) flag = 1;
  a.touched = 1;
  locals.RefreshAll(a, b);
}

// Step 4: the midpoint of each of the twelve edges inside the box (bounds excluded) pushes both
// ends of the edge out by the same move.
void EdgeProbes(Block& a, const Block& b, CornerLocals& locals) {
  unsigned near = locals.EdgesNear();
  while (near) {
    const int i = std::countr_zero(near);
    near &= near - 1;
    const int p = kEdgePairs[i][0], q = kEdgePairs[i][1];
    Vec3 mid;
    Scale(mid, Add(mid, a.corners[p], a.corners[q]), 0.5f);
    const Vec3 l = contact::LocalCoordinates(mid, b);
    if (!InsideOpen(l, a.size)) continue;
    float depth;
    const Vec3 n = contact::PushDirection(b, contact::NearestSide(l, a.size, &depth));
    Move(a.corners[p], n, depth);
    Move(a.corners[q], n, depth);
    a.touched = 1;
    locals.moved = true;
    locals.Refresh(a, b, p);
    locals.Refresh(a, b, q);
    // The later edges, seen from the corners as they are now.
    near = locals.EdgesNear() & ~((2u << i) - 1);
  }
}

// Step 5: five samples of each face; one inside the box (bounds excluded) pushes the face's
// corners out, weighted towards the sample, and gives them the block contact response. Each
// sample sees the corners as the earlier ones left them.
void FaceProbes(Block& a, const Block& b, CornerLocals& locals) {
  for (int f = 0; f < 6; ++f) {
    const int* fc = kFaceCorners[f];
    if (locals.FaceClearlyOutside(f)) continue;
    unsigned near = locals.FaceSamplesNear(fc);
    while (near) {
      const int i = std::countr_zero(near);
      near &= near - 1;
      const float u = kFaceSamples[i][0], v = kFaceSamples[i][1];
      const Vec3& f0 = a.corners[fc[0]];
      const Vec3& f1 = a.corners[fc[1]];
      const Vec3& f2 = a.corners[fc[2]];
      const Vec3& f3 = a.corners[fc[3]];
      const Vec3 s{v * (u * f0.x + (1 - u) * f1.x) + (1 - v) * ((1 - u) * f2.x + u * f3.x),
                   v * (u * f0.y + (1 - u) * f1.y) + (1 - v) * ((1 - u) * f2.y + u * f3.y),
                   v * (u * f0.z + (1 - u) * f1.z) + (1 - v) * ((1 - u) * f2.z + u * f3.z)};
      const Vec3 l = contact::LocalCoordinates(s, b);
      if (!InsideOpen(l, a.size)) continue;
      float depth;
      const Vec3 n = contact::PushDirection(b, contact::NearestSide(l, a.size, &depth));
      const float weights[4] = {u + v, (1 - u) + v, (1 - u) + (1 - v), u + (1 - v)};
      for (int k = 0; k < 4; ++k) Move(a.corners[fc[k]], n, weights[k] * depth);
      Vec3* velocities[4];
      uint8_t* flags[4];
      for (int k = 0; k < 4; ++k)
        velocities[k] = &a.velocities[fc[k]], flags[k] = &a.contact[fc[k]];
      RespondToContacts(n, velocities, flags, 4, kBlockFriction, kRestitution);
      a.touched = 1;
      locals.moved = true;
      for (int k = 0; k < 4; ++k) locals.Refresh(a, b, fc[k]);
      // The later samples, seen from the corners as they are now.
      near = locals.FaceSamplesNear(fc) & ~((2u << i) - 1);
    }
  }
}

}  // namespace

bool TestBlock(Block& a, const Block& b) {
  // Centres farther apart than a's reach cannot touch; equal distance goes on.
  Vec3 apart;
  if (std::sqrt(LengthSquared(Subtract(apart, a.centre, b.centre))) > a.reachRadius) return false;
  CornerLocals locals(a, b);
  CornerProbe(a, b, locals);
  CentreProbe(a, b, locals);
  // Nothing moved a corner into reach of the box: no edge midpoint or face sample can be inside.
  if (locals.AllClearlyOutside(kAllCornerBytes)) return locals.moved;
  EdgeProbes(a, b, locals);
  FaceProbes(a, b, locals);
  return locals.moved;
}

CornerBall BoundCorners(const Block& a) {
  float farthest = 0.0f;
  bool finite = true;
  for (const Vec3& c : a.corners) {
    Vec3 d;
    const float squared = LengthSquared(Subtract(d, c, a.centre));
    finite = finite && std::isfinite(squared);  // std::max would drop a NaN
    farthest = std::max(farthest, squared);
  }
  if (!finite) return {a.centre, std::numeric_limits<float>::infinity()};
  // Widened past the rounding of the distances, which is below 1e-6 of the coordinates.
  return {a.centre, std::sqrt(farthest) * 1.001f + 1.0e-5f * (1.0f + MaxAbs(a.centre))};
}

// Why a pair found apart is one whose test changes nothing. A corner p of a lies within the
// ball, so its exact box coordinate on each axis is within radius * |axis| of the centre's, and
// radius * (1 + |axis|^2) / 2 is at least that. If the centre's coordinate is beyond a side by
// twice the slack plus that reach, every corner's coordinate as TestBlock computes it (rounding
// below 1e-6 of the magnitudes, the slack at least 1e-4 of them) is beyond it by more than the
// slack. Then the corner probe finds no corner inside, the centre probe finds the centre
// outside, and every corner is clearly outside one side, so the test returns before the edge
// and face probes, having moved and marked nothing.
bool ClearlyApart(const CornerBall& ball, const Block& a, const Block& b) {
  if (!(ball.centre == a.centre)) return false;
  // Bounds a's corners and b's corner 0 on every axis, so the slack here is TestBlock's or more
  // (less only by a rounding far below the spare slack).
  const float magnitude = std::max(MaxAbs(b.corners[0]), MaxAbs(ball.centre) + ball.radius);
  if (!(ball.radius < 1.0e30f) || !(magnitude < 1.0e30f)) return false;  // the test decides
  const float margin = 2.0f * Slack(a.size, magnitude);
  const Vec3 l = contact::LocalCoordinates(ball.centre, b);
  for (int axis = 0; axis < 3; ++axis) {
    const float reach = ball.radius * (1.0f + LengthSquared(b.axes[axis])) * 0.5f;
    const float c = Component(l, axis);
    if (c + reach < -margin || c - reach > Component(a.size, axis) + margin) return true;
  }
  return false;
}
