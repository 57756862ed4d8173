// Spans of the rasterizer's common case eight pixels at a time, on processors with AVX2: the
// same depths, texels and writes as the one-pixel loop, bit for bit.
#pragma once

#include <cstdint>

namespace platform::render {

// One row's span of a white, textured triangle with depth test and write, its texel
// coordinates already in 32.32 fixed point.
struct VectorSpan {
  uint32_t* pixels;  // the row's first pixel
  float* depth;      // the row's first depth
  int x0, x1;        // first and last pixel, inclusive
  float z, dzdx;     // depth at x0 and its step
  // Unread for a span of one colour.
  int64_t u = 0, du = 0, v = 0, dv = 0;
  const uint32_t* texels = nullptr;
  int tw = 0, th = 0;
  // Power-of-two sizes: coordinates wrap by masking. Otherwise the caller has found every
  // coordinate of the span inside the texture.
  bool power_of_two = false;
  // The caller has found every depth of the span inside (0, 1).
  bool in_range;
  // For a fill out of drawing order, the row's triangle numbers and this triangle's (below
  // 2^31): an equal depth is written only over an earlier number, and the number with it.
  uint32_t* writers = nullptr;
  uint32_t writer = 0;
};

// Whether this processor has the instructions, and the vector spans are allowed.
bool VectorSpansAvailable();
// Lets tests draw the same frames both ways.
void AllowVectorSpans(bool allowed);

// When z0 + k * step (k = 0..steps) equals, exactly, the depth reached by adding dzdx to z0 one
// pixel at a time: true, with that step. This holds when every sum stays in z0's binade (all
// floats there are multiples of one unit, so each sum rounds dzdx the same way) and dzdx is not
// half way between two units.
bool EvenDepthSteps(float z0, float dzdx, int steps, float* step);

// Draws the span as the one-pixel loop would, or returns false having drawn nothing when its
// depths cannot be stepped evenly.
bool DrawVectorSpan(const VectorSpan& span);
// The same for a texture of one texel, whose colour (shaded) every pixel written takes: the
// texel fields of the span go unread. False, having drawn nothing, also without the vector
// spans.
bool DrawVectorSpanOneColour(const VectorSpan& span, uint32_t colour);

}  // namespace platform::render
