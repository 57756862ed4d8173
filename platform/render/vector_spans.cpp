#include "platform/render/vector_spans.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>

#include "platform/cpu_features.h"

namespace platform::render {

namespace {

std::atomic<bool> allowed{true};

// Only these functions are compiled for AVX2, and only called where the processor has it.

// Coordinates t + (first + 2i) * d of four pixels, i = 0..3, in 32.32 fixed point. Unsigned, so
// that lanes past the span may wrap.
ZENTROVA_AVX2 inline __m256i EveryOtherPixel(uint64_t t, uint64_t d, uint64_t first) {
  return _mm256_setr_epi64x(int64_t(t + first * d), int64_t(t + (first + 2) * d),
                            int64_t(t + (first + 4) * d), int64_t(t + (first + 6) * d));
}

// The whole parts of the even pixels' coordinates and of the odd pixels', in pixel order.
ZENTROVA_AVX2 inline __m256i WholeParts(__m256i even, __m256i odd) {
  return _mm256_blend_epi32(_mm256_srli_epi64(even, 32), odd, 0xAA);
}

// The pixels of the group of eight from x on that pass the depth test: inside the span, depth
// not above the one held (nor, out of drawing order, equal to one drawn later), and (unless the
// caller has found it so) inside [0, 1].
ZENTROVA_AVX2 inline __m256i PassingLanes(const VectorSpan& s, int x, __m256 z) {
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i active = _mm256_cmpgt_epi32(_mm256_set1_epi32(s.x1 - x + 1), lane);
  const __m256 old = _mm256_maskload_ps(s.depth + x, active);
  __m256 keep = _mm256_cmp_ps(z, old, _CMP_GT_OQ);
  if (s.writers) {
    const __m256 tie = _mm256_cmp_ps(z, old, _CMP_EQ_OQ);
    if (!_mm256_testz_ps(tie, tie)) {
      const __m256i held =
          _mm256_maskload_epi32(reinterpret_cast<const int*>(s.writers + x), active);
      const __m256i later = _mm256_cmpgt_epi32(held, _mm256_set1_epi32(int(s.writer)));
      keep = _mm256_or_ps(keep, _mm256_and_ps(tie, _mm256_castsi256_ps(later)));
    }
  }
  if (!s.in_range)
    keep = _mm256_or_ps(keep, _mm256_or_ps(_mm256_cmp_ps(z, _mm256_setzero_ps(), _CMP_LT_OQ),
                                           _mm256_cmp_ps(z, _mm256_set1_ps(1.0f), _CMP_GT_OQ)));
  return _mm256_andnot_si256(_mm256_castps_si256(keep), active);
}

ZENTROVA_AVX2 void DrawEightAtATime(const VectorSpan& s, float step) {
  const __m256 z0 = _mm256_set1_ps(s.z), z_step = _mm256_set1_ps(step);
  __m256 k = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256 eight = _mm256_set1_ps(8.0f);
  // Texel coordinates of the even pixels of a group in one register, of the odd in another:
  // their whole parts then interleave into the eight lanes with one blend.
  const uint64_t du = uint64_t(s.du), dv = uint64_t(s.dv);
  const uint64_t u = uint64_t(s.u), v = uint64_t(s.v);
  __m256i u_even = EveryOtherPixel(u, du, 0), u_odd = EveryOtherPixel(u, du, 1);
  __m256i v_even = EveryOtherPixel(v, dv, 0), v_odd = EveryOtherPixel(v, dv, 1);
  const __m256i u_group = _mm256_set1_epi64x(int64_t(8 * du));
  const __m256i v_group = _mm256_set1_epi64x(int64_t(8 * dv));
  const __m256i col_mask = _mm256_set1_epi32(s.power_of_two ? s.tw - 1 : -1);
  const __m256i row_mask = _mm256_set1_epi32(s.power_of_two ? s.th - 1 : -1);
  const __m256i width = _mm256_set1_epi32(s.tw);
  const __m256i colour_bits = _mm256_set1_epi32(0x00FFFFFF);
  const __m256i writer = _mm256_set1_epi32(int(s.writer));
  const int* texels = reinterpret_cast<const int*>(s.texels);

  for (int x = s.x0; x <= s.x1; x += 8) {
    const __m256 z = _mm256_add_ps(z0, _mm256_mul_ps(k, z_step));
    const __m256i write = PassingLanes(s, x, z);
    if (!_mm256_testz_si256(write, write)) {
      const __m256i col = _mm256_and_si256(WholeParts(u_even, u_odd), col_mask);
      const __m256i row = _mm256_and_si256(WholeParts(v_even, v_odd), row_mask);
      const __m256i index = _mm256_add_epi32(_mm256_mullo_epi32(row, width), col);
      const __m256i texel =
          _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), texels, index, write, 4);
      _mm256_maskstore_ps(s.depth + x, write, z);
      _mm256_maskstore_epi32(reinterpret_cast<int*>(s.pixels + x), write,
                             _mm256_and_si256(texel, colour_bits));
      if (s.writers) _mm256_maskstore_epi32(reinterpret_cast<int*>(s.writers + x), write, writer);
    }
    k = _mm256_add_ps(k, eight);
    u_even = _mm256_add_epi64(u_even, u_group);
    u_odd = _mm256_add_epi64(u_odd, u_group);
    v_even = _mm256_add_epi64(v_even, v_group);
    v_odd = _mm256_add_epi64(v_odd, v_group);
  }
}

