// The triangle rasterizer behind DrawPrimitiveUP: edge functions in 24.8 fixed point with pixel
// centres at integer coordinates, the top-left fill rule, affine depth and texture coordinates,
// point sampling with wrap addressing, modulate with the diffuse colour, depth test less-or-equal.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "platform/render/d3dx.h"
#include "platform/render/depth_bounds.h"
#include "platform/render/depth_tiles.h"
#include "platform/render/guard_band.h"
#include "platform/render/render_device.h"
#include "platform/render/vector_spans.h"
#include "platform/render/vertex_transform.h"

namespace platform::render {

namespace {

constexpr float kSubpixel = 256.0f;

inline int WrapIndex(float t, int n) {
  float f = t * float(n);
  // Far outside the texture (a sliver's steep gradient) or not a number: wrapped before the
  // conversion to int, which could not hold it.
  if (!(std::fabs(f) < 1.0e9f)) f = std::isfinite(f) ? std::fmod(f, float(n)) : 0.0f;
  int i = int(f);
  if (f < float(i)) --i;  // floor for negatives
  if (unsigned(i) >= unsigned(n)) {
    i %= n;
    if (i < 0) i += n;
  }
  return i;
}

// floor() of a double known to fit in 64 bits, without the library call: exact.
inline int64_t FloorToInt64(double d) {
  const int64_t i = int64_t(d);
  return double(i) > d ? i - 1 : i;
}

inline uint32_t Modulate(uint32_t texel, uint32_t color) {
  if ((color & 0x00FFFFFF) == 0x00FFFFFF) return texel & 0x00FFFFFF;
  uint32_t r = ((texel >> 16) & 0xFF) * ((color >> 16) & 0xFF) / 255;
  uint32_t g = ((texel >> 8) & 0xFF) * ((color >> 8) & 0xFF) / 255;
  uint32_t b = (texel & 0xFF) * (color & 0xFF) / 255;
  return (r << 16) | (g << 8) | b;
}

struct Edge {
  int64_t w_row;   // edge function at the current row's first pixel
  int64_t step_x;  // change per pixel to the right
  int64_t step_y;  // change per row down
  int64_t bias;    // 0 on top and left edges, -1 elsewhere: pixels exactly on them are kept
};

// Round half away from zero to 24.8 fixed point, without a library call per vertex.
inline int64_t ToFixed(float v) {
  double d = double(v) * double(kSubpixel);
  return int64_t(d + (d >= 0.0 ? 0.5 : -0.5));
}
inline int FloorToInt(float v) {
  int i = int(v);
  return float(i) > v ? i - 1 : i;
}
inline int CeilToInt(float v) {
  int i = int(v);
  return float(i) < v ? i + 1 : i;
}

Edge MakeEdge(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
  Edge e;
  int64_t dx = bx - ax, dy = by - ay;
  e.w_row = dx * (py - ay) - dy * (px - ax);
  e.step_x = -dy * int64_t(kSubpixel);
  e.step_y = dx * int64_t(kSubpixel);
  // Clockwise on a y-down screen: a top edge runs right along a row, a left edge runs up.
  bool top_left = (dy == 0 && dx > 0) || dy < 0;
  e.bias = top_left ? 0 : -1;
  return e;
}

// Where one edge bounds the rows of a triangle: with w the edge function (bias included) at a
// row's first pixel and s = |step_x|, pixel n of the row is inside for n >= -floor(w / s) when
// the edge rises to the right, for n <= floor(w / s) when it falls, and everywhere or nowhere
// (w >= 0 or not) when it is level. floor(w / s) is kept as quotient and remainder and carried
// from row to row with integer additions alone, exactly.
class EdgeBound {
 public:
  explicit EdgeBound(const Edge& e)
      : kind_(e.step_x > 0   ? kRising
              : e.step_x < 0 ? kFalling
                             : kLevel),
        s_(e.step_x > 0   ? e.step_x
           : e.step_x < 0 ? -e.step_x
                          : 1) {
    FloorDivide(e.w_row + e.bias, &q_, &r_);
    FloorDivide(e.step_y, &dq_, &dr_);
  }
  // Narrows [first, last] to this edge's pixels in the current row.
  void Bound(int64_t* first, int64_t* last) const {
    if (kind_ == kRising)
      *first = std::max(*first, -q_);
    else if (kind_ == kFalling)
      *last = std::min(*last, q_);
    else if (q_ < 0)
      *last = -1;
  }
  void NextRow() {
    q_ += dq_;
    r_ += dr_;
    if (r_ >= s_) ++q_, r_ -= s_;
  }

 private:
  enum Kind { kRising, kFalling, kLevel };
  void FloorDivide(int64_t a, int64_t* quotient, int64_t* remainder) const {
    int64_t q = a / s_, r = a % s_;
    if (r < 0) --q, r += s_;
    *quotient = q;
    *remainder = r;
  }

