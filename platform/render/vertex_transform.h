// A vertex from object space to the screen: the world, view and projection matrices combined,
// the divide by w (left out when w is 1 or 0), and the viewport.
#pragma once

#include <immintrin.h>

#include "platform/render/guard_band.h"
#include "platform/render/types.h"

namespace platform::render {

// x, y, z and w go through the sums together, one in each lane of a vector, and each lane makes
// the very operations of that coordinate worked out alone, so the screen vertex is the same to
// the bit: x' = ((x m00 + y m10) + z m20) + m30 and so on, then x' / w, then
// vx + (1 + x') w/2, vy + (1 - y') h/2 and min_z + z' (max_z - min_z).
class VertexTransform {
 public:
  VertexTransform(const Matrix& m, const Viewport& viewport) {
    for (int r = 0; r < 4; ++r) rows_[r] = _mm_loadu_ps(m.m[r]);
    const float half_w = float(viewport.width) * 0.5f, half_h = float(viewport.height) * 0.5f;
    scale_ = _mm_setr_ps(half_w, half_h, viewport.max_z - viewport.min_z, 0.0f);
    offset_ = _mm_setr_ps(float(viewport.x), float(viewport.y), viewport.min_z, 0.0f);
  }

  ScreenVertex operator()(const Vertex& v) const {
    __m128 p = _mm_mul_ps(_mm_set1_ps(v.x), rows_[0]);
    p = _mm_add_ps(p, _mm_mul_ps(_mm_set1_ps(v.y), rows_[1]));
    p = _mm_add_ps(p, _mm_mul_ps(_mm_set1_ps(v.z), rows_[2]));
    p = _mm_add_ps(p, rows_[3]);
    const float w = _mm_cvtss_f32(_mm_shuffle_ps(p, p, _MM_SHUFFLE(3, 3, 3, 3)));
    if (w != 1.0f && w != 0.0f) p = _mm_div_ps(p, _mm_set1_ps(w));
    // 1 + x and 1 + (-y), which is 1 - y; z passes as it is.
    const __m128 ends = _mm_add_ps(_mm_setr_ps(1.0f, 1.0f, 0.0f, 0.0f),
                                   _mm_mul_ps(p, _mm_setr_ps(1.0f, -1.0f, 0.0f, 0.0f)));
    const __m128 first_two = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, 0, 0));
    const __m128 unit = _mm_or_ps(_mm_and_ps(first_two, ends), _mm_andnot_ps(first_two, p));
    alignas(16) float screen[4];
    _mm_store_ps(screen, _mm_add_ps(offset_, _mm_mul_ps(unit, scale_)));
    return {screen[0], screen[1], screen[2], v.u, v.v, v.diffuse};
  }

 private:
  __m128 rows_[4];
  __m128 scale_, offset_;
};

}  // namespace platform::render