ZENTROVA_AVX2 void DrawEightOfOneColour(const VectorSpan& s, float step, uint32_t colour) {
  const __m256 z0 = _mm256_set1_ps(s.z), z_step = _mm256_set1_ps(step);
  __m256 k = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256 eight = _mm256_set1_ps(8.0f);
  const __m256i pixel = _mm256_set1_epi32(int(colour));
  const __m256i writer = _mm256_set1_epi32(int(s.writer));
  for (int x = s.x0; x <= s.x1; x += 8) {
    const __m256 z = _mm256_add_ps(z0, _mm256_mul_ps(k, z_step));
    const __m256i write = PassingLanes(s, x, z);
    _mm256_maskstore_ps(s.depth + x, write, z);
    _mm256_maskstore_epi32(reinterpret_cast<int*>(s.pixels + x), write, pixel);
    if (s.writers) _mm256_maskstore_epi32(reinterpret_cast<int*>(s.writers + x), write, writer);
    k = _mm256_add_ps(k, eight);
  }
}

}  // namespace

bool VectorSpansAvailable() {
  return platform::HasAvx2() && allowed.load(std::memory_order_relaxed);
}

void AllowVectorSpans(bool allow) {
  allowed.store(allow, std::memory_order_relaxed);
}

bool EvenDepthSteps(float z0, float dzdx, int steps, float* step) {
  const uint32_t bits = std::bit_cast<uint32_t>(z0);
  const int biased = int(bits >> 23);  // the sign bit too: negative depths are not stepped
  // Zero and subnormals, the top binade (its end would not be a float) and infinities are out.
  if (biased == 0 || biased >= 254 || steps < 0 || steps >= (1 << 20)) return false;
  auto power_of_two = [](int exponent) {
    return std::bit_cast<double>(uint64_t(exponent + 1023) << 52);
  };
  const double unit = power_of_two(biased - 150);
  const double low = power_of_two(biased - 127), high = 2.0 * low;
  // The step in units, exact; its nearest whole number of units is what every sum adds.
  const double units = double(dzdx) / unit;
  if (!(std::fabs(units) < double(1 << 23))) return false;
  const double half_up = units + 0.5;
  double whole = double(int64_t(half_up));
  if (whole > half_up) whole -= 1.0;                  // floor
  if (std::fabs(units - whole) == 0.5) return false;  // a tie would round by the depth's parity
  const double even_step = whole * unit;
  const double first = double(z0), last = first + double(steps) * even_step;
  // Every sum depth + dzdx, with the depth between first and last, must stay in the binade;
  // kept a whole slope away from its ends, more than it needs.
  const double reach = std::fabs(double(dzdx));
  if (!(std::min(first, last) - low > reach && high - std::max(first, last) > reach)) return false;
  *step = float(even_step);
  return true;
}

bool DrawVectorSpan(const VectorSpan& span) {
  float step;
  if (!EvenDepthSteps(span.z, span.dzdx, span.x1 - span.x0, &step)) return false;
  DrawEightAtATime(span, step);
  return true;
}

bool DrawVectorSpanOneColour(const VectorSpan& span, uint32_t colour) {
  float step;
  if (!VectorSpansAvailable() || !EvenDepthSteps(span.z, span.dzdx, span.x1 - span.x0, &step))
    return false;
  DrawEightOfOneColour(span, step, colour);
  return true;
}

}  // namespace platform::render