  Kind kind_;
  int64_t s_;        // |step_x|, or 1 for a level edge (then q_ is w itself)
  int64_t q_, r_;    // w = q_ * s_ + r_ with 0 <= r_ < s_
  int64_t dq_, dr_;  // step_y = dq_ * s_ + dr_ with 0 <= dr_ < s_
};

struct SpanState {
  float z, u, v;
};

// One in the 32.32 fixed point of texel coordinates.
constexpr double kFixedOne = 4294967296.0;

// Spans of at least this many steps (one pixel fewer) go to the vector spans: the table's, and
// block faces seen large. Shorter ones, most faces' rows, are cheaper in the one-pixel loop than
// the vector set-up, as measured on the play frame.
constexpr int kVectorSpanSteps = 8;

// What the common case's spans share within a triangle, worked out once for all its rows.
struct SpanConstants {
  const uint32_t* texels;
  int tw, th;
  uint32_t color;
  bool white;              // the colour leaves the texel as it is
  bool vector;             // white, and the processor has the vector spans
  float limit_u, limit_v;  // keep t * size * 2^32 well inside 64 bits
  int64_t du, dv;          // the texel steps in 32.32 fixed point

  SpanConstants(const uint32_t* texels_in, int tw_in, int th_in, uint32_t color_in, float dudx,
                float dvdx)
      : texels(texels_in),
        tw(tw_in),
        th(th_in),
        color(color_in),
        white((color_in & 0x00FFFFFF) == 0x00FFFFFF),
        vector(white && VectorSpansAvailable()),
        limit_u(1.0e6f / float(tw_in)),
        limit_v(1.0e6f / float(th_in)),
        du(StepToFixed(double(dudx) * float(tw_in) * kFixedOne)),
        dv(StepToFixed(double(dvdx) * float(th_in) * kFixedOne)) {}

