// Bounds on depths for the tests that pass over hidden work: a double bound rounded down to a
// float, and whether a run of held depths lies wholly below a depth.
#pragma once

#include <immintrin.h>

#include <bit>
#include <cstdint>

namespace platform::render {

// The greatest float not above d, for a d that is a number no greater than the largest float:
// as float(d) stepped down with std::nextafter when it rounded up, without the library call.
inline float FloatAtMost(double d) {
  const float f = float(d);
  if (!(double(f) > d)) return f;
  if (f == 0.0f) return -std::bit_cast<float>(uint32_t(1));  // the least subnormal, negated
  const uint32_t bits = std::bit_cast<uint32_t>(f);
  return std::bit_cast<float>(f > 0.0f ? bits - 1 : bits + 1);  // away from zero if negative
}

// True when every depth in row[x0..x1] is below z; a depth not a number never is. Four at a time,
// the last four overlapping those before them.
inline bool DepthsBelow(const float* row, int x0, int x1, float z) {
  if (x1 - x0 < 3) {
    for (int x = x0; x <= x1; ++x)
      if (!(row[x] < z)) return false;
    return true;
  }
  const __m128 bound = _mm_set1_ps(z);
  __m128 below = _mm_cmplt_ps(_mm_loadu_ps(row + x1 - 3), bound);
  for (int x = x0; x < x1 - 3; x += 4)
    below = _mm_and_ps(below, _mm_cmplt_ps(_mm_loadu_ps(row + x), bound));
  return _mm_movemask_ps(below) == 0xF;
}

}  // namespace platform::render
