// Four floats side by side, for the physics code that runs one scalar recipe on four values at
// once. Each lane's +, -, *, / and square root is the IEEE operation of the scalar code, rounded
// the same way (no fused multiply-add: the project compiles with contraction off), so a lane
// gives bit for bit what the scalar code gives.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace float4 {

using F4 = float __attribute__((vector_size(16)));
using I4 = int __attribute__((vector_size(16)));  // comparisons give -1 (true) or 0 per lane

inline F4 Sqrt(F4 v) {
#if defined(__SSE__)
  return _mm_sqrt_ps(v);
#else
  return F4{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}

// Lane by lane, `yes` where the mask is set, else `no`; the bits of either as they are.
inline F4 Select(I4 mask, F4 yes, F4 no) {
  return F4((I4(yes) & mask) | (I4(no) & ~mask));  // a cast between vectors keeps the bits
}

// One bit per lane, lane 0 lowest: set where the mask is.
inline unsigned Bits(I4 mask) {
#if defined(__SSE__)
  return unsigned(_mm_movemask_ps(__m128(mask)));
#else
  return unsigned(mask[0] & 1) | unsigned(mask[1] & 1) << 1 | unsigned(mask[2] & 1) << 2 |
         unsigned(mask[3] & 1) << 3;
#endif
}

// The low byte of each lane of a, then of b, in the bytes of one word, lane 0 of a lowest; every
// lane must hold a value from 0 to 255.
inline uint64_t LowBytes(I4 a, I4 b) {
#if defined(__SSE2__) && defined(__x86_64__)
  const __m128i words = _mm_packs_epi32(__m128i(a), __m128i(b));
  return uint64_t(_mm_cvtsi128_si64(_mm_packus_epi16(words, words)));
#else
  uint64_t bytes = 0;
  for (int j = 0; j < 4; ++j)
    bytes |= uint64_t(uint8_t(a[j])) << (8 * j) | uint64_t(uint8_t(b[j])) << (8 * j + 32);
  return bytes;
#endif
}

inline F4 Load(const float* p) {
  F4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store(float* p, F4 v) {
  std::memcpy(p, &v, sizeof v);
}

// Lanes 1, 2, 3, 0.
inline F4 Rotate(F4 v) {
  return F4{v[1], v[2], v[3], v[0]};
}

inline F4 Abs(F4 v) {
  return F4(I4(v) & I4{0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff});
}

// The largest lane; NaN lanes may be passed over.
inline float MaxLane(F4 v) {
  const float a = v[0] > v[1] ? v[0] : v[1], b = v[2] > v[3] ? v[2] : v[3];
  return a > b ? a : b;
}

}  // namespace float4
