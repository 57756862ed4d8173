// The numbers a construction may hold, whether it comes from a file or from play: far beyond
// anything a person builds (a block falls some 72,000 units in the door's twenty seconds; every
// block is 2 units a side), and far within what float arithmetic keeps finite (squared distances
// of points inside the box stay below 1e20). The file reader refuses anything outside; the
// gestures that can carry a body far (a ray meeting the table near the horizon) stop at the box.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>

#include "blocks/math.h"

namespace world_limits {

// |x|, |y| and |z| of every point: corners, centres, the table, the hand's quads, the markers.
inline constexpr float kPlace = 1.0e9f;
// |x|, |y| and |z| of a corner's move in one step.
inline constexpr float kSpeed = 1.0e5f;
// A block's edge lengths lie in [kLeastEdge, kEdge], its rest lengths in [0, kLength], and its
// reach, 1.2 times its longest diagonal's rest length, in [0, kReach].
inline constexpr float kLeastEdge = 1.0e-3f;
inline constexpr float kEdge = 1.0e4f;
inline constexpr float kLength = 1.0e5f;
inline constexpr float kReach = 1.2f * kLength;
// Twice a face's area, at most.
inline constexpr float kArea = 1.0e30f;
// How far from 1 the length of a normal or an axis may be.
inline constexpr float kUnitSlack = 1.0e-3f;

inline bool Within(float v, float limit) {
  return std::fabs(v) <= limit;  // false for NaN and infinities
}
inline bool Within(const Vec3& v, float limit) {
  return Within(v.x, limit) && Within(v.y, limit) && Within(v.z, limit);
}
inline bool InRange(float v, float least, float most) {
  return v >= least && v <= most;
}
inline bool IsUnit(const Vec3& v) {
  return Within(v, 2.0f) && std::fabs(std::sqrt(LengthSquared(v)) - 1.0f) <= kUnitSlack;
}

// A point for a body to be placed at: each coordinate held within the box less `margin`, room for
// the rest of the body.
inline Vec3 ClampedPlace(const Vec3& p, float margin) {
  const float limit = kPlace - margin;
  const auto hold = [limit](float v) {
    return std::isnan(v) ? 0.0f : std::clamp(v, -limit, limit);
  };
  return {hold(p.x), hold(p.y), hold(p.z)};
}

}  // namespace world_limits

// A screen coordinate held within +-2^28 (0 for NaN): a point projected from the eye's own plane
// or far away stays a number, and converts to int without overflow.
inline float HeldPixel(float v) {
  constexpr float kFar = 268435456.0f;  // differences of two stay within int
  return std::isnan(v) ? 0.0f : std::clamp(v, -kFar, kFar);
}
// The int that truncation gives of a held screen coordinate.
inline int TruncatedPixel(float v) {
  return int(HeldPixel(v));
}
