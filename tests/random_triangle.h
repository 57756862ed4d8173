// Random screen triangles for the pick walk's tests, from the portable generator.
#pragma once

#include <cmath>
#include <limits>

#include "blocks/pick_walk.h"
#include "uniform_draw.h"

// A coordinate off the 15-bit grid of one draw: a second draw adds a fine fraction.
inline float Fine(platform::PortableRand& random, float low, float high) {
  const float coarse = UniformIn(random, low, high);  // first, in every build
  return coarse + UniformIn(random, 0.0f, 1.0f / 64.0f);
}

// Three corners of one of several kinds that the screen's triangles take, or that only an odd
// view gives: block-sized, slivers under a pixel, level edges on pixel centres and half
// pixels, huge ones, depths across the pick range, and coordinates far off or not numbers.
inline void RandomTriangle(platform::PortableRand& random, int width, int height,
                           ScreenPoint p[3]) {
  const float w = float(width), h = float(height);
  const int kind = random.Next() % 7;
  const float cx = Fine(random, -40.0f, w + 40.0f), cy = Fine(random, -40.0f, h + 40.0f);
  const float size = kind == 3 ? 3000.0f : 30.0f;
  float z_low = 0.2f, z_high = 0.9f;
  if (kind == 4) z_low = -0.5f, z_high = 1.5f;
  if (random.Next() % 5 == 0) z_low = -2.0f, z_high = 2500.0f;
  if (random.Next() % 5 == 0) z_low = -0.0001f, z_high = 0.0001f;
  for (int k = 0; k < 3; ++k) {
    p[k] = {cx + Fine(random, -size, size), cy + Fine(random, -size, size),
            Fine(random, z_low, z_high)};
  }
  switch (kind) {
    case 1:  // a sliver: two corners within a pixel of each other, or all three
      p[1].x = p[0].x + Fine(random, -0.9f, 0.9f);
      if (random.Next() % 2) p[2].x = p[0].x + Fine(random, -0.9f, 0.9f);
      break;
    case 2:  // a level edge, often on a pixel centre or a half pixel
      p[1].y = p[0].y;
      if (random.Next() % 2) p[0].y = p[1].y = std::round(p[0].y) + (random.Next() % 2) * 0.5f;
      break;
    case 5: {  // far off, infinite or not a number
      const float odd[] = {1e9f, -1e9f, 3e38f, std::numeric_limits<float>::infinity(),
                           std::nanf("")};
      float& at = random.Next() % 2 ? p[random.Next() % 3].x : p[random.Next() % 3].y;
      at = odd[random.Next() % 5];
      if (random.Next() % 3 == 0) p[random.Next() % 3].z = odd[random.Next() % 5];
      break;
    }
    case 6:  // every corner on a pixel centre or a half pixel
      for (int k = 0; k < 3; ++k) {
        p[k].x = std::round(p[k].x) + (random.Next() % 2) * 0.5f;
        p[k].y = std::round(p[k].y) + (random.Next() % 2) * 0.5f;
      }
      break;
    default:
      break;
  }
}
