// Triangles far outside the view: the rasterizer converts vertex positions to int and to 24.8
// fixed point, which only holds for positions within a guard band around the screen. A body that
// fell past the table for good sends its triangles ever farther away; they are dropped when they
// lie wholly beyond one side of the band, and cut to the band when they cross it.
#pragma once

#include <cmath>
#include <cstdint>

namespace platform::render {

// A vertex after the viewport transform: pixels, depth, texture coordinates, ARGB colour.
struct ScreenVertex {
  float x, y, z, u, v;
  uint32_t color;
};

// Pixels beyond the screen's edges that the fixed-point edge functions accept untouched; far more
// than any view of the play space reaches, so ordinary triangles are never cut.
inline constexpr float kGuardBand = 16384.0f;
// Depths beyond which nothing can be drawn (visible depths are 0..1).
inline constexpr float kDepthGuardLow = -1.0f;
inline constexpr float kDepthGuardHigh = 2.0f;

// Whether the vertex lies inside the guard band of a width x height screen with finite texture
// coordinates (false for NaN). Inline: every triangle drawn asks it three times.
inline bool InsideGuardBand(const ScreenVertex& v, int width, int height) {
  return v.x >= -kGuardBand && v.x <= float(width) + kGuardBand && v.y >= -kGuardBand &&
         v.y <= float(height) + kGuardBand && v.z >= kDepthGuardLow && v.z <= kDepthGuardHigh &&
         std::isfinite(v.u) && std::isfinite(v.v);
}

// The part of triangle (a, b, c) inside the guard band, as a convex polygon in the triangle's
// winding: 0 vertices when nothing is left or a coordinate is not finite, otherwise 3 to 9.
int ClipToGuardBand(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, int width,
                    int height, ScreenVertex out[9]);

}  // namespace platform::render