  // A step too steep for 64 bits (or not a number) belongs to no row that takes the fixed
  // point over more than one pixel; it is kept convertible.
  static int64_t StepToFixed(double d) { return std::fabs(d) < 9.0e18 ? int64_t(d) : 0; }
};

// For a fill out of drawing order: the row's triangle numbers, and this triangle's.
struct RowWriters {
  uint32_t* row = nullptr;
  uint32_t writer = 0;
};

// Whether a pixel keeps what it holds: a nearer depth or, out of drawing order, one as near
// drawn later.
template <bool kOutOfOrder>
inline bool KeepsHeld(float z, float held, const RowWriters& writers, int x) {
  if constexpr (kOutOfOrder)
    return z > held || (z == held && writers.row[x] > writers.writer);
  else
    return z > held;
}

// The common case in a tight loop: one colour, a texture, depth test and write on. kInRange:
// the caller found the whole span inside the depth range, so the per-pixel range test goes.
// kOutOfOrder: the triangle is filled out of drawing order (power-of-two sides only).
template <bool kPowerOfTwo, bool kInRange, bool kOutOfOrder = false>
void DrawSpanTextured(uint32_t* pixels, float* depth, int x0, int x1, SpanState span, float dzdx,
                      float dudx, float dvdx, const SpanConstants& k,
                      const RowWriters& writers = {}) {
  static_assert(kPowerOfTwo || !kOutOfOrder);
  const uint32_t* const texels = k.texels;
  const int tw = k.tw, th = k.th;
  const uint32_t color = k.color;
  const float fw = float(tw), fh = float(th);
  const float span_length = float(x1 - x0);
  auto small = [&](float t, float dt, float limit) {
    return std::fabs(t) < limit && std::fabs(t + dt * span_length) < limit;
  };
  const bool fixed = small(span.u, dudx, k.limit_u) && small(span.v, dvdx, k.limit_v);
  if (kPowerOfTwo && fixed) {
    // Texel coordinates in 32.32 fixed point: masking wraps them, negative ones included, and
    // the steps are exact enough that a row never drifts across a texel border.
    int64_t u = FloorToInt64(double(span.u) * fw * kFixedOne);
    int64_t v = FloorToInt64(double(span.v) * fh * kFixedOne);
    const int64_t du = k.du, dv = k.dv;
    if (k.vector && x1 - x0 >= kVectorSpanSteps &&
        DrawVectorSpan({pixels, depth, x0, x1, span.z, dzdx, u, du, v, dv, texels, tw, th, true,
                        kInRange, writers.row, writers.writer}))
      return;
    // Without branches: a depth test that flips along the span would mispredict.
    const bool white = k.white;
    for (int x = x0; x <= x1; ++x, span.z += dzdx, u += du, v += dv) {
      const float z = span.z;
      const float old = depth[x];
      const bool keep =
          (!kInRange && (z < 0.0f || z > 1.0f)) || KeepsHeld<kOutOfOrder>(z, old, writers, x);
      const uint32_t texel = texels[((v >> 32) & (th - 1)) * tw + ((u >> 32) & (tw - 1))];
      const uint32_t shaded = white ? texel & 0x00FFFFFF : Modulate(texel, color);
      depth[x] = keep ? old : z;
      pixels[x] = keep ? pixels[x] : shaded;
      if constexpr (kOutOfOrder) writers.row[x] = keep ? writers.row[x] : writers.writer;
    }
  } else if (!kPowerOfTwo && fixed) {
    // Other sizes: the same fixed point kept inside [0, size) by one subtraction per step.
    const int64_t limit_u = int64_t(tw) << 32, limit_v = int64_t(th) << 32;
    auto wrap = [](int64_t t, int64_t limit) {
      t %= limit;
      return t < 0 ? t + limit : t;
    };
    int64_t u = wrap(FloorToInt64(double(span.u) * fw * kFixedOne), limit_u);
    int64_t v = wrap(FloorToInt64(double(span.v) * fh * kFixedOne), limit_v);
    const int64_t du_step = k.du;
    const int64_t dv_step = k.dv;
    // A span that stays inside the texture without wrapping (the table's, always): the steps
    // unwrapped give the same texels, as the wrapped ones differ from them by whole sizes.
    const int64_t n = x1 - x0;
    const int64_t u_end = u + n * du_step, v_end = v + n * dv_step;
    if (u_end >= 0 && u_end < limit_u && v_end >= 0 && v_end < limit_v) {
      if (k.vector && x1 - x0 >= kVectorSpanSteps &&
          DrawVectorSpan({pixels, depth, x0, x1, span.z, dzdx, u, du_step, v, dv_step, texels, tw,
                          th, false, kInRange}))
        return;
      for (int x = x0; x <= x1; ++x, span.z += dzdx, u += du_step, v += dv_step) {
        const float z = span.z;
        if ((!kInRange && (z < 0.0f || z > 1.0f)) || z > depth[x]) continue;
        depth[x] = z;
        pixels[x] = Modulate(texels[(v >> 32) * tw + (u >> 32)], color);
      }
      return;
    }
    const int64_t du = wrap(du_step, limit_u);
    const int64_t dv = wrap(dv_step, limit_v);
    for (int x = x0; x <= x1; ++x, span.z += dzdx) {
      const float z = span.z;
      if (!((!kInRange && (z < 0.0f || z > 1.0f)) || z > depth[x])) {
        depth[x] = z;
        pixels[x] = Modulate(texels[(v >> 32) * tw + (u >> 32)], color);
      }
      u += du;
      v += dv;
      if (u >= limit_u) u -= limit_u;
      if (v >= limit_v) v -= limit_v;
    }
  } else {
    for (int x = x0; x <= x1; ++x, span.z += dzdx, span.u += dudx, span.v += dvdx) {
      const float z = span.z;
      if (z < 0.0f || z > 1.0f || KeepsHeld<kOutOfOrder>(z, depth[x], writers, x)) continue;
      depth[x] = z;
      pixels[x] = Modulate(texels[WrapIndex(span.v, th) * tw + WrapIndex(span.u, tw)], color);
      if constexpr (kOutOfOrder) writers.row[x] = writers.writer;
    }
  }
}

// The common case with a texture of one texel: the depth test and write, and one colour.
template <bool kInRange, bool kOutOfOrder = false>
void DrawSpanOneTexel(uint32_t* pixels, float* depth, int x0, int x1, float z, float dzdx,
                      uint32_t colour, const RowWriters& writers = {}) {
  if (x1 - x0 >= kVectorSpanSteps) {
    const VectorSpan span{.pixels = pixels,
                          .depth = depth,
                          .x0 = x0,
                          .x1 = x1,
                          .z = z,
                          .dzdx = dzdx,
                          .in_range = kInRange,
                          .writers = writers.row,
                          .writer = writers.writer};
    if (DrawVectorSpanOneColour(span, colour)) return;
  }
  // Selected by masks, not branches: where a span's pixels pass and where they fail the depth
  // test is little predictable from one span to the next.
  const __m128 pixel = _mm_castsi128_ps(_mm_cvtsi32_si128(int(colour)));
  const __m128i writer = _mm_cvtsi32_si128(int(writers.writer));
  for (int x = x0; x <= x1; ++x, z += dzdx) {
    const __m128 old = _mm_load_ss(depth + x);
    const __m128 at = _mm_set_ss(z);
    __m128 keep = _mm_cmplt_ss(old, at);  // z > old
    __m128i held = writer;                // the number held, out of drawing order
    if constexpr (kOutOfOrder) {          // or z == old, drawn later
      held = _mm_cvtsi32_si128(int(writers.row[x]));
      const __m128 later = _mm_castsi128_ps(_mm_cmpgt_epi32(held, writer));
      keep = _mm_or_ps(keep, _mm_and_ps(_mm_cmpeq_ss(old, at), later));
    }
    if (!kInRange)
      keep = _mm_or_ps(
          keep, _mm_or_ps(_mm_cmplt_ss(at, _mm_setzero_ps()), _mm_cmpgt_ss(at, _mm_set_ss(1.0f))));
    _mm_store_ss(depth + x, _mm_or_ps(_mm_and_ps(keep, old), _mm_andnot_ps(keep, at)));
    const __m128 was = _mm_load_ss(reinterpret_cast<const float*>(pixels + x));
    _mm_store_ss(reinterpret_cast<float*>(pixels + x),
                 _mm_or_ps(_mm_and_ps(keep, was), _mm_andnot_ps(keep, pixel)));
    if constexpr (kOutOfOrder)
      writers.row[x] = uint32_t(
          _mm_cvtsi128_si32(_mm_or_si128(_mm_and_si128(_mm_castps_si128(keep), held),
                                         _mm_andnot_si128(_mm_castps_si128(keep), writer))));
  }
}

// Whether every pixel of a row's span keeps the depth it holds, so that the span need not be
// walked: each held depth is below the least of the span's depths. Those are the sums z,
// z + dzdx, ... one pixel at a time, which move one way only, so the least is at an end: z, or the
// last sum, which lies within the n roundings of z + n * dzdx. A held depth not a number is
// never below, and leaves the span to the walk.
inline bool SpanBehind(const float* depth, int x0, int x1, float z, float dzdx) {
  float least = z;
  if (!(dzdx >= 0.0f)) {
    const double n = double(x1 - x0), last = double(z) + n * double(dzdx);
    const double largest = std::max(std::fabs(double(z)), std::fabs(last)) + std::fabs(dzdx);
    // Times a power of two: exact, as ldexp would be, without the library call.
    const double bound = last - n * largest * 0x1p-23 - 1.0e-30;
    if (!(bound > -1.0e30)) return false;  // not a number, or far below any depth
    least = FloatAtMost(bound);
  }
  return DepthsBelow(depth, x0, x1, least);
}

// Twice the triangle's signed area on screen: positive is clockwise as seen.
inline float SignedArea(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
  return (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
}
// Whether a triangle of this area is not filled at all: flat, or culled.
inline bool CulledOrFlat(float area, uint32_t cull) {
  return area == 0.0f || (cull == value::kCullCounterClockwise && area < 0.0f) ||
         (cull == value::kCullClockwise && area > 0.0f);
}

// The attribute planes' setup relative to v0, with v1 and v2 in clockwise order on screen: the
// triangle's fill and the group test take the same float steps.
struct PlaneSetup {
  float dx1, dy1, dx2, dy2, inv;
  PlaneSetup(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2)
      : dx1(v1.x - v0.x),
        dy1(v1.y - v0.y),
        dx2(v2.x - v0.x),
        dy2(v2.y - v0.y),
        inv(1.0f / (dx1 * dy2 - dx2 * dy1)) {}
  void Gradient(float a0, float a1, float a2, float* ddx, float* ddy) const {
    *ddx = ((a1 - a0) * dy2 - (a2 - a0) * dy1) * inv;
    *ddy = ((a2 - a0) * dx1 - (a1 - a0) * dx2) * inv;
  }
};

// The pixels a triangle's fill may reach: its bounding box on the screen, empty when min > max.
struct PixelBox {
  int min_x, max_x, min_y, max_y;
  PixelBox(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, int width,
           int height)
      : min_x(std::max(0, CeilToInt(std::min({a.x, b.x, c.x})))),
        max_x(std::min(width - 1, FloorToInt(std::max({a.x, b.x, c.x})))),
        min_y(std::max(0, CeilToInt(std::min({a.y, b.y, c.y})))),
        max_y(std::min(height - 1, FloorToInt(std::max({a.y, b.y, c.y})))) {}
  bool Empty() const { return min_x > max_x || min_y > max_y; }
};

// LeastDepth's margin for the float sums over the box, taken off `least`.
float LessTheSums(double least, double z0, double gx, double gy, double v0x, double v0y, int min_x,
                  int max_x, int min_y, int max_y) {
  const double w = max_x - min_x, h = max_y - min_y;
  const double magnitude = std::fabs(z0) + std::fabs(gx) * (std::fabs(min_x - v0x) + w) +
                           std::fabs(gy) * (std::fabs(min_y - v0y) + h);
  // Times a power of two: exact, as ldexp would be, without the library call.
  least -= (w + h + 16.0) * (magnitude * 0x1p-23) + 1.0e-30;
  if (!(least > -1.0e30)) return -INFINITY;  // not a number, or far below any depth
  return FloatAtMost(least);
}

// No depth the fill below can give any pixel of the triangle is less than this. The depths are
// the plane of v0 and the float gradients, summed row by row and pixel by pixel. On that plane the
// least value over the covered pixels is at a corner of the fixed-point triangle that holds them;
// the float sums (at most rows + columns + 8 of them, each rounded by half an ulp of a value no
// larger than `magnitude`) stray from it by less than twice that count of ulps.
float LeastDepth(const ScreenVertex& v0, float dzdx, float dzdy, int min_x, int max_x, int min_y,
                 int max_y, const std::array<int64_t, 6>& fixed) {
  const double z0 = v0.z, gx = dzdx, gy = dzdy;
  double least = INFINITY;
  for (int i = 0; i < 3; ++i) {
    const double x = double(fixed[size_t(i)]) / kSubpixel - double(v0.x);
    const double y = double(fixed[size_t(i) + 3]) / kSubpixel - double(v0.y);
    least = std::min(least, z0 + gx * x + gy * y);
  }
  return LessTheSums(least, z0, gx, gy, v0.x, v0.y, min_x, max_x, min_y, max_y);
}

// LeastDepth's bound, or less, from the float corners: each fixed-point corner lies within half
// a subpixel of its float one on each axis, where the plane differs by at most that times
// |dzdx| + |dzdy|; the double sums at both stray by far less than the room left for them.
float LeastDepthNearCorners(const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2,
                            float dzdx, float dzdy, int min_x, int max_x, int min_y, int max_y) {
  const double z0 = v0.z, gx = dzdx, gy = dzdy;
  double least = INFINITY;
  for (const ScreenVertex* v : {&v0, &v1, &v2}) {
    const double x = double(v->x) - double(v0.x), y = double(v->y) - double(v0.y);
    least = std::min(least, z0 + gx * x + gy * y);
  }
  const double room =
      std::fabs(z0) +
      std::fabs(gx) * (std::fabs(min_x - double(v0.x)) + double(max_x - min_x) + 1.0) +
      std::fabs(gy) * (std::fabs(min_y - double(v0.y)) + double(max_y - min_y) + 1.0);
  least -= (std::fabs(gx) + std::fabs(gy)) * (0.5 / double(kSubpixel)) * 1.001 + room * 0x1p-40;
  return LessTheSums(least, z0, gx, gy, v0.x, v0.y, min_x, max_x, min_y, max_y);
}

}  // namespace

Result RenderDevice::DrawPrimitiveUP(PrimitiveType type, int primitive_count,
                                     const Vertex* vertices, int stride) {
  if (type != PrimitiveType::kTriangleFan || stride != int(sizeof(Vertex)) ||
      primitive_count <= 0 || vertices == nullptr)
    return Result::kInvalidCall;
  if (combined_stale_) {
    combined_ = MatrixMultiply(MatrixMultiply(world_, view_), projection_);
    combined_stale_ = false;
  }
  const VertexTransform to_screen(combined_, viewport_);
  ScreenVertex first = to_screen(vertices[0]);
  ScreenVertex prev = to_screen(vertices[1]);
  for (int i = 0; i < primitive_count; ++i) {
    ScreenVertex next = to_screen(vertices[i + 2]);
    DrawTriangle(first, prev, next);
    prev = next;
  }
  return Result::kOk;
}

void RenderDevice::DrawTriangle(const ScreenVertex& a, const ScreenVertex& b,
                                const ScreenVertex& c) {
  const int width = back_buffer_->Width();
  const int height = back_buffer_->Height();
  if (InsideGuardBand(a, width, height) && InsideGuardBand(b, width, height) &&
      InsideGuardBand(c, width, height)) {
    FillOrKeep(a, b, c);
    return;
  }
  ScreenVertex polygon[9];
  const int n = ClipToGuardBand(a, b, c, width, height, polygon);
  for (int i = 1; i + 1 < n; ++i) FillOrKeep(polygon[0], polygon[i], polygon[i + 1]);
}

RenderDevice::FillState RenderDevice::CurrentFillState() const {
  return {texture_, render_states_[int(RenderState::kCullMode)],
          render_states_[int(RenderState::kZEnable)] != 0,
          render_states_[int(RenderState::kZWriteEnable)] != 0};
}

RenderDevice::FillState RenderDevice::WithTexelsLookedAt(FillState state) {
  if (state.texture) {
    state.uniform = state.texture->Uniform(&state.uniform_texel);
    state.texels_version = state.texture->Version();
  }
  return state;
}

void RenderDevice::FillOrKeep(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
  if (!in_scene_) {
    FillTriangle(WithTexelsLookedAt(CurrentFillState()), a, b, c, 0, back_buffer_->Height(),
                 nullptr, 0);
    return;
  }
  const FillState state = CurrentFillState();
  const FillState* last = scene_states_.empty() ? nullptr : &scene_states_.back();
  if (!last || last->texture != state.texture || last->cull != state.cull ||
      last->z_test != state.z_test || last->z_write != state.z_write)
    scene_states_.push_back(WithTexelsLookedAt(state));
  scene_triangles_.push_back({a, b, c, int(scene_states_.size()) - 1});
  GroupKept();
}

void RenderDevice::FillRows(int first_row, int end_row) const {
  first_row = std::max(first_row, 0);
  end_row = std::min(end_row, back_buffer_->Height());
  if (first_row >= end_row) return;
  DepthTiles tiles;
  uint64_t skipped = 0;
  const bool skip = scene_triangles_.size() >= skip_hidden_from_;
  if (skip) tiles.Begin(depth_->Depth(), back_buffer_->Width(), first_row, end_row);
  // This fill's triangle numbers, above those of every fill before it: a depth written then
  // was drawn earlier.
  const uint32_t count = uint32_t(scene_triangles_.size());
  const bool nearest_first = skip && scene_triangles_.size() >= nearest_first_from_;
  uint32_t first_writer =
      nearest_first ? next_writer_.load(std::memory_order_relaxed) : kWritersUpTo;
  while (first_writer < kWritersUpTo &&
         !next_writer_.compare_exchange_weak(first_writer, first_writer + count,
                                             std::memory_order_relaxed)) {
  }
  if (first_writer < kWritersUpTo) {
    const std::vector<FillGroup>& plan = PlannedFill();
    // A group wholly above or below the band has nothing in it: passed over unread.
    const float top = float(first_row), bottom = float(end_row - 1);
    auto in_band = [&](const FillGroup& group) {
      return !(group.lowest_y < top || group.highest_y > bottom);
    };
    constexpr size_t kAhead = 3;
    for (size_t g = 0; g < plan.size(); ++g) {
      // The groups lie scattered over the kept triangles: one a few groups on is fetched while
      // this one is filled.
      if (g + kAhead < plan.size() && in_band(plan[g + kAhead])) {
        const FillGroup& ahead = plan[g + kAhead];
        const char* bytes = reinterpret_cast<const char*>(&scene_triangles_[ahead.first]);
        for (size_t at = 0; at < ahead.count * sizeof(KeptTriangle); at += 64)
          __builtin_prefetch(bytes + at);
      }
      const FillGroup& group = plan[g];
      if (!in_band(group)) continue;
      // A block behind the others is passed over with one test, not one a triangle.
      if (group.any_order && group.count > 1 && GroupHidden(group, first_row, end_row, &tiles)) {
        skipped += group.count;
        continue;
      }
      for (uint32_t i = group.first; i < group.first + group.count; ++i) {
        const KeptTriangle& t = scene_triangles_[i];
        skipped += !FillTriangle(scene_states_[size_t(t.state)], t.a, t.b, t.c, first_row, end_row,
                                 &tiles, group.any_order ? first_writer + i : 0);
      }
    }
  } else {
    for (const KeptTriangle& t : scene_triangles_)
      skipped += !FillTriangle(scene_states_[size_t(t.state)], t.a, t.b, t.c, first_row, end_row,
                               skip ? &tiles : nullptr, 0);
  }
  hidden_skipped_.fetch_add(skipped, std::memory_order_relaxed);
}

bool RenderDevice::GroupHidden(const FillGroup& group, int first_row, int end_row,
                               DepthTiles* tiles) const {
  const int width = back_buffer_->Width(), height = back_buffer_->Height();
  const KeptTriangle& first = scene_triangles_[group.first];
  // Most groups in view are not behind: a look at the first triangle's box against the least
  // corner depth sends them on to their triangles' own tests cheaply. It only ever says no.
  {
    const PixelBox box(first.a, first.b, first.c, width, height);
    const int y0 = std::max(box.min_y, first_row), y1 = std::min(box.max_y, end_row - 1);
    if (!box.Empty() && y0 <= y1 &&
        !tiles->AllNearerThanAlone(box.min_x, box.max_x, y0, y1, group.nearest))
      return false;
  }
  int x0 = width, x1 = -1, y0 = end_row, y1 = first_row - 1;
  float least = INFINITY;
  for (uint32_t i = group.first; i < group.first + group.count; ++i) {
    const KeptTriangle& t = scene_triangles_[i];
    const float area = SignedArea(t.a, t.b, t.c);
    if (std::isnan(area)) return false;
    // What FillTriangle passes over before its test draws nothing.
    if (CulledOrFlat(area, scene_states_[size_t(t.state)].cull)) continue;
    const ScreenVertex* v0 = &t.a;
    const ScreenVertex* v1 = &t.b;
    const ScreenVertex* v2 = &t.c;
    if (area < 0.0f) std::swap(v1, v2);
    const PixelBox box(*v0, *v1, *v2, width, height);
    if (box.Empty()) continue;
    const int band_first = std::max(box.min_y, first_row);
    const int last_row = std::min(box.max_y, end_row - 1);
    if (band_first > last_row) continue;
    float dzdx, dzdy;
    PlaneSetup(*v0, *v1, *v2).Gradient(v0->z, v1->z, v2->z, &dzdx, &dzdy);
    const float bound = LeastDepthNearCorners(*v0, *v1, *v2, dzdx, dzdy, box.min_x, box.max_x,
                                              box.min_y, box.max_y);
    if (!(bound > -INFINITY)) return false;
    least = std::min(least, bound);
    x0 = std::min(x0, box.min_x), x1 = std::max(x1, box.max_x);
    y0 = std::min(y0, band_first), y1 = std::max(y1, last_row);
  }
  return x0 <= x1 && tiles->AllNearerThanAlone(x0, x1, y0, y1, least);
}

bool RenderDevice::FillTriangle(const FillState& state, const ScreenVertex& a,
                                const ScreenVertex& b, const ScreenVertex& c, int first_row,
                                int end_row, DepthTiles* tiles, uint32_t writer) const {
  const float area = SignedArea(a, b, c);
  if (CulledOrFlat(area, state.cull)) return true;
  const ScreenVertex* v0 = &a;
  const ScreenVertex* v1 = &b;
  const ScreenVertex* v2 = &c;
  if (area < 0.0f) std::swap(v1, v2);

  const int width = back_buffer_->Width();
  const int height = back_buffer_->Height();
  const PixelBox box(*v0, *v1, *v2, width, height);
  if (box.Empty()) return true;
  const int min_x = box.min_x, max_x = box.max_x, min_y = box.min_y, max_y = box.max_y;
  // Rows of the band only; the rows above it are still stepped through, so that every value
  // is summed exactly as in a whole fill.
  const int last_row = std::min(max_y, end_row - 1);
  if (std::max(min_y, first_row) > last_row) return true;

  int64_t fx0 = ToFixed(v0->x), fy0 = ToFixed(v0->y);
  int64_t fx1 = ToFixed(v1->x), fy1 = ToFixed(v1->y);
  int64_t fx2 = ToFixed(v2->x), fy2 = ToFixed(v2->y);
  if (((fx1 - fx0) * (fy2 - fy0) - (fx2 - fx0) * (fy1 - fy0)) <= 0)
    return true;  // collapsed in fixed point

  // Plane equations of the attributes relative to v0: the depth's first, for the hidden test;
  // the rest, and the edges, only for a triangle that is walked.
  const PlaneSetup plane(*v0, *v1, *v2);
  float dzdx, dzdy, dudx, dudy, dvdx, dvdy;
  plane.Gradient(v0->z, v1->z, v2->z, &dzdx, &dzdy);

  const bool z_test = state.z_test;
  const bool z_write = state.z_write;
  const int band_first = std::max(min_y, first_row);
  if (tiles && z_test &&
      tiles->AllNearerThan(
          min_x, max_x, band_first, last_row,
          LeastDepth(*v0, dzdx, dzdy, min_x, max_x, min_y, max_y, {fx0, fx1, fx2, fy0, fy1, fy2})))
    return false;

  int64_t px = int64_t(min_x) * int64_t(kSubpixel), py = int64_t(min_y) * int64_t(kSubpixel);
  Edge e0 = MakeEdge(fx1, fy1, fx2, fy2, px, py);
  Edge e1 = MakeEdge(fx2, fy2, fx0, fy0, px, py);
  Edge e2 = MakeEdge(fx0, fy0, fx1, fy1, px, py);
  plane.Gradient(v0->u, v1->u, v2->u, &dudx, &dudy);
  plane.Gradient(v0->v, v1->v, v2->v, &dvdx, &dvdy);
  const bool flat_color = v0->color == v1->color && v1->color == v2->color;
  float dcdx[3] = {}, dcdy[3] = {}, c0[3] = {};
  if (!flat_color) {
    for (int k = 0; k < 3; ++k) {
      int shift = 16 - 8 * k;
      c0[k] = float((v0->color >> shift) & 0xFF);
      plane.Gradient(c0[k], float((v1->color >> shift) & 0xFF), float((v2->color >> shift) & 0xFF),
                     &dcdx[k], &dcdy[k]);
    }
  }
  // A write behind a depth test brings depths nearer; one without a test may take them back.
  if (tiles && z_write) {
    if (z_test)
      tiles->Nearer(min_x, max_x, band_first, last_row);
    else
      tiles->Written(min_x, max_x, band_first, last_row);
  }
  const Texture* tex = state.texture;
  const uint32_t* texels = tex ? tex->Texels() : nullptr;
  const int tw = tex ? tex->Width() : 0;
  const int th = tex ? tex->Height() : 0;
  uint32_t* pixels = back_buffer_->Pixels();
  float* depth = depth_->Depth();
  uint32_t* const writer_rows = writer ? depth_->Writers() : nullptr;

  const bool fast_spans = flat_color && texels && z_test && z_write;
  // Every texel the same when the triangle was kept, and untouched since: whatever a pixel's
  // coordinates, it takes that one.
  const bool one_texel = fast_spans && state.uniform && tex->Version() == state.texels_version;
  const uint32_t texel_colour = !one_texel ? 0
                                : (v0->color & 0x00FFFFFF) == 0x00FFFFFF
                                    ? state.uniform_texel & 0x00FFFFFF
                                    : Modulate(state.uniform_texel, v0->color);
  const bool pow2 = (tw & (tw - 1)) == 0 && (th & (th - 1)) == 0;
  const uint32_t color = v0->color;

  // Attributes at the first pixel of the bounding box; each row and pixel adds its step.
  const float bx = float(min_x) - v0->x, by = float(min_y) - v0->y;
  float z_row = v0->z + dzdx * bx + dzdy * by;
  float u_row = v0->u + dudx * bx + dudy * by;
  float v_row = v0->v + dvdx * bx + dvdy * by;
  EdgeBound bounds[3] = {EdgeBound(e0), EdgeBound(e1), EdgeBound(e2)};
  const SpanConstants constants(texels, tw, th, color, dudx, dvdx);
  const int64_t row_last = max_x - min_x;
  for (int y = min_y; y <= last_row; ++y, z_row += dzdy, u_row += dudy, v_row += dvdy) {
    if (y < first_row) {
      for (EdgeBound& bound : bounds) bound.NextRow();
      continue;
    }
    // The span of this row: every edge must be non-negative.
    int64_t first = 0, last = row_last;
    for (EdgeBound& bound : bounds) {
      bound.Bound(&first, &last);
      bound.NextRow();
    }
    if (first > last) continue;
    const float offset = float(first);
    SpanState span{z_row + dzdx * offset, u_row + dudx * offset, v_row + dvdx * offset};
    const int x0 = min_x + int(first), x1 = min_x + int(last);
    const size_t row_start = size_t(y) * width;
    // In a crowd, filled nearest first, most spans lie behind: each is looked at first.
    if (tiles && z_test && SpanBehind(depth + row_start, x0, x1, span.z, dzdx)) continue;
    if (one_texel) {
      const float z_end = span.z + dzdx * float(x1 - x0);
      const bool in_range = std::min(span.z, z_end) > 0.001f && std::max(span.z, z_end) < 0.999f;
      uint32_t* row_pixels = pixels + row_start;
      float* row_depth = depth + row_start;
      if (writer_rows) {
        const RowWriters writers{writer_rows + row_start, writer};
        if (in_range)
          DrawSpanOneTexel<true, true>(row_pixels, row_depth, x0, x1, span.z, dzdx, texel_colour,
                                       writers);
        else
          DrawSpanOneTexel<false, true>(row_pixels, row_depth, x0, x1, span.z, dzdx, texel_colour,
                                        writers);
      } else if (in_range) {
        DrawSpanOneTexel<true>(row_pixels, row_depth, x0, x1, span.z, dzdx, texel_colour);
      } else {
        DrawSpanOneTexel<false>(row_pixels, row_depth, x0, x1, span.z, dzdx, texel_colour);
      }
      continue;
    }
    if (fast_spans) {
      // Depth only accumulates along the span, so it stays between its two ends; a margin
      // covers the rounding of the additions.
      const float z_end = span.z + dzdx * float(x1 - x0);
      const bool in_range = std::min(span.z, z_end) > 0.001f && std::max(span.z, z_end) < 0.999f;
      uint32_t* row_pixels = pixels + row_start;
      float* row_depth = depth + row_start;
      // Out of drawing order only with power-of-two sides (FillsInAnyOrder).
      if (writer_rows && in_range)
        DrawSpanTextured<true, true, true>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx,
                                           constants, {writer_rows + row_start, writer});
      else if (writer_rows)
        DrawSpanTextured<true, false, true>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx,
                                            constants, {writer_rows + row_start, writer});
      else if (pow2 && in_range)
        DrawSpanTextured<true, true>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx,
                                     constants);
      else if (pow2)
        DrawSpanTextured<true, false>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx,
                                      constants);
      else if (in_range)
        DrawSpanTextured<false, true>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx,
                                      constants);
      else
        DrawSpanTextured<false, false>(row_pixels, row_depth, x0, x1, span, dzdx, dudx, dvdx,
                                       constants);
      continue;
    }
    for (int x = x0; x <= x1; ++x, span.z += dzdx, span.u += dudx, span.v += dvdx) {
      const size_t at = row_start + x;
      const float z = span.z;
      if (z < 0.0f || z > 1.0f) continue;
      if (z_test && z > depth[at]) continue;
      if (z_write) depth[at] = z;
      uint32_t color = v0->color;
      if (!flat_color) {
        const float fx = float(x) - v0->x, fy = float(y) - v0->y;
        uint32_t ch[3];
        for (int k = 0; k < 3; ++k)
          ch[k] = uint32_t(std::clamp(c0[k] + dcdx[k] * fx + dcdy[k] * fy, 0.0f, 255.0f));
        color = 0xFF000000u | (ch[0] << 16) | (ch[1] << 8) | ch[2];
      }
      if (texels) {
        pixels[at] =
            Modulate(texels[size_t(WrapIndex(span.v, th)) * tw + WrapIndex(span.u, tw)], color);
      } else {
        pixels[at] = color & 0x00FFFFFF;
      }
    }
  }
  return true;
}

}  // namespace platform::render
